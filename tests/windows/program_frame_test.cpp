// The main window where Wine draws the caption, frame and menu bar itself,
// as Windows does: run by run_at_dpi.sh --frames in a prefix of its own with
// no window manager, at Wine's own metrics or at Windows 10 and 11's.
// VOCARET_NEEDED_HEIGHT is the height those metrics need at that DPI.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

#include "child_process.h"
#include "menu_bar_reader.h"
#include "window_frame.h"

namespace {

// vocaret's menu bar, read inside its process (see menu_bar_reader.h).
MenuBarReading readMenuBar(HWND window) {
    MenuBarReading reading{};
    const HMODULE reader =
        LoadLibraryA((programFolder() + "\\vocaret_menu_bar_reader.dll").c_str());
    const auto procedure = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(reader, menuBarReaderProcName)));
    const HANDLE memory = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             sizeof reading, menuBarMemoryName);
    const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, procedure, reader,
                                         GetWindowThreadProcessId(window, nullptr));
    if (hook != nullptr && memory != nullptr) {
        SendMessageA(window, RegisterWindowMessageA(menuBarReadMessageName), 0, 0);
        const auto* shared = static_cast<const MenuBarReading*>(
            MapViewOfFile(memory, FILE_MAP_READ, 0, 0, sizeof reading));
        if (shared != nullptr) {
            reading = *shared;
            UnmapViewOfFile(shared);
        }
        UnhookWindowsHookEx(hook);
    }
    if (memory != nullptr) {
        CloseHandle(memory);
    }
    return reading;
}

std::string text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " - " +
           std::to_string(r.right) + "," + std::to_string(r.bottom);
}

// The bar and both items lie wholly inside the window, the items on one line.
MenuBarReading expectWholeMenuBarInside(HWND window) {
    RECT outer;
    GetWindowRect(window, &outer);
    const MenuBarReading menuBar = readMenuBar(window);
    EXPECT_TRUE(menuBar.read);
    for (const RECT& part : {menuBar.bar, menuBar.items[0], menuBar.items[1]}) {
        EXPECT_TRUE(part.left >= outer.left && part.right <= outer.right &&
                    part.top >= outer.top && part.bottom <= outer.bottom && part.right > part.left)
            << text(part) << " in the window " << text(outer);
    }
    EXPECT_EQ(menuBar.items[1].top, menuBar.items[0].top) << "Help stands on a line of its own";
    std::printf("window %ld x %ld; menu bar %s: Options %s, Help %s\n", outer.right - outer.left,
                outer.bottom - outer.top, text(menuBar.bar).c_str(),
                text(menuBar.items[0]).c_str(), text(menuBar.items[1]).c_str());
    return menuBar;
}

TEST(ProgramWindowFrame, HoldsTheWholeMenuBarAndIsNoTallerThanItsFrameNeeds) {
    const int dpi = screenDpi();
    const char* expected = std::getenv("VOCARET_NEEDED_HEIGHT");
    ASSERT_NE(expected, nullptr);
    ASSERT_EQ(neededWindowHeight(dpi), std::atoi(expected))
        << "the prefix's metrics or display scaling did not take effect";
    Vocaret vocaret({"WINEDEBUG=-all"});
    const HWND window = vocaret.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    RECT outer;
    GetWindowRect(window, &outer);
    std::printf("%d DPI, needed %d; ", dpi, neededWindowHeight(dpi));
    expectWholeMenuBarInside(window);
    EXPECT_EQ(outer.right - outer.left, MulDiv(240, dpi, 96));
    EXPECT_EQ(outer.bottom - outer.top, neededWindowHeight(dpi));
}

// A value under the desktop's WindowMetrics for the programs started while
// it lives; the old one is put back after.
class MetricOverride {
public:
    MetricOverride(const char* name, DWORD type, const void* value, DWORD size) : name_(name) {
        RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop\\WindowMetrics", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
        RegQueryValueExA(key_, name, nullptr, &oldType_, old_, &oldSize_);
        RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(value), size);
    }
    ~MetricOverride() {
        RegSetValueExA(key_, name_, 0, oldType_, old_, oldSize_);
        RegCloseKey(key_);
    }
    MetricOverride(const MetricOverride&) = delete;
    MetricOverride& operator=(const MetricOverride&) = delete;

private:
    const char* name_;
    HKEY key_ = nullptr;
    DWORD oldType_ = 0;
    BYTE old_[sizeof(LOGFONTW)] = {};
    DWORD oldSize_ = sizeof old_;
};

// A menu font five times as tall, with a menu bar tall enough for it, as
// Windows sets the two together: "Options" alone is wider than the bar of a
// window 240 wide scaled, at any DPI, and the window widens until Help
// stands beside it and ends where the bar does.
TEST(ProgramWindowFrame, WidensJustEnoughForItsMenuItemsOnOneLine) {
    LOGFONTW font{};
    font.lfHeight = -55;
    font.lfWeight = FW_NORMAL;
    wcscpy(font.lfFaceName, L"MS Shell Dlg");
    const std::string menuHeight = std::to_string(-15 * 80);  // twips: 80 pixels at 96 DPI
    auto bigFont = std::make_unique<MetricOverride>("MenuFont", REG_BINARY, &font, sizeof font);
    auto tallBar = std::make_unique<MetricOverride>(
        "MenuHeight", REG_SZ, menuHeight.c_str(), static_cast<DWORD>(menuHeight.size() + 1));
    Vocaret vocaret({"WINEDEBUG=-all"});
    const HWND window = vocaret.waitForMainWindow();
    bigFont.reset();  // vocaret read its metrics when it started
    tallBar.reset();
    ASSERT_NE(window, nullptr);
    const MenuBarReading menuBar = expectWholeMenuBarInside(window);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_GT(outer.right - outer.left, MulDiv(240, screenDpi(), 96));
    EXPECT_EQ(menuBar.items[1].right, menuBar.bar.right);
}

}  // namespace
