// libFuzzer target over the platform-neutral core. Each input is decoded into a
// sequence of operations (accessibility events, mouse events and direct calls
// of the lookup and hit-test functions); after each one the observable results
// are compared with independent reference computations, and any disagreement
// stops the run with __builtin_trap().
//
// Input format: a stream of operations, each introduced by one selector byte.
// Every read past the end of the input yields zero, so any byte string is a
// valid input. fuzz/make_corpus.sh writes the seed corpus in this format.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "call_places.h"
#include "click_target.h"
#include "cue_table.h"
#include "in_order_dispatcher.h"
#include "event_findings.h"
#include "play_cue.h"
#include "waiting_events.h"

namespace {

void check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// ---- Reading the input -----------------------------------------------------

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return position_ >= size_; }

    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : std::uint8_t{0}; }

    std::uint16_t u16() {
        const auto low = byte();
        const auto high = byte();
        return static_cast<std::uint16_t>(low | (high << 8));
    }

    std::uint32_t u32() {
        const std::uint32_t low = u16();
        const std::uint32_t high = u16();
        return low | (high << 16);
    }

    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

std::int32_t clampToInt32(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

// A rectangle edge or size, weighted towards the 32-bit limits.
std::int32_t rectValue(Reader& in) {
    constexpr std::int32_t minimum = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t maximum = std::numeric_limits<std::int32_t>::max();
    switch (in.byte() % 8) {
    case 0: return minimum;
    case 1: return maximum;
    case 2: return 0;
    case 3: return -1;
    case 4: return maximum - in.byte();
    case 5: return minimum + in.byte();
    case 6: return static_cast<std::int16_t>(in.u16());
    default: return in.i32();
    }
}

// One coordinate of a mouse point: arbitrary, a limit, or near one edge of the
// current target along that axis.
std::int32_t pointValue(Reader& in, std::int32_t edge, std::int32_t size) {
    const auto delta = static_cast<std::int8_t>(in.byte());
    switch (in.byte() % 6) {
    case 0: return in.i32();
    case 1: return clampToInt32(std::int64_t{edge} + delta);
    case 2: return clampToInt32(std::int64_t{edge} + size + delta);
    case 3: return std::numeric_limits<std::int32_t>::min();
    case 4: return std::numeric_limits<std::int32_t>::max();
    default: return static_cast<std::int16_t>(in.u16());
    }
}

// A name: absent, empty, arbitrary code units (NULs and unpaired surrogates
// included), or a table name, possibly with one code unit replaced, removed or
// inserted. `storage` keeps the code units the returned view points into.
ElementName readName(Reader& in, std::u16string& storage) {
    switch (in.byte() % 4) {
    case 0: return std::nullopt;
    case 1: storage.clear(); return std::u16string_view(storage);
    case 2: {
        storage.clear();
        const std::size_t length = in.byte() % 64u;
        for (std::size_t i = 0; i < length; ++i) {
            storage.push_back(static_cast<char16_t>(in.u16()));
        }
        return std::u16string_view(storage);
    }
    default: {
        storage = std::u16string(cueTable[in.byte() % cueTableSize].elementName);
        const auto mutation = in.byte() % 4u;
        const std::size_t position = in.byte();
        const auto unit = static_cast<char16_t>(in.u16());
        switch (mutation) {
        case 1: storage[position % storage.size()] = unit; break;
        case 2: storage.erase(position % storage.size(), 1); break;
        case 3: storage.insert(position % (storage.size() + 1), 1, unit); break;
        default: break;
        }
        return std::u16string_view(storage);
    }
    }
}

// ---- References, independent of the core's own comparisons ----------------

bool referenceEqual(const ElementName& a, const ElementName& b) {
    if (a.has_value() != b.has_value()) {
        return false;
    }
    return !a.has_value() || *a == *b;
}

const CueRow* referenceFind(const ElementName& name) {
    if (!name.has_value()) {
        return nullptr;
    }
    for (const CueRow& row : cueTable) {
        if (row.elementName == *name) {
            return &row;
        }
    }
    return nullptr;
}

bool referenceInside(std::int64_t x, std::int64_t y, std::int64_t left, std::int64_t top,
                     std::int64_t width, std::int64_t height) {
    return left <= x && x <= left + width && top <= y && y <= top + height;
}

bool isTableRow(const CueRow* row) {
    return row >= cueTable && row < cueTable + cueTableSize;
}

// ---- The recording sound output --------------------------------------------

constexpr std::size_t recordCapacity = 4;
const char* recorded[recordCapacity];
std::size_t recordedCount = 0;

void recordSound(const char* soundFile) {
    if (recordedCount < recordCapacity) {
        recorded[recordedCount] = soundFile;
    }
    ++recordedCount;
}

bool outputInstalled = true;

// Exactly one sound, `soundFile`, was played since the count was cleared; or
// none if no output is installed.
void checkPlayedOnly(const char* soundFile) {
    if (!outputInstalled) {
        check(recordedCount == 0);
        return;
    }
    check(recordedCount == 1);
    check(recorded[0] == soundFile);
}

// ---- The state the core exposes --------------------------------------------

struct Target {
    std::int32_t armed, left, top, width, height;
    bool operator==(const Target&) const = default;
};

Target currentTarget() {
    return {armedCueId, targetLeft, targetTop, targetWidth, targetHeight};
}

void checkArmedInRange() {
    check(armedCueId == 0 || (armedCueId >= firstCueId && armedCueId <= lastCueId));
}

// ---- Operations ------------------------------------------------------------

void accessibilityEvent(Reader& in) {
    std::uint32_t event;
    switch (in.byte() % 8) {
    case 0:
    case 1: event = eventObjectShow; break;
    case 2: event = eventObjectHide; break;
    case 3:
    case 4:
    case 5: event = eventObjectFocus; break;
    default: event = in.u32(); break;
    }
    std::u16string storage;
    const ElementName name = readName(in, storage);

    // A query that writes the rectangle, one that finds it but writes
    // nothing, or one that fails.
    const std::uint8_t outcome = in.byte() % 8;
    const bool locateFails = outcome == 4;
    const bool locateWrites = outcome % 4 != 0;
    const std::int32_t newLeft = rectValue(in);
    const std::int32_t newTop = rectValue(in);
    const std::int32_t newWidth = rectValue(in);
    const std::int32_t newHeight = rectValue(in);
    int locateCalls = 0;
    auto locate = [&] {
        ++locateCalls;
        if (locateFails) {
            return Location::failed;
        }
        if (locateWrites) {
            targetLeft = newLeft;
            targetTop = newTop;
            targetWidth = newWidth;
            targetHeight = newHeight;
        }
        return Location::found;
    };

    const Target before = currentTarget();
    const CueRow* expected = referenceFind(name);
    recordedCount = 0;
    handleAccessibilityEvent(event, name, locate);
    const Target after = currentTarget();

    if (event == eventObjectShow && expected != nullptr) {
        checkPlayedOnly(expected->soundFile);
        check(locateCalls == 0);
        check(after == before);
    } else if (event == eventObjectHide) {
        check(recordedCount == 0);
        check(locateCalls == 0);
        check(after.armed == 0);
        check(after.left == before.left && after.top == before.top &&
              after.width == before.width && after.height == before.height);
    } else if (event == eventObjectFocus && expected != nullptr) {
        checkPlayedOnly(expected->soundFile);
        check(locateCalls == 1);
        const Target written =
            locateFails    ? Target{0, before.left, before.top, before.width, before.height}
            : locateWrites ? Target{expected->cueId, newLeft, newTop, newWidth, newHeight}
                           : Target{expected->cueId, before.left, before.top, before.width,
                                    before.height};
        check(after == written);
    } else {
        // Unrecognised show or focus, or any other event: no effect at all.
        check(recordedCount == 0);
        check(locateCalls == 0);
        check(after == before);
    }
}

void mouseEvent(Reader& in) {
    const std::uint32_t message = in.byte() % 4 != 0 ? messageLeftButtonDown : in.u32();
    const Target before = currentTarget();
    const std::int32_t x = pointValue(in, before.left, before.width);
    const std::int32_t y = pointValue(in, before.top, before.height);

    // The press is tested at its single-precision position: exact for every
    // screen position (magnitude below 2^24, all a cursor can have), rounded
    // beyond that, and the reference rounds the same way.
    const auto asFloat = [](std::int32_t value) {
        return static_cast<std::int64_t>(static_cast<double>(static_cast<float>(value)));
    };
    const bool expectPlay = message == messageLeftButtonDown && before.armed != 0 &&
                            referenceInside(asFloat(x), asFloat(y), before.left, before.top,
                                            before.width, before.height);
    recordedCount = 0;
    handleMouseEvent(message, x, y);

    check(currentTarget() == before);
    if (expectPlay) {
        const CueRow* row = cueById(before.armed);
        check(row != nullptr);
        checkPlayedOnly(row->soundFile);
    } else {
        check(recordedCount == 0);
    }
}

void nameCalls(Reader& in) {
    std::u16string storageA;
    std::u16string storageB;
    const ElementName a = readName(in, storageA);
    const ElementName b = readName(in, storageB);

    check(namesEqual(a, a));
    check(namesEqual(b, b));
    const bool ab = namesEqual(a, b);
    check(ab == namesEqual(b, a));
    check(ab == referenceEqual(a, b));

    for (const ElementName* name : {&a, &b}) {
        const CueRow* row = findCue(*name);
        check(row == referenceFind(*name));
        if (row != nullptr) {
            check(isTableRow(row));
            check(namesEqual(ElementName(row->elementName), *name));
            check(namesEqual(*name, ElementName(row->elementName)));
        }
    }
}

void idCall(Reader& in) {
    std::int32_t id;
    switch (in.byte() % 3) {
    case 0: id = in.i32(); break;
    case 1: id = firstCueId - 4 + in.byte() % 80; break;  // around the table's range
    default: id = in.byte() % 2 != 0 ? std::numeric_limits<std::int32_t>::min()
                                     : std::numeric_limits<std::int32_t>::max(); break;
    }
    const CueRow* row = cueById(id);
    const bool inRange = id >= firstCueId && id <= lastCueId;
    check((row != nullptr) == inRange);
    if (row != nullptr) {
        check(isTableRow(row));
        check(row->cueId == id);
        check(row == &cueTable[id - firstCueId]);
    }
}

void hitTestCall(Reader& in) {
    const std::int32_t left = rectValue(in);
    const std::int32_t top = rectValue(in);
    const std::int32_t width = rectValue(in);
    const std::int32_t height = rectValue(in);
    const auto mode = in.byte() % 4;
    if (mode == 3) {
        // Not a number, or an infinite coordinate, is never inside.
        const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -std::numeric_limits<float>::infinity()};
        const float special = odd[in.byte() % 3];
        const float other = static_cast<float>(static_cast<std::int16_t>(in.u16()));
        check(!pointInRect(special, other, left, top, width, height));
        check(!pointInRect(other, special, left, top, width, height));
        return;
    }
    // An integer point that a float holds exactly: compared with the 64-bit
    // reference at that same point.
    const float fx = static_cast<float>(pointValue(in, left, width));
    const float fy = static_cast<float>(pointValue(in, top, height));
    const auto x = static_cast<std::int64_t>(fx);
    const auto y = static_cast<std::int64_t>(fy);
    check(pointInRect(fx, fy, left, top, width, height) ==
          referenceInside(x, y, left, top, width, height));
}

void toggleOutput(Reader&) {
    outputInstalled = !outputInstalled;
    setSoundOutput(outputInstalled ? recordSound : nullptr);
}

// A run of shows, hides and focuses of six elements of four threads of two
// applications (three threads in one, so that its share binds), some
// waiting while others are taken, as a busy desktop delivers them. The
// calls of a taken event take a call place and may be under way while
// others are recorded and taken, pass their deadline and be abandoned, and
// answer in any order, late, or never. Whatever the order of taking and
// answering and whatever is dropped on the way:
// - no stale show and no other kind is ever taken;
// - a call starts only as the bound, the cap, the threads and the shares
//   allow, as this fuzzer counts them itself;
// - no cue plays that an older event's answer would put after a newer cue,
//   and no focus cue plays once a newer focus of its thread has arrived;
// - the click target ends exactly as handling every event in arrival order
//   leaves it, an event whose call never answers counting as one that
//   found nothing (unless the queue overflowed).
void waitingEvents(Reader& in) {
    constexpr std::int32_t elementCount = 6;
    constexpr std::uint32_t threadCount = 4;
    const auto threadOf = [](std::int32_t element) {
        return static_cast<std::uint32_t>(element) % threadCount;
    };
    const auto processOf = [](std::uint32_t thread) { return thread == 3 ? 1u : 0u; };
    const CueRow* rows[elementCount];
    bool locatable[elementCount];
    for (std::int32_t element = 0; element < elementCount; ++element) {
        rows[element] = in.byte() % 2 != 0 ? &cueTable[in.byte() % cueTableSize] : nullptr;
        locatable[element] = in.byte() % 4 != 0;
    }
    clearWaitingEvents();
    clearCallPlaces();
    const Target start = currentTarget();
    const std::size_t fullBefore = waitingEventTally().full;
    std::uint32_t now = in.u32();
    struct Recorded {
        std::uint64_t arrival;
        std::uint32_t event;
        std::int32_t element;
    };
    std::vector<Recorded> recordedEvents;
    std::uint64_t newestFocusOf[threadCount] = {};
    std::uint64_t newestCue = 0;
    // Calls under way; a focus's cue may come back before its location,
    // with other answers between the two.
    struct Call {
        EventFindings found;
        std::int32_t element;
        int place;
        std::uint32_t startedMs;
        bool cuePlayed = false;
        bool abandoned = false;
        bool never = false;  // abandoned, and its answer never comes
    };
    std::vector<Call> underWay;
    std::vector<std::uint64_t> taken;
    std::vector<Recorded> neverAnswered;

    // Every element has a rectangle of its own.
    const auto findOut = [&](const WaitingEvent& event) {
        const std::int32_t element = event.element.child;
        EventFindings found;
        found.event = event.event;
        found.arrival = event.arrival;
        found.raisedMs = event.raisedMs;
        found.named = true;
        found.row = event.event != eventObjectHide ? rows[element] : nullptr;
        found.located = locatable[element];
        found.left = element;
        found.top = element * 10;
        found.width = element + 1;
        found.height = 2;
        return found;
    };
    const auto countCalls = [&](auto holds) {
        std::size_t count = 0;
        for (const Call& call : underWay) {
            count += holds(call) ? 1 : 0;
        }
        return count;
    };
    const auto startNext = [&]() {
        const std::size_t counted = countCalls([](const Call& call) { return !call.abandoned; });
        const bool room = counted < maxCallsUnderWay && underWay.size() < callPlaceCount;
        check(callPlaceFree() == room);
        if (!room) {
            return false;
        }
        WaitingEvent next{};
        if (!takeNextWaitingEvent(
                now, !underWay.empty(),
                [](const WaitingEvent& event, void*) { return callMayStartFor(event); }, nullptr,
                next)) {
            return false;
        }
        check(eventCanChangeAnything(next.event));
        check(next.event != eventObjectShow || now - next.raisedMs <= showLifetimeMs);
        const std::int32_t element = next.element.child;
        const std::uint32_t thread = threadOf(element);
        check(countCalls([&](const Call& call) { return threadOf(call.element) == thread; }) == 0);
        check(countCalls([&](const Call& call) {
                  return processOf(threadOf(call.element)) == processOf(thread);
              }) < callsPerApplication);
        const int place = beginCall(next, now);
        check(place >= 0);
        taken.push_back(next.arrival);
        underWay.push_back({findOut(next), element, place, now});
        return true;
    };
    // A cue just played for `call`: never one an older answer puts after a
    // newer cue, nor one of a focus its thread has left.
    const auto checkCue = [&](const Call& call, std::size_t soundsBefore) {
        if (recordedCount == soundsBefore) {
            return;
        }
        check(call.found.arrival > newestCue);
        newestCue = call.found.arrival;
        if (call.found.event == eventObjectFocus) {
            check(newestFocusOf[threadOf(call.element)] == call.found.arrival);
        }
    };
    const auto finish = [&](std::size_t index) {
        endCall(underWay[index].place);
        underWay.erase(underWay.begin() + static_cast<std::ptrdiff_t>(index));
    };
    const auto answer = [&](std::size_t which) {
        std::vector<std::size_t> answering;
        for (std::size_t i = 0; i < underWay.size(); ++i) {
            if (!underWay[i].never) {
                answering.push_back(i);
            }
        }
        if (answering.empty()) {
            return false;
        }
        const std::size_t index = answering[which / 2 % answering.size()];
        Call& answered = underWay[index];
        const std::size_t soundsBefore = recordedCount;
        if (which % 2 != 0 && !answered.cuePlayed) {
            playFoundCue(answered.found, now);
            answered.cuePlayed = true;
            checkCue(answered, soundsBefore);
            return true;
        }
        if (answered.cuePlayed) {
            setTargetFromFindings(answered.found);
        } else {
            applyEventFindings(answered.found, now);
            checkCue(answered, soundsBefore);
        }
        finish(index);
        return true;
    };
    const auto abandon = [&](std::uint8_t neverMask) {
        std::size_t overdueNow = 0;
        for (std::size_t i = 0; i < underWay.size(); ++i) {
            Call& call = underWay[i];
            if (now - call.startedMs > callDeadlineMs && !call.abandoned) {
                call.abandoned = true;
                call.never = (neverMask >> (i % 8) & 1u) != 0;
                ++overdueNow;
            }
        }
        check(abandonOverdueCalls(now) == overdueNow);
        check(callsCounted() == countCalls([](const Call& call) { return !call.abandoned; }));
        check(callsNotReturned() == underWay.size());
    };

    const std::size_t steps = in.byte() % 64u;
    for (std::size_t step = 0; step < steps; ++step) {
        switch (in.byte() % 6) {
        case 0:
        case 1: {
            const std::uint8_t kind = in.byte();
            const std::uint32_t event = kind % 4 == 0   ? eventObjectShow
                                        : kind % 4 == 1 ? eventObjectHide
                                        : kind % 4 == 2 ? eventObjectFocus
                                                        : 0x8000u + kind % 16u;
            const std::int32_t element = in.byte() % elementCount;
            const std::uint32_t age = in.byte() * 4u;
            const std::uint32_t thread = threadOf(element);
            const std::uint64_t arrival = recordWaitingEvent(
                {event, {1, -4, element}, thread, now - age, 0, processOf(thread), false});
            if (arrival != 0) {
                recordedEvents.push_back({arrival, event, element});
                if (event == eventObjectFocus) {
                    newestFocusOf[thread] = arrival;
                }
            }
            break;
        }
        case 2: startNext(); break;
        case 3: answer(in.byte()); break;
        case 4: now += in.byte() * 4u; break;
        default:
            now += callDeadlineMs + in.byte() % 4u;
            abandon(in.byte());
            break;
        }
        check(waitingEventCount() <= waitingEventCapacity);
    }
    // Everything answers but what never does; meanwhile those calls keep
    // their places and their threads wait. Then their threads return with
    // nothing, and what waited behind them is handled too.
    while (answer(0) || startNext()) {
    }
    for (std::size_t i = underWay.size(); i-- > 0;) {
        neverAnswered.push_back(
            {underWay[i].found.arrival, underWay[i].found.event, underWay[i].element});
        finish(i);
    }
    while (answer(0) || startNext()) {
    }
    check(underWay.empty());
    check(waitingEventCount() == 0);
    if (waitingEventTally().full == fullBefore) {
        // The reference: the same events handled at once, in arrival order,
        // but those that never answered, and the older ones of the same
        // element and kind that they replaced while waiting: those were
        // never taken, and any one of them that was replaced by an event
        // that did answer changes nothing that event does not do again.
        const auto neverAnswers = [&](const Recorded& event) {
            const bool wasTaken =
                std::find(taken.begin(), taken.end(), event.arrival) != taken.end();
            return std::any_of(neverAnswered.begin(), neverAnswered.end(),
                               [&](const Recorded& never) {
                                   return never.arrival == event.arrival ||
                                          (!wasTaken && never.arrival > event.arrival &&
                                           never.element == event.element &&
                                           never.event == event.event);
                               });
        };
        Target inOrder = start;
        for (const Recorded& event : recordedEvents) {
            if (neverAnswers(event)) {
                continue;
            }
            if (event.event == eventObjectHide) {
                inOrder.armed = 0;
            } else if (event.event == eventObjectFocus && rows[event.element] != nullptr) {
                if (locatable[event.element]) {
                    inOrder = {rows[event.element]->cueId, event.element, event.element * 10,
                               event.element + 1, 2};
                } else {
                    inOrder.armed = 0;
                }
            }
        }
        // A target left disarmed keeps whatever rectangle it had.
        const Target reached = currentTarget();
        check(reached.armed == inOrder.armed);
        if (inOrder.armed != 0) {
            check(reached == inOrder);
        }
    }
}

bool tableChecked = false;

void checkTableOnce() {
    if (tableChecked) {
        return;
    }
    tableChecked = true;
    check(cueTableSize == static_cast<std::size_t>(lastCueId - firstCueId + 1));
    for (std::size_t i = 0; i < cueTableSize; ++i) {
        check(cueTable[i].cueId == firstCueId + static_cast<std::int32_t>(i));
        check(cueTable[i].soundFile != nullptr);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkTableOnce();
    checkArmedInRange();

    // Every input starts from the state the program starts in: disarmed, an
    // all-zero rectangle, an output installed.
    armedCueId = 0;
    targetLeft = targetTop = targetWidth = targetHeight = 0;
    outputInstalled = true;
    setSoundOutput(recordSound);

    Reader in(data, size);
    while (!in.done()) {
        switch (in.byte() % 11) {
        case 0:
        case 1:
        case 2:
        case 3: accessibilityEvent(in); break;
        case 4:
        case 5: mouseEvent(in); break;
        case 6: nameCalls(in); break;
        case 7: idCall(in); break;
        case 8: hitTestCall(in); break;
        case 10: waitingEvents(in); break;
        default: toggleOutput(in); break;
        }
        checkArmedInRange();
    }
    return 0;
}
