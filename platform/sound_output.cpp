#include "sound_output.h"

#include <mmsystem.h>

#include "play_cue.h"
#include "system_library.h"

constinit PlaySoundFunction playSoundFunction = nullptr;

namespace {

constexpr DWORD soundFlags = 0x00020001;  // SND_FILENAME | SND_ASYNC

// The system folder's winmm, loaded once for PlaySoundA and the warm-up.
constinit HMODULE winmmModule = nullptr;

HMODULE winmm() {
    if (winmmModule == nullptr) {
        winmmModule = loadSystemLibrary("winmm.dll");
    }
    return winmmModule;
}

// Asynchronous, so the caller never waits; no SND_NOSTOP, so a new cue cuts
// off the one playing; no SND_NODEFAULT, so a missing file plays the default
// sound; no SND_LOOP. The result is not looked at.
void playSoundFile(const char* soundFile) {
    if (playSoundFunction != nullptr) {
        playSoundFunction(soundFile, nullptr, soundFlags);
    }
}

}  // namespace

void warmSoundOutput() {
    using WaveOutOpenFunction = MMRESULT(WINAPI*)(LPHWAVEOUT, UINT, LPCWAVEFORMATEX, DWORD_PTR,
                                                  DWORD_PTR, DWORD);
    using WaveOutCloseFunction = MMRESULT(WINAPI*)(HWAVEOUT);
    const auto open = systemFunction<WaveOutOpenFunction>(winmm(), "waveOutOpen");
    const auto close = systemFunction<WaveOutCloseFunction>(winmm(), "waveOutClose");
    if (open == nullptr || close == nullptr) {
        return;
    }
    // The cues' own format: 16-bit mono PCM at 44.1 kHz.
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 44100;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = 88200;
    HWAVEOUT output = nullptr;
    if (open(&output, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR) {
        close(output);
    }
}

void installPlaySoundOutput() {
    playSoundFunction = systemFunction<PlaySoundFunction>(winmm(), "PlaySoundA");
    setSoundOutput(playSoundFile);
}
