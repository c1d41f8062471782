// The designed sound of every cue file, by file name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "synth.h"

namespace soundgen {

struct Recipe {
    std::string file;  // as the cue table names it after "Sounds\", letter case kept
    std::vector<Note> notes;
};

std::vector<Recipe> allRecipes();

// The noise seed of a recipe: a hash of its file name, so output never
// depends on the order recipes are listed or made in.
std::uint32_t seedOf(const std::string& file);

}  // namespace soundgen
