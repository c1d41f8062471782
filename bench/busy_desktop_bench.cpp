// A busy desktop under Wine, from outside. One application raises events
// quickly on 400 elements named "Elem 1" ... "Elem 400" (none in the cue
// table): of kinds that change nothing, shows, or focuses, some with every
// name query slow; another gives the focus to a new recognised element every
// 500 ms. Then an application slow in one call (hung in WM_GETOBJECT or in
// get_accName, or naming a focus slowly) beside the other's event 20 ms in.
// Then stuck applications beside the focus application: several, each
// hung 30 s in every name query and raising a focus every 50 ms, or four
// threads of one process hung so. And an application whose focus on
// "Mentés" takes 300 ms to name, and whose focus moves to an element of no
// cue 100 ms in: the Save cue must not be heard.
// For each listener and load: how many of those focus cues were heard, how
// late (the focus event's GetTickCount to the listener's PlaySoundA, in the
// winmm trace on the same clock), the listener's CPU time, and how many calls
// the busy application had to answer. Prints one table; run from the
// build's bin folder (scripts/bench does).
// Usage: busy_desktop_bench.exe [SECONDS [LISTENER...]]
//        busy_desktop_bench.exe busy SECONDS [LISTENER...]   the busy-application rows only
//        busy_desktop_bench.exe slow SECONDS [LISTENER...]   the slow-application rows only
//        busy_desktop_bench.exe stuck SECONDS [LISTENER...]  the stuck rows only
//        busy_desktop_bench.exe soak SECONDS [LISTENER...]   eight stuck applications
//   LISTENER: vocaret, floor, or the file name of another build of
//   vocaret.exe in the same folder (to compare with an earlier build).
#include <windows.h>
#include <oleacc.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "percentile.h"
#include "cue_table.h"

namespace {

constexpr int busyElements = 400;
constexpr DWORD focusIntervalMs = 500;

struct Load {
    std::string label;
    DWORD rate;       // events a second
    DWORD showEvery;  // every n-th a show (0: none, 1: all)
    bool focuses = false;    // every event a focus, of names outside the table
    DWORD nameDelayMs = 0;   // every name query of the busy application takes this long
};

struct Result {
    int heard = 0;
    int raised = 0;
    std::vector<double> lateness;
    double cpuMs = 0;
    int objects = 0;
    int names = 0;
    std::vector<double> latenessLater;  // of the focuses raised from 1 s on
    int threadsAtMost = 0;
    SIZE_T memoryEarly = 0;  // 1 s in (a soak: 60 s in)
    SIZE_T memoryLate = 0;   // at the end
    std::string missed;      // when the focuses not heard were raised, from the first
};

int threadsOf(DWORD processId) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == processId ? 1 : 0;
    }
    CloseHandle(snapshot);
    return count;
}

SIZE_T memoryOf(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(process, &counters, sizeof counters);
    return counters.PagefileUsage;
}

// The CPU time of the listener's unix process, read through Wine's Z: drive:
// Wine's GetProcessTimes of another process leaves out most of what its
// threads spent. -1 when the process is not found.
double unixProcessCpuMs(const std::string& program) {
    const std::string path = programFolder() + "\\" + program.substr(0, program.find(' '));
    WIN32_FIND_DATAA entry;
    const HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return -1;
    }
    double cpuMs = -1;
    do {
        const std::string pid = entry.cFileName;
        if (pid.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream commandLine("Z:\\proc\\" + pid + "\\cmdline", std::ios::binary);
        std::string arguments;
        std::getline(commandLine, arguments, '\0');
        if (_stricmp(arguments.c_str(), path.c_str()) != 0) {
            continue;
        }
        std::ifstream stat("Z:\\proc\\" + pid + "\\stat");
        std::string line;
        std::getline(stat, line);
        // After the command name in parentheses: state is field 3, utime 14, stime 15.
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i >= 14) {
                ticks += std::stod(field);
            }
        }
        cpuMs = ticks * 10.0;  // USER_HZ is 100 on Linux
    } while (cpuMs < 0 && FindNextFileA(search, &entry));
    FindClose(search);
    return cpuMs;
}

// A name as the target's commands spell it: every code unit escaped.
std::string escaped(std::u16string_view name) {
    std::string text;
    char unit[8];
    for (const char16_t c : name) {
        std::snprintf(unit, sizeof unit, "\\u%04X", static_cast<unsigned>(c));
        text += unit;
    }
    return text;
}

// One row of the cue table for each focus, no two with the same sound, so
// that every PlaySoundA names the focus it answers however late it comes.
std::vector<const CueRow*> rowsWithDistinctSounds() {
    std::vector<const CueRow*> rows;
    for (const CueRow& row : cueTable) {
        if (std::none_of(rows.begin(), rows.end(), [&row](const CueRow* taken) {
                return std::string(taken->soundFile) == row.soundFile;
            })) {
            rows.push_back(&row);
        }
    }
    return rows;
}

HWND elementWindow(Target& target) {
    const std::string answer = target.command("element-window");
    return answer.rfind("ok ", 0) == 0
               ? reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull(answer.substr(3))))
               : nullptr;
}

// How many name queries a second the busy application answers a client
// that asks as fast as it can: the object, then the name, as a listener does.
double answeringRate(Target& busy, DWORD milliseconds) {
    const HWND window = elementWindow(busy);
    CoInitialize(nullptr);
    int answered = 0;
    const ULONGLONG start = GetTickCount64();
    while (GetTickCount64() - start < milliseconds) {
        IAccessible* object = nullptr;
        VARIANT child;
        VariantInit(&child);
        if (AccessibleObjectFromEvent(window, static_cast<DWORD>(OBJID_CLIENT),
                                      static_cast<DWORD>(answered % busyElements + 1), &object,
                                      &child) == S_OK &&
            object != nullptr) {
            BSTR name = nullptr;
            object->get_accName(child, &name);
            SysFreeString(name);
            object->Release();
        }
        VariantClear(&child);
        ++answered;
    }
    const double rate = answered * 1000.0 / static_cast<double>(GetTickCount64() - start);
    CoUninitialize();
    return rate;
}

// A listener, and two applications beside it: one busy or slow, and one
// that raises the focus application's events.
struct Desktop {
    explicit Desktop(const Listener& listener) : vocaret({}, programFolder(), listener) {}
    Vocaret vocaret;
    Target other;
    Target focus;

    bool started(const Listener& listener) {
        if (vocaret.waitForMainWindow() == nullptr || !other.ready() || !focus.ready()) {
            std::printf("error: %s or a target did not start\n", listener.program.c_str());
            return false;
        }
        return true;
    }
};

// With more focuses than distinct sounds, a sound names the newest focus
// raised before it that has not been heard yet.
void countHeard(const Vocaret& vocaret, const std::vector<const CueRow*>& rows,
                const std::vector<double>& raisedAt, Result& result) {
    const int focuses = static_cast<int>(raisedAt.size());
    std::vector<bool> heard(raisedAt.size(), false);
    for (const Vocaret::Play& play : vocaret.plays()) {
        for (int i = focuses; i-- > 0;) {
            const auto index = static_cast<std::size_t>(i);
            const CueRow* row = rows[index % rows.size()];
            if (!heard[index] && play.sound == row->soundFile && raisedAt[index] <= play.tickMs) {
                heard[index] = true;
                result.lateness.push_back(play.tickMs - raisedAt[index]);
                if (raisedAt[index] - raisedAt[0] >= 1000) {
                    result.latenessLater.push_back(play.tickMs - raisedAt[index]);
                }
                ++result.heard;
                break;
            }
        }
    }
    for (std::size_t i = 0; i < heard.size(); ++i) {
        if (!heard[i]) {
            result.missed += (result.missed.empty() ? "" : ", ") +
                             std::to_string(static_cast<int>(raisedAt[i] - raisedAt[0])) + " ms";
        }
    }
}

// Names the focus application's children with rows of distinct sounds, one
// for each focus to come.
std::vector<const CueRow*> nameFocusChildren(Target& focus, int focuses) {
    const std::vector<const CueRow*> rows = rowsWithDistinctSounds();
    for (int i = 0; i < focuses; ++i) {
        const CueRow* row = rows[static_cast<std::size_t>(i) % rows.size()];
        focus.command("child-name " + std::to_string(i + 1) + " " + escaped(row->elementName));
    }
    return rows;
}

// Raises a focus on children 1..focuses in turn, one every focusIntervalMs,
// calling afterEach(i) after each; answers when each was raised.
template <class AfterEach>
std::vector<double> raiseFocusesInTurn(Target& focus, int focuses, AfterEach afterEach) {
    std::vector<double> raisedAt(static_cast<std::size_t>(focuses));
    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < focuses; ++i) {
        const ULONGLONG due = start + static_cast<ULONGLONG>(i) * focusIntervalMs;
        const ULONGLONG now = GetTickCount64();
        if (due > now) {
            Sleep(static_cast<DWORD>(due - now));
        }
        raisedAt[static_cast<std::size_t>(i)] = static_cast<double>(GetTickCount64());
        focus.command("raise-child 8005 " + std::to_string(i + 1));
        afterEach(i);
    }
    return raisedAt;
}

bool run(const Listener& listener, const Load& load, DWORD seconds, Result& result) {
    Desktop desktop(listener);
    if (!desktop.started(listener)) {
        return false;
    }
    Vocaret& vocaret = desktop.vocaret;
    Target& busy = desktop.other;
    Target& focus = desktop.focus;
    busy.command("child-prefix Elem ");
    const int focuses = static_cast<int>(seconds * 1000 / focusIntervalMs);
    const std::vector<const CueRow*> rows = nameFocusChildren(focus, focuses);
    if (load.nameDelayMs != 0) {
        busy.command("name-delay-every " + std::to_string(load.nameDelayMs));
    }
    const double cpuBefore = unixProcessCpuMs(listener.program);
    const std::string span = std::to_string(load.rate) + " " + std::to_string(seconds * 1000) +
                             " " + std::to_string(busyElements);
    busy.command(load.focuses ? "busy-focus " + span
                              : "busy " + span + " " + std::to_string(load.showEvery));
    const std::vector<double> raisedAt = raiseFocusesInTurn(focus, focuses, [](int) {});
    // Late cues still count: the slowest seen so far came within 3 s.
    vocaret.waitForSounds(static_cast<std::size_t>(focuses), 4000);
    result.cpuMs = unixProcessCpuMs(listener.program) - cpuBefore;
    result.raised = focuses;
    countHeard(vocaret, rows, raisedAt, result);
    result.objects = busy.stat("objects");
    result.names = busy.stat("names");
    return true;
}

// Stuck applications beside the focus application: `applications` of them,
// or `threads` UI threads of one, each hung 30 s in every name query and
// raising a focus every 50 ms for the whole run, as windows blocked on one
// lock (a network share gone away) do.
struct Stuck {
    std::string label;
    int applications = 0;
    int threads = 0;
};

bool runStuck(const Listener& listener, const Stuck& stuck, DWORD seconds, Result& result) {
    Vocaret vocaret({}, programFolder(), listener);
    Target focus;
    std::vector<std::unique_ptr<Target>> hung;
    for (int i = 0; i < std::max(stuck.applications, stuck.threads > 0 ? 1 : 0); ++i) {
        hung.push_back(std::make_unique<Target>());
        if (!hung.back()->ready()) {
            std::printf("error: a stuck application did not start\n");
            return false;
        }
    }
    if (vocaret.waitForMainWindow() == nullptr || !focus.ready()) {
        std::printf("error: %s or a target did not start\n", listener.program.c_str());
        return false;
    }
    const int focuses = static_cast<int>(seconds * 1000 / focusIntervalMs);
    const std::vector<const CueRow*> rows = nameFocusChildren(focus, focuses);
    const std::string span = std::to_string(seconds * 1000 + 2000);
    for (const auto& application : hung) {
        if (stuck.threads > 0) {
            application->command("hung-threads " + std::to_string(stuck.threads) + " 30000 50 " +
                                 span);
        } else {
            application->command("name Mentés");
            application->command("name-delay-every 30000");
            application->command("raise-every 50 " + span + " 8005");
        }
    }
    // A minute in for a soak, when every stuck call has long been abandoned.
    const int early = static_cast<int>((seconds >= 300 ? 60000 : 1000) / focusIntervalMs);
    const std::vector<double> raisedAt = raiseFocusesInTurn(focus, focuses, [&](int i) {
        result.threadsAtMost = std::max(result.threadsAtMost, threadsOf(vocaret.process.id()));
        if (i == early) {
            result.memoryEarly = memoryOf(vocaret.process.handle());
        }
    });
    vocaret.waitForSounds(static_cast<std::size_t>(focuses), 4000);
    result.memoryLate = memoryOf(vocaret.process.handle());
    result.raised = focuses;
    countHeard(vocaret, rows, raisedAt, result);
    for (const auto& application : hung) {
        application->process.kill();  // hung: it would not take "quit"
    }
    return true;
}

// Another application is slow in one call while the focus application's
// focus comes 20 ms into it, eight times.
enum class Slowness {
    hungObjectRequest,  // its UI thread hangs 2 s with WM_GETOBJECT waiting
    hungNameQuery,      // its name query takes 2 s
    slowFocus,          // its focus on "Mentés" takes 300 ms to name, beside
                        // a show of an element of no cue 20 ms in
    leftFocus,          // its focus on "Mentés" takes 300 ms to name, and
                        // 100 ms in its focus moves to an element of no cue
};

constexpr int slowTrials = 8;

bool runSlowTrials(const Listener& listener, Slowness slowness, Result& result) {
    Desktop desktop(listener);
    if (!desktop.started(listener)) {
        return false;
    }
    Vocaret& vocaret = desktop.vocaret;
    Target& slow = desktop.other;
    Target& focus = desktop.focus;
    slow.command("name Mentés");
    slow.command("child-prefix Elem ");
    focus.command("child-prefix Elem ");
    const std::vector<const CueRow*> rows = rowsWithDistinctSounds();
    const bool hang = slowness == Slowness::hungObjectRequest || slowness == Slowness::hungNameQuery;
    for (int i = 0; i < slowTrials; ++i) {
        // Distinct from Save.wav, the slow application's own cue.
        const CueRow* row = rows[static_cast<std::size_t>(i) % (rows.size() - 1) + 1];
        if (hang) {
            focus.command("child-name " + std::to_string(i + 1) + " " + escaped(row->elementName));
        }
        const std::size_t before = vocaret.plays().size();
        const ULONGLONG trialStart = GetTickCount64();
        if (slowness == Slowness::hungObjectRequest) {
            slow.command("raise-and-hang 8005 2000");
        } else if (slowness == Slowness::leftFocus) {
            slow.command("name-delay 300");
            slow.command("raise-then-child 8005 100 " + std::to_string(i + 1));
        } else {
            slow.command(hang ? "name-delay 2000" : "name-delay 300");
            slow.command("raise 8005");
        }
        Sleep(20);
        const auto raised = static_cast<double>(GetTickCount64());
        if (slowness != Slowness::leftFocus) {
            focus.command(std::string(hang ? "raise-child 8005 " : "raise-child 8002 ") +
                          std::to_string(i + 1));
        }
        const std::string expected = hang ? row->soundFile : "Sounds\\Save.wav";
        const ULONGLONG deadline = GetTickCount64() + (hang ? 2600 : 1000);
        bool heard = false;
        while (!heard && GetTickCount64() < deadline) {
            const std::vector<Vocaret::Play> plays = vocaret.plays();
            for (std::size_t k = before; k < plays.size() && !heard; ++k) {
                if (plays[k].sound == expected) {
                    heard = true;
                    result.lateness.push_back(plays[k].tickMs - raised);
                }
            }
            Sleep(5);
        }
        result.heard += heard ? 1 : 0;
        ++result.raised;
        // The slow call is over before the next trial begins.
        const ULONGLONG trialEnd = trialStart + (hang ? 2300 : 600);
        const ULONGLONG now = GetTickCount64();
        if (trialEnd > now) {
            Sleep(static_cast<DWORD>(trialEnd - now));
        }
    }
    result.objects = slow.stat("objects");
    result.names = slow.stat("names");
    return true;
}

Listener listenerNamed(const std::string& name) {
    if (name == "vocaret") {
        return vocaretListener;
    }
    if (name == "floor") {
        return floorListener;
    }
    return {name, vocaretListener.windowClass, vocaretListener.title};
}

}  // namespace

void printStuckRows(const std::vector<std::string>& listeners, const std::vector<Stuck>& stucks,
                    DWORD seconds) {
    std::printf("\n| listener | stuck beside the focus application (30 s in every name query, a "
                "focus every 50 ms) | focus cues heard | late p50 / p95 / max | from 1 s on: p95 "
                "/ max | listener's threads at most | memory 1 s in / at the end | not heard: "
                "raised at |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const Stuck& stuck : stucks) {
        for (const std::string& name : listeners) {
            Result result;
            if (!runStuck(listenerNamed(name), stuck, seconds, result)) {
                return;
            }
            std::printf("| %s | %s | %d of %d | %.0f / %.0f / %.0f ms | %.0f / %.0f ms | %d | %lu / "
                        "%lu KiB | %s |\n",
                        name.c_str(), stuck.label.c_str(), result.heard, result.raised,
                        percentile(result.lateness, 0.5), percentile(result.lateness, 0.95),
                        percentile(result.lateness, 1.0), percentile(result.latenessLater, 0.95),
                        percentile(result.latenessLater, 1.0), result.threadsAtMost,
                        static_cast<unsigned long>(result.memoryEarly / 1024),
                        static_cast<unsigned long>(result.memoryLate / 1024),
                        result.heard == result.raised ? "-" : result.missed.c_str());
            std::fflush(stdout);
        }
    }
}

void printSlowRows(const std::vector<std::string>& listeners) {
    std::printf("\n| listener | another application, 20 ms before the focus application's "
                "event | cues heard | late p50 / p95 / max | WM_GETOBJECT / get_accName "
                "answered by the slow one |\n");
    std::printf("|---|---|---|---|---|\n");
    const struct {
        Slowness slowness;
        const char* label;
    } slownesses[] = {
        {Slowness::hungObjectRequest, "hangs 2 s in WM_GETOBJECT; a focus"},
        {Slowness::hungNameQuery, "hangs 2 s in get_accName; a focus"},
        {Slowness::slowFocus, "focuses \"Mentés\", named in 300 ms; a show of no cue (Save cues)"},
        {Slowness::leftFocus,
         "focuses \"Mentés\", named in 300 ms, and 100 ms in an element of no cue (Save cues, "
         "to be 0)"},
    };
    for (const auto& slow : slownesses) {
        for (const std::string& name : listeners) {
            Result result;
            if (!runSlowTrials(listenerNamed(name), slow.slowness, result)) {
                return;
            }
            std::printf("| %s | %s | %d of %d | %.0f / %.0f / %.0f ms | %d / %d |\n",
                        name.c_str(), slow.label, result.heard, result.raised,
                        percentile(result.lateness, 0.5), percentile(result.lateness, 0.95),
                        percentile(result.lateness, 1.0), result.objects, result.names);
            std::fflush(stdout);
        }
    }
}

int main(int argc, char** argv) {
    int first = 1;
    const std::string mode = argc > 1 && !std::isdigit(static_cast<unsigned char>(argv[1][0]))
                                 ? argv[first++]
                                 : "";
    const DWORD seconds = argc > first ? static_cast<DWORD>(std::atoi(argv[first])) : 20;
    std::vector<std::string> listeners;
    for (int i = first + 1; i < argc; ++i) {
        listeners.emplace_back(argv[i]);
    }
    if (listeners.empty()) {
        listeners = {"vocaret", "floor"};
    }
    const std::vector<Stuck> stucks = {
        {"none (the machine's own latency in the same run)", 0, 0},
        {"4 applications", 4, 0},
        {"8 applications", 8, 0},
        {"16 applications", 16, 0},
        {"4 threads of one application", 0, 4},
    };
    if (mode == "soak") {
        printStuckRows(listeners, {stucks[2]}, seconds);
        return 0;
    }
    if (mode == "slow") {
        printSlowRows(listeners);
        return 0;
    }
    if (mode == "stuck") {
        printStuckRows(listeners, stucks, seconds);
        return 0;
    }
    double rate = 0;
    {
        Target busy;
        if (!busy.ready()) {
            std::printf("error: the busy application did not start\n");
            return 1;
        }
        busy.command("child-prefix Elem ");
        rate = answeringRate(busy, 3000);
    }
    const auto showRate = static_cast<DWORD>(rate * 1.5 + 0.5);
    std::printf("The busy application answers %.0f name queries a second (object and name, "
                "asked as fast as it answers); shows are raised at 1.5 times that: %lu a second.\n\n",
                rate, static_cast<unsigned long>(showRate));
    const std::vector<Load> loads = {
        {"100/s of kinds that change nothing", 100, 0},
        {"300/s of kinds that change nothing", 300, 0},
        {"1,000/s of kinds that change nothing", 1000, 0},
        {"300/s, one show in eight", 300, 8},
        {std::to_string(showRate) + "/s shows of names outside the table", showRate, 1},
        {"100/s focuses of names outside the table", 100, 0, true},
        {"300/s focuses of names outside the table", 300, 0, true},
        {"30/s focuses, every name taking 20 ms", 30, 0, true, 20},
    };

    std::printf("| listener | busy application raises | focus cues heard | late p50 / p95 / max "
                "| listener's CPU in %lu s | WM_GETOBJECT / get_accName answered |\n",
                static_cast<unsigned long>(seconds));
    std::printf("|---|---|---|---|---|---|\n");
    for (const Load& load : loads) {
        for (const std::string& name : listeners) {
            Result result;
            if (!run(listenerNamed(name), load, seconds, result)) {
                return 1;
            }
            std::printf("| %s | %s | %d of %d | %.0f / %.0f / %.0f ms | %.2f s | %d / %d |\n",
                        name.c_str(), load.label.c_str(), result.heard, result.raised,
                        percentile(result.lateness, 0.5), percentile(result.lateness, 0.95),
                        percentile(result.lateness, 1.0), result.cpuMs / 1000.0, result.objects,
                        result.names);
            std::fflush(stdout);
        }
    }

    if (mode == "busy") {
        return 0;
    }
    printSlowRows(listeners);
    printStuckRows(listeners, stucks, seconds);
    return 0;
}
