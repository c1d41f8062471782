#include "one_copy.h"

#include <windows.h>

#include "main_window.h"

namespace {

// In the session's own namespace: another user's session runs its own copy.
// The window class name is a common one, so the claim is this mutex instead.
constexpr const char* claimName = "Local\\Vocaret.OneCopy.5c2e9a41";

// The running copy may have made its claim and not yet its window.
constexpr int windowAttempts = 50;
constexpr DWORD windowAttemptMs = 100;

// So that the user's screen reader announces the copy that runs.
void bringForward() {
    for (int attempt = 0; attempt < windowAttempts; ++attempt) {
        const HWND window = FindWindowA(mainWindowClassName, "Vocaret");
        if (window != nullptr) {
            if (IsIconic(window)) {
                ShowWindow(window, SW_RESTORE);
            }
            SetForegroundWindow(window);
            return;
        }
        Sleep(windowAttemptMs);
    }
}

}  // namespace

bool handOverToRunningCopy() {
    SetLastError(ERROR_SUCCESS);
    // Never closed: the claim lasts as long as this process.
    const HANDLE claim = CreateMutexA(nullptr, FALSE, claimName);
    // A copy started under another account in this session owns a mutex
    // that this one may not open.
    const bool running = claim == nullptr ? GetLastError() == ERROR_ACCESS_DENIED
                                          : GetLastError() == ERROR_ALREADY_EXISTS;
    if (!running) {
        return false;
    }
    if (claim != nullptr) {
        CloseHandle(claim);
    }
    bringForward();
    return true;
}
