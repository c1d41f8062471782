// The threads that make the calls into other applications. A call waits as
// long as the application that answers it: in COM, or in SendMessage (the
// object request, WM_GETOBJECT, and the messages that the platform's own
// proxies for standard controls send while they answer). Made on the main
// thread, any of these waits would hold back the cues of every other
// application, and a SendMessage wait lets no posted wake-up through. So
// every call is made on a thread of its own, one for each call place of
// call_places.h, and the main thread only hands out events and applies what
// comes back. A call past its deadline is abandoned there: its thread goes
// on waiting, and what it finds when it returns is applied all the same.
//
// What a call thread finds stays in its own place; its message to the main
// thread only says "look". So a message that another process forges or
// that is lost changes nothing, and a timer looks as well while any call
// has not returned.
#pragma once

#include <windows.h>

#include "call_places.h"
#include "event_findings.h"
#include "waiting_events.h"

// What a call thread has got to, for the main thread, in this order for
// each event.
enum class CallProgress {
    named,      // the name is known (a focus's location may still be asked for)
    answered,   // everything is known
    threadFree  // the object is released: the place is free for the next event
};
// What the main thread does with that; it runs on the main thread. `found`
// is null for threadFree.
using FindingsHandler = void (*)(CallProgress progress, const EventFindings* found);

// The window an event is about, as the platform knows it.
HWND windowOf(const WaitingEvent& event);

// Starts the calls about `event` on the thread of a free call place. False
// when no place may be had for it or its thread could not be started.
bool startEventCalls(const WaitingEvent& event, FindingsHandler handler);

// On the main thread: abandons the calls past their deadline, then hands
// what the call threads have got to since the last look to the handler.
void collectFindings();

// The most calls within their deadline that were under way at once so far.
int mostCallsUnderWay();
