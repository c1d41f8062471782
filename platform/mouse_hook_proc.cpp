#include "mouse_hook_proc.h"

#include "click_target.h"

LRESULT CALLBACK mouseHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    // The common path (any other message, or nothing armed) reads no cursor.
    if (wParam == WM_LBUTTONDOWN && armedCueId != 0) {
        POINT cursor;
        // A position that cannot be read counts as outside the target.
        if (GetCursorPos(&cursor)) {
            handleMouseEvent(WM_LBUTTONDOWN, cursor.x, cursor.y);
        }
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}
