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

// How the last call into each of the threads asked lately went; the oldest
// entry gives way to a new thread.
struct LastCall {
    std::uint32_t thread = 0;
    bool inTime = false;
};
constexpr std::size_t rememberedThreads = 64;
constinit LastCall lastCalls[rememberedThreads] = {};
constinit std::size_t nextLastCall = 0;

void rememberLastCall(std::uint32_t thread, bool inTime) {
    for (LastCall& last : lastCalls) {
        if (last.thread == thread) {
            last.inTime = inTime;
            return;
        }
    }
    lastCalls[nextLastCall] = {thread, inTime};
    nextLastCall = (nextLastCall + 1) % rememberedThreads;
}

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

bool answersInTime(std::uint32_t thread) {
    return std::any_of(std::begin(lastCalls), std::end(lastCalls), [thread](const LastCall& last) {
        return last.inTime && last.thread == thread;
    });
}

bool callMayStartFor(const WaitingEvent& event) {
    return callPlaceFree() &&
           (callsCounted() + 1 < maxCallsUnderWay || answersInTime(event.thread)) &&
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
    if (callBusy(place)) {
        rememberLastCall(places[place].event.thread, !places[place].abandoned);
        places[place] = {};
    }
}

std::size_t abandonOverdueCalls(std::uint32_t nowMs) {
    std::size_t count = 0;
    for (CallPlace& place : places) {
        if (place.busy && !place.abandoned && nowMs - place.startedMs > callDeadlineMs) {
            place.abandoned = true;
            ++count;
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
    std::fill(std::begin(lastCalls), std::end(lastCalls), LastCall{});
    nextLastCall = 0;
}
