// The outer height that vocaret's main window needs at the desktop's metrics,
// computed in the test's own process of the same prefix.
#pragma once

#include <windows.h>

// The frame, the caption, one line of menu bar and the client edge around
// an empty client area, at DPI.
inline int neededWindowHeight(int dpi) {
    RECT outer{0, 0, 0, 0};
    AdjustWindowRectExForDpi(&outer, WS_OVERLAPPEDWINDOW, TRUE, WS_EX_CLIENTEDGE,
                             static_cast<UINT>(dpi));
    return outer.bottom - outer.top;
}

inline int screenDpi() {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}
