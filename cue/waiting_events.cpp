#include "waiting_events.h"

#include <algorithm>

#include "call_places.h"
#include "click_target.h"

namespace {

constexpr std::size_t none = waitingEventCapacity;
// A reported time older than this at arrival is taken for a platform that
// does not fill it in.
constexpr std::uint32_t plausibleDeliveryMs = 60000;

constinit WaitingEvent waiting[waitingEventCapacity] = {};
constinit std::size_t waitingCount = 0;
constinit std::uint64_t arrivals = 0;
// The threads whose show and whose focus were taken last: the next of each
// comes from another thread when one has such an event waiting.
constinit std::uint32_t lastShowThread = 0;
constinit std::uint32_t lastFocusThread = 0;
constinit WaitingEventTally tally;

void removeAt(std::size_t index) {
    std::copy(waiting + index + 1, waiting + waitingCount, waiting + index);
    --waitingCount;
}

bool isShow(const WaitingEvent& event) {
    return event.event == eventObjectShow;
}

// Of the events for which `belongs` holds: the oldest show, else the oldest.
template <class Belongs>
std::size_t firstToGiveWay(Belongs belongs) {
    std::size_t oldest = none;
    for (std::size_t i = 0; i < waitingCount; ++i) {
        if (belongs(waiting[i])) {
            if (isShow(waiting[i])) {
                return i;
            }
            oldest = std::min(oldest, i);
        }
    }
    return oldest;
}

template <class Drop>
void removeWhere(Drop drop, std::size_t& counter) {
    const std::size_t before = waitingCount;
    waitingCount = static_cast<std::size_t>(std::remove_if(waiting, waiting + waitingCount, drop) -
                                            waiting);
    counter += before - waitingCount;
}

bool answers(const WaitingEvent& event, AnswerCheck canAnswer, void* context) {
    return canAnswer == nullptr || canAnswer(event, context);
}

// The newest focus of each thread stands for it, and the thread whose focus
// went last waits while another thread's focus waits, so that one
// application's flood of focuses cannot keep putting itself ahead of
// another's. Of threads known to answer in time only.
std::size_t newestFocusAnsweringInTime(AnswerCheck canAnswer, void* context) {
    std::size_t newestOfLast = none;
    for (std::size_t i = waitingCount; i-- > 0;) {
        if (waiting[i].event == eventObjectFocus &&
            answersInTime(waiting[i].thread) &&
            answers(waiting[i], canAnswer, context)) {
            if (waiting[i].thread != lastFocusThread) {
                return i;
            }
            if (newestOfLast == none) {
                newestOfLast = i;
            }
        }
    }
    return newestOfLast;
}

// Of threads not known to answer in time: the newest focus of the thread
// whose newest focus is the oldest. A thread that keeps raising focuses
// faster than it is asked, as a stuck application's other threads may,
// keeps moving its focus to the back, behind the threads that do not.
std::size_t focusOfTheQuietestThread(AnswerCheck canAnswer, void* context) {
    constexpr std::size_t tracked = 64;
    std::uint32_t seen[tracked];
    std::size_t seenCount = 0;
    std::size_t quietest = none;
    for (std::size_t i = waitingCount; i-- > 0;) {
        const WaitingEvent& event = waiting[i];
        if (event.event != eventObjectFocus ||
            std::find(seen, seen + seenCount, event.thread) != seen + seenCount) {
            continue;
        }
        if (seenCount < tracked) {
            seen[seenCount++] = event.thread;
        }
        if (answers(event, canAnswer, context)) {
            quietest = i;
        }
    }
    return quietest;
}

std::size_t chooseNext(AnswerCheck canAnswer, void* context) {
    // Focuses first: the user is there now. Those of threads known to answer
    // in time before the others: a stuck application's flood of focuses is
    // always newer.
    std::size_t focus = newestFocusAnsweringInTime(canAnswer, context);
    if (focus == none) {
        focus = focusOfTheQuietestThread(canAnswer, context);
    }
    if (focus != none) {
        return focus;
    }
    for (std::size_t i = 0; i < waitingCount; ++i) {
        if (waiting[i].event == eventObjectHide && answers(waiting[i], canAnswer, context)) {
            return i;
        }
    }
    // Shows: the oldest of another thread than the last one's, else the oldest.
    std::size_t firstShow = none;
    for (std::size_t i = 0; i < waitingCount; ++i) {
        const bool turnOfAnother = waiting[i].thread != lastShowThread;
        if (isShow(waiting[i]) && (turnOfAnother || firstShow == none) &&
            answers(waiting[i], canAnswer, context)) {
            if (turnOfAnother) {
                return i;
            }
            firstShow = i;
        }
    }
    return firstShow;
}

// A hide changes nothing when the target is disarmed and nothing can arm it
// before the hide's turn: no call under way and no older focus waiting.
bool hideChangesNothing(std::size_t index, bool callsUnderWay) {
    if (callsUnderWay || armedCueId != 0) {
        return false;
    }
    return std::none_of(waiting, waiting + index,
                        [](const WaitingEvent& event) { return event.event == eventObjectFocus; });
}

}  // namespace

bool eventCanChangeAnything(std::uint32_t event) {
    return event == eventObjectShow || event == eventObjectHide || event == eventObjectFocus;
}

std::uint32_t eventRaisedMs(std::uint32_t reportedMs, std::uint32_t arrivedMs) {
    // Unsigned: a time ahead of the arrival comes out as a huge age.
    return arrivedMs - reportedMs <= plausibleDeliveryMs ? reportedMs : arrivedMs;
}

std::uint64_t recordWaitingEvent(WaitingEvent event) {
    if (!eventCanChangeAnything(event.event)) {
        return 0;
    }
    event.arrival = ++arrivals;
    event.superseded = false;
    const bool focus = event.event == eventObjectFocus;
    if (focus) {
        supersedeFocusCallsOf(event.thread);
    }
    std::size_t same = none;
    std::size_t threadShare = 0;
    for (std::size_t i = 0; i < waitingCount; ++i) {
        if (focus && waiting[i].event == eventObjectFocus && waiting[i].thread == event.thread) {
            // The user has left the thread's older focuses, waiting or asked about.
            waiting[i].superseded = true;
        }
        if (waiting[i].element == event.element && waiting[i].event == event.event) {
            same = i;
        } else if (waiting[i].thread == event.thread) {
            ++threadShare;
        }
    }
    if (same != none) {
        // Only the newest state of an element counts: an application that
        // keeps raising events about it holds one place, not a thousand.
        removeAt(same);
        ++tally.coalesced;
    }
    std::size_t givesWay = none;
    if (threadShare >= waitingEventsPerThread) {
        givesWay = firstToGiveWay(
            [&event](const WaitingEvent& other) { return other.thread == event.thread; });
    } else if (waitingCount == waitingEventCapacity) {
        givesWay = firstToGiveWay([](const WaitingEvent&) { return true; });
    }
    if (givesWay != none) {
        removeAt(givesWay);
        ++tally.full;
    }
    waiting[waitingCount] = event;
    ++waitingCount;
    return event.arrival;
}

bool takeNextWaitingEvent(std::uint32_t nowMs, bool callsUnderWay, AnswerCheck canAnswer,
                          void* context, WaitingEvent& next) {
    removeWhere(
        [nowMs](const WaitingEvent& event) {
            return isShow(event) && nowMs - event.raisedMs > showLifetimeMs;
        },
        tally.stale);
    for (;;) {
        std::size_t index = chooseNext(canAnswer, context);
        if (index == none && !callsUnderWay) {
            index = chooseNext(nullptr, nullptr);
        }
        if (index == none) {
            return false;
        }
        next = waiting[index];
        const bool moot = next.event == eventObjectHide && hideChangesNothing(index, callsUnderWay);
        removeAt(index);
        if (moot) {
            ++tally.disarmed;
            continue;
        }
        if (next.event == eventObjectFocus) {
            lastFocusThread = next.thread;
        } else if (isShow(next)) {
            lastShowThread = next.thread;
        }
        return true;
    }
}

void forgetTargetEventsBefore(std::uint64_t arrival) {
    removeWhere(
        [arrival](const WaitingEvent& event) { return !isShow(event) && event.arrival < arrival; },
        tally.overtaken);
}

void forgetShowsBefore(std::uint64_t arrival) {
    removeWhere(
        [arrival](const WaitingEvent& event) { return isShow(event) && event.arrival < arrival; },
        tally.overtaken);
}

std::size_t waitingEventCount() {
    return waitingCount;
}

void clearWaitingEvents() {
    waitingCount = 0;
}

void noteStaleShow() {
    ++tally.stale;
}

const WaitingEventTally& waitingEventTally() {
    return tally;
}
