// The system-wide accessibility event subscription: COM on the main thread
// and one out-of-context WinEvent hook.
#pragma once

#include <windows.h>
#include <oleacc.h>

extern HWINEVENTHOOK winEventHookHandle;
extern HMODULE oleaccModule;

using AccessibleObjectFromEventFunction = HRESULT(WINAPI*)(HWND window, DWORD objectId,
                                                           DWORD childId, IAccessible** object,
                                                           VARIANT* child);
// AccessibleObjectFromEvent of the system folder's oleacc; null when it
// could not be loaded, and then every event is dropped.
extern AccessibleObjectFromEventFunction accessibleObjectFromEvent;

void startAccessibilitySubscription();
// Unhooks, drops the events still in flight, and leaves COM only when no
// call into another application is under way (see
// accessibilityCallInProgress): an object of this thread's apartment may
// still be answering one.
void endAccessibilitySubscription();
