#include "main_window.h"

#include "main_window_size.h"
#include "subscription.h"
#include "win_event_proc.h"

constinit HHOOK mouseHookHandle = nullptr;

namespace {

constexpr WORD aboutDialogId = IDD_ABOUT;
constexpr WORD exitDialogId = IDD_EXIT;
constexpr WORD settingsDialogId = IDD_SETTINGS;

INT_PTR runDialog(HWND owner, WORD dialogId) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(dialogId), owner,
                           dialogProc, 0);
}

void runCommand(HWND window, WORD command) {
    switch (command) {
    case commandSettings:
        // The two check boxes are neither applied nor kept.
        runDialog(window, settingsDialogId);
        break;
    case commandExit:
        // Only OK quits; Cancel, Escape, the close button and a dialog that
        // could not be created (-1) leave everything as it was.
        if (runDialog(window, exitDialogId) == IDOK) {
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        break;
    case commandAbout:
        runDialog(window, aboutDialogId);
        break;
    case commandGone:
        MessageBoxA(window, "Gone!", "GO", MB_ICONINFORMATION | MB_OK);
        break;
    default:
        break;
    }
}

// A modal loop that meets a waiting quit message ends at once and posts it
// again, so with the window's quit message waiting the box would vanish
// unseen. The message is held back while the box stands, events and mouse
// input still handled by its loop, and posted again with its code after.
void reportUnhookFailure() {
    MSG quit{};
    const bool quitWaiting = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
    MessageBoxA(nullptr, "Unhook", "Hiba", MB_OK);
    if (quitWaiting) {
        PostQuitMessage(static_cast<int>(quit.wParam));
    }
}

// Destroying the window posts the quit message; the hooks come down while
// the loop still runs, so the loop then reads that message and ends.
// WM_CLOSE may arrive while a call thread waits on another application that
// may never answer: the process then ends here, with nothing left to save,
// instead of living on without a window until the call returns.
void closeMainWindow(HWND window) {
    DestroyWindow(window);
    if (UnhookWindowsHookEx(mouseHookHandle) == 0) {
        reportUnhookFailure();
    }
    endAccessibilitySubscription();
    if (accessibilityCallInProgress()) {
        TerminateProcess(GetCurrentProcess(), 0);
    }
}

}  // namespace

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        closeMainWindow(window);
        return 0;
    case WM_COMMAND:
        runCommand(window, LOWORD(wParam));
        return 0;
    case WM_DPICHANGED:  // Windows 8.1 on; both words hold the new DPI
        takeNewDpi(window, LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_SETTINGCHANGE:
        // A new text size or theme changes the caption, menu bar or frame.
        if (wParam == SPI_SETNONCLIENTMETRICS) {
            sizeMainWindowForItsDpi(window);
        }
        return DefWindowProcA(window, message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;  // the platform focuses the first tab stop, OK
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
        }
        return TRUE;  // check box clicks arrive here too, and are ignored
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
