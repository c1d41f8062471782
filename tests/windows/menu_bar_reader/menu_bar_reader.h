// The menu bar of another process's window as GetMenuBarInfo gives it there:
// Wine answers it only inside the process that owns the menu. The reader is
// a hook procedure in a DLL of its own, which Windows loads into the process
// of the thread that the hook is set on.
#pragma once

#include <windows.h>

// The hook procedure (WH_CALLWNDPROC), exported under this name.
constexpr const char* menuBarReaderProcName = "readMenuBarHook";
// Sent to the window to have its menu bar read into the shared memory.
constexpr const char* menuBarReadMessageName = "vocaret-test-read-menu-bar";
constexpr const char* menuBarMemoryName = "Local\\vocaret-test-menu-bar";

struct MenuBarReading {
    BOOL read;  // false where GetMenuBarInfo failed
    RECT bar;  // the whole bar, in screen coordinates
    RECT items[2];  // its two items, "Options" and "Help"
};
