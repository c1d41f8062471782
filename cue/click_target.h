// The click target: the cue and screen rectangle of the element that last got
// focus. Written only by the accessibility event dispatcher, read only by the
// left-click replay. All zero at start (disarmed).
#pragma once

#include <cstdint>

extern std::int32_t armedCueId;  // 0 = disarmed
extern std::int32_t targetLeft;
extern std::int32_t targetTop;
extern std::int32_t targetWidth;
extern std::int32_t targetHeight;

constexpr std::uint32_t messageLeftButtonDown = 0x0201;  // WM_LBUTTONDOWN

// True when (x, y) lies in the rectangle, all four edges included, so the
// accepted area is (width + 1) x (height + 1) pixels.
bool pointInRect(float x, float y, std::int32_t left, std::int32_t top, std::int32_t width,
                 std::int32_t height);

// Replays the armed cue for a left-button press inside the target.
void handleMouseEvent(std::uint32_t message, std::int32_t x, std::int32_t y);
