// The main window at 150 % display scaling: run by run_at_dpi.sh in a prefix
// whose DPI is 144. vocaret is DPI aware, so Windows leaves the window's
// size to it.
#include <gtest/gtest.h>

#include "child_process.h"

namespace {

TEST(ProgramWindowAt144Dpi, IsScaledFrom240By43To360By65) {
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, 144) << "the prefix's display scaling did not take effect";

    Vocaret vocaret({"WINEDEBUG=-all"});
    const HWND window = vocaret.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_NEAR(outer.right - outer.left, 360, 1);
    EXPECT_NEAR(outer.bottom - outer.top, 65, 1);
}

}  // namespace
