// The whole program as its own process: real accessibility events raised by
// another process, real clicks, and the cues read back from Wine's winmm trace.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "scripted_window.h"

namespace {

using Sounds = std::vector<std::string>;

class ProgramEvents : public ::testing::Test {
protected:
    Vocaret vocaret;
    Target target;

    void SetUp() override {
        ASSERT_NE(vocaret.waitForMainWindow(), nullptr) << "vocaret's window did not appear";
        ASSERT_TRUE(target.ready()) << "the target did not start";
    }

    void say(const std::string& line) { ASSERT_EQ(target.command(line), "ok") << line; }

    void raise(const std::string& event) {
        ASSERT_TRUE(target.raiseAndWait(event)) << "vocaret never asked for the name of " << event;
    }

    // A focus event on the scripted element with this name and rectangle.
    void focus(const std::string& name, int left, int top, int width, int height) {
        say("name " + name);
        say("rect " + std::to_string(left) + " " + std::to_string(top) + " " +
            std::to_string(width) + " " + std::to_string(height));
        raise("8005");
    }

    // Waits for the cue a known event plays, so that everything raised
    // before it has been handled: absence is then decided without guessing.
    // The marker cue itself is waited for: on a loaded machine the cues of
    // earlier events may still be reaching the trace when it is raised, and
    // the last one heard may be an earlier marker's.
    void settle() {
        const std::size_t before = vocaret.sounds().size();
        say("name Kezdőlap (Alt+D)");
        raise("8002");
        const ULONGLONG deadline = GetTickCount64() + 10000;
        while ((vocaret.sounds().size() <= before ||
                vocaret.sounds().back() != "Sounds\\Homebutton.wav") &&
               GetTickCount64() < deadline) {
            Sleep(20);
        }
        ASSERT_GT(vocaret.sounds().size(), before);
        ASSERT_EQ(vocaret.sounds().back(), "Sounds\\Homebutton.wav");
    }
    Sounds soundsBeforeSettling() {
        settle();
        Sounds sounds = vocaret.sounds();
        sounds.pop_back();
        return sounds;
    }

    void click(int x, int y, DWORD down = MOUSEEVENTF_LEFTDOWN, DWORD up = MOUSEEVENTF_LEFTUP) {
        clickAt(x, y, down, up);
    }
};

TEST_F(ProgramEvents, FocusAndShowOfNamedElementsPlayTheirCues) {
    focus("Mentés", 10, 10, 10, 10);
    ASSERT_TRUE(vocaret.waitForSounds(1));
    say("name Nyomtatás...\\tCtrl+P ");
    raise("8002");
    ASSERT_TRUE(vocaret.waitForSounds(2));
    const auto plays = vocaret.plays();
    EXPECT_EQ(plays[0].sound, "Sounds\\Save.wav");
    EXPECT_EQ(plays[1].sound, "Sounds\\Print.wav");
    EXPECT_EQ(plays[0].flags, "00020001");
    EXPECT_EQ(plays[1].flags, "00020001");
}

TEST_F(ProgramEvents, NearMissesAndOtherEventsPlayNothing) {
    for (const char* name : {"Mentés\\tCtrl+S", "mentés", "Windows Live Messenger",
                             "D\xC3\xB5lt" /* õ */, "Lomtár ", ""}) {
        say(std::string("name ") + name);
        raise("8005");
        raise("8002");
    }
    EXPECT_EQ(soundsBeforeSettling(), Sounds{});
}

// A busy application raising events that change no cue is never asked
// about them, and the focus cues of another application come on time.
TEST_F(ProgramEvents, BusyApplicationIsNotAskedAboutKindsThatChangeNothing) {
    Target busy;
    ASSERT_TRUE(busy.ready());
    ASSERT_EQ(busy.command("child-prefix Mentés "), "ok");
    ASSERT_EQ(busy.command("busy 300 3000 400 0"), "ok");
    say("name Vissza");
    for (int i = 0; i < 5; ++i) {
        Sleep(500);
        raise("8005");
    }
    EXPECT_EQ(soundsBeforeSettling(), Sounds(5, "Sounds\\Backarrow.wav"));
    EXPECT_EQ(busy.stat("objects"), 0);
    EXPECT_EQ(busy.stat("names"), 0);
}

TEST_F(ProgramEvents, NamesArriveExactlyAcrossProcesses) {
    say("name Lomtár\\0 és még");  // cut at the NUL
    raise("8005");
    say("name Windows Live Messenger ");
    raise("8002");
    say("name Új ablak \\tCtrl+N");
    raise("8002");
    EXPECT_EQ(soundsBeforeSettling(), (Sounds{"Sounds\\Pedal.wav", "Sounds\\S_Messenger.WAV",
                                              "Sounds\\Window_open.wav"}));
}

TEST_F(ProgramEvents, StandardButtonFocusPlaysByItsTextWithoutTheMnemonic) {
    say("focus-button 1");  // "Vissza"
    ASSERT_TRUE(vocaret.waitForSounds(1));
    say("focus-button 0");  // "&Mentés"
    ASSERT_TRUE(vocaret.waitForSounds(2));
    EXPECT_EQ(vocaret.sounds(), (Sounds{"Sounds\\Backarrow.wav", "Sounds\\Save.wav"}));
}

TEST_F(ProgramEvents, LeftPressInsideTheFocusedElementReplaysItsCue) {
    focus("Nyomtatás...", 100, 200, 50, 20);
    ASSERT_TRUE(vocaret.waitForSounds(1));
    click(100, 200);
    click(150, 220);
    ASSERT_TRUE(vocaret.waitForSounds(3));
    click(99, 210);
    click(151, 210);
    click(120, 199);
    click(120, 221);
    click(120, 210, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    EXPECT_EQ(soundsBeforeSettling(), Sounds(3, "Sounds\\Print.wav"));
}

TEST_F(ProgramEvents, HideDisarmsAndAnUnknownFocusKeepsTheTarget) {
    focus("Vissza", 100, 200, 50, 20);
    ASSERT_TRUE(vocaret.waitForSounds(1));
    focus("nincs ilyen elem", 500, 500, 10, 10);
    settle();
    click(120, 210);  // still "Vissza"
    ASSERT_TRUE(vocaret.waitForSounds(3));
    EXPECT_EQ(vocaret.sounds().back(), "Sounds\\Backarrow.wav");
    say("name nincs ilyen elem");
    raise("8003");
    settle();
    click(120, 210);
    EXPECT_EQ(soundsBeforeSettling().size(), 4u);  // Back, Home, Back, Home: no replay
}

// A dialog closes: its hide, and its window is destroyed before vocaret has
// handled the hide, so no object can be had for it any more. The focused
// "Mentés" in it must not replay for a press on whatever lies there now.
TEST_F(ProgramEvents, PressWhereAClosedDialogsButtonWasPlaysNothing) {
    std::istringstream answer(target.command("dialog"));
    std::string ok;
    int left = 0, top = 0, width = 0, height = 0;
    answer >> ok >> left >> top >> width >> height;
    ASSERT_EQ(ok, "ok");
    const int x = left + width / 2;
    const int y = top + height / 2;
    // A focus the user has left plays nothing: the button's must be the newest.
    settle();
    say("focus-dialog-button");
    settle();
    const Sounds focused = vocaret.sounds();
    ASSERT_GE(focused.size(), 2u);
    ASSERT_EQ(focused[focused.size() - 2], "Sounds\\Save.wav");  // just before settling's
    const std::size_t armed = focused.size();
    click(x, y);  // the focus armed it: its cue replays
    ASSERT_TRUE(vocaret.waitForSounds(armed + 1));
    ASSERT_EQ(vocaret.sounds().back(), "Sounds\\Save.wav");
    say("close-dialog");
    settle();
    const std::size_t heard = vocaret.sounds().size();
    click(x, y);
    EXPECT_EQ(soundsBeforeSettling().size(), heard);
}

// One copy per session: a second start restores the running copy's window and
// brings it to the front, ends with code 0, and every cue still plays once.
TEST_F(ProgramEvents, ASecondStartShowsTheRunningCopyAndEndsWithCode0) {
    const HWND window = vocaret.mainWindow();
    PostMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(pumpUntil([&] { return IsIconic(window) != FALSE; }, 5000));
    Vocaret second;
    ASSERT_TRUE(second.process.wait(10000)) << "the second copy runs on";
    EXPECT_EQ(second.process.exitCode(), 0u);
    EXPECT_TRUE(pumpUntil([&] { return !IsIconic(window) && GetForegroundWindow() == window; }, 5000))
        << "iconic " << IsIconic(window) << ", foreground " << GetForegroundWindow();
    focus("Vissza", 100, 200, 50, 20);
    ASSERT_TRUE(vocaret.waitForSounds(1));
    EXPECT_EQ(soundsBeforeSettling(), Sounds{"Sounds\\Backarrow.wav"});
}

}  // namespace
