// A window of the test's own whose client object is a ScriptedAccessible.
#pragma once

#include <windows.h>

#include "scripted_accessible.h"

class ScriptedWindow {
public:
    ScriptedAccessible accessible;

    ScriptedWindow();
    ~ScriptedWindow();
    ScriptedWindow(const ScriptedWindow&) = delete;
    ScriptedWindow& operator=(const ScriptedWindow&) = delete;

    HWND handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

// Retrieves and dispatches every message waiting for this thread.
void pumpMessages();
// Pumps messages until `done` holds or `milliseconds` have passed.
template <class Done>
bool pumpUntil(Done done, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!done()) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        pumpMessages();
    }
    return true;
}
