// The main window's outer size. Its only content is its menu bar, so the size
// comes from the desktop's metrics at the window's DPI (the process is DPI
// aware: Windows no longer enlarges the window): as tall as the frame, the
// caption, one line of menu bar and the client edge need around an empty
// client area, and 240 wide scaled by the DPI, or just wide enough for the
// menu bar's items to stand on one line.
#pragma once

#include <windows.h>

// At the DPI of the monitor that holds the window: at start-up, and when the
// desktop's metrics change (a new text size or theme).
void sizeMainWindowForItsDpi(HWND window);

// WM_DPICHANGED: the window takes the place that Windows suggests and its
// size anew at the new DPI, since Windows scales the whole rectangle, frame
// included, and the frame's metrics need not scale so.
void takeNewDpi(HWND window, int dpi, const RECT& suggested);
