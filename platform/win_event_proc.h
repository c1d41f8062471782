// The WinEvent callback: turns an accessibility event into an element name
// and a location query for the cue engine.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstddef>

// Stays null: each event receives its name into a variable of its own on
// the call thread that asks for it, since calls about several events run
// at once.
extern BSTR objectName;

// The subscription's callback: events of kinds that change nothing and
// events of windows of this process are dropped before any call, every
// other goes to dispatchWinEvent.
void CALLBACK winEventProc(HWINEVENTHOOK hWinEventHook, DWORD event, HWND hwnd, LONG idObject,
                           LONG idChild, DWORD idEventThread, DWORD dwmsEventTime);
// A show, hide or focus of another process's window, whose thread is
// windowThread, raised at raisedMs (GetTickCount's clock): it waits with
// the others for its turn, which comes at once unless a call is already
// waiting on that thread or every call thread is busy. Its calls are made
// on a call thread (call_threads.h) and what they find is applied on this
// thread when they return.
void dispatchWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild, DWORD windowThread,
                      DWORD raisedMs);

// Events are handled from here on (again); the subscription's start.
void beginAccessibilityEvents();
// From now on every event, those waiting and those whose calls are still
// under way included, is dropped: nothing plays after the program closes.
void endAccessibilityEvents();
// Whether a call into another application has not returned yet.
bool accessibilityCallInProgress();
