#include "mouse_hook_proc.h"

#include "awake_output.h"
#include "click_target.h"
#include "target_window.h"

LRESULT CALLBACK mouseHookProc(int nCode, WPARAM wParam, LPARAM lParam) {
    // Notes the time only; the stream is started off this thread.
    keepOutputAwakeForInput();
    // The common path (any other message, or nothing armed) reads nothing.
    if (wParam == WM_LBUTTONDOWN && armedCueId != 0) {
        // The press's own point. The hook runs before the cursor has moved for
        // this input, so a press that brings its own move (touch, pen, remote
        // desktop) would otherwise be judged where the cursor was before.
        const POINT at = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam)->pt;
        // The window is looked up only for a press inside the rectangle, the
        // rare one: once the element's window is gone, nothing replays there.
        if (pointInRect(static_cast<float>(at.x), static_cast<float>(at.y), targetLeft, targetTop,
                        targetWidth, targetHeight) &&
            windowExists(targetWindow)) {
            handleMouseEvent(WM_LBUTTONDOWN, at.x, at.y);
        }
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}
