// Cost of the core on its hot paths, with a sound output that does nothing.
#include <benchmark/benchmark.h>

#include <string>

#include "click_target.h"
#include "in_order_dispatcher.h"
#include "play_cue.h"
#include "waiting_events.h"

namespace {

void silentOutput(const char* soundFile) {
    benchmark::DoNotOptimize(soundFile);
}

void focusEvent(benchmark::State& state, const std::u16string& name) {
    setSoundOutput(silentOutput);
    const ElementName elementName(name);
    for (auto _ : state) {
        handleAccessibilityEvent(eventObjectFocus, elementName, [] {
            targetLeft = 1;
            targetTop = 2;
            targetWidth = 3;
            targetHeight = 4;
        });
        benchmark::ClobberMemory();
    }
    setSoundOutput(nullptr);
}

void BM_FocusMatchingName(benchmark::State& state) {
    focusEvent(state, u"Mentés");
}
BENCHMARK(BM_FocusMatchingName);

void BM_FocusMatchingLastRow(benchmark::State& state) {
    focusEvent(state, u"Dokumentumok");
}
BENCHMARK(BM_FocusMatchingLastRow);

void BM_FocusNonMatchingName(benchmark::State& state) {
    // A typical toolbar button name that is in no row.
    focusEvent(state, u"Kedvencek hozzáadása");
}
BENCHMARK(BM_FocusNonMatchingName);

void BM_FocusLongName(benchmark::State& state) {
    focusEvent(state, std::u16string(1000, u'K'));
}
BENCHMARK(BM_FocusLongName);

void BM_MouseMoveCommonPath(benchmark::State& state) {
    setSoundOutput(silentOutput);
    armedCueId = 1028;
    std::int32_t x = 0;
    for (auto _ : state) {
        handleMouseEvent(0x0200, x, 5);  // WM_MOUSEMOVE
        ++x;
        benchmark::ClobberMemory();
    }
    armedCueId = 0;
    setSoundOutput(nullptr);
}
BENCHMARK(BM_MouseMoveCommonPath);

void BM_LeftPressInsideTarget(benchmark::State& state) {
    setSoundOutput(silentOutput);
    targetLeft = 0;
    targetTop = 0;
    targetWidth = 100;
    targetHeight = 100;
    armedCueId = 1028;
    for (auto _ : state) {
        handleMouseEvent(messageLeftButtonDown, 50, 50);
        benchmark::ClobberMemory();
    }
    armedCueId = 0;
    setSoundOutput(nullptr);
}
BENCHMARK(BM_LeftPressInsideTarget);

// The choice of the next event with the queue full: sixteen threads each
// holding their share of shows. Each iteration one more show arrives and
// one event is taken, as during a flood that never lets up.
void BM_WaitingEventsFullQueue(benchmark::State& state) {
    clearWaitingEvents();
    std::uint32_t now = 1000;
    std::int32_t child = 0;
    const auto record = [&] {
        ++child;
        const auto thread = static_cast<std::uint32_t>(child % 16 + 1);
        recordWaitingEvent({eventObjectShow, {1, -4, child}, thread, now, 0, thread, false});
    };
    while (waitingEventCount() < waitingEventCapacity) {
        record();
    }
    WaitingEvent next{};
    for (auto _ : state) {
        record();
        benchmark::DoNotOptimize(takeNextWaitingEvent(now, false, nullptr, nullptr, next));
    }
    clearWaitingEvents();
}
BENCHMARK(BM_WaitingEventsFullQueue);

}  // namespace

BENCHMARK_MAIN();
