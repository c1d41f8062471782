#include "sound_output.h"

#include <windows.h>
#include <mmsystem.h>

#include "play_cue.h"

namespace {

// Asynchronous, so the caller never waits; no SND_NOSTOP, so a new cue cuts
// off the one playing; no SND_NODEFAULT, so a missing file plays the default
// sound; no SND_LOOP. The result is not looked at.
void playSoundFile(const char* soundFile) {
    PlaySoundA(soundFile, nullptr, SND_FILENAME | SND_ASYNC);
}

}  // namespace

void installPlaySoundOutput() {
    setSoundOutput(playSoundFile);
}
