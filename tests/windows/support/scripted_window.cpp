#include "scripted_window.h"

namespace {

constexpr const char* scriptedWindowClass = "VocaretScriptedWindow";

LRESULT CALLBACK scriptedWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* owner = reinterpret_cast<ScriptedWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (owner != nullptr && answerGetObject(owner->accessible, message, wParam, lParam, &result)) {
        return result;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void registerScriptedWindowClass() {
    static const bool registered = [] {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = scriptedWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = scriptedWindowClass;
        return RegisterClassA(&windowClass) != 0;
    }();
    (void)registered;
}

}  // namespace

ScriptedWindow::ScriptedWindow() {
    registerScriptedWindowClass();
    window_ = CreateWindowExA(0, scriptedWindowClass, "scripted", WS_POPUP, 0, 0, 10, 10, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ScriptedWindow::~ScriptedWindow() {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
