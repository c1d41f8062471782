// Process entry: the mouse hook, the main window and the accessibility event
// subscription, then the message loop that delivers all of them.
#include <windows.h>

#include "awake_output.h"
#include "main_window.h"
#include "main_window_size.h"
#include "mouse_hook_proc.h"
#include "one_copy.h"
#include "sound_output.h"
#include "subscription.h"
#include "system_library.h"

namespace {

constexpr WORD iconId = IDI_VOCARET;
constexpr WORD menuId = IDR_MAIN_MENU;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // First, before anything loads a library: the system folder only.
    restrictLibrarySearchToSystemFolder();
    // A second start shows the copy that runs and ends here, before any hook
    // or window: two copies would play every cue twice.
    if (handOverToRunningCopy()) {
        return 0;
    }
    installPlaySoundOutput();
    // Before the hook: nothing may block this thread once it is in place.
    warmSoundOutput();
    startAwakeOutput();
    const HMODULE module = GetModuleHandleA(nullptr);

    // Without the hook the program runs on, and the failure shows only at
    // close, as the "Unhook" box.
    mouseHookHandle = SetWindowsHookExA(WH_MOUSE_LL, mouseHookProc, module, 0);

    WNDCLASSEXA windowClass;
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = 0;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(module, MAKEINTRESOURCEA(iconId));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszMenuName = MAKEINTRESOURCEA(menuId);
    windowClass.lpszClassName = mainWindowClassName;
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(iconId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));

    if (RegisterClassExA(&windowClass) == 0) {
        MessageBoxA(nullptr, "Window Registration Failed!", "Error!", MB_ICONEXCLAMATION | MB_OK);
        return 0;
    }

    // The height comes below, from the metrics at the window's DPI.
    const HWND window = CreateWindowExA(mainWindowExtendedStyle, mainWindowClassName, "Vocaret",
                                        mainWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                        mainWindowWidthAt96Dpi, 0, nullptr, nullptr, instance,
                                        nullptr);
    if (window == nullptr) {
        MessageBoxA(nullptr, "Window Creation Failed!", "Error!", MB_ICONEXCLAMATION | MB_OK);
        return 0;
    }

    // Only now is the monitor, and with it the DPI, known.
    sizeMainWindowForItsDpi(window);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    startAccessibilitySubscription();

    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The window is gone: the stream ends now, not with the process.
    endAwakeOutput();
    return static_cast<int>(message.wParam);
}
