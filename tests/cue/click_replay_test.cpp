// The left-click replay: the point test with inclusive edges, degenerate and
// extreme rectangles, and which presses replay the armed cue.
#include <climits>
#include <string>
#include <vector>

#include "cue_test_support.h"

namespace {

using Sounds = std::vector<std::string>;

TEST(PointInRect, AllFourEdgesAreInclusive) {
    EXPECT_TRUE(pointInRect(100, 200, 100, 200, 50, 20));
    EXPECT_TRUE(pointInRect(150, 220, 100, 200, 50, 20));
    EXPECT_TRUE(pointInRect(150, 200, 100, 200, 50, 20));
    EXPECT_TRUE(pointInRect(100, 220, 100, 200, 50, 20));
    EXPECT_FALSE(pointInRect(99, 210, 100, 200, 50, 20));
    EXPECT_FALSE(pointInRect(151, 210, 100, 200, 50, 20));
    EXPECT_FALSE(pointInRect(120, 199, 100, 200, 50, 20));
    EXPECT_FALSE(pointInRect(120, 221, 100, 200, 50, 20));
}

TEST(PointInRect, ComparesExactlyWithoutTolerance) {
    EXPECT_FALSE(pointInRect(99.99f, 210, 100, 200, 50, 20));
    EXPECT_FALSE(pointInRect(150.01f, 210, 100, 200, 50, 20));
}

TEST(PointInRect, ZeroSizeAcceptsOnlyItsCornerAndNegativeSizeNothing) {
    EXPECT_TRUE(pointInRect(5, 5, 5, 5, 0, 0));
    EXPECT_FALSE(pointInRect(6, 5, 5, 5, 0, 0));
    EXPECT_FALSE(pointInRect(5, 6, 5, 5, 0, 0));
    EXPECT_FALSE(pointInRect(5, 5, 5, 5, -1, 10));
    EXPECT_FALSE(pointInRect(5, 5, 5, 5, 10, -1));
    EXPECT_FALSE(pointInRect(4, 5, 5, 5, -1, 0));
}

TEST(PointInRect, FarEdgesNearTheLimitsDoNotWrap) {
    // In 32 bits INT_MAX + 1 would wrap to INT_MIN and reject every point.
    EXPECT_TRUE(pointInRect(1000, 1000, 0, 0, INT_MAX, INT_MAX));
    EXPECT_FALSE(pointInRect(0, 0, INT_MAX - 10, INT_MAX - 10, 100, 100));
    EXPECT_TRUE(pointInRect(2.0e9f, 2.0e9f, 1000000000, 1000000000, 2000000000, 2000000000));
    // INT_MIN + (-1) would wrap to INT_MAX and accept points far to the right.
    EXPECT_FALSE(pointInRect(0, 0, INT_MIN, INT_MIN, -1, -1));
    EXPECT_FALSE(pointInRect(1.0e9f, 1.0e9f, INT_MIN, INT_MIN, -1, -1));
    EXPECT_TRUE(pointInRect(-100, -100, INT_MIN, INT_MIN, INT_MAX, INT_MAX));
}

class ClickReplay : public CueTest {};

TEST_F(ClickReplay, PressesOnTheEdgesReplayAndOutsideDoNot) {
    arm(1016, 100, 200, 50, 20);
    handleMouseEvent(messageLeftButtonDown, 100, 200);
    handleMouseEvent(messageLeftButtonDown, 150, 220);
    handleMouseEvent(messageLeftButtonDown, 150, 200);
    handleMouseEvent(messageLeftButtonDown, 100, 220);
    EXPECT_EQ(playedSounds().size(), 4u);
    handleMouseEvent(messageLeftButtonDown, 99, 210);
    handleMouseEvent(messageLeftButtonDown, 151, 210);
    handleMouseEvent(messageLeftButtonDown, 120, 199);
    handleMouseEvent(messageLeftButtonDown, 120, 221);
    EXPECT_EQ(playedSounds(), Sounds(4, "Sounds\\Print.wav"));
}

TEST_F(ClickReplay, RepeatedPressesReplayEveryTimeAndKeepTheTarget) {
    arm(1060, 0, 0, 10, 10);
    for (int i = 0; i < 5; ++i) {
        handleMouseEvent(messageLeftButtonDown, 5, 5);
    }
    EXPECT_EQ(playedSounds(), Sounds(5, "Sounds\\Pedal.wav"));
    EXPECT_EQ(armedCueId, 1060);
    EXPECT_EQ(targetWidth, 10);
}

TEST_F(ClickReplay, OnlyALeftButtonPressActs) {
    arm(1060, 0, 0, 10, 10);
    for (std::uint32_t message : {0x0200u /* move */, 0x0202u /* left up */,
                                  0x0204u /* right down */, 0x0207u /* middle down */,
                                  0x020Au /* wheel */, 0x020Bu /* x down */, 0x0203u}) {
        handleMouseEvent(message, 5, 5);
    }
    EXPECT_TRUE(playedSounds().empty());
}

TEST_F(ClickReplay, DisarmedTargetReplaysNothing) {
    arm(1060, 0, 0, 10, 10);
    armedCueId = 0;
    handleMouseEvent(messageLeftButtonDown, 5, 5);
    EXPECT_TRUE(playedSounds().empty());
}

TEST_F(ClickReplay, IdOutsideTheTablePlaysNothing) {
    for (std::int32_t id : {1003, 1073, -1, INT_MIN, INT_MAX}) {
        arm(id, 0, 0, 10, 10);
        handleMouseEvent(messageLeftButtonDown, 5, 5);
    }
    EXPECT_TRUE(playedSounds().empty());
}

TEST_F(ClickReplay, SharedSoundsAndTableEnds) {
    arm(1016, 0, 0, 10, 10);
    handleMouseEvent(messageLeftButtonDown, 1, 1);
    arm(1017, 0, 0, 10, 10);
    handleMouseEvent(messageLeftButtonDown, 1, 1);
    arm(1004, 0, 0, 10, 10);
    handleMouseEvent(messageLeftButtonDown, 1, 1);
    arm(1072, 0, 0, 10, 10);
    handleMouseEvent(messageLeftButtonDown, 1, 1);
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Print.wav", "Sounds\\Print.wav",
                                      "Sounds\\Homebutton.wav", "Sounds\\S_MyDocs.WAV"}));
}

TEST_F(ClickReplay, ExtremeRectangleFromAMisbehavingApplication) {
    arm(1005, INT_MAX, INT_MAX, INT_MAX, INT_MAX);
    handleMouseEvent(messageLeftButtonDown, INT_MAX, INT_MAX);
    handleMouseEvent(messageLeftButtonDown, 0, 0);
    arm(1006, INT_MIN, INT_MIN, -1, -1);
    handleMouseEvent(messageLeftButtonDown, 100, 100);
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Backarrow.wav"}));
}

}  // namespace

#include "in_order_dispatcher.h"

namespace {

TEST_F(ClickReplay, FollowsTheDispatcherThroughFocusAndHide) {
    const auto at = [](std::int32_t left) {
        return [left] {
            targetLeft = left;
            targetTop = 0;
            targetWidth = 10;
            targetHeight = 10;
        };
    };
    handleAccessibilityEvent(eventObjectFocus, u"Vissza", at(0));
    handleAccessibilityEvent(eventObjectFocus, u"no such element", at(100));
    handleMouseEvent(messageLeftButtonDown, 5, 5);  // still the earlier target
    handleAccessibilityEvent(eventObjectHide, u"no such element", at(100));
    handleMouseEvent(messageLeftButtonDown, 5, 5);  // disarmed
    EXPECT_EQ(playedSounds(), (Sounds{"Sounds\\Backarrow.wav", "Sounds\\Backarrow.wav"}));
}

}  // namespace
