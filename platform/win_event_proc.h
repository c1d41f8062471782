// The WinEvent callback: turns an accessibility event into an element name
// and a location query for the cue engine.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>

// Receives the accessible object's name; null between events.
extern BSTR objectName;

// Events that arrive while one is being handled wait here, in arrival order.
constexpr std::size_t pendingEventCapacity = 1024;

// How long an event's calls into another process may hold back the events
// waiting behind it before these are handled first.
constexpr DWORD waitingCallLimitMs = 250;

void CALLBACK winEventProc(HWINEVENTHOOK hWinEventHook, DWORD event, HWND hwnd, LONG idObject,
                           LONG idChild, DWORD idEventThread, DWORD dwmsEventTime);

// Events dropped so far because the queue was full (the oldest go first).
std::size_t droppedPendingEvents();
