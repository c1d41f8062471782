#include "subscription.h"

#include "system_library.h"
#include "win_event_proc.h"

constinit HWINEVENTHOOK winEventHookHandle = nullptr;

namespace {

constexpr DWORD subscribedEventMin = 0x0004;  // EVENT_SYSTEM_MENUSTART
constexpr DWORD subscribedEventMax = 0x800E;  // EVENT_OBJECT_VALUECHANGE
constexpr DWORD subscriptionFlags = 0x0002;   // WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS

// CoUninitialize only balances a CoInitialize that succeeded; otherwise it
// would tear down an apartment this thread does not own.
constinit bool comInitialized = false;

}  // namespace

void startAccessibilitySubscription() {
    const HRESULT initialized = CoInitialize(nullptr);
    comInitialized = initialized == S_OK || initialized == S_FALSE;
    beginAccessibilityEvents();
    winEventHookHandle = SetWinEventHook(subscribedEventMin, subscribedEventMax, nullptr,
                                         winEventProc, 0, 0, subscriptionFlags);
}

void endAccessibilitySubscription() {
    UnhookWinEvent(winEventHookHandle);
    endAccessibilityEvents();
    if (comInitialized && !accessibilityCallInProgress()) {
        CoUninitialize();
        comInitialized = false;
    }
}

// The program's only dynamic initialisers: the cue table and every other
// program-wide variable are constant-initialised (constinit), so this load
// is the last static initialisation and runs before WinMain. The library
// comes from the system folder only and stays loaded for the life of the
// process.
HMODULE oleaccModule = loadSystemLibrary("oleacc.dll");
AccessibleObjectFromEventFunction accessibleObjectFromEvent =
    systemFunction<AccessibleObjectFromEventFunction>(oleaccModule, "AccessibleObjectFromEvent");
