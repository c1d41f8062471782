// The system-wide accessibility event subscription: COM on the main thread
// and one out-of-context WinEvent hook.
#pragma once

#include <windows.h>

extern HWINEVENTHOOK winEventHookHandle;
extern HMODULE oleaccModule;

void startAccessibilitySubscription();
void endAccessibilitySubscription();
