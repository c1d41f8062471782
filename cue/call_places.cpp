#include "call_places.h"

#include <algorithm>
#include <iterator>

#include "event_kinds.h"

namespace {

struct CallPlace {
    bool busy = false;
    bool abandoned = false;
    WaitingEvent event{};
    std::uint32_t startedMs = 0;
};

constinit CallPlace places[callPlaceCount] = {};

template <class Holds>
std::size_t countBusy(Holds holds) {
    return static_cast<std::size_t>(std::count_if(
        std::begin(places), std::end(places),
        [&holds](const CallPlace& place) { return place.busy && holds(place); }));
}

bool validPlace(int place) {
    return place >= 0 && static_cast<std::size_t>(place) < callPlaceCount;
}

}  // namespace

bool callPlaceFree() {
    return callsCounted() < maxCallsUnderWay && callsNotReturned() < callPlaceCount;
}

bool callMayStartFor(const WaitingEvent& event) {
    return callPlaceFree() &&
           countBusy([&event](const CallPlace& place) {
               return place.event.thread == event.thread;
           }) == 0 &&
           countBusy([&event](const CallPlace& place) {
               return place.event.process == event.process;
           }) < callsPerApplication;
}

int beginCall(const WaitingEvent& event, std::uint32_t nowMs) {
    if (!callMayStartFor(event)) {
        return -1;
    }
    for (std::size_t i = 0; i < callPlaceCount; ++i) {
        if (!places[i].busy) {
            places[i] = {true, false, event, nowMs};
            return static_cast<int>(i);
        }
    }
    return -1;
}

void endCall(int place) {
    if (validPlace(place)) {
        places[place] = {};
    }
}

std::size_t abandonOverdueCalls(std::uint32_t nowMs, CallAbandoned abandoned, void* context) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < callPlaceCount; ++i) {
        CallPlace& place = places[i];
        if (place.busy && !place.abandoned && nowMs - place.startedMs > callDeadlineMs) {
            place.abandoned = true;
            ++count;
            if (abandoned != nullptr) {
                abandoned(static_cast<int>(i), context);
            }
        }
    }
    return count;
}

bool callBusy(int place) {
    return validPlace(place) && places[place].busy;
}

std::size_t callsNotReturned() {
    return countBusy([](const CallPlace&) { return true; });
}

std::size_t callsCounted() {
    return countBusy([](const CallPlace& place) { return !place.abandoned; });
}

bool focusCallSuperseded(std::uint64_t arrival) {
    return std::any_of(std::begin(places), std::end(places), [arrival](const CallPlace& place) {
        return place.busy && place.event.arrival == arrival && place.event.superseded;
    });
}

void supersedeFocusCallsOf(std::uint32_t thread) {
    for (CallPlace& place : places) {
        if (place.busy && place.event.event == eventObjectFocus && place.event.thread == thread) {
            place.event.superseded = true;
        }
    }
}

void clearCallPlaces() {
    std::fill(std::begin(places), std::end(places), CallPlace{});
}
