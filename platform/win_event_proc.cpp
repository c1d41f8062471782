#include "win_event_proc.h"

#include <oleacc.h>

#include <cstdint>

#include "click_target.h"
#include "dispatcher.h"

constinit BSTR objectName = nullptr;

namespace {

// Counts the events whose handling has begun. An event that sees the count
// move while it waits has been overtaken by newer events (see
// overtakeWaitingCall) and its result is stale.
constinit std::uint64_t startedEvents = 0;

bool overtaken(std::uint64_t sequence) {
    return startedEvents != sequence;
}

struct AccessibleElement {
    IAccessible* object;
    VARIANT* child;
    std::uint64_t sequence;
    bool stale;
    std::int32_t armedAfterLocation;
};

// The location query: accLocation straight into the click target. The call
// writes into copies that start from the current values, so a call that
// fails leaves what was there, and the mouse hook (which can run while the
// call waits on the other process) never sees a half-written rectangle.
void locateElement(void* context) {
    auto* element = static_cast<AccessibleElement*>(context);
    LONG left = targetLeft;
    LONG top = targetTop;
    LONG width = targetWidth;
    LONG height = targetHeight;
    element->object->accLocation(&left, &top, &width, &height, *element->child);
    if (overtaken(element->sequence)) {
        // Newer events armed or disarmed meanwhile: theirs is the target.
        element->stale = true;
        element->armedAfterLocation = armedCueId;
        return;
    }
    targetLeft = left;
    targetTop = top;
    targetWidth = width;
    targetHeight = height;
}

// Asks for the name and hands the event to the core. objectName is null on
// entry and on return.
void dispatchNamedEvent(DWORD event, IAccessible* object, VARIANT* child, std::uint64_t sequence) {
    const HRESULT nameResult = object->get_accName(*child, &objectName);
    if (nameResult == S_FALSE || overtaken(sequence)) {
        // No name, or newer events were handled while this one waited for
        // it: the event is dropped. A misbehaving server may have written a
        // string with S_FALSE all the same; it is ours to free.
        SysFreeString(objectName);
        objectName = nullptr;
        return;
    }
    // Any other result goes on with whatever the call left in objectName.
    BSTR copy = nullptr;
    bool outOfMemory = false;
    ElementName name;
    if (objectName != nullptr) {
        copy = SysAllocString(objectName);  // up to the first NUL
        if (copy == nullptr) {
            outOfMemory = true;
        } else {
            name = std::u16string_view(reinterpret_cast<const char16_t*>(copy), SysStringLen(copy));
        }
    }
    if (!outOfMemory) {
        AccessibleElement element{object, child, sequence, false, 0};
        handleAccessibilityEvent(event, name, locateElement, &element);
        if (element.stale) {
            armedCueId = element.armedAfterLocation;
        }
    }
    SysFreeString(copy);
    SysFreeString(objectName);
    objectName = nullptr;
}

constinit DWORD runningSince = 0;  // when the innermost running event began
constinit int handlingDepth = 0;

void handleEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild) {
    const std::uint64_t sequence = ++startedEvents;
    const DWORD outerStart = runningSince;
    runningSince = GetTickCount();
    ++handlingDepth;
    IAccessible* object = nullptr;
    VARIANT child;
    VariantInit(&child);
    const HRESULT found = AccessibleObjectFromEvent(hwnd, static_cast<DWORD>(idObject),
                                                    static_cast<DWORD>(idChild), &object, &child);
    if (found == S_OK && object != nullptr) {
        if (!overtaken(sequence)) {
            dispatchNamedEvent(event, object, &child, sequence);
        }
        object->Release();
    }
    VariantClear(&child);
    --handlingDepth;
    runningSince = outerStart;
}

struct PendingEvent {
    DWORD event;
    HWND hwnd;
    LONG idObject;
    LONG idChild;
};

// A ring of the events that arrived while another was being handled: the
// accessibility calls wait on other processes, and COM pumps messages
// meanwhile, so the platform delivers further events inside the running
// call. Handling them there would let an older event write the click target
// after a newer one, and a burst would nest until the stack ran out.
constinit PendingEvent pendingEvents[pendingEventCapacity] = {};
constinit std::size_t pendingFirst = 0;
constinit std::size_t pendingCount = 0;
constinit std::size_t droppedCount = 0;

void queueEvent(const PendingEvent& pending) {
    if (pendingCount == pendingEventCapacity) {
        // Full: the oldest waiting event gives way, so the newest state of the
        // desktop still reaches the click target.
        pendingFirst = (pendingFirst + 1) % pendingEventCapacity;
        --pendingCount;
        ++droppedCount;
    }
    pendingEvents[(pendingFirst + pendingCount) % pendingEventCapacity] = pending;
    ++pendingCount;
}

void handlePendingEvents() {
    while (pendingCount > 0) {
        const PendingEvent next = pendingEvents[pendingFirst];
        pendingFirst = (pendingFirst + 1) % pendingEventCapacity;
        --pendingCount;
        handleEvent(next.event, next.hwnd, next.idObject, next.idChild);
    }
}

// A call into an application that has stopped answering would hold back the
// cues of every other application for as long as it hangs. Once the running
// event has waited waitingCallLimitMs with others behind it, they are handled
// inside its wait, and it is dropped when its call returns. A thread timer
// brings the wait back here when no further message would; it runs only
// while events are waiting.
constinit UINT_PTR overtakeTimer = 0;

void CALLBACK overtakeWaitingCall(HWND, UINT, UINT_PTR, DWORD);

void stopOvertakeTimer() {
    if (overtakeTimer != 0) {
        KillTimer(nullptr, overtakeTimer);
        overtakeTimer = 0;
    }
}

void scheduleOvertake() {
    const DWORD waited = GetTickCount() - runningSince;
    if (waited >= waitingCallLimitMs) {
        stopOvertakeTimer();
        handlePendingEvents();
    } else if (overtakeTimer == 0) {
        overtakeTimer = SetTimer(nullptr, 0, waitingCallLimitMs - waited, overtakeWaitingCall);
    }
}

void CALLBACK overtakeWaitingCall(HWND, UINT, UINT_PTR, DWORD) {
    stopOvertakeTimer();
    if (handlingDepth > 0 && pendingCount > 0) {
        scheduleOvertake();
    }
}

}  // namespace

std::size_t droppedPendingEvents() {
    return droppedCount;
}

void CALLBACK winEventProc(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG idObject, LONG idChild,
                           DWORD, DWORD) {
    if (handlingDepth > 0) {
        queueEvent({event, hwnd, idObject, idChild});
        scheduleOvertake();
        return;
    }
    handleEvent(event, hwnd, idObject, idChild);
    handlePendingEvents();
    stopOvertakeTimer();
}
