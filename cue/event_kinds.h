// The accessibility events that can change a cue or the click target.
#pragma once

#include <cstdint>

constexpr std::uint32_t eventObjectShow = 0x8002;   // EVENT_OBJECT_SHOW
constexpr std::uint32_t eventObjectHide = 0x8003;   // EVENT_OBJECT_HIDE
constexpr std::uint32_t eventObjectFocus = 0x8005;  // EVENT_OBJECT_FOCUS
