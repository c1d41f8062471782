#include "sound_output.h"

#include "play_cue.h"
#include "system_library.h"

constinit PlaySoundFunction playSoundFunction = nullptr;

namespace {

constexpr DWORD soundFlags = 0x00020001;  // SND_FILENAME | SND_ASYNC

// Asynchronous, so the caller never waits; no SND_NOSTOP, so a new cue cuts
// off the one playing; no SND_NODEFAULT, so a missing file plays the default
// sound; no SND_LOOP. The result is not looked at.
void playSoundFile(const char* soundFile) {
    if (playSoundFunction != nullptr) {
        playSoundFunction(soundFile, nullptr, soundFlags);
    }
}

}  // namespace

void installPlaySoundOutput() {
    playSoundFunction = systemFunction<PlaySoundFunction>(loadSystemLibrary("winmm.dll"),
                                                          "PlaySoundA");
    setSoundOutput(playSoundFile);
}
