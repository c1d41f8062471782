// What the spoken tour and the cue list say about the sounds: the families in
// the order of docs/sounds.md, each with its tour file, its name and a plain
// description in Hungarian and English, and every sound file of the family
// with a one-line description. The element names come from the cue table.
#pragma once

#include <vector>

namespace soundgen {

struct TourSound {
    const char* file;  // as the cue table names it after "Sounds\"
    const char* hu;    // one line about the sound, Hungarian
    const char* en;    // the same, English
};

struct TourFamily {
    const char* mp3;  // the tour file, ASCII
    const char* nameHu;
    const char* nameEn;
    const char* aboutHu;  // what the family sounds like, spoken after its name
    const char* aboutEn;
    std::vector<TourSound> sounds;
};

const std::vector<TourFamily>& tourFamilies();

}  // namespace soundgen
