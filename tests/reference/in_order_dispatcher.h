// One event handled at once, with its calls made as it goes: what arrival
// order does, and so the reference that the product's answers, coming back
// late and out of order, are held to (event_findings.h). The core's tests,
// the fuzzer and the benchmarks use it; the program does not.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cue_table.h"
#include "event_kinds.h"

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
