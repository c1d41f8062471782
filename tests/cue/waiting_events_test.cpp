// Which waiting event goes next: what is dropped without a call, and that
// the click target still ends as handling every event in order leaves it.
#include <map>
#include <string>
#include <vector>

#include "call_places.h"
#include "cue_test_support.h"
#include "event_kinds.h"
#include "event_findings.h"
#include "waiting_events.h"

namespace {

using Sounds = std::vector<std::string>;
using Children = std::vector<std::int32_t>;

class WaitingEvents : public CueTest {
protected:
    std::uint32_t now = 100000;
    std::map<std::int32_t, std::u16string> names;  // by child; absent: unknown name
    Children asked;                                // the elements that got calls, in order

    void SetUp() override {
        CueTest::SetUp();
        clearWaitingEvents();
        clearCallPlaces();
    }
    void TearDown() override {
        clearWaitingEvents();
        clearCallPlaces();
        CueTest::TearDown();
    }

    // Each thread an application of its own unless `process` says otherwise.
    void record(std::uint32_t event, std::int32_t child, std::uint32_t thread = 1,
                std::uint32_t process = 0) {
        recordWaitingEvent(
            {event, {0x1000, -4, child}, thread, now, 0, process != 0 ? process : thread, false});
    }

    // What the platform's calls would find about the event: its name, and
    // a rectangle whose left edge is the element's number.
    EventFindings findOut(const WaitingEvent& event) {
        const std::int32_t child = event.element.child;
        asked.push_back(child);
        const auto name = names.find(child);
        const std::u16string text = name != names.end() ? name->second : u"ismeretlen";
        EventFindings found;
        found.event = event.event;
        found.arrival = event.arrival;
        found.raisedMs = event.raisedMs;
        found.named = true;
        found.row = findCue(ElementName(text));
        found.located = true;
        found.left = child;
        return found;
    }

    // As the platform does: the calls for the event, then the core.
    void handle(const WaitingEvent& event) { applyEventFindings(findOut(event), now); }

    // Takes the next event and makes its calls, whose answer comes later.
    EventFindings startNext() {
        WaitingEvent next{};
        EXPECT_TRUE(takeNextWaitingEvent(now, true, nullptr, nullptr, next));
        return findOut(next);
    }

    // A focus whose calls start in a place of their own, as the platform
    // makes them: the place, -1 when none may start.
    int startCall(std::int32_t child, std::uint32_t thread, std::uint32_t process = 0,
                  EventFindings* found = nullptr) {
        record(eventObjectFocus, child, thread, process);
        WaitingEvent next{};
        EXPECT_TRUE(takeNextWaitingEvent(now, true, nullptr, nullptr, next));
        if (found != nullptr) {
            *found = findOut(next);
        }
        return beginCall(next, now);
    }

    bool handleNext(bool callsUnderWay = false) {
        WaitingEvent next{};
        if (!takeNextWaitingEvent(now, callsUnderWay, nullptr, nullptr, next)) {
            return false;
        }
        handle(next);
        return true;
    }

    void handleAll() {
        while (handleNext()) {
        }
    }
};

TEST_F(WaitingEvents, NewestFocusGoesFirstAndTheShowsBeforeItAreDropped) {
    names[1] = u"Mentés";
    names[2] = u"Előre";
    names[10] = u"Vissza";
    record(eventObjectShow, 1, 7);
    record(eventObjectShow, 2, 7);
    record(eventObjectFocus, 10, 8);
    record(eventObjectShow, 2, 7);  // after the focus: its turn comes
    handleAll();
    EXPECT_EQ(asked, (Children{10, 2}));
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Backarrow.wav", "Sounds\\Forwardarrow.wav"}));
    EXPECT_EQ(armedCueId, 1005);
}

TEST_F(WaitingEvents, ShowThatWaitedTooLongIsDroppedUnheard) {
    names[1] = u"Mentés";
    names[2] = u"Előre";
    record(eventObjectShow, 1);
    now += showLifetimeMs + 1;
    record(eventObjectShow, 2);
    handleAll();
    EXPECT_EQ(asked, (Children{2}));
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Forwardarrow.wav"}));
}

TEST_F(WaitingEvents, HideWithNothingToDisarmGetsNoCall) {
    record(eventObjectHide, 1);
    handleAll();
    EXPECT_TRUE(asked.empty());
    // A focus before it may still arm: then the hide is asked about.
    names[2] = u"Vissza";
    record(eventObjectFocus, 2);
    record(eventObjectHide, 1);
    handleAll();
    EXPECT_EQ(asked, (Children{2, 1}));
    EXPECT_EQ(armedCueId, 0);
    // So it is while a call is under way: that event may still arm.
    asked.clear();
    record(eventObjectHide, 1);
    EXPECT_TRUE(handleNext(true));
    EXPECT_EQ(asked, (Children{1}));
}

// Newest focus first, yet the target ends as in arrival order.
TEST_F(WaitingEvents, FocusesAndHidesEndTheTargetAsInArrivalOrder) {
    names[1] = u"Vissza";
    names[2] = u"Mentés";
    // In order: arm Vissza, disarm, an unknown focus changes nothing.
    record(eventObjectFocus, 1);
    record(eventObjectHide, 5);
    record(eventObjectFocus, 3);
    handleAll();
    EXPECT_EQ(armedCueId, 0);
    // In order: disarm, arm Vissza, arm Mentés, an unknown focus: Mentés.
    // Mentés arms, so the older focus and the hide get no call.
    asked.clear();
    record(eventObjectHide, 5);
    record(eventObjectFocus, 1);
    record(eventObjectFocus, 2);
    record(eventObjectFocus, 4);
    handleAll();
    EXPECT_EQ(asked, (Children{4, 2}));
    EXPECT_EQ(armedCueId, 1028);
    EXPECT_EQ(targetLeft, 2);
}

TEST_F(WaitingEvents, OneFloodingThreadCannotHoldBackAnother) {
    names[500] = u"Mentés";
    for (std::int32_t child = 1; child <= 300; ++child) {
        record(eventObjectShow, child, 7);
    }
    record(eventObjectShow, 500, 8);
    // The flood keeps its newest share only; the other thread's show its place.
    EXPECT_EQ(waitingEventCount(), waitingEventsPerThread + 1);
    ASSERT_TRUE(handleNext());
    ASSERT_TRUE(handleNext());
    EXPECT_EQ(asked, (Children{300 - waitingEventsPerThread + 1, 500}));
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Save.wav"}));
}

// Answers come back late and out of order: each is dropped only for what a
// newer event has already done.
TEST_F(WaitingEvents, SlowAnswersGiveWayOnlyToNewerEventsThatDidSomething) {
    names[1] = u"Mentés";
    names[2] = u"Vissza";
    names[3] = u"Előre";
    names[4] = u"Fel";
    // A show of an unknown element, answered meanwhile, changes nothing.
    record(eventObjectFocus, 1, 7);
    const EventFindings slowSave = startNext();
    record(eventObjectShow, 9, 8);
    handleAll();
    applyEventFindings(slowSave, now);
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Save.wav"}));
    EXPECT_EQ(armedCueId, 1028);
    EXPECT_EQ(targetLeft, 1);
    // A newer focus that played and armed: the older answer does neither.
    playedSounds().clear();
    record(eventObjectFocus, 2, 7);
    const EventFindings slowBack = startNext();
    record(eventObjectFocus, 3, 8);
    handleAll();
    applyEventFindings(slowBack, now);
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Forwardarrow.wav"}));
    EXPECT_EQ(armedCueId, 1006);
    // A newer hide disarmed, but played nothing: the older focus is heard
    // and the target stays as the hide left it.
    playedSounds().clear();
    record(eventObjectFocus, 4, 7);
    const EventFindings slowUp = startNext();
    record(eventObjectHide, 5, 8);
    handleAll();
    applyEventFindings(slowUp, now);
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Uparrow.wav"}));
    EXPECT_EQ(armedCueId, 0);
    // A show answered after its lifetime is not heard.
    playedSounds().clear();
    record(eventObjectShow, 1, 7);
    const EventFindings slowShow = startNext();
    now += showLifetimeMs + 1;
    applyEventFindings(slowShow, now);
    EXPECT_TRUE(playedSounds().empty());
}

// A failed location plays the cue but leaves nothing armed; a hide whose
// window is gone disarms though its name could not be asked for.
TEST_F(WaitingEvents, FocusWithoutALocationAndHideOfAGoneWindowLeaveNothingArmed) {
    names[1] = u"Mentés";
    record(eventObjectFocus, 1);
    EventFindings unlocated = startNext();
    unlocated.located = false;
    arm(1005, 1, 2, 3, 4);
    applyEventFindings(unlocated, now);
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Save.wav"}));
    EXPECT_EQ(armedCueId, 0);

    handleAll();
    record(eventObjectFocus, 1);
    handleAll();
    ASSERT_EQ(armedCueId, 1028);
    record(eventObjectHide, 1);
    EventFindings gone = startNext();
    gone.named = false;
    gone.windowGone = true;
    applyEventFindings(gone, now);
    EXPECT_EQ(armedCueId, 0);
}

TEST_F(WaitingEvents, FocusesTakeTurnsByThread) {
    // Unknown names: none arms, so none makes the others moot.
    record(eventObjectFocus, 1, 9);
    handleAll();
    asked.clear();
    record(eventObjectFocus, 3, 8);
    record(eventObjectFocus, 4, 7);
    record(eventObjectFocus, 5, 7);
    record(eventObjectFocus, 6, 7);
    handleAll();
    // Thread 8's, whose newest focus is older than thread 7's newest: 7
    // keeps raising more. Then 7's, the newest first.
    EXPECT_EQ(asked, (Children{3, 6, 5, 4}));
}

// Stuck applications fill the bound but for the place kept for a thread
// known to answer in time; once their calls pass the deadline, any other
// call may start, though the stuck threads keep their places and are not
// called again.
TEST_F(WaitingEvents, AnAbandonedCallFreesItsPlaceInTheBound) {
    endCall(startCall(1, 50));  // the healthy application has answered in time
    std::uint32_t thread = 0;
    while (callsCounted() + 1 < maxCallsUnderWay) {
        ASSERT_GE(startCall(1, ++thread), 0);
    }
    const WaitingEvent healthy{eventObjectFocus, {0x1000, -4, 9}, 50, now, 0, 50, false};
    WaitingEvent another = healthy;
    another.thread = another.process = 60;
    EXPECT_FALSE(callMayStartFor(another));
    EXPECT_TRUE(callMayStartFor(healthy));
    now += callDeadlineMs;
    EXPECT_EQ(abandonOverdueCalls(now), 0u);
    now += 1;
    EXPECT_EQ(abandonOverdueCalls(now), maxCallsUnderWay - 1);
    EXPECT_TRUE(callMayStartFor(another));
    WaitingEvent stuckAgain = healthy;
    stuckAgain.thread = stuckAgain.process = 1;
    EXPECT_FALSE(callMayStartFor(stuckAgain));
    // At the cap, nothing starts until a call returns.
    while (callsNotReturned() < callPlaceCount) {
        now += callDeadlineMs + 1;
        abandonOverdueCalls(now);
        ASSERT_GE(startCall(1, ++thread), 0);
    }
    now += callDeadlineMs + 1;
    abandonOverdueCalls(now);
    EXPECT_EQ(callsCounted(), 0u);
    EXPECT_FALSE(callMayStartFor(healthy));
    endCall(0);
    EXPECT_TRUE(callMayStartFor(healthy));
}

// While stuck applications are still being found out, the focus of a thread
// known to answer in time goes before theirs, though it is the newest.
TEST_F(WaitingEvents, FocusOfAThreadThatAnswersInTimeGoesFirst) {
    endCall(startCall(1, 50));
    record(eventObjectFocus, 3, 7);
    record(eventObjectFocus, 4, 8);
    record(eventObjectFocus, 2, 50);
    handleAll();
    EXPECT_EQ(asked, (Children{2, 3, 4}));
}

// The threads of one process, all stuck on one lock, take no more than its
// share, abandoned calls included; another application's call still starts.
TEST_F(WaitingEvents, OneApplicationHoldsNoMoreThanItsShareOfTheCalls) {
    for (std::uint32_t thread = 1; thread <= callsPerApplication; ++thread) {
        ASSERT_GE(startCall(1, thread, 7), 0);
    }
    now += callDeadlineMs + 1;
    abandonOverdueCalls(now);
    EXPECT_EQ(startCall(2, 100, 7), -1);
    EXPECT_GE(startCall(3, 200, 8), 0);
}

// A focus whose thread has raised a newer focus since plays nothing when
// its answer comes, though the newer one has no cue; its arming still
// stands, as in arrival order. A newer focus of another thread silences
// nothing.
TEST_F(WaitingEvents, FocusTheUserHasLeftPlaysNothingButStillArms) {
    names[1] = u"Mentés";
    names[3] = u"Vissza";
    EventFindings save;
    ASSERT_GE(startCall(1, 7, 0, &save), 0);
    record(eventObjectFocus, 2, 8);  // another thread's
    applyEventFindings(save, now);
    handleAll();
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Save.wav"}));
    playedSounds().clear();
    clearCallPlaces();

    EventFindings back;
    ASSERT_GE(startCall(3, 7, 0, &back), 0);
    record(eventObjectFocus, 4, 7);  // its own thread's, with no cue
    applyEventFindings(back, now);
    handleAll();
    EXPECT_TRUE(playedSounds().empty());
    EXPECT_EQ(armedCueId, 1005);
    EXPECT_EQ(targetLeft, 3);
}

// A show waits out a newer focus that plays nothing (the fuzzer checks that
// no older answer plays after a newer cue, a show's included).
TEST_F(WaitingEvents, ShowsGiveWayOnlyToAFocusCueThatPlays) {
    names[1] = u"Előre";
    record(eventObjectShow, 1, 7);
    record(eventObjectFocus, 2, 8);  // no cue
    handleAll();
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Forwardarrow.wav"}));
}

}  // namespace
