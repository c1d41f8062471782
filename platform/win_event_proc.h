// The WinEvent callback: turns an accessibility event into an element name
// and a location query for the cue engine.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>

// Null between events and before every name query: each event receives its
// name into a variable of its own, since events handled inside another's
// wait would otherwise write over the name it is still reading.
extern BSTR objectName;

// How long an event's calls into another process may hold back the events
// waiting behind it before these are handled first.
constexpr DWORD waitingCallLimitMs = 250;
// The same for a call into a thread whose last call took that long already.
constexpr DWORD slowThreadLimitMs = 50;

// How many events may be handled one inside another's wait. Beyond it,
// events wait in the queue until the calls below them return.
constexpr int maxHandlingDepth = 4;

// The subscription's callback: events of kinds that change nothing and
// events of windows of this process are dropped before any call, every
// other goes to dispatchWinEvent.
void CALLBACK winEventProc(HWINEVENTHOOK hWinEventHook, DWORD event, HWND hwnd, LONG idObject,
                           LONG idChild, DWORD idEventThread, DWORD dwmsEventTime);
// A show, hide or focus of another process's window, whose thread is
// windowThread, raised at raisedMs (GetTickCount's clock): it waits with
// the others for its turn, which comes at once unless another event's calls
// are under way.
void dispatchWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild, DWORD windowThread,
                      DWORD raisedMs);
// The deepest nesting of handled events reached so far.
int deepestHandlingDepth();

// Events are handled from here on (again); the subscription's start.
void beginAccessibilityEvents();
// From now on every event, those waiting and those whose calls are still
// under way included, is dropped: nothing plays after the program closes.
void endAccessibilityEvents();
// Whether a call into another application is waiting below the caller.
bool accessibilityCallInProgress();
// Whether a wake-up at the wait limit is scheduled (only while events wait).
bool overtakeWakeUpScheduled();
