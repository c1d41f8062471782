#include "call_threads.h"

#include <oleacc.h>

#include <algorithm>
#include <atomic>

#include "event_kinds.h"
#include "subscription.h"
#include "target_window.h"

namespace {

// How far a call thread has got with its event; written by the call thread
// (after the findings it stands for), reset by the main thread before it
// hands out the next event.
enum Stage : int { working, named, answered, released };

// One call thread and the event it works on. The main thread writes `event`
// before it sets `wake`, and reads `found` only as far as `stage` says it is
// written; the call thread writes nothing of `found` that `stage` already
// covers. `cuePassed` and `targetPassed` are the main thread's alone.
struct CallThread {
    HANDLE thread = nullptr;
    HANDLE wake = nullptr;
    WaitingEvent event{};
    EventFindings found{};
    std::atomic<int> stage{working};
    bool cuePassed = false;
    bool targetPassed = false;
};

constinit CallThread callThreads[callPlaceCount] = {};
constinit int mostCounted = 0;
constinit FindingsHandler findingsHandler = nullptr;

// The call threads say "look" through a message-only window of the main
// thread's, as a posted message: the main thread never waits for them.
constexpr UINT findingsMessage = WM_APP + 0x40;
constexpr const char* findingsClass = "vocaretCallFindings";
constinit std::atomic<HWND> findingsWindow{nullptr};

void reach(CallThread& self, Stage stage) {
    self.stage.store(stage, std::memory_order_release);
    // When the window is gone or its queue is full, the main thread's timer
    // looks all the same.
    PostMessageA(findingsWindow.load(std::memory_order_relaxed), findingsMessage, 0, 0);
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
        reach(self, named);
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
        IAccessible* object = findOut(self);
        reach(self, answered);
        if (object != nullptr) {
            object->Release();
        }
        reach(self, released);
    }
}

LRESULT CALLBACK findingsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case findingsMessage:
        // Whoever sent it, the findings are read from the call threads'
        // own places. A sent one is not acted on in its sender's frame.
        if (!InSendMessage()) {
            collectFindings();
        }
        return 0;
    case WM_CLOSE:
        // Not ours to close: any process can find this window by its class.
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// The window the call threads post to; made again if it was destroyed.
void haveFindingsWindow() {
    const HWND window = findingsWindow.load(std::memory_order_relaxed);
    if (window != nullptr && IsWindow(window)) {
        return;
    }
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = findingsWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = findingsClass;
    RegisterClassA(&windowClass);  // fails harmlessly once registered
    findingsWindow.store(CreateWindowExA(0, findingsClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                         nullptr, windowClass.hInstance, nullptr),
                         std::memory_order_relaxed);
}

// Call threads are started when first needed and then kept: they cost
// nothing while they wait for work, and there are at most callPlaceCount.
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
    haveFindingsWindow();
    const int place = beginCall(event, GetTickCount());
    if (place < 0) {
        return false;
    }
    CallThread& slot = callThreads[place];
    if (!haveThread(slot)) {
        endCall(place);
        return false;
    }
    findingsHandler = handler;
    slot.event = event;
    slot.stage.store(working, std::memory_order_relaxed);
    slot.cuePassed = false;
    slot.targetPassed = false;
    mostCounted = std::max(mostCounted, static_cast<int>(callsCounted()));
    SetEvent(slot.wake);
    return true;
}

void collectFindings() {
    abandonOverdueCalls(GetTickCount());
    for (int place = 0; place < static_cast<int>(callPlaceCount); ++place) {
        if (!callBusy(place) || findingsHandler == nullptr) {
            continue;
        }
        CallThread& slot = callThreads[place];
        const int stage = slot.stage.load(std::memory_order_acquire);
        // The cue first, then the target, then, once the object is released
        // (a call into the application too), the place is free.
        if (stage >= named && !slot.cuePassed) {
            slot.cuePassed = true;
            findingsHandler(CallProgress::named, &slot.found);
        }
        if (stage >= answered && !slot.targetPassed) {
            slot.targetPassed = true;
            findingsHandler(CallProgress::answered, &slot.found);
        }
        if (stage == released) {
            endCall(place);
            findingsHandler(CallProgress::threadFree, nullptr);
        }
    }
}

int mostCallsUnderWay() {
    return mostCounted;
}
