#include "click_target.h"

#include "play_cue.h"

// No initialisers: zero-initialised before any code runs.
std::int32_t armedCueId;
std::int32_t targetLeft;
std::int32_t targetTop;
std::int32_t targetWidth;
std::int32_t targetHeight;

bool pointInRect(float x, float y, std::int32_t left, std::int32_t top, std::int32_t width,
                 std::int32_t height) {
    // A misbehaving application may report edges near the 32-bit limits: sum in
    // 64 bits so the far edges cannot overflow. Every int64 value here is exactly
    // representable as a double, and so is every float, so the comparisons stay exact.
    const std::int64_t right = static_cast<std::int64_t>(left) + width;
    const std::int64_t bottom = static_cast<std::int64_t>(top) + height;
    const double px = x;
    const double py = y;
    return static_cast<double>(left) <= px && px <= static_cast<double>(right) &&
           static_cast<double>(top) <= py && py <= static_cast<double>(bottom);
}

void handleMouseEvent(std::uint32_t message, std::int32_t x, std::int32_t y) {
    if (message != messageLeftButtonDown || armedCueId == 0) {
        return;
    }
    if (!pointInRect(static_cast<float>(x), static_cast<float>(y), targetLeft, targetTop,
                     targetWidth, targetHeight)) {
        return;
    }
    if (const CueRow* row = cueById(armedCueId)) {
        playCue(*row);
    }
}
