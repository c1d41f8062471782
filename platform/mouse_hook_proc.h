// The low-level mouse hook: replays the armed cue on a left press whose own
// point lies inside the click target, while the armed element's window
// exists, and passes every event on unchanged.
#pragma once

#include <windows.h>

LRESULT CALLBACK mouseHookProc(int nCode, WPARAM wParam, LPARAM lParam);
