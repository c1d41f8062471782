#include "win_event_proc.h"

#include <oleacc.h>

#include <cstdint>

#include "click_target.h"
#include "dispatcher.h"

constinit BSTR objectName = nullptr;

namespace {

struct AccessibleElement {
    IAccessible* object;
    VARIANT* child;
};

// The location query: accLocation straight into the click target. The call
// writes into copies that start from the current values, so a call that
// fails leaves what was there, and the mouse hook (which can run while the
// call waits on the other process) never sees a half-written rectangle.
void locateElement(void* context) {
    const auto* element = static_cast<const AccessibleElement*>(context);
    LONG left = targetLeft;
    LONG top = targetTop;
    LONG width = targetWidth;
    LONG height = targetHeight;
    element->object->accLocation(&left, &top, &width, &height, *element->child);
    targetLeft = left;
    targetTop = top;
    targetWidth = width;
    targetHeight = height;
}

// Asks for the name and hands the event to the core. objectName is null on
// entry and on return.
void dispatchNamedEvent(DWORD event, IAccessible* object, VARIANT* child) {
    const HRESULT nameResult = object->get_accName(*child, &objectName);
    if (nameResult == S_FALSE) {
        // No name: the event is dropped. A misbehaving server may have
        // written a string all the same; it is ours to free.
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
        AccessibleElement element{object, child};
        handleAccessibilityEvent(event, name, locateElement, &element);
    }
    SysFreeString(copy);
    SysFreeString(objectName);
    objectName = nullptr;
}

void handleEvent(DWORD event, HWND hwnd, LONG idObject, LONG idChild) {
    IAccessible* object = nullptr;
    VARIANT child;
    VariantInit(&child);
    const HRESULT found = AccessibleObjectFromEvent(hwnd, static_cast<DWORD>(idObject),
                                                    static_cast<DWORD>(idChild), &object, &child);
    if (found == S_OK && object != nullptr) {
        dispatchNamedEvent(event, object, &child);
        object->Release();
    }
    VariantClear(&child);
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
constinit bool handlingEvent = false;

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

}  // namespace

std::size_t droppedPendingEvents() {
    return droppedCount;
}

void CALLBACK winEventProc(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG idObject, LONG idChild,
                           DWORD, DWORD) {
    if (handlingEvent) {
        queueEvent({event, hwnd, idObject, idChild});
        return;
    }
    handlingEvent = true;
    handleEvent(event, hwnd, idObject, idChild);
    while (pendingCount > 0) {
        const PendingEvent next = pendingEvents[pendingFirst];
        pendingFirst = (pendingFirst + 1) % pendingEventCapacity;
        --pendingCount;
        handleEvent(next.event, next.hwnd, next.idObject, next.idChild);
    }
    handlingEvent = false;
}
