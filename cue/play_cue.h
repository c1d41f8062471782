// Playing a cue: the system's only sound. The platform supplies the output
// (PlaySoundA on Windows, a recorder in tests); the core never waits for it.
#pragma once

#include "cue_table.h"

using SoundOutput = void (*)(const char* soundFile);

// Installs the output that every later playCue goes through; null plays nothing.
void setSoundOutput(SoundOutput output);

void playCue(const CueRow& row);
