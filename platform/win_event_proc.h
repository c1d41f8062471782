// The WinEvent callback: turns an accessibility event into an element name
// and a location query for the cue engine.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>

// The subscription's callback: events of kinds that change nothing and
// events of windows of this process are dropped before any call, every
// other goes to dispatchWinEvent.
void CALLBACK winEventProc(HWINEVENTHOOK hWinEventHook, DWORD event, HWND hwnd, LONG idObject,
                           LONG idChild, DWORD idEventThread, DWORD dwmsEventTime);
// A show, hide or focus of another process's window, whose thread is
// windowThread of windowProcess, raised at raisedMs (GetTickCount's clock):
// it waits with the others for its turn, which comes at once unless the
// rules of call_places.h hold it back. Its calls are made on a call thread
// (call_threads.h) and what they find is applied on this thread when they
// return. While anything waits or a call has not returned, a timer looks
// again, so that nothing waits for an unrelated event or answer.
void dispatchWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild, DWORD windowThread,
                      DWORD windowProcess, DWORD raisedMs);

// Events are handled from here on (again); the subscription's start.
void beginAccessibilityEvents();
// From now on every event, those waiting and those whose calls are still
// under way included, is dropped: nothing plays after the program closes.
void endAccessibilityEvents();
// Whether a call into another application has not returned yet, abandoned
// ones included.
bool accessibilityCallInProgress();
