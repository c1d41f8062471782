// The main window at 150 % display scaling: run by run_at_dpi.sh in a prefix
// whose DPI is 144. vocaret is DPI aware, so Windows leaves the window's
// size to it.
#include <gtest/gtest.h>

#include "child_process.h"
#include "window_frame.h"

namespace {

// 240 scaled. The height is what Wine's metrics at 144 DPI need around an
// empty client area (70), not 43 scaled to 65: 43 never held the client
// edge, and the frame's metrics need not scale with the DPI.
TEST(ProgramWindowAt144Dpi, Is360WideAndAsTallAsItsFrameNeeds) {
    const int dpi = screenDpi();
    ASSERT_EQ(dpi, 144) << "the prefix's display scaling did not take effect";

    Vocaret vocaret({"WINEDEBUG=-all"});
    const HWND window = vocaret.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 360);
    EXPECT_EQ(outer.bottom - outer.top, neededWindowHeight(dpi));
}

}  // namespace
