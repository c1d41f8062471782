// The platform-neutral core of the accessibility event dispatcher: acts on the
// show, hide and focus of named elements.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cue_table.h"

constexpr std::uint32_t eventObjectShow = 0x8002;   // EVENT_OBJECT_SHOW
constexpr std::uint32_t eventObjectHide = 0x8003;   // EVENT_OBJECT_HIDE
constexpr std::uint32_t eventObjectFocus = 0x8005;  // EVENT_OBJECT_FOCUS

// Fills targetLeft/Top/Width/Height with the element's screen rectangle.
// Answers whether the event is still the newest: a query that waits on
// another application may be overtaken by newer events, and then the target
// they left stands.
using LocationQuery = bool (*)(void* context);

void handleAccessibilityEvent(std::uint32_t event, const ElementName& name, LocationQuery locate,
                              void* context);

// Convenience form taking any callable as the location query; one that
// returns nothing is never overtaken.
template <class Locate>
void handleAccessibilityEvent(std::uint32_t event, const ElementName& name, Locate&& locate) {
    using Callable = std::remove_reference_t<Locate>;
    handleAccessibilityEvent(
        event, name,
        [](void* context) {
            auto& query = *static_cast<Callable*>(context);
            if constexpr (std::is_void_v<decltype(query())>) {
                query();
                return true;
            } else {
                return static_cast<bool>(query());
            }
        },
        const_cast<void*>(static_cast<const void*>(&locate)));
}
