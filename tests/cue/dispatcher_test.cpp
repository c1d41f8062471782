// The dispatcher's state machine: what plays, when the location is asked, and
// how the click target moves between armed and disarmed.
#include <string>
#include <vector>

#include "cue_test_support.h"
#include "in_order_dispatcher.h"

namespace {

constexpr std::uint32_t eventObjectCreate = 0x8000;
constexpr std::uint32_t eventObjectReorder = 0x8004;
constexpr std::uint32_t eventObjectValueChange = 0x800E;

using Sounds = std::vector<std::string>;

class Dispatcher : public CueTest {
protected:
    int locateCalls = 0;
    std::int32_t armedWhenLocated = -1;

    // A location query that reports a fixed rectangle and notes what it saw.
    void dispatch(std::uint32_t event, const ElementName& name) {
        handleAccessibilityEvent(event, name, [this] {
            ++locateCalls;
            armedWhenLocated = armedCueId;
            targetLeft = 10;
            targetTop = 20;
            targetWidth = 30;
            targetHeight = 40;
        });
    }
};

TEST_F(Dispatcher, FocusOnRecognisedElementPlaysLocatesOnceAndArms) {
    dispatch(eventObjectFocus, u"Mentés");
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Save.wav"}));
    EXPECT_EQ(locateCalls, 1);
    EXPECT_EQ(armedCueId, 1028);
    EXPECT_EQ(targetLeft, 10);
    EXPECT_EQ(targetTop, 20);
    EXPECT_EQ(targetWidth, 30);
    EXPECT_EQ(targetHeight, 40);
}

TEST_F(Dispatcher, ArmingWritesTheRectangleBeforeTheId) {
    arm(1005, 1, 2, 3, 4);
    dispatch(eventObjectFocus, u"Mentés");
    // While the rectangle was being written the old id was still in place.
    EXPECT_EQ(armedWhenLocated, 1005);
    EXPECT_EQ(armedCueId, 1028);
}

TEST_F(Dispatcher, ShowPlaysWithoutLocatingOrArming) {
    arm(1005, 1, 2, 3, 4);
    dispatch(eventObjectShow, u"Mentés");
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Save.wav"}));
    EXPECT_EQ(locateCalls, 0);
    EXPECT_EQ(armedCueId, 1005);
    EXPECT_EQ(targetLeft, 1);
}

TEST_F(Dispatcher, HideOfAnyElementDisarmsSilentlyAndKeepsTheRectangle) {
    for (const ElementName& name : {ElementName(u"Mentés"), ElementName(u"nothing we know"),
                                    ElementName(u""), ElementName(std::nullopt)}) {
        arm(1005, 1, 2, 3, 4);
        dispatch(eventObjectHide, name);
        EXPECT_EQ(armedCueId, 0);
        EXPECT_EQ(targetLeft, 1);
        EXPECT_EQ(targetHeight, 4);
    }
    EXPECT_TRUE(playedSounds().empty());
    EXPECT_EQ(locateCalls, 0);
}

TEST_F(Dispatcher, FocusThatMatchesNothingLeavesTheTargetArmed) {
    arm(1005, 1, 2, 3, 4);
    for (const ElementName& name :
         {ElementName(u"Mentés "), ElementName(u""), ElementName(std::nullopt)}) {
        dispatch(eventObjectFocus, name);
    }
    EXPECT_TRUE(playedSounds().empty());
    EXPECT_EQ(locateCalls, 0);
    EXPECT_EQ(armedCueId, 1005);
    EXPECT_EQ(targetLeft, 1);
}

TEST_F(Dispatcher, OtherEventsOnARecognisedElementDoNothing) {
    arm(1005, 1, 2, 3, 4);
    for (std::uint32_t event : {eventObjectCreate, eventObjectReorder, eventObjectValueChange,
                                0x0004u, 0x8001u, 0x8006u, 0u, 0xFFFFFFFFu}) {
        dispatch(event, u"Mentés");
    }
    EXPECT_TRUE(playedSounds().empty());
    EXPECT_EQ(locateCalls, 0);
    EXPECT_EQ(armedCueId, 1005);
}

TEST_F(Dispatcher, FailedLocationPlaysAndLeavesNothingArmed) {
    arm(1005, 7, 8, 9, 10);
    handleAccessibilityEvent(eventObjectFocus, u"Lomtár", [] { return Location::failed; });
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Pedal.wav"}));
    EXPECT_EQ(armedCueId, 0);
    // Neither cue replays in the previous element's rectangle.
    handleMouseEvent(messageLeftButtonDown, 8, 9);
    EXPECT_EQ(playedSounds().size(), 1u);
}

TEST_F(Dispatcher, FocusOvertakenDuringItsLocationQueryLeavesTheNewerTarget) {
    // Newer events (here a focus elsewhere) ran while the query waited.
    handleAccessibilityEvent(eventObjectFocus, u"Lomtár", [] {
        armedCueId = 1005;
        return Location::overtaken;
    });
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Pedal.wav"}));
    EXPECT_EQ(armedCueId, 1005);
}

TEST_F(Dispatcher, PairedNamesArmTheirOwnRowsWithTheSharedSound) {
    dispatch(eventObjectFocus, u"Nyomtatás...\tCtrl+P ");
    EXPECT_EQ(armedCueId, 1016);
    dispatch(eventObjectFocus, u"Nyomtatás...");
    EXPECT_EQ(armedCueId, 1017);
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Print.wav", "Sounds\\Print.wav"}));
    EXPECT_EQ(locateCalls, 2);
}

TEST_F(Dispatcher, EachFocusReplacesTheWholeTarget) {
    dispatch(eventObjectFocus, u"Vissza");
    EXPECT_EQ(armedCueId, 1005);
    handleAccessibilityEvent(eventObjectFocus, u"Előre", [] {
        targetLeft = 500;
        targetTop = 600;
        targetWidth = 70;
        targetHeight = 80;
    });
    EXPECT_EQ(armedCueId, 1006);
    EXPECT_EQ(targetLeft, 500);
    EXPECT_EQ(targetHeight, 80);
}

TEST_F(Dispatcher, NothingPlaysWithoutASoundOutput) {
    setSoundOutput(nullptr);
    dispatch(eventObjectFocus, u"Mentés");
    EXPECT_TRUE(playedSounds().empty());
    EXPECT_EQ(armedCueId, 1028);
}

}  // namespace
