// vocaret_soundgen <output-folder> [--report]
//
// Writes every cue sound the cue table names into the folder, as 16-bit PCM
// mono WAV at 44.1 kHz, and removes any other WAV file there. The file names
// come from the table; each must have a recipe and each recipe a table file,
// or nothing is written. --report prints a Markdown table of the files.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "recipes.h"
#include "synth.h"

namespace {

namespace fs = std::filesystem;
using namespace soundgen;

bool isWav(const fs::path& path) {
    std::string ext = path.extension().string();
    for (char& c : ext) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return ext == ".wav";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::string_view(argv[2]) != "--report")) {
        std::fprintf(stderr, "usage: vocaret_soundgen <output-folder> [--report]\n");
        return 2;
    }
    const fs::path folder(argv[1]);
    const bool report = argc == 3;

    bool ok = true;
    const std::set<std::string> wanted = tableSoundFiles("vocaret_soundgen", ok);
    std::map<std::string, const Recipe*> byFile;
    const std::vector<Recipe> recipes = allRecipes();
    for (const Recipe& recipe : recipes) {
        if (!byFile.emplace(recipe.file, &recipe).second) {
            std::fprintf(stderr, "vocaret_soundgen: two recipes for %s\n", recipe.file.c_str());
            ok = false;
        }
        if (wanted.count(recipe.file) == 0) {
            std::fprintf(stderr, "vocaret_soundgen: recipe %s names no file of the cue table\n",
                         recipe.file.c_str());
            ok = false;
        }
    }
    for (const std::string& file : wanted) {
        if (byFile.count(file) == 0) {
            std::fprintf(stderr, "vocaret_soundgen: no recipe for the cue table's %s\n", file.c_str());
            ok = false;
        }
    }
    if (!ok) {
        return 1;
    }

    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "vocaret_soundgen: cannot create %s: %s\n", folder.string().c_str(),
                     error.message().c_str());
        return 1;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && isWav(entry.path()) && wanted.count(name) == 0) {
            fs::remove(entry.path());
        }
    }

    if (report) {
        std::printf("| file | length (ms) | loudness (dBFS) | peak (dBFS) |\n|---|---:|---:|---:|\n");
    }
    double quietest = 0;
    double loudest = -200;
    for (const Recipe& recipe : recipes) {
        std::vector<double> samples = render(recipe.notes, seedOf(recipe.file));
        finish(samples);
        const std::vector<std::int16_t> pcm = toPcm16(samples);
        if (!writeWav(folder / recipe.file, pcm, sampleRate)) {
            std::fprintf(stderr, "vocaret_soundgen: cannot write %s\n",
                         (folder / recipe.file).string().c_str());
            return 1;
        }
        const double loudness = loudnessDb(samples);
        quietest = std::min(quietest, loudness);
        loudest = std::max(loudest, loudness);
        if (report) {
            double peak = 0;
            for (double v : samples) {
                peak = std::max(peak, std::abs(v));
            }
            std::printf("| %s | %.0f | %.2f | %.2f |\n", recipe.file.c_str(),
                        1000.0 * static_cast<double>(pcm.size()) / sampleRate, loudness,
                        20 * std::log10(peak));
        }
    }
    if (report) {
        std::printf("\n%zu files, loudness spread %.2f dB\n", recipes.size(), loudest - quietest);
    }
    return 0;
}
