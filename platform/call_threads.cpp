#include "call_threads.h"

#include <oleacc.h>

#include <algorithm>

#include "dispatcher.h"
#include "subscription.h"
#include "target_window.h"

namespace {

// One call thread and the event it works on. The main thread writes `event`
// before it sets `wake`; the call thread writes the fields of `found` that
// a message hands back before it posts that message, and none of them
// after. Both are platform synchronisation, so neither side ever reads a
// half-written value. `busy` is the main thread's alone.
struct CallThread {
    HANDLE thread = nullptr;
    HANDLE wake = nullptr;
    bool busy = false;
    WaitingEvent event{};
    EventFindings found{};
    bool namedFirst = false;  // the call thread's own
};

constinit CallThread callThreads[maxCallsUnderWay] = {};
constinit int mostBusy = 0;
constinit FindingsHandler findingsHandler = nullptr;

// Findings come back to the main thread through a message-only window of
// its own, as a posted message: the main thread never waits for them.
constexpr UINT findingsMessage = WM_APP + 0x40;
constinit HWND findingsWindow = nullptr;

void postToMainThread(const CallThread& self, CallProgress progress) {
    const auto index = static_cast<WPARAM>(&self - callThreads);
    // A full message queue is the only way this fails; it drains.
    while (!PostMessageA(findingsWindow, findingsMessage, index, static_cast<LPARAM>(progress)) &&
           IsWindow(findingsWindow)) {
        Sleep(10);
    }
}

// The name as the core compares it, and the row it matches; false when the
// copy cannot be had (out of memory): the event is then dropped.
bool matchName(BSTR name, const CueRow*& row) {
    row = nullptr;
    if (name == nullptr) {
        return true;
    }
    BSTR copy = SysAllocString(name);  // up to the first NUL
    if (copy == nullptr) {
        return false;
    }
    row = findCue(
        ElementName(std::u16string_view(reinterpret_cast<const char16_t*>(copy), SysStringLen(copy))));
    SysFreeString(copy);
    return true;
}

void askAboutElement(CallThread& self, IAccessible* object, VARIANT& child) {
    const WaitingEvent& event = self.event;
    EventFindings& found = self.found;
    BSTR name = nullptr;
    const HRESULT nameResult = object->get_accName(child, &name);
    // No name: the event is dropped, a hide included. A misbehaving server
    // may have written a string with S_FALSE all the same; it is ours to free.
    // Any other result goes on with whatever the call left in the name.
    if (nameResult != S_FALSE && matchName(name, found.row)) {
        found.named = true;
    }
    SysFreeString(name);
    // The location only for a focus that can still set the click target: an
    // answer that cannot change anything costs the application a call.
    if (found.named && found.row != nullptr && event.event == eventObjectFocus &&
        targetStillOpenTo(event.arrival)) {
        // The cue need not wait for the location.
        postToMainThread(self, CallProgress::named);
        self.namedFirst = true;
        LONG left = 0;
        LONG top = 0;
        LONG width = 0;
        LONG height = 0;
        if (object->accLocation(&left, &top, &width, &height, child) == S_OK) {
            found.located = true;
            found.left = left;
            found.top = top;
            found.width = width;
            found.height = height;
        }
    }
}

// Fills `found`; leaves the object for the caller to release once the
// findings are on their way: the release is a call into the other
// application too, and the cue need not wait for it.
IAccessible* findOut(CallThread& self) {
    const WaitingEvent& event = self.event;
    EventFindings& found = self.found;
    found = EventFindings{};
    found.event = event.event;
    found.arrival = event.arrival;
    found.raisedMs = event.raisedMs;
    found.window = event.element.window;
    if (accessibleObjectFromEvent == nullptr) {
        return nullptr;
    }
    IAccessible* object = nullptr;
    VARIANT child;
    VariantInit(&child);
    const HRESULT result = accessibleObjectFromEvent(windowOf(event),
                                                     static_cast<DWORD>(event.element.object),
                                                     static_cast<DWORD>(event.element.child),
                                                     &object, &child);
    if (result == S_OK && object != nullptr) {
        askAboutElement(self, object, child);
    } else if (event.event == eventObjectHide && !windowExists(windowOf(event))) {
        // Out-of-context events come late: a window hidden and destroyed at
        // once is gone before its hide is asked about.
        found.windowGone = true;
    }
    VariantClear(&child);
    return result == S_OK ? object : nullptr;
}

DWORD WINAPI callThreadMain(void* parameter) {
    auto& self = *static_cast<CallThread*>(parameter);
    // The calls are plain blocking ones: a multithreaded apartment has no
    // messages to pump, and its waits hold up nothing but this thread.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (;;) {
        WaitForSingleObject(self.wake, INFINITE);
        self.namedFirst = false;
        IAccessible* object = findOut(self);
        postToMainThread(self, self.namedFirst ? CallProgress::located : CallProgress::found);
        if (object != nullptr) {
            object->Release();
        }
        postToMainThread(self, CallProgress::threadFree);
    }
}

LRESULT CALLBACK findingsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == findingsMessage && wParam < maxCallsUnderWay) {
        // The findings first, then, once the object is released (a call into
        // the application too), the thread is free for the next event.
        CallThread& from = callThreads[wParam];
        const auto progress = static_cast<CallProgress>(lParam);
        if (from.busy && findingsHandler != nullptr) {
            if (progress == CallProgress::threadFree) {
                from.busy = false;
                findingsHandler(progress, nullptr);
            } else {
                findingsHandler(progress, &from.found);
            }
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool haveFindingsWindow() {
    if (findingsWindow == nullptr) {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = findingsWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "vocaretCallFindings";
        RegisterClassA(&windowClass);
        findingsWindow = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0,
                                         HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    }
    return findingsWindow != nullptr;
}

// Call threads are started when first needed and then kept: they cost
// nothing while they wait for work.
bool haveThread(CallThread& slot) {
    if (slot.thread != nullptr) {
        return true;
    }
    if (slot.wake == nullptr) {
        slot.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (slot.wake == nullptr) {
            return false;
        }
    }
    constexpr SIZE_T stackReserve = 256 * 1024;
    slot.thread = CreateThread(nullptr, stackReserve, callThreadMain, &slot,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    return slot.thread != nullptr;
}

}  // namespace

HWND windowOf(const WaitingEvent& event) {
    return reinterpret_cast<HWND>(event.element.window);
}

bool startEventCalls(const WaitingEvent& event, FindingsHandler handler) {
    if (!haveFindingsWindow()) {
        return false;
    }
    for (CallThread& slot : callThreads) {
        if (!slot.busy && haveThread(slot)) {
            findingsHandler = handler;
            slot.event = event;
            slot.busy = true;
            mostBusy = std::max(mostBusy, callsUnderWay());
            SetEvent(slot.wake);
            return true;
        }
    }
    return false;
}

bool callUnderWayInto(DWORD thread) {
    return std::any_of(std::begin(callThreads), std::end(callThreads), [thread](const CallThread& slot) {
        return slot.busy && slot.event.thread == thread;
    });
}

int callsUnderWay() {
    return static_cast<int>(std::count_if(std::begin(callThreads), std::end(callThreads),
                                          [](const CallThread& slot) { return slot.busy; }));
}

int mostCallsUnderWay() {
    return mostBusy;
}
