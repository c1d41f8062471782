// Latency and cost of vocaret.exe under Wine, from outside: a focus event
// raised in another process until vocaret's PlaySoundA call, the cost of its
// mouse hook per injected event, and what it uses while idle. Prints one
// table. Run from the build's bin folder (scripts/bench does).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "child_process.h"
#include "percentile.h"

namespace {

double processCpuMs(HANDLE process) {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(process, &created, &exited, &kernel, &user);
    const auto ticks = [](FILETIME t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

SIZE_T memoryKiB(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return counters.PagefileUsage / 1024;
}

// Microseconds per SendInput of one move or one left press and release.
double injectionCostUs(DWORD flagsDown, DWORD flagsUp, int count) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < count; ++i) {
        INPUT inputs[2] = {};
        inputs[0].type = inputs[1].type = INPUT_MOUSE;
        inputs[0].mi.dwFlags = flagsDown;
        inputs[0].mi.dx = (i % 2) ? 1 : -1;
        inputs[1].mi.dwFlags = flagsUp;
        SendInput(flagsUp == 0 ? 1 : 2, inputs, sizeof(INPUT));
    }
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 /
           static_cast<double>(frequency.QuadPart) / count;
}

}  // namespace

int main(int argc, char** argv) {
    const int events = argc > 1 ? std::atoi(argv[1]) : 200;
    const DWORD idleSeconds = argc > 2 ? static_cast<DWORD>(std::atoi(argv[2])) : 60;
    const char* names[] = {"Mentés", "Vissza", "Előre", "Lomtár", "Nyomtatás...", "Fel"};

    SetCursorPos(900, 700);  // away from every window: a click there hits no target
    const double moveWithout = injectionCostUs(MOUSEEVENTF_MOVE, 0, 2000);
    const double pressWithout = injectionCostUs(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 500);

    Vocaret vocaret;
    Target target;
    if (vocaret.waitForMainWindow() == nullptr || !target.ready()) {
        std::printf("error: vocaret or the target did not start\n");
        return 1;
    }
    const SIZE_T memoryStart = memoryKiB(vocaret.process.handle());

    std::vector<double> latencies;
    double cold = -1;
    for (int i = 0; i <= events; ++i) {
        target.command(std::string("name ") + names[i % 6]);
        target.command("rect 0 0 10 10");
        const std::size_t before = vocaret.plays().size();
        const double raised = static_cast<double>(GetTickCount64());
        target.command("raise 8005");
        if (!vocaret.waitForSounds(before + 1, 5000)) {
            std::printf("error: no cue for event %d\n", i);
            return 1;
        }
        const double played = vocaret.plays().back().tickMs;
        // GetTickCount64 and the trace's timestamp are the same millisecond clock.
        const double latency = played - raised;
        if (i == 0) {
            cold = latency;
        } else {
            latencies.push_back(latency);
        }
    }

    // The hook's common path: moves, and presses with a target armed elsewhere.
    const double moveWith = injectionCostUs(MOUSEEVENTF_MOVE, 0, 2000);
    const double pressWith = injectionCostUs(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, 500);

    const double cpuBefore = processCpuMs(vocaret.process.handle());
    Sleep(idleSeconds * 1000);
    const double idleCpu = processCpuMs(vocaret.process.handle()) - cpuBefore;

    std::printf("| measure | value |\n|---|---|\n");
    std::printf("| focus event -> PlaySoundA, cold first cue | %.0f ms |\n", cold);
    std::printf("| focus event -> PlaySoundA, p50 / p95 / p99 over %zu events | %.0f / %.0f / %.0f ms |\n",
                latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.95),
                percentile(latencies, 0.99));
    std::printf("| SendInput mouse move, without / with vocaret | %.1f / %.1f us |\n", moveWithout,
                moveWith);
    std::printf("| SendInput left press and release, without / with vocaret | %.1f / %.1f us |\n",
                pressWithout, pressWith);
    std::printf("| CPU used by vocaret in %lu s idle | %.1f ms |\n",
                static_cast<unsigned long>(idleSeconds), idleCpu);
    std::printf("| vocaret's memory after start / after the run | %lu / %lu KiB |\n",
                static_cast<unsigned long>(memoryStart),
                static_cast<unsigned long>(memoryKiB(vocaret.process.handle())));
    return 0;
}
