// mouseHookProc installed as a real low-level mouse hook, with clicks
// injected by SendInput from another thread while this one pumps messages,
// and called directly where the press's point and the cursor must differ.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "click_target.h"
#include "import_patch.h"
#include "mouse_hook_proc.h"
#include "play_cue.h"
#include "scripted_window.h"
#include "target_window.h"

namespace {

std::vector<std::string> played;
void recordSound(const char* soundFile) {
    played.emplace_back(soundFile);
}

// The hook installed before ours, so next in the chain: it must see every event.
std::vector<WPARAM> seenByNextHook;
LRESULT CALLBACK nextHook(int nCode, WPARAM wParam, LPARAM lParam) {
    seenByNextHook.push_back(wParam);
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}

using Sounds = std::vector<std::string>;

void sendMouse(DWORD flags, LONG x = 0, LONG y = 0) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    input.mi.dx = x;
    input.mi.dy = y;
    SendInput(1, &input, sizeof(INPUT));
}

class MouseHook : public ::testing::Test {
protected:
    HHOOK next = nullptr;
    HHOOK ours = nullptr;
    ScriptedWindow element;  // the armed element's window

    void SetUp() override {
        played.clear();
        seenByNextHook.clear();
        setSoundOutput(recordSound);
        next = SetWindowsHookExA(WH_MOUSE_LL, nextHook, GetModuleHandleA(nullptr), 0);
        ours = SetWindowsHookExA(WH_MOUSE_LL, mouseHookProc, GetModuleHandleA(nullptr), 0);
        ASSERT_NE(next, nullptr);
        ASSERT_NE(ours, nullptr);
        targetLeft = 100;
        targetTop = 200;
        targetWidth = 50;
        targetHeight = 20;
        targetWindow = element.handle();
        armedCueId = 1016;
    }
    void TearDown() override {
        UnhookWindowsHookEx(ours);
        UnhookWindowsHookEx(next);
        armedCueId = 0;
        setSoundOutput(nullptr);
    }

    // Moves the cursor to (x, y) and sends the given button flags from a second
    // thread; this thread serves the hooks meanwhile.
    void inject(int x, int y, std::vector<DWORD> buttonFlags) {
        const std::size_t expected = seenByNextHook.size() + 1 + buttonFlags.size();
        std::thread injector([=] {
            SetCursorPos(x, y);
            sendMouse(MOUSEEVENTF_MOVE, 0, 0);
            for (DWORD flags : buttonFlags) {
                sendMouse(flags);
            }
        });
        const bool arrived = pumpUntil([&] { return seenByNextHook.size() >= expected; }, 5000);
        injector.join();
        pumpMessages();
        ASSERT_TRUE(arrived) << "the hooks saw " << seenByNextHook.size() << " of " << expected;
    }
    void click(int x, int y) { inject(x, y, {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}); }
};

TEST_F(MouseHook, LeftPressesOnTheEdgesReplayAndOutsideDoNot) {
    click(100, 200);
    click(150, 220);
    click(150, 200);
    click(100, 220);
    EXPECT_EQ(played, Sounds(4, "Sounds\\Print.wav"));
    click(99, 210);
    click(151, 210);
    click(120, 199);
    click(120, 221);
    EXPECT_EQ(played.size(), 4u);
}

TEST_F(MouseHook, OtherButtonsAndMovesReplayNothing) {
    inject(120, 210, {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_MIDDLEDOWN,
                      MOUSEEVENTF_MIDDLEUP});
    EXPECT_TRUE(played.empty());
    click(120, 210);
    EXPECT_EQ(played.size(), 1u);
}

TEST_F(MouseHook, DisarmedTargetReplaysNothing) {
    armedCueId = 0;
    click(120, 210);
    EXPECT_TRUE(played.empty());
}

// The element's window closed and nothing disarmed the target: what lies
// there now is something else.
TEST_F(MouseHook, PressWhereTheElementsWindowIsGoneReplaysNothing) {
    const HWND gone = CreateWindowExA(0, "STATIC", "gone", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      nullptr, nullptr);
    targetWindow = gone;
    click(120, 210);
    EXPECT_EQ(played.size(), 1u);
    DestroyWindow(gone);
    click(120, 210);
    EXPECT_EQ(played.size(), 1u);
}

TEST_F(MouseHook, TheNextHookSeesEveryEvent) {
    click(120, 210);
    inject(10, 10, {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP});
    const std::vector<WPARAM> expected = {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP,
                                          WM_MOUSEMOVE, WM_RBUTTONDOWN, WM_RBUTTONUP};
    EXPECT_EQ(seenByNextHook, expected);
}

// The hook runs before the cursor moves for the press (Wine moves it first,
// so only a direct call shows it): the press's own point decides, wherever
// the cursor is.
TEST_F(MouseHook, ThePressIsJudgedByItsOwnPointNotTheCursor) {
    const auto pressAt = [](LONG x, LONG y, LONG cursorX, LONG cursorY) {
        ASSERT_TRUE(SetCursorPos(cursorX, cursorY));
        POINT cursor{};
        ASSERT_TRUE(GetCursorPos(&cursor));
        ASSERT_EQ(cursor.x, cursorX);
        ASSERT_EQ(cursor.y, cursorY);
        MSLLHOOKSTRUCT record{};
        record.pt = {x, y};
        mouseHookProc(HC_ACTION, WM_LBUTTONDOWN, reinterpret_cast<LPARAM>(&record));
    };
    pressAt(120, 210, 10, 10);  // inside, the cursor outside
    EXPECT_EQ(played, Sounds{"Sounds\\Print.wav"});
    pressAt(10, 10, 120, 210);  // outside, the cursor inside
    EXPECT_EQ(played.size(), 1u);
}

struct NextHookCall {
    HHOOK hook;
    int code;
    WPARAM wParam;
    LPARAM lParam;
};
NextHookCall lastNextHookCall;
LRESULT WINAPI recordingCallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam) {
    lastNextHookCall = {hook, code, wParam, lParam};
    return 0x5A5A;
}

TEST(MouseHookProc, PassesEveryCallOnAndReturnsTheNextHooksResult) {
    ImportPatch patch("user32.dll", "CallNextHookEx",
                      reinterpret_cast<void*>(recordingCallNextHookEx));
    ASSERT_TRUE(patch.applied());
    armedCueId = 0;
    for (WPARAM message : {WPARAM{WM_MOUSEMOVE}, WPARAM{WM_LBUTTONDOWN}, WPARAM{WM_RBUTTONUP}}) {
        MSLLHOOKSTRUCT record{};
        const auto lParam = reinterpret_cast<LPARAM>(&record);
        EXPECT_EQ(mouseHookProc(HC_ACTION, message, lParam), 0x5A5A);
        EXPECT_EQ(lastNextHookCall.hook, nullptr);
        EXPECT_EQ(lastNextHookCall.code, HC_ACTION);
        EXPECT_EQ(lastNextHookCall.wParam, message);
        EXPECT_EQ(lastNextHookCall.lParam, lParam);
    }
    // nCode takes part in no decision: a negative code is passed on as well.
    EXPECT_EQ(mouseHookProc(-1, WM_LBUTTONDOWN, 0), 0x5A5A);
    EXPECT_EQ(lastNextHookCall.code, -1);
}

}  // namespace
