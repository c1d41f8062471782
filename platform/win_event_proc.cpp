#include "win_event_proc.h"

#include <oleacc.h>

#include <algorithm>
#include <cstdint>

#include "click_target.h"
#include "dispatcher.h"
#include "subscription.h"
#include "target_window.h"
#include "waiting_events.h"

constinit BSTR objectName = nullptr;

namespace {

// Counts the events whose handling has begun. An event that sees the count
// move while it waits has been overtaken by newer events (see
// overtakeWaitingCalls) and its result is stale.
constinit std::uint64_t startedEvents = 0;
// Set when the program closes; every event still under way is then stale.
constinit bool eventsEnded = false;

bool overtaken(std::uint64_t sequence) {
    return eventsEnded || startedEvents != sequence;
}

struct AccessibleElement {
    IAccessible* object;
    VARIANT* child;
    HWND window;  // the event's window
    std::uint64_t sequence;
    bool settled;  // the core arms the target, or disarms it for want of a rectangle
};

// The location query: accLocation into copies, so that the mouse hook (which
// can run while the call waits on the other process) never sees a
// half-written rectangle. An overtaken event writes nothing, and tells the
// core so.
Location locateElement(void* context) {
    auto* element = static_cast<AccessibleElement*>(context);
    LONG left = 0;
    LONG top = 0;
    LONG width = 0;
    LONG height = 0;
    const HRESULT located =
        element->object->accLocation(&left, &top, &width, &height, *element->child);
    if (overtaken(element->sequence)) {
        return Location::overtaken;
    }
    element->settled = true;
    // A failed call may write nothing (oleacc's proxies do not): no rectangle,
    // and the core arms nothing rather than the previous element's.
    if (located != S_OK) {
        return Location::failed;
    }
    targetLeft = left;
    targetTop = top;
    targetWidth = width;
    targetHeight = height;
    // With the rectangle: the mouse hook replays nothing once it is gone.
    targetWindow = element->window;
    return Location::found;
}

// Asks for the name and hands the event to the core. Answers whether the
// event armed the click target, or disarmed it for want of a rectangle.
bool dispatchNamedEvent(DWORD event, IAccessible* object, VARIANT* child, HWND window,
                        std::uint64_t sequence) {
    BSTR name = nullptr;
    const HRESULT nameResult = object->get_accName(*child, &name);
    if (nameResult == S_FALSE || overtaken(sequence)) {
        // No name, or newer events were handled while this one waited for
        // it: the event is dropped. A misbehaving server may have written a
        // string with S_FALSE all the same; it is ours to free.
        SysFreeString(name);
        return false;
    }
    // Any other result goes on with whatever the call left in the name.
    BSTR copy = nullptr;
    bool outOfMemory = false;
    ElementName elementName;
    if (name != nullptr) {
        copy = SysAllocString(name);  // up to the first NUL
        if (copy == nullptr) {
            outOfMemory = true;
        } else {
            elementName =
                std::u16string_view(reinterpret_cast<const char16_t*>(copy), SysStringLen(copy));
        }
    }
    AccessibleElement element{object, child, window, sequence, false};
    if (!outOfMemory) {
        handleAccessibilityEvent(event, elementName, locateElement, &element);
    }
    SysFreeString(copy);
    SysFreeString(name);
    return element.settled;
}

// The events being handled, outermost first: the thread each one's calls
// wait on, and since when.
struct RunningEvent {
    DWORD thread;
    DWORD since;
    DWORD waitLimitMs;  // how long it may hold back the events behind it
};
constinit RunningEvent runningEvents[maxHandlingDepth] = {};
constinit int handlingDepth = 0;
constinit int deepestDepth = 0;
// The thread whose last call waited waitingCallLimitMs or more: a call into
// it holds back the events behind it for slowThreadLimitMs only, since it is
// likely to hang again (an application that hangs in every call).
constinit DWORD slowThread = 0;

HWND windowOf(const WaitingEvent& event) {
    return reinterpret_cast<HWND>(event.element.window);
}

void handleEvent(const WaitingEvent& pending) {
    if (accessibleObjectFromEvent == nullptr) {
        return;
    }
    const std::uint64_t sequence = ++startedEvents;
    const DWORD start = GetTickCount();
    const bool intoSlowThread = pending.thread != 0 && pending.thread == slowThread;
    runningEvents[handlingDepth] = {pending.thread, start,
                                    intoSlowThread ? slowThreadLimitMs : waitingCallLimitMs};
    ++handlingDepth;
    deepestDepth = std::max(deepestDepth, handlingDepth);
    IAccessible* object = nullptr;
    VARIANT child;
    VariantInit(&child);
    const HRESULT found = accessibleObjectFromEvent(windowOf(pending),
                                                    static_cast<DWORD>(pending.element.object),
                                                    static_cast<DWORD>(pending.element.child),
                                                    &object, &child);
    if (found == S_OK && object != nullptr) {
        if (!overtaken(sequence) &&
            dispatchNamedEvent(pending.event, object, &child, windowOf(pending), sequence)) {
            // What the older focuses and hides did, this focus overwrites.
            forgetEventsBefore(pending.arrival);
        }
        object->Release();
    } else if (pending.event == EVENT_OBJECT_HIDE && !overtaken(sequence) &&
               !windowExists(windowOf(pending))) {
        // The window closed before its hide was handled (out-of-context
        // events come late), so there is no object to ask: it disarms as any
        // hide does, for the armed element may have been in it.
        handleAccessibilityEvent(eventObjectHide, ElementName(), nullptr, nullptr);
    }
    VariantClear(&child);
    --handlingDepth;
    if (GetTickCount() - start >= waitingCallLimitMs && pending.thread != GetCurrentThreadId()) {
        slowThread = pending.thread;
    } else if (slowThread == pending.thread) {
        slowThread = 0;
    }
}

bool beingWaitedOn(DWORD thread) {
    // A window of this very thread answers in place, without a wait.
    if (thread == GetCurrentThreadId()) {
        return false;
    }
    for (int i = 0; i < handlingDepth; ++i) {
        if (runningEvents[i].thread == thread) {
            return true;
        }
    }
    return false;
}

// The last answer, for the run of events of one thread that a choice looks
// at: hung or not is the thread's, and asking the platform costs a call.
struct LastAnswer {
    DWORD thread = 0;
    bool canAnswer = false;
};

// Whether the application behind an event can answer now. A thread that a
// call below is already waiting on cannot: asking it again would only nest
// another wait on the same hang. Nor can one the platform reports as hung.
bool canAnswerNow(const WaitingEvent& event, void* context) {
    auto& last = *static_cast<LastAnswer*>(context);
    if (last.thread == 0 || last.thread != event.thread) {
        last.thread = event.thread;
        last.canAnswer = !beingWaitedOn(event.thread) && !IsHungAppWindow(windowOf(event));
    }
    return last.canAnswer;
}

// Takes the next event to handle now (see waiting_events.h for the order).
bool takeNextEvent(WaitingEvent& next) {
    if (handlingDepth >= maxHandlingDepth) {
        return false;
    }
    LastAnswer last;
    return takeNextWaitingEvent(GetTickCount(), handlingDepth > 0, canAnswerNow, &last, next);
}

void handlePendingEvents() {
    WaitingEvent next{};
    while (!eventsEnded && takeNextEvent(next)) {
        handleEvent(next);
    }
}

// A call into an application that has stopped answering would hold back the
// cues of every other application for as long as it hangs. Once the
// innermost running event has waited waitingCallLimitMs with others behind
// it (slowThreadLimitMs when its thread kept the last call into it waiting
// that long), those whose applications can answer are handled inside its
// wait, and it is dropped when its call returns.
//
// Getting back into the wait at the limit: COM's wait for an answer lets
// sent messages through, but neither timer nor posted messages, so a thread
// timer would fire only after the call. A timer-queue timer, which exists
// only while events wait, sends a notification to a message-only window of
// this thread instead; its thread touches nothing else. The queue is our
// own and goes with the timer: the process's default queue keeps its
// thread, and the megabyte of memory that comes with one, until the end.
constexpr UINT overtakeMessage = 0x03E1;  // WM_DDE_TERMINATE
constinit HWND overtakeWindow = nullptr;
constinit HANDLE overtakeTimerQueue = nullptr;  // non-null while the wake-up is set

void overtakeWaitingCalls();

LRESULT CALLBACK overtakeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == overtakeMessage) {
        overtakeWaitingCalls();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void CALLBACK wakeMainThread(void*, BOOLEAN) {
    PostMessageA(overtakeWindow, overtakeMessage, 0, 0);
}

bool haveOvertakeWindow() {
    if (overtakeWindow == nullptr) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = overtakeWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "vocaretOvertakeWindow";
        RegisterClassA(&windowClass);
        overtakeWindow = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0,
                                         HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    }
    return overtakeWindow != nullptr;
}

void stopOvertakeTimer() {
    if (overtakeTimerQueue != nullptr) {
        // Does not wait: a notification already on its way finds nothing to do.
        DeleteTimerQueueEx(overtakeTimerQueue, nullptr);
        overtakeTimerQueue = nullptr;
    }
}

void startOvertakeTimer(DWORD dueMs) {
    if (!haveOvertakeWindow()) {
        return;
    }
    overtakeTimerQueue = CreateTimerQueue();
    HANDLE timer = nullptr;
    if (overtakeTimerQueue != nullptr &&
        !CreateTimerQueueTimer(&timer, overtakeTimerQueue, wakeMainThread, nullptr, dueMs, 0,
                               WT_EXECUTEINTIMERTHREAD | WT_EXECUTEONLYONCE)) {
        stopOvertakeTimer();
    }
}

void scheduleOvertake() {
    const RunningEvent& running = runningEvents[handlingDepth - 1];
    const DWORD waited = GetTickCount() - running.since;
    if (waited >= running.waitLimitMs) {
        stopOvertakeTimer();
        handlePendingEvents();
    } else if (overtakeTimerQueue == nullptr) {
        startOvertakeTimer(running.waitLimitMs - waited);
    }
}

void overtakeWaitingCalls() {
    stopOvertakeTimer();
    if (handlingDepth > 0 && waitingEventCount() > 0) {
        scheduleOvertake();
    }
}

}  // namespace

int deepestHandlingDepth() {
    return deepestDepth;
}

void beginAccessibilityEvents() {
    eventsEnded = false;
}

void endAccessibilityEvents() {
    eventsEnded = true;
    clearWaitingEvents();
    stopOvertakeTimer();
}

bool accessibilityCallInProgress() {
    return handlingDepth > 0;
}

bool overtakeWakeUpScheduled() {
    return overtakeTimerQueue != nullptr;
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
    if (handlingDepth > 0) {
        // Inside another event's wait: its turn comes when that call returns,
        // or at the wait limit.
        scheduleOvertake();
        return;
    }
    handlePendingEvents();
    stopOvertakeTimer();
}
