// winEventProc against the real oleacc: a window of the test's own answers
// WM_GETOBJECT with a scripted IAccessible, and the test checks what plays,
// what the click target holds, which calls were made and that every
// reference taken was given back.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "click_target.h"
#include "import_patch.h"
#include "play_cue.h"
#include "scripted_window.h"
#include "subscription.h"
#include "target_window.h"
#include "waiting_events.h"
#include "win_event_proc.h"

namespace {

std::vector<std::string> played;
void recordSound(const char* soundFile) {
    played.emplace_back(soundFile);
}

using Sounds = std::vector<std::string>;

class WinEventProc : public ::testing::Test {
protected:
    ScriptedWindow target;

    void SetUp() override {
        CoInitialize(nullptr);
        beginAccessibilityEvents();
        played.clear();
        setSoundOutput(recordSound);
        armedCueId = targetLeft = targetTop = targetWidth = targetHeight = 0;
        targetWindow = nullptr;
    }
    void TearDown() override {
        setSoundOutput(nullptr);
        CoUninitialize();
    }

    // As winEventProc passes on an event of another process's window (the
    // scripted window is this process's own, which winEventProc drops).
    void raise(DWORD event, HWND window, LONG child = CHILDID_SELF) {
        dispatchWinEvent(event, window, OBJID_CLIENT, child,
                         GetWindowThreadProcessId(window, nullptr), GetTickCount());
    }
    void raise(DWORD event) { raise(event, target.handle()); }

    void named(const std::wstring& name, LONG left = 10, LONG top = 20, LONG width = 30,
               LONG height = 40) {
        target.accessible.answers.name = name;
        target.accessible.answers.left = left;
        target.accessible.answers.top = top;
        target.accessible.answers.width = width;
        target.accessible.answers.height = height;
    }

    void arm(std::int32_t id) {
        targetLeft = 1;
        targetTop = 2;
        targetWidth = 3;
        targetHeight = 4;
        armedCueId = id;
    }

    // Every reference handed out for an event is given back by its end.
    void expectNoReferenceHeld() {
        EXPECT_EQ(target.accessible.references, 1);
        EXPECT_EQ(objectName, nullptr);
    }
};

TEST_F(WinEventProc, EventsOfThisProcesssWindowsAreNotAsked) {
    // Wine delivers them although the subscription asks to skip them.
    named(L"Mentés");
    for (const DWORD event : {DWORD{EVENT_OBJECT_CREATE}, DWORD{EVENT_OBJECT_SHOW},
                              DWORD{EVENT_OBJECT_FOCUS}}) {
        winEventProc(nullptr, event, target.handle(), OBJID_CLIENT, CHILDID_SELF, 0, 0);
    }
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(target.accessible.nameQueries, 0);
    EXPECT_EQ(armedCueId, 0);
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, FocusPlaysLocatesOnceAndArmsWithTheRectangle) {
    named(L"Mentés");
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(played, (Sounds{"Sounds\\Save.wav"}));
    EXPECT_EQ(target.accessible.nameQueries, 1);
    EXPECT_EQ(target.accessible.locationQueries, 1);
    EXPECT_EQ(armedCueId, 1028);
    EXPECT_EQ(targetLeft, 10);
    EXPECT_EQ(targetTop, 20);
    EXPECT_EQ(targetWidth, 30);
    EXPECT_EQ(targetHeight, 40);
    EXPECT_EQ(targetWindow, target.handle());
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, ShowPlaysAndNeverAsksForTheLocation) {
    named(L"Nyomtatás...\tCtrl+P ");
    raise(EVENT_OBJECT_SHOW);
    EXPECT_EQ(played, (Sounds{"Sounds\\Print.wav"}));
    EXPECT_EQ(target.accessible.locationQueries, 0);
    EXPECT_EQ(armedCueId, 0);
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, NamesAreComparedExactlyAfterTheTrip) {
    named(L"Windows Live Messenger ");
    raise(EVENT_OBJECT_FOCUS);
    named(L"Windows Live Messenger");
    raise(EVENT_OBJECT_FOCUS);
    named(L"Új ablak \tCtrl+N");
    raise(EVENT_OBJECT_SHOW);
    EXPECT_EQ(played, (Sounds{"Sounds\\S_Messenger.WAV", "Sounds\\Window_open.wav"}));
    EXPECT_EQ(armedCueId, 1071);
    EXPECT_EQ(target.accessible.locationQueries, 1);
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, NameIsCutAtItsFirstNul) {
    named(std::wstring(L"Lomtár\0 és még", 14));
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(played, (Sounds{"Sounds\\Pedal.wav"}));
    EXPECT_EQ(armedCueId, 1060);
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, UnknownNameOnFocusChangesNothing) {
    arm(1005);
    named(L"Mentés másként");
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(target.accessible.locationQueries, 0);
    EXPECT_EQ(armedCueId, 1005);
    EXPECT_EQ(targetLeft, 1);
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, HideOfAnyReadableElementDisarms) {
    arm(1005);
    named(L"nothing we know");
    raise(EVENT_OBJECT_HIDE);
    EXPECT_EQ(armedCueId, 0);
    EXPECT_EQ(targetLeft, 1);
    arm(1005);
    target.accessible.answers.name = std::nullopt;  // S_OK with no name at all
    raise(EVENT_OBJECT_HIDE);
    EXPECT_EQ(armedCueId, 0);
    EXPECT_TRUE(played.empty());
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, NoNameAnswerDropsTheEventEvenAHide) {
    arm(1005);
    named(L"Mentés");
    target.accessible.answers.nameResult = S_FALSE;
    raise(EVENT_OBJECT_HIDE);
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(armedCueId, 1005);
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(target.accessible.nameQueries, 2);
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, NoNameAnswerWithAStringWrittenAnywayIsFreedAndDropped) {
    arm(1005);
    named(L"Mentés");
    target.accessible.answers.nameResult = S_FALSE;
    target.accessible.answers.writeNameDespiteResult = true;
    raise(EVENT_OBJECT_FOCUS);
    raise(EVENT_OBJECT_HIDE);
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(armedCueId, 1005);
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, FailingNameQueryGoesOnWithWhatItLeft) {
    // Nothing written: show and focus play nothing, a hide still disarms.
    arm(1005);
    named(L"Mentés");
    target.accessible.answers.nameResult = E_FAIL;
    raise(EVENT_OBJECT_FOCUS);
    raise(EVENT_OBJECT_SHOW);
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(armedCueId, 1005);
    raise(EVENT_OBJECT_HIDE);
    EXPECT_EQ(armedCueId, 0);
    // A name written despite the failure is the name of the event.
    target.accessible.answers.writeNameDespiteResult = true;
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(played, (Sounds{"Sounds\\Save.wav"}));
    EXPECT_EQ(armedCueId, 1028);
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, FailingLocationPlaysAndLeavesNothingArmed) {
    named(L"Mentés", 500, 600, 70, 80);
    target.accessible.answers.locationResult = E_FAIL;
    // Whether the failing call writes nothing (as oleacc's proxies) or
    // something all the same.
    for (const bool writes : {false, true}) {
        arm(1005);
        target.accessible.answers.writeLocationOnFailure = writes;
        raise(EVENT_OBJECT_FOCUS);
        EXPECT_EQ(armedCueId, 0) << "written anyway: " << writes;
    }
    EXPECT_EQ(played, (Sounds{"Sounds\\Save.wav", "Sounds\\Save.wav"}));
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, OtherEventsOfTheRangeAreNotAskedAbout) {
    arm(1005);
    named(L"Mentés");
    for (DWORD event : {DWORD{EVENT_OBJECT_CREATE}, DWORD{EVENT_OBJECT_REORDER},
                        DWORD{EVENT_OBJECT_VALUECHANGE}, DWORD{EVENT_SYSTEM_MENUSTART}}) {
        raise(event);
    }
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(armedCueId, 1005);
    EXPECT_EQ(target.accessible.objectRequests, 0);
    EXPECT_EQ(target.accessible.nameQueries, 0);
    expectNoReferenceHeld();
}

// Out-of-context events come late: the window may be gone by then, and no
// object can be had for it. A focus or show is dropped; a hide still disarms.
TEST_F(WinEventProc, NoObjectForAWindowAlreadyGoneDropsAllButAHide) {
    arm(1005);
    const HWND gone = CreateWindowExA(0, "STATIC", "gone", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      nullptr, nullptr);
    DestroyWindow(gone);
    raise(EVENT_OBJECT_FOCUS, gone);
    raise(EVENT_OBJECT_SHOW, gone);
    EXPECT_EQ(armedCueId, 1005);
    raise(EVENT_OBJECT_HIDE, gone);
    EXPECT_EQ(armedCueId, 0);
    EXPECT_TRUE(played.empty());
}

int objectQueries = 0;
HRESULT WINAPI objectQueryWithoutObject(HWND, DWORD, DWORD, IAccessible** object, VARIANT*) {
    ++objectQueries;
    *object = nullptr;
    return S_OK;
}

TEST_F(WinEventProc, ObjectQueryAnsweringOkWithoutAnObjectDropsTheEvent) {
    const AccessibleObjectFromEventFunction real = accessibleObjectFromEvent;
    accessibleObjectFromEvent = objectQueryWithoutObject;
    objectQueries = 0;
    arm(1005);
    raise(EVENT_OBJECT_HIDE);
    accessibleObjectFromEvent = real;
    ASSERT_EQ(objectQueries, 1);
    EXPECT_EQ(armedCueId, 1005);
    EXPECT_EQ(target.accessible.nameQueries, 0);
}

BSTR WINAPI allocationThatFails(const OLECHAR*) {
    return nullptr;
}

TEST_F(WinEventProc, NameCopyOutOfMemoryDropsTheEventAndFreesTheName) {
    arm(1005);
    named(L"Mentés");
    {
        ImportPatch patch("oleaut32.dll", "SysAllocString",
                          reinterpret_cast<void*>(allocationThatFails));
        ASSERT_TRUE(patch.applied());
        raise(EVENT_OBJECT_FOCUS);
        raise(EVENT_OBJECT_HIDE);
    }
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(armedCueId, 1005);
    expectNoReferenceHeld();
}

int uninitializeCalls = 0;
void WINAPI countingCoUninitialize() {
    ++uninitializeCalls;
}

// The program may close while a call into another application waits: COM
// pumps messages meanwhile, WM_CLOSE included.
TEST_F(WinEventProc, ClosingWhileACallWaitsDropsItsEventAndKeepsComForTheCall) {
    ImportPatch uninitialize("ole32.dll", "CoUninitialize",
                             reinterpret_cast<void*>(countingCoUninitialize));
    ASSERT_TRUE(uninitialize.applied());
    uninitializeCalls = 0;
    startAccessibilitySubscription();
    named(L"Mentés");
    bool callInProgress = false;
    target.accessible.answers.duringNameQuery = [&] {
        endAccessibilitySubscription();
        callInProgress = accessibilityCallInProgress();
    };
    raise(EVENT_OBJECT_FOCUS);
    raise(EVENT_OBJECT_FOCUS);  // after the close: not even asked
    EXPECT_TRUE(callInProgress);
    EXPECT_EQ(uninitializeCalls, 0);
    EXPECT_TRUE(played.empty());
    EXPECT_EQ(armedCueId, 0);
    EXPECT_EQ(target.accessible.nameQueries, 1);
    EXPECT_FALSE(accessibilityCallInProgress());
    expectNoReferenceHeld();
}

// While one event waits on the other process, the platform delivers further
// events inside the running call. They are handled after it, in order.
TEST_F(WinEventProc, EventsArrivingDuringANameQueryAreHandledAfterItInOrder) {
    ScriptedWindow second;
    second.accessible.answers.name = L"Előre";
    second.accessible.answers.left = 300;
    second.accessible.answers.width = 5;
    named(L"Vissza");
    int depthSeen = 0;
    target.accessible.answers.duringNameQuery = [&] {
        raise(EVENT_OBJECT_FOCUS, second.handle());
        depthSeen = second.accessible.nameQueries;  // 0: not handled inside
    };
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(depthSeen, 0);
    EXPECT_EQ(played, (Sounds{"Sounds\\Backarrow.wav", "Sounds\\Forwardarrow.wav"}));
    EXPECT_EQ(armedCueId, 1006);  // the newer focus wins
    EXPECT_EQ(targetLeft, 300);
    expectNoReferenceHeld();
    EXPECT_EQ(second.accessible.references, 1);
}

// Waits as COM does for an answer from another process: pumping messages.
void waitLikeACall(DWORD milliseconds) {
    pumpUntil([] { return false; }, milliseconds);
}

TEST_F(WinEventProc, EventsWaitingBehindAHungNameQueryOvertakeIt) {
    ScriptedWindow second;
    second.accessible.answers.name = L"Előre";
    second.accessible.answers.left = 300;
    named(L"Vissza");
    target.accessible.answers.duringNameQuery = [&] {
        raise(EVENT_OBJECT_FOCUS, second.handle());
        waitLikeACall(waitingCallLimitMs * 3);
    };
    raise(EVENT_OBJECT_FOCUS);
    // The newer focus was handled during the wait; the older event, answered
    // after it, is stale and dropped.
    EXPECT_EQ(played, (Sounds{"Sounds\\Forwardarrow.wav"}));
    EXPECT_EQ(armedCueId, 1006);
    EXPECT_EQ(targetLeft, 300);
    EXPECT_EQ(target.accessible.locationQueries, 0);
    expectNoReferenceHeld();
    EXPECT_EQ(second.accessible.references, 1);
}

TEST_F(WinEventProc, HideWaitingBehindAHungLocationQueryKeepsTheTargetDisarmed) {
    ScriptedWindow hidden;
    hidden.accessible.answers.name = L"valami";
    named(L"Vissza", 500, 500, 10, 10);
    target.accessible.answers.duringLocationQuery = [&] {
        raise(EVENT_OBJECT_HIDE, hidden.handle());
        waitLikeACall(waitingCallLimitMs * 3);
    };
    arm(1060);
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(played, (Sounds{"Sounds\\Backarrow.wav"}));  // played before the wait
    EXPECT_EQ(armedCueId, 0);   // the hide is newer than the stale location
    EXPECT_EQ(targetLeft, 1);   // the stale rectangle is not written
    expectNoReferenceHeld();
}

TEST_F(WinEventProc, ShortWaitsKeepArrivalOrder) {
    ScriptedWindow second;
    second.accessible.answers.name = L"Előre";
    named(L"Vissza");
    target.accessible.answers.duringNameQuery = [&] {
        raise(EVENT_OBJECT_FOCUS, second.handle());
        waitLikeACall(waitingCallLimitMs / 5);
    };
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(played, (Sounds{"Sounds\\Backarrow.wav", "Sounds\\Forwardarrow.wav"}));
    EXPECT_EQ(armedCueId, 1006);
    // No wake-up is left behind to wake the program later.
    EXPECT_FALSE(overtakeWakeUpScheduled());
}

TEST_F(WinEventProc, FloodDuringAWaitGivesWayToTheFocusAfterIt) {
    ScriptedWindow burst;
    burst.accessible.answers.name = L"Előre";
    ScriptedWindow last;
    last.accessible.answers.name = L"Fel";
    named(L"Vissza");
    target.accessible.answers.duringNameQuery = [&] {
        // Children of one window: distinct elements, none replaces another.
        for (LONG i = 1; i <= 2000; ++i) {
            raise(EVENT_OBJECT_SHOW, burst.handle(), i);
        }
        raise(EVENT_OBJECT_FOCUS, last.handle());
    };
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(burst.accessible.nameQueries, 0);
    EXPECT_EQ(played, (Sounds{"Sounds\\Backarrow.wav", "Sounds\\Uparrow.wav"}));
    EXPECT_EQ(armedCueId, 1007);
    expectNoReferenceHeld();
    EXPECT_EQ(burst.accessible.references, 1);
}

// An application that keeps raising events about one element holds one
// place in the queue: only its newest event is handled.
TEST_F(WinEventProc, WaitingEventsOfOneElementAreReplacedByTheNewest) {
    ScriptedWindow busy;
    busy.accessible.answers.name = L"Előre";
    named(L"Vissza");
    const std::size_t coalescedBefore = waitingEventTally().coalesced;
    target.accessible.answers.duringNameQuery = [&] {
        for (int i = 0; i < 50; ++i) {
            raise(EVENT_OBJECT_SHOW, busy.handle());
        }
    };
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(waitingEventTally().coalesced - coalescedBefore, 49u);
    EXPECT_EQ(busy.accessible.nameQueries, 1);
    EXPECT_EQ(played, (Sounds{"Sounds\\Backarrow.wav", "Sounds\\Forwardarrow.wav"}));
    EXPECT_EQ(armedCueId, 1005);  // a show arms nothing
    expectNoReferenceHeld();
}

// Each hung call lets the next event overtake it inside its wait, one
// level deeper; past the bound, events wait until the calls below return.
TEST_F(WinEventProc, OvertakingWaitsNestNoDeeperThanTheBound) {
    const int chain = maxHandlingDepth + 2;
    std::vector<std::unique_ptr<ScriptedWindow>> windows;
    for (int i = 0; i < chain; ++i) {
        windows.push_back(std::make_unique<ScriptedWindow>());
        windows.back()->accessible.answers.name = L"Vissza";
    }
    windows.back()->accessible.answers.name = L"Fel";
    for (int i = 0; i + 1 < chain; ++i) {
        windows[static_cast<std::size_t>(i)]->accessible.answers.duringNameQuery = [&, i] {
            raise(EVENT_OBJECT_FOCUS, windows[static_cast<std::size_t>(i + 1)]->handle());
            waitLikeACall(waitingCallLimitMs * 2);
        };
    }
    raise(EVENT_OBJECT_FOCUS, windows.front()->handle());
    EXPECT_EQ(deepestHandlingDepth(), maxHandlingDepth);
    EXPECT_EQ(windows.back()->accessible.nameQueries, 1);
    EXPECT_EQ(played.back(), "Sounds\\Uparrow.wav");
    EXPECT_EQ(armedCueId, 1007);  // the newest focus wins
    for (const auto& window : windows) {
        EXPECT_EQ(window->accessible.references, 1);
    }
}

}  // namespace
