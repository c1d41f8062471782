// The sound output kept awake while the user works. Bluetooth and USB
// headsets, and many laptops' sound drivers, go to stand-by after a few
// seconds of silence and lose the first few hundred milliseconds of the next
// sound while they wake: most of a cue, or all of it. So from a cue or a
// mouse input on, a stream of near-silence of vocaret's own plays until no
// cue and no mouse input came for a while. It is a wave mapper output of
// this process, so it belongs to the cues' own entry in the Volume Mixer.
//
// The stream is opened, fed and closed on a thread of its own: what the cue
// path and the mouse hook call only notes the time, and wakes that thread
// when the stream is not playing. When the output cannot be opened, the cues
// play as ever and the next cue tries again; nothing is reported.
#pragma once

#include <windows.h>
#include <mmsystem.h>

// The cues' own format: 16-bit mono PCM at 44.1 kHz.
constexpr WAVEFORMATEX cueFormat{WAVE_FORMAT_PCM, 1, 44100, 88200, 2, 16, 0};

using WaveOutOpenFunction = MMRESULT(WINAPI*)(LPHWAVEOUT output, UINT device,
                                              LPCWAVEFORMATEX format, DWORD_PTR callback,
                                              DWORD_PTR instance, DWORD flags);

// The system folder's waveOutOpen once the thread is started.
extern WaveOutOpenFunction waveOutOpenFunction;

// Starts the thread, which waits for the first cue or input. Call it once,
// before any hook is installed.
void startAwakeOutput();

// A cue was played: the stream plays on, or is (tried to be) started.
void keepOutputAwakeForCue();

// A mouse input: as for a cue, except that after an output that could not be
// opened only a cue tries again (the mouse moves many times a second).
void keepOutputAwakeForInput();

// Ends the stream at once and the thread with it; the calls above do nothing
// afterwards.
void endAwakeOutput();
