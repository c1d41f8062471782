// What other applications can do to the program: hostile names and answers,
// floods of events, and a target that stops answering. The program must
// survive all of it with the next real cue still right.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

using Sounds = std::vector<std::string>;

class ProgramFaults : public ::testing::Test {
protected:
    Vocaret vocaret;
    Target target;

    void SetUp() override {
        ASSERT_NE(vocaret.waitForMainWindow(), nullptr);
        ASSERT_TRUE(target.ready());
    }

    void say(const std::string& line) { ASSERT_EQ(target.command(line), "ok") << line; }

    void raise(const std::string& event) { ASSERT_TRUE(target.raiseAndWait(event)) << event; }

    // A known cue after the faults: the program is alive and still right.
    void expectNextCueRight(DWORD milliseconds = 10000) {
        const std::size_t before = vocaret.sounds().size();
        say("name-result 0");
        say("name-write-anyway 0");
        say("location-result 0");
        say("name Vissza");
        say("rect 100 200 50 20");
        ASSERT_TRUE(target.raiseAndWait("8005", milliseconds));
        ASSERT_TRUE(vocaret.waitForSounds(before + 1, milliseconds));
        EXPECT_EQ(vocaret.sounds().back(), "Sounds\\Backarrow.wav");
        EXPECT_EQ(vocaret.process.exitCode(), static_cast<DWORD>(STILL_ACTIVE));
    }

    SIZE_T memoryOfVocaret() {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        GetProcessMemoryInfo(vocaret.process.handle(), &counters, sizeof counters);
        return counters.PagefileUsage;
    }

    // References the target handed out come back once vocaret is done.
    void expectReferencesReturned() {
        const ULONGLONG deadline = GetTickCount64() + 3000;
        while (target.stat("references") != 1 && GetTickCount64() < deadline) {
            Sleep(20);
        }
        EXPECT_EQ(target.stat("references"), 1);
    }
};

TEST_F(ProgramFaults, HostileNamesPlayNothingAndBreakNothing) {
    say("name-long 524288");  // 1 MiB of name
    raise("8005");
    raise("8002");
    for (const char* name : {"\\uD800Mentés", "Mentés\\uDC00", "\\uDFFF\\uD800", "\\0Mentés",
                             "\\0", ""}) {
        say(std::string("name ") + name);
        raise("8005");
        raise("8003");
    }
    say("name-absent");
    raise("8005");
    EXPECT_EQ(vocaret.sounds(), Sounds{});
    expectNextCueRight();
    expectReferencesReturned();
}

TEST_F(ProgramFaults, NameCutAtAnEmbeddedNulStillMatches) {
    say("name Mentés\\0\\uD800 és még");
    raise("8005");
    ASSERT_TRUE(vocaret.waitForSounds(1));
    EXPECT_EQ(vocaret.sounds(), Sounds{"Sounds\\Save.wav"});
}

TEST_F(ProgramFaults, MisbehavingServersAreSurvived) {
    // S_FALSE with a string written anyway, then a server failing every call.
    say("name Mentés");
    say("name-result 1");
    say("name-write-anyway 1");
    raise("8005");
    raise("8002");
    say("name-result 80004005");
    say("name-write-anyway 0");
    say("location-result 80004005");
    raise("8005");
    raise("8003");
    EXPECT_EQ(vocaret.sounds(), Sounds{});
    // A rectangle at the 32-bit limits: armed, and a click anywhere near the
    // origin replays nothing.
    say("name-result 0");
    say("location-result 0");
    say("rect 2147483647 2147483647 2147483647 2147483647");
    raise("8005");
    ASSERT_TRUE(vocaret.waitForSounds(1));
    clickAt(10, 10);
    expectNextCueRight();
    EXPECT_EQ(vocaret.sounds(), (Sounds{"Sounds\\Save.wav", "Sounds\\Backarrow.wav"}));
    expectReferencesReturned();
}

TEST_F(ProgramFaults, FloodOfEventsLeavesMemoryFlatAndTheNextCueRight) {
    say("name nincs ilyen elem");
    raise("8005");  // warm up: the first event loads what vocaret needs
    Sleep(200);
    const SIZE_T before = memoryOfVocaret();
    const int queriesBefore = target.stat("names");
    const ULONGLONG start = GetTickCount64();
    const unsigned long events = 100000;
    // Raised in one go while vocaret's calls into this target wait: events
    // that arrive during a call queue up, and a full queue gives up the oldest.
    for (const char* event : {"8005", "8002", "8003", "800E"}) {
        say("flood " + std::to_string(events / 4) + " " + event);
    }
    // Handled once the target has been asked nothing new for three seconds
    // (vocaret takes in a burst of waiting events without asking anything).
    int handled = target.stat("names");
    for (;;) {
        Sleep(3000);
        const int now = target.stat("names");
        if (now == handled) {
            break;
        }
        handled = now;
    }
    const ULONGLONG elapsed = GetTickCount64() - start - 3000;
    const SIZE_T after = memoryOfVocaret();
    std::printf("[ MEASURE  ] flood of %lu events: %d handled in %lu ms (%.0f per second), "
                "the rest given up; memory %lu KiB before, %lu KiB after\n",
                events, handled - queriesBefore, static_cast<unsigned long>(elapsed),
                (handled - queriesBefore) * 1000.0 / static_cast<double>(elapsed ? elapsed : 1),
                static_cast<unsigned long>(before / 1024), static_cast<unsigned long>(after / 1024));
    EXPECT_GT(handled, queriesBefore);
    EXPECT_LT(after, before + 4 * 1024 * 1024);
    EXPECT_EQ(vocaret.sounds(), Sounds{});
    expectNextCueRight(120000);
}

// While vocaret waits for a name from a target that has stopped pumping
// messages, its window, its mouse hook and the cues of other applications
// must go on; the event of the hung target is stale by the time it answers.
TEST_F(ProgramFaults, HungTargetDoesNotFreezeTheProgram) {
    Target other;
    ASSERT_TRUE(other.ready());
    ASSERT_EQ(other.command("name Előre"), "ok");
    say("name Mentés");
    say("name-delay 4000");
    say("raise 8005");
    // The target cannot be asked while it hangs; vocaret's query reaches it
    // within milliseconds, so after this pause vocaret is waiting for the answer.
    Sleep(300);

    ULONGLONG start = GetTickCount64();
    DWORD_PTR result = 0;
    const LRESULT answered = SendMessageTimeoutA(vocaret.mainWindow(), WM_NULL, 0, 0,
                                                 SMTO_ABORTIFHUNG, 5000, &result);
    const ULONGLONG windowAnswer = GetTickCount64() - start;

    // The low-level hook: SendInput waits for every hook in the chain.
    start = GetTickCount64();
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dwFlags = MOUSEEVENTF_MOVE;
    move.mi.dx = 1;
    SendInput(1, &move, sizeof(INPUT));
    const ULONGLONG hookAnswer = GetTickCount64() - start;

    start = GetTickCount64();
    ASSERT_EQ(other.command("raise 8005"), "ok");
    const bool otherHeard = vocaret.waitForSounds(1, 15000);
    const ULONGLONG otherCue = GetTickCount64() - start;

    std::printf("[ MEASURE  ] while a target hangs in a name query: main window answered%s "
                "after %lu ms, a mouse move passed the hook in %lu ms, another "
                "application's cue came after %lu ms\n",
                answered ? "" : " NOT", static_cast<unsigned long>(windowAnswer),
                static_cast<unsigned long>(hookAnswer), static_cast<unsigned long>(otherCue));
    EXPECT_TRUE(answered);
    EXPECT_LT(windowAnswer, 1000u);
    EXPECT_LT(hookAnswer, 300u);
    EXPECT_TRUE(otherHeard);
    EXPECT_LT(otherCue, 1000u);
    Sleep(4000);  // the hung target answers; its event is dropped as stale
    EXPECT_EQ(vocaret.sounds(), (Sounds{"Sounds\\Forwardarrow.wav"}));
    expectNextCueRight();
}

TEST_F(ProgramFaults, TargetThatDiesInTheMiddleOfACallIsSurvived) {
    say("name Mentés");
    say("die-in-name-query");
    const ULONGLONG start = GetTickCount64();
    target.process.command("raise 8005", 2000);  // no answer: the target ends
    ASSERT_TRUE(target.process.wait(10000));
    EXPECT_EQ(target.process.exitCode(), 7u);
    // vocaret goes on: its window answers and another application's cue is right.
    Target other;
    ASSERT_TRUE(other.ready());
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(vocaret.mainWindow(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000,
                                    &result));
    ASSERT_EQ(other.command("name Vissza"), "ok");
    ASSERT_EQ(other.command("raise 8005"), "ok");
    ASSERT_TRUE(vocaret.waitForSounds(1, 10000));
    std::printf("[ MEASURE  ] a target that died inside a name query: the next cue from "
                "another application %lu ms after the fatal event\n",
                static_cast<unsigned long>(GetTickCount64() - start));
    EXPECT_EQ(vocaret.sounds(), Sounds{"Sounds\\Backarrow.wav"});
    EXPECT_EQ(vocaret.process.exitCode(), static_cast<DWORD>(STILL_ACTIVE));
}

}  // namespace
