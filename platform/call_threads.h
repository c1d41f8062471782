// The threads that make the calls into other applications. A call waits as
// long as the application that answers it: in COM, or in SendMessage (the
// object request, WM_GETOBJECT, and the messages that the platform's own
// proxies for standard controls send while they answer). Made on the main
// thread, any of these waits would hold back the cues of every other
// application, and a SendMessage wait lets no posted wake-up through. So
// every call is made on one of a few threads of their own, and the main
// thread only hands out events and applies what comes back.
#pragma once

#include <windows.h>

#include "event_findings.h"
#include "waiting_events.h"

// How many events may have calls under way at once, each into another
// application (a thread that a call waits on is not asked again meanwhile).
// Beyond it, events wait until a call returns.
constexpr int maxCallsUnderWay = 4;

// What a call thread tells the main thread, in this order for each event.
enum class CallProgress {
    named,      // a focus's name matched a row; its location is being asked for
    located,    // then: its location is known too
    found,      // or, without named before: everything is known
    threadFree  // the object is released: the call thread takes the next event
};
// What the main thread does with that; it runs on the main thread, from its
// message loop. `found` is null for threadFree.
using FindingsHandler = void (*)(CallProgress progress, const EventFindings* found);

// The window an event is about, as the platform knows it.
HWND windowOf(const WaitingEvent& event);

// Starts the calls about `event` on a free call thread. False when every
// call thread is busy or none could be started.
bool startEventCalls(const WaitingEvent& event, FindingsHandler handler);

// Whether a call about an event of `thread` has not returned yet.
bool callUnderWayInto(DWORD thread);
int callsUnderWay();
// The most calls that were under way at once so far.
int mostCallsUnderWay();
