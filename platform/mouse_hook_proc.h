// The low-level mouse hook: replays the armed cue on a left press inside the
// click target, and passes every event on unchanged.
#pragma once

#include <windows.h>

LRESULT CALLBACK mouseHookProc(int nCode, WPARAM wParam, LPARAM lParam);
