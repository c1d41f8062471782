// A busy desktop under Wine, from outside. One application raises events
// quickly on 400 elements named "Elem 1" ... "Elem 400" (none in the cue
// table): of kinds that change nothing, shows, or focuses, some with every
// name query slow; another gives the focus to a new recognised element every
// 500 ms. Then an application slow in one call (hung in WM_GETOBJECT or in
// get_accName, or naming a focus slowly) beside the other's event 20 ms in.
// For each listener and load: how many of those focus cues were heard, how
// late (the focus event's GetTickCount to the listener's PlaySoundA, in the
// winmm trace on the same clock), the listener's CPU time, and how many calls
// the busy application had to answer. Prints one table; run from the
// build's bin folder (scripts/bench does).
// Usage: busy_desktop_bench.exe [SECONDS [LISTENER...]]
//   LISTENER: vocaret, floor, or the file name of another build of
//   vocaret.exe in the same folder (to compare with an earlier build).
#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
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
};

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

bool run(const Listener& listener, const Load& load, DWORD seconds, Result& result) {
    Desktop desktop(listener);
    if (!desktop.started(listener)) {
        return false;
    }
    Vocaret& vocaret = desktop.vocaret;
    Target& busy = desktop.other;
    Target& focus = desktop.focus;
    busy.command("child-prefix Elem ");
    const std::vector<const CueRow*> rows = rowsWithDistinctSounds();
    const int focuses = static_cast<int>(seconds * 1000 / focusIntervalMs);
    std::map<std::string, int> focusOfSound;
    for (int i = 0; i < focuses; ++i) {
        const CueRow* row = rows[static_cast<std::size_t>(i) % rows.size()];
        focus.command("child-name " + std::to_string(i + 1) + " " + escaped(row->elementName));
        focusOfSound[row->soundFile] = i;
    }
    if (load.nameDelayMs != 0) {
        busy.command("name-delay-every " + std::to_string(load.nameDelayMs));
    }
    const double cpuBefore = unixProcessCpuMs(listener.program);
    const std::string span = std::to_string(load.rate) + " " + std::to_string(seconds * 1000) +
                             " " + std::to_string(busyElements);
    busy.command(load.focuses ? "busy-focus " + span
                              : "busy " + span + " " + std::to_string(load.showEvery));
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
    }
    // Late cues still count: the slowest seen so far came within 3 s.
    vocaret.waitForSounds(static_cast<std::size_t>(focuses), 4000);
    result.cpuMs = unixProcessCpuMs(listener.program) - cpuBefore;
    result.raised = focuses;
    std::vector<bool> heard(static_cast<std::size_t>(focuses), false);
    // With more focuses than distinct sounds, a sound names the newest focus
    // raised before it that has not been heard yet.
    for (const Vocaret::Play& play : vocaret.plays()) {
        for (int i = focuses; i-- > 0;) {
            const auto index = static_cast<std::size_t>(i);
            const CueRow* row = rows[index % rows.size()];
            if (!heard[index] && play.sound == row->soundFile && raisedAt[index] <= play.tickMs) {
                heard[index] = true;
                result.lateness.push_back(play.tickMs - raisedAt[index]);
                ++result.heard;
                break;
            }
        }
    }
    result.objects = busy.stat("objects");
    result.names = busy.stat("names");
    return true;
}

// Another application is slow in one call while the focus application's
// focus comes 20 ms into it, eight times.
enum class Slowness {
    hungObjectRequest,  // its UI thread hangs 2 s with WM_GETOBJECT waiting
    hungNameQuery,      // its name query takes 2 s
    slowFocus,          // its focus on "Mentés" takes 300 ms to name, beside
                        // a show of an element of no cue 20 ms in
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
    focus.command("child-prefix Elem ");
    const std::vector<const CueRow*> rows = rowsWithDistinctSounds();
    const bool hang = slowness != Slowness::slowFocus;
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
        } else {
            slow.command(hang ? "name-delay 2000" : "name-delay 300");
            slow.command("raise 8005");
        }
        Sleep(20);
        const auto raised = static_cast<double>(GetTickCount64());
        focus.command(std::string(hang ? "raise-child 8005 " : "raise-child 8002 ") +
                      std::to_string(i + 1));
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

int main(int argc, char** argv) {
    const DWORD seconds = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 20;
    std::vector<std::string> listeners;
    for (int i = 2; i < argc; ++i) {
        listeners.emplace_back(argv[i]);
    }
    if (listeners.empty()) {
        listeners = {"vocaret", "floor"};
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
    };
    for (const auto& slow : slownesses) {
        for (const std::string& name : listeners) {
            Result result;
            if (!runSlowTrials(listenerNamed(name), slow.slowness, result)) {
                return 1;
            }
            std::printf("| %s | %s | %d of %d | %.0f / %.0f / %.0f ms | %d / %d |\n",
                        name.c_str(), slow.label, result.heard, result.raised,
                        percentile(result.lateness, 0.5), percentile(result.lateness, 0.95),
                        percentile(result.lateness, 1.0), result.objects, result.names);
            std::fflush(stdout);
        }
    }
    return 0;
}
