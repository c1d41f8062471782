#include "sound_output.h"

#include <mmsystem.h>

#include "awake_output.h"
#include "play_cue.h"
#include "system_library.h"

constinit PlaySoundFunction playSoundFunction = nullptr;

namespace {

constexpr DWORD soundFlags = 0x00020001;  // SND_FILENAME | SND_ASYNC

// Asynchronous, so the caller never waits; no SND_NOSTOP, so a new cue cuts
// off the one playing; no SND_NODEFAULT, so a missing file plays the default
// sound; no SND_LOOP. The result is not looked at. The output is kept
// awake only after the cue is on its way.
void playSoundFile(const char* soundFile) {
    if (playSoundFunction != nullptr) {
        playSoundFunction(soundFile, nullptr, soundFlags);
    }
    keepOutputAwakeForCue();
}

// The system folder's winmm, loaded once.
constinit HMODULE winmmModule = nullptr;

}  // namespace

HMODULE winmm() {
    if (winmmModule == nullptr) {
        winmmModule = loadSystemLibrary("winmm.dll");
    }
    return winmmModule;
}

void warmSoundOutput() {
    using WaveOutCloseFunction = MMRESULT(WINAPI*)(HWAVEOUT);
    const auto open = systemFunction<WaveOutOpenFunction>(winmm(), "waveOutOpen");
    const auto close = systemFunction<WaveOutCloseFunction>(winmm(), "waveOutClose");
    if (open == nullptr || close == nullptr) {
        return;
    }
    HWAVEOUT output = nullptr;
    if (open(&output, WAVE_MAPPER, &cueFormat, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) {
        close(output);
    }
}

void installPlaySoundOutput() {
    playSoundFunction = systemFunction<PlaySoundFunction>(winmm(), "PlaySoundA");
    setSoundOutput(playSoundFile);
}
