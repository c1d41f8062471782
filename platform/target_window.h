// The window of the armed element. The click target's rectangle outlives the
// window it was read from: once that window is gone, what lies there is
// something else, and a press there must not replay the armed cue.
#pragma once

#include <windows.h>

// Written with the click target's rectangle, read by the mouse hook. Not
// consulted while the target is disarmed.
extern HWND targetWindow;

// Whether the window still exists. A look in the window handle table, with no
// call into the window's process: cheap enough for the mouse hook.
bool windowExists(HWND window);
