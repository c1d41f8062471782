// The other process of the release tests, driving an installed vocaret.exe:
//   focus_helper wait    waits (10 s at most) until Vocaret's main window exists
//   focus_helper focus   shows a push button "&Mentés" and focuses it for 2 s
//   focus_helper close   asks Vocaret's main window to close and waits until it is gone
//   focus_helper install-unticked
//                        goes through the running installer's pages as a user
//                        would: on the start-at-sign-in page it expects the
//                        box ticked and unticks it; on the last page it
//                        unticks starting Vocaret and showing README.txt
// Each mode prints what it saw; the exit status is 0 only when it happened.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int buttonId = 100;

HWND findVocaret() {
    return FindWindowA("myWindowClass", "Vocaret");
}

// Polls every 100 ms for at most limitMs until found() is true.
template <typename Predicate>
bool waitFor(Predicate found, DWORD limitMs) {
    const DWORD start = GetTickCount();
    while (!found()) {
        if (GetTickCount() - start > limitMs) {
            return false;
        }
        Sleep(100);
    }
    return true;
}

void pumpFor(DWORD durationMs) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < durationMs) {
        MSG message{};
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(20);
    }
}

int waitMode() {
    if (!waitFor([] { return findVocaret() != nullptr; }, 10000)) {
        std::puts("focus_helper: no Vocaret window after 10 s");
        return 1;
    }
    std::puts("focus_helper: Vocaret window found");
    return 0;
}

int closeMode() {
    const HWND vocaret = findVocaret();
    if (vocaret == nullptr) {
        std::puts("focus_helper: no Vocaret window to close");
        return 1;
    }
    PostMessageA(vocaret, WM_CLOSE, 0, 0);
    if (!waitFor([] { return findVocaret() == nullptr; }, 10000)) {
        std::puts("focus_helper: Vocaret window still open 10 s after WM_CLOSE");
        return 1;
    }
    std::puts("focus_helper: Vocaret window closed");
    return 0;
}

std::string textOf(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK matchInstaller(HWND window, LPARAM result) {
    char className[64] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) &&
        textOf(window).rfind("Vocaret", 0) == 0) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

HWND findInstaller() {
    HWND found = nullptr;
    EnumWindows(matchInstaller, reinterpret_cast<LPARAM>(&found));
    return found;
}

BOOL CALLBACK collectCheckBox(HWND child, LPARAM result) {
    const auto type = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)) & BS_TYPEMASK;
    if (IsWindowVisible(child) && (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX)) {
        reinterpret_cast<std::vector<HWND>*>(result)->push_back(child);
    }
    return TRUE;
}

// The check boxes of the installer's current page.
std::vector<HWND> checkBoxesOf(HWND installer) {
    std::vector<HWND> boxes;
    EnumChildWindows(installer, collectCheckBox, reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

HWND pageOf(HWND installer) {
    return FindWindowExA(installer, nullptr, "#32770", nullptr);
}

// Presses Next (Install, Finish) once the page allows it, and waits for the
// next page. Posted: a page runs its own loop while it shows.
bool pressNext(HWND installer, DWORD limitMs) {
    const HWND next = GetDlgItem(installer, IDOK);
    if (!waitFor([&] { return IsWindowEnabled(next) && pageOf(installer) != nullptr; }, limitMs)) {
        return false;
    }
    const HWND page = pageOf(installer);
    PostMessageA(next, BM_CLICK, 0, 0);
    return waitFor([&] { return !IsWindow(installer) || pageOf(installer) != page; }, 10000);
}

// The pages, in the installer's order: the folder, start at sign-in, the
// files (which closes by itself), the last page.
int installUntickedMode() {
    HWND installer = nullptr;
    if (!waitFor([&] { return (installer = findInstaller()) != nullptr; }, 20000) ||
        !pressNext(installer, 10000)) {
        std::puts("focus_helper: no installer window, or its first page did not go on");
        return 1;
    }
    HWND box = nullptr;
    std::string text;
    waitFor([&] {
        for (HWND found : checkBoxesOf(installer)) {
            text = textOf(found);
            if (text == "Start Vocaret when I sign in" ||
                text == "A Vocaret ind\xc3\xadt\xc3\xa1sa bejelentkez\xc3\xa9skor") {
                box = found;
            }
        }
        return box != nullptr;
    }, 10000);
    if (box == nullptr) {
        std::puts("focus_helper: no start-at-sign-in page");
        return 1;
    }
    const bool ticked = SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
    std::printf("focus_helper: \"%s\" is %s; unticked\n", text.c_str(), ticked ? "ticked" : "NOT ticked");
    SendMessageA(box, BM_SETCHECK, BST_UNCHECKED, 0);
    // The files page goes on to the last page by itself once done.
    if (!pressNext(installer, 10000) ||
        !waitFor([&] { return checkBoxesOf(installer).size() == 2; }, 60000)) {
        std::puts("focus_helper: no last page with its two check boxes");
        return 1;
    }
    // The last page: neither start Vocaret nor show README.txt.
    for (HWND last : checkBoxesOf(installer)) {
        SendMessageA(last, BM_SETCHECK, BST_UNCHECKED, 0);
    }
    if (!pressNext(installer, 10000) || !waitFor([&] { return !IsWindow(installer); }, 10000)) {
        std::puts("focus_helper: the installer did not finish");
        return 1;
    }
    std::puts("focus_helper: installer finished");
    return ticked ? 0 : 1;
}

int focusMode() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"VocaretFocusHelper";
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    if (RegisterClassW(&windowClass) == 0) {
        std::puts("focus_helper: RegisterClass failed");
        return 1;
    }
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Vocaret focus helper",
                                        WS_OVERLAPPEDWINDOW, 100, 100, 300, 120, nullptr, nullptr,
                                        instance, nullptr);
    // A standard push button: its accessible name is its text without "&".
    const HWND button = CreateWindowExW(
        0, L"BUTTON", L"&Mentés", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 10, 10, 120,
        30, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(buttonId)), instance, nullptr);
    if (window == nullptr || button == nullptr) {
        std::puts("focus_helper: CreateWindow failed");
        return 1;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetForegroundWindow(window);
    pumpFor(200);
    SetFocus(button);  // the platform raises EVENT_OBJECT_FOCUS: one cue, not cut off by a second
    const bool focused = GetFocus() == button;
    pumpFor(2000);
    DestroyWindow(window);
    std::printf("focus_helper: button \"Ment\xc3\xa9s\" %s\n", focused ? "focused" : "NOT focused");
    return focused ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "wait") == 0) {
        return waitMode();
    }
    if (argc == 2 && std::strcmp(argv[1], "focus") == 0) {
        return focusMode();
    }
    if (argc == 2 && std::strcmp(argv[1], "close") == 0) {
        return closeMode();
    }
    if (argc == 2 && std::strcmp(argv[1], "install-unticked") == 0) {
        return installUntickedMode();
    }
    std::puts("usage: focus_helper wait|focus|close|install-unticked");
    return 2;
}
