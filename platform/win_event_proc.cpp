#include "win_event_proc.h"

#include "call_threads.h"
#include "click_target.h"
#include "dispatcher.h"
#include "event_findings.h"
#include "subscription.h"
#include "target_window.h"
#include "waiting_events.h"

constinit BSTR objectName = nullptr;

namespace {

// Set when the program closes: nothing is handed out or applied from then on.
constinit bool eventsEnded = false;

// The last answer, for the run of events of one thread that a choice looks
// at: hung or not is the thread's, and asking the platform costs a call.
struct LastAnswer {
    DWORD thread = 0;
    bool canAnswer = false;
};

// Whether the application behind an event can answer now. A thread that a
// call is already waiting on cannot: asking it again would only queue
// another wait behind the first. Nor can one the platform reports as hung.
bool canAnswerNow(const WaitingEvent& event, void* context) {
    auto& last = *static_cast<LastAnswer*>(context);
    if (last.thread == 0 || last.thread != event.thread) {
        last.thread = event.thread;
        last.canAnswer = !callUnderWayInto(event.thread) && !IsHungAppWindow(windowOf(event));
    }
    return last.canAnswer;
}

void handlePendingEvents();

void applyFindings(CallProgress progress, const EventFindings* found) {
    if (eventsEnded) {
        return;
    }
    switch (progress) {
    case CallProgress::named: playFoundCue(*found, GetTickCount()); break;
    case CallProgress::found:
        playFoundCue(*found, GetTickCount());
        [[fallthrough]];
    case CallProgress::located:
        if (setTargetFromFindings(*found)) {
            // With the rectangle: the mouse hook replays nothing once it is gone.
            targetWindow = reinterpret_cast<HWND>(found->window);
        }
        break;
    case CallProgress::threadFree: handlePendingEvents(); break;
    }
}

// Hands out waiting events, in the order of waiting_events.h, while a call
// thread is free.
void handlePendingEvents() {
    while (!eventsEnded && callsUnderWay() < maxCallsUnderWay) {
        LastAnswer last;
        WaitingEvent next{};
        if (!takeNextWaitingEvent(GetTickCount(), callsUnderWay() > 0, canAnswerNow, &last,
                                  next)) {
            return;
        }
        if (!startEventCalls(next, applyFindings)) {
            // No thread could be started: the event is lost, not the next ones.
            return;
        }
    }
}

}  // namespace

void beginAccessibilityEvents() {
    eventsEnded = false;
}

void endAccessibilityEvents() {
    eventsEnded = true;
    clearWaitingEvents();
}

bool accessibilityCallInProgress() {
    return callsUnderWay() > 0;
}

void CALLBACK winEventProc(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG idObject, LONG idChild,
                           DWORD, DWORD dwmsEventTime) {
    // Most of a busy desktop's events are of kinds that change no cue and no
    // target (locations, names, states, values); the application that raises
    // them would answer every call about them on its UI thread for nothing.
    if (!eventCanChangeAnything(event)) {
        return;
    }
    DWORD windowProcess = 0;
    const DWORD windowThread = GetWindowThreadProcessId(hwnd, &windowProcess);
    // The subscription asks the platform to skip our own process's events,
    // but Wine delivers them to a system-wide hook all the same. The costly
    // one comes with every cue: the sound output's device thread creates a
    // window while it starts the sound, and asking that thread for the
    // window's object and name then holds up the cue being started.
    if (windowProcess == GetCurrentProcessId()) {
        return;
    }
    dispatchWinEvent(event, hwnd, idObject, idChild, windowThread,
                     eventRaisedMs(dwmsEventTime, GetTickCount()));
}

void dispatchWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild, DWORD windowThread,
                      DWORD raisedMs) {
    if (eventsEnded) {
        return;
    }
    recordWaitingEvent({event,
                        {reinterpret_cast<std::uintptr_t>(hwnd), idObject, idChild},
                        windowThread,
                        raisedMs,
                        0});
    handlePendingEvents();
}
