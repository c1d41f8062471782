// The platform-neutral core of the accessibility event dispatcher: acts on the
// show, hide and focus of named elements.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cue_table.h"

constexpr std::uint32_t eventObjectShow = 0x8002;   // EVENT_OBJECT_SHOW
constexpr std::uint32_t eventObjectHide = 0x8003;   // EVENT_OBJECT_HIDE
constexpr std::uint32_t eventObjectFocus = 0x8005;  // EVENT_OBJECT_FOCUS

// What a location query found.
enum class Location {
    found,      // targetLeft/Top/Width/Height hold the element's screen rectangle
    failed,     // the element told no rectangle: there is nothing a press can be compared with
    overtaken,  // newer events were handled while the query waited on another
                // application: the target they left stands
};

// Asks for the element's rectangle, writing it into the click target when
// found.
using LocationQuery = Location (*)(void* context);

// One event handled at once, with its calls made as it goes: what arrival
// order does, and so the reference that answers coming back late and out of
// order are held to (event_findings.h).
void handleAccessibilityEvent(std::uint32_t event, const ElementName& name, LocationQuery locate,
                              void* context);

// Convenience form taking any callable as the location query: one that
// returns nothing always finds the rectangle.
template <class Locate>
void handleAccessibilityEvent(std::uint32_t event, const ElementName& name, Locate&& locate) {
    using Callable = std::remove_reference_t<Locate>;
    handleAccessibilityEvent(
        event, name,
        [](void* context) -> Location {
            auto& query = *static_cast<Callable*>(context);
            if constexpr (std::is_void_v<decltype(query())>) {
                query();
                return Location::found;
            } else {
                return query();
            }
        },
        const_cast<void*>(static_cast<const void*>(&locate)));
}
