// winEventProc against the real oleacc: a window of the test's own answers
// WM_GETOBJECT with a scripted IAccessible, and the test checks what plays,
// what the click target holds, which calls were made and that every
// reference taken was given back.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "call_threads.h"
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
    // scripted window is this process's own, which winEventProc drops). The
    // calls run on a call thread and ask this thread's windows, so the test
    // pumps messages until every answer is back and nothing waits.
    void raise(DWORD event, HWND window, LONG child = CHILDID_SELF) {
        raiseMeanwhile(event, window, child);
        settle();
    }
    void raise(DWORD event) { raise(event, target.handle()); }
    // The same from inside a scripted answer, while a call waits on it.
    static void raiseMeanwhile(DWORD event, HWND window, LONG child = CHILDID_SELF) {
        DWORD process = 0;
        const DWORD thread = GetWindowThreadProcessId(window, &process);
        dispatchWinEvent(event, window, OBJID_CLIENT, child, thread, process, GetTickCount());
    }
    static bool settle() {
        return pumpUntil([] { return !accessibilityCallInProgress() && waitingEventCount() == 0; },
                         10000);
    }

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

// A window hidden and destroyed at once is gone before its hide is asked
// about: nothing of it is left to click, so the hide still disarms. A focus
// or show of it plays nothing.
TEST_F(WinEventProc, NoObjectForTheEventDropsItButAHideOfAGoneWindowDisarms) {
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

// The program may close while a call into another application waits.
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

// While a call waits on an application, further events of that same
// application wait for it, and are handled after it, in order.
TEST_F(WinEventProc, EventsArrivingDuringANameQueryAreHandledAfterItInOrder) {
    ScriptedWindow second;
    second.accessible.answers.name = L"Előre";
    second.accessible.answers.left = 300;
    second.accessible.answers.width = 5;
    named(L"Vissza");
    int askedInside = 0;
    target.accessible.answers.duringNameQuery = [&] {
        raiseMeanwhile(EVENT_OBJECT_FOCUS, second.handle());
        pumpUntil([] { return false; }, 100);
        askedInside = second.accessible.nameQueries;  // 0: its thread is busy answering
    };
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(askedInside, 0);
    // The focus has moved on within the same thread before "Vissza" was
    // named: only the newer one is heard.
    EXPECT_EQ(played, (Sounds{"Sounds\\Forwardarrow.wav"}));
    EXPECT_EQ(armedCueId, 1006);  // the newer focus wins
    EXPECT_EQ(targetLeft, 300);
    expectNoReferenceHeld();
    EXPECT_EQ(second.accessible.references, 1);
}

TEST_F(WinEventProc, HideWaitingBehindASlowLocationQueryDisarmsAfterIt) {
    ScriptedWindow hidden;
    hidden.accessible.answers.name = L"valami";
    named(L"Vissza", 500, 500, 10, 10);
    target.accessible.answers.duringLocationQuery = [&] {
        raiseMeanwhile(EVENT_OBJECT_HIDE, hidden.handle());
        pumpUntil([] { return false; }, 300);
    };
    arm(1060);
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(played, (Sounds{"Sounds\\Backarrow.wav"}));
    EXPECT_EQ(armedCueId, 0);  // the hide is newer
    expectNoReferenceHeld();
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
            raiseMeanwhile(EVENT_OBJECT_SHOW, burst.handle(), i);
        }
        raiseMeanwhile(EVENT_OBJECT_FOCUS, last.handle());
    };
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(burst.accessible.nameQueries, 0);
    EXPECT_EQ(played, (Sounds{"Sounds\\Uparrow.wav"}));  // the same thread's newer focus
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
            raiseMeanwhile(EVENT_OBJECT_SHOW, busy.handle());
        }
    };
    raise(EVENT_OBJECT_FOCUS);
    EXPECT_EQ(waitingEventTally().coalesced - coalescedBefore, 49u);
    EXPECT_EQ(busy.accessible.nameQueries, 1);
    EXPECT_EQ(played, (Sounds{"Sounds\\Backarrow.wav", "Sounds\\Forwardarrow.wav"}));
    EXPECT_EQ(armedCueId, 1005);  // a show arms nothing
    expectNoReferenceHeld();
}

// A scripted window of a thread of its own, standing for another
// application's UI thread: it answers only while that thread pumps, and
// stopPumpingFor makes it hang in its message loop, so that an object
// request (WM_GETOBJECT) waits.
class WindowOfAnotherThread {
public:
    explicit WindowOfAnotherThread(const wchar_t* name) : name_(name) {
        ready_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, run, this, 0, &threadId_);
        WaitForSingleObject(ready_, 10000);
    }
    ~WindowOfAnotherThread() {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        CloseHandle(ready_);
    }
    WindowOfAnotherThread(const WindowOfAnotherThread&) = delete;
    WindowOfAnotherThread& operator=(const WindowOfAnotherThread&) = delete;

    HWND handle() const { return window_->handle(); }
    ScriptedAccessible& accessible() { return window_->accessible; }
    // Returns once the thread has stopped pumping.
    void stopPumpingFor(DWORD milliseconds) {
        PostThreadMessageA(threadId_, hangMessage, milliseconds, 0);
        WaitForSingleObject(ready_, 10000);
    }

private:
    static constexpr UINT hangMessage = WM_APP + 7;
    const wchar_t* name_;
    HANDLE ready_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD threadId_ = 0;
    ScriptedWindow* window_ = nullptr;

    static DWORD WINAPI run(void* parameter) {
        auto& self = *static_cast<WindowOfAnotherThread*>(parameter);
        CoInitialize(nullptr);
        {
            ScriptedWindow window;
            window.accessible.answers.name = self.name_;
            self.window_ = &window;
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue
            SetEvent(self.ready_);
            while (GetMessageA(&message, nullptr, 0, 0) > 0) {
                if (message.hwnd == nullptr && message.message == hangMessage) {
                    SetEvent(self.ready_);
                    Sleep(static_cast<DWORD>(message.wParam));
                    continue;
                }
                DispatchMessageA(&message);
            }
            self.window_ = nullptr;
        }
        CoUninitialize();
        return 0;
    }
};

// An application that hangs, in its object request or in a name query,
// holds back no other application: the other's focus is heard while the
// hang lasts, and the hung one's older answer, coming after it, is dropped.
TEST_F(WinEventProc, AnApplicationThatHangsHoldsBackNoOther) {
    named(L"Vissza", 300, 0, 5, 5);
    for (const bool inTheObjectRequest : {true, false}) {
        WindowOfAnotherThread hung(L"Mentés");
        played.clear();
        if (inTheObjectRequest) {
            hung.stopPumpingFor(3000);
        } else {
            hung.accessible().answers.duringNameQuery = [] { Sleep(3000); };
        }
        const ULONGLONG start = GetTickCount64();
        raiseMeanwhile(EVENT_OBJECT_FOCUS, hung.handle());
        raiseMeanwhile(EVENT_OBJECT_FOCUS, target.handle());
        EXPECT_TRUE(pumpUntil([] { return !played.empty(); }, 5000));
        // Heard while the hang lasts; a loaded machine may be slow, not 3 s slow.
        EXPECT_LT(GetTickCount64() - start, 2000u) << "hang in the object request: "
                                                    << inTheObjectRequest;
        EXPECT_TRUE(settle());
        EXPECT_EQ(played, (Sounds{"Sounds\\Backarrow.wav"}));
        EXPECT_EQ(armedCueId, 1005);
        EXPECT_EQ(targetLeft, 300);
        EXPECT_EQ(hung.accessible().nameQueries, 1);
        EXPECT_EQ(hung.accessible().locationQueries, 0);  // its answer could change nothing
        EXPECT_EQ(hung.accessible().references, 1);
    }
    expectNoReferenceHeld();
}

// Calls into several hung applications at once stay within the bound; past
// it, events wait until a call returns or passes its deadline, and the
// newest focus still wins.
TEST_F(WinEventProc, CallsUnderWayAtOnceStayWithinTheBound) {
    std::vector<std::unique_ptr<WindowOfAnotherThread>> hung;
    for (std::size_t i = 0; i < maxCallsUnderWay + 2; ++i) {
        hung.push_back(std::make_unique<WindowOfAnotherThread>(L"Vissza"));
        hung.back()->accessible().answers.duringNameQuery = [] { Sleep(300); };
    }
    named(L"Fel");
    for (const auto& window : hung) {
        // Each thread an application of its own: one process's share is smaller.
        const DWORD thread = GetWindowThreadProcessId(window->handle(), nullptr);
        dispatchWinEvent(EVENT_OBJECT_FOCUS, window->handle(), OBJID_CLIENT, CHILDID_SELF, thread,
                         thread, GetTickCount());
    }
    raiseMeanwhile(EVENT_OBJECT_FOCUS, target.handle());
    EXPECT_TRUE(settle());
    // The bound's last place is kept for threads known to answer in time,
    // as this one is from the tests before.
    EXPECT_GE(mostCallsUnderWay(), static_cast<int>(maxCallsUnderWay) - 1);
    EXPECT_LE(mostCallsUnderWay(), static_cast<int>(maxCallsUnderWay));
    EXPECT_EQ(played.back(), "Sounds\\Uparrow.wav");
    EXPECT_EQ(armedCueId, 1007);  // the newest focus wins
    int asked = 0;
    for (const auto& window : hung) {
        asked += window->accessible().nameQueries;
        EXPECT_EQ(window->accessible().references, 1);
    }
    // Those still waiting when the newest focus armed got no call.
    EXPECT_GE(asked, static_cast<int>(maxCallsUnderWay) - 1);
    expectNoReferenceHeld();
}

// The call threads' findings come back though the window they post to is
// destroyed while a call is under way.
TEST_F(WinEventProc, CuesStillComeWhenTheFindingsWindowIsDestroyed) {
    named(L"Mentés");
    target.accessible.answers.duringNameQuery = [] {
        ASSERT_TRUE(DestroyWindow(
            FindWindowExA(HWND_MESSAGE, nullptr, "vocaretCallFindings", nullptr)));
    };
    raiseMeanwhile(EVENT_OBJECT_FOCUS, target.handle());
    EXPECT_TRUE(settle());
    EXPECT_EQ(played, (Sounds{"Sounds\\Save.wav"}));
    EXPECT_EQ(armedCueId, 1028);
    expectNoReferenceHeld();
}

}  // namespace
