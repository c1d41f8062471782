// The Windows sound output of the cue engine: PlaySoundA, taken from the
// system folder's winmm.
#pragma once

#include <windows.h>

using PlaySoundFunction = BOOL(WINAPI*)(LPCSTR sound, HMODULE module, DWORD flags);

// The system folder's winmm, loaded at the first call; null when missing.
HMODULE winmm();

// PlaySoundA once the output is installed; null plays nothing.
extern PlaySoundFunction playSoundFunction;

// Makes every cue play through PlaySoundA from now on.
void installPlaySoundOutput();

// Opens and closes the default wave output once in the cues' format, so that
// the first cue does not pay for setting up the audio path. Plays nothing and
// may take tens of milliseconds: call it before any hook is installed.
void warmSoundOutput();
