#include "win_event_proc.h"

#include "call_threads.h"
#include "click_target.h"
#include "event_kinds.h"
#include "event_findings.h"
#include "subscription.h"
#include "target_window.h"
#include "waiting_events.h"

namespace {

// Set when the program closes: nothing is handed out or applied from then on.
constinit bool eventsEnded = false;

// The timer that looks at the waiting events and the calls again.
constexpr UINT recheckMs = 25;
constinit UINT_PTR recheckTimer = 0;

// The last answer, for the run of events of one thread that a choice looks
// at: hung or not is the thread's, and asking the platform costs a call.
struct LastAnswer {
    DWORD thread = 0;
    bool canAnswer = false;
};

// Whether the application behind an event can answer now: the rules of
// call_places.h allow a call (none already waits on its thread, and the
// application is within its share), and the platform does not report the
// window as hung.
bool canAnswerNow(const WaitingEvent& event, void* context) {
    if (!callMayStartFor(event)) {
        return false;
    }
    auto& last = *static_cast<LastAnswer*>(context);
    if (last.thread == 0 || last.thread != event.thread) {
        last.thread = event.thread;
        last.canAnswer = !IsHungAppWindow(windowOf(event));
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
    case CallProgress::answered:
        if (setTargetFromFindings(*found)) {
            // With the rectangle: the mouse hook replays nothing once it is gone.
            targetWindow = reinterpret_cast<HWND>(found->window);
        }
        break;
    case CallProgress::threadFree: handlePendingEvents(); break;
    }
}

void CALLBACK recheck(HWND, UINT, UINT_PTR, DWORD) {
    collectFindings();
    handlePendingEvents();
}

// The timer runs while anything waits or a call has not returned, and only
// then: a quiet desktop costs no wake-up.
void keepRechecking() {
    const bool needed = (!eventsEnded && waitingEventCount() > 0) || callsNotReturned() > 0;
    if (needed && recheckTimer == 0) {
        recheckTimer = SetTimer(nullptr, 0, recheckMs, recheck);
    } else if (!needed && recheckTimer != 0) {
        KillTimer(nullptr, recheckTimer);
        recheckTimer = 0;
    }
}

// Hands out waiting events, in the order of waiting_events.h, while the
// rules of call_places.h leave a place.
void handlePendingEvents() {
    while (!eventsEnded && callPlaceFree()) {
        LastAnswer last;
        WaitingEvent next{};
        if (!takeNextWaitingEvent(GetTickCount(), callsNotReturned() > 0, canAnswerNow, &last,
                                  next)) {
            break;
        }
        if (!startEventCalls(next, applyFindings)) {
            // No thread could be started: the event is lost, not the next ones.
            break;
        }
    }
    keepRechecking();
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
    return callsNotReturned() > 0;
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
    dispatchWinEvent(event, hwnd, idObject, idChild, windowThread, windowProcess,
                     eventRaisedMs(dwmsEventTime, GetTickCount()));
}

void dispatchWinEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild, DWORD windowThread,
                      DWORD windowProcess, DWORD raisedMs) {
    if (eventsEnded) {
        return;
    }
    recordWaitingEvent({event,
                        {reinterpret_cast<std::uintptr_t>(hwnd), idObject, idChild},
                        windowThread,
                        raisedMs,
                        0,
                        windowProcess,
                        false});
    handlePendingEvents();
}
