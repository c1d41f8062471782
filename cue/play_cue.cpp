#include "play_cue.h"

namespace {
SoundOutput soundOutput = nullptr;
}

void setSoundOutput(SoundOutput output) {
    soundOutput = output;
}

void playCue(const CueRow& row) {
    if (soundOutput != nullptr) {
        soundOutput(row.soundFile);
    }
}
