// The Windows sound output of the cue engine: PlaySoundA.
#pragma once

// Makes every cue play through PlaySoundA from now on.
void installPlaySoundOutput();
