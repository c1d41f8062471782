// The main window, its menu, the three dialogs and the ways the program
// ends, driven from outside as a user's tools would.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "child_process.h"
#include "version.h"
#include "window_frame.h"

namespace {

std::string textOf(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string classOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

struct ExpectedControl {
    int id;
    const char* className;
    const char* text;
    RECT units;  // x, y, width, height in dialog units
    DWORD style;  // the control's style bits beyond WS_CHILD | WS_VISIBLE
};

class ProgramWindow : public ::testing::Test {
protected:
    Vocaret vocaret;
    HWND window = nullptr;

    void SetUp() override {
        window = vocaret.waitForMainWindow();
        ASSERT_NE(window, nullptr);
    }

    // Posts the command (a dialog runs its own loop, so nothing is sent
    // synchronously) and waits for the dialog with this caption.
    HWND openDialog(WORD command, const char* caption) {
        PostMessageA(window, WM_COMMAND, command, 0);
        return findWindowOf(vocaret.process.id(), "#32770", caption);
    }

    // Dialog units to pixels for another process's dialog (MapDialogRect
    // works only in the dialog's own process): the client area spans the
    // dialog's size in units. Rounding may differ by one pixel.
    void expectControls(HWND dialog, SIZE dialogUnits, const std::vector<ExpectedControl>& expected) {
        RECT client;
        GetClientRect(dialog, &client);
        std::vector<HWND> children;
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            children.push_back(child);
        }
        ASSERT_EQ(children.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const HWND child = children[i];
            const ExpectedControl& control = expected[i];
            SCOPED_TRACE(control.text);
            EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(child))), control.id);
            EXPECT_STRCASEEQ(classOf(child).c_str(), control.className);
            EXPECT_EQ(textOf(child), control.text);
            const auto style = static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE));
            EXPECT_EQ(style & ~static_cast<DWORD>(WS_CHILD | WS_VISIBLE), control.style)
                << std::hex << style;
            EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
            const auto x = [&](LONG units) { return MulDiv(units, client.right, dialogUnits.cx); };
            const auto y = [&](LONG units) { return MulDiv(units, client.bottom, dialogUnits.cy); };
            RECT actual;
            GetWindowRect(child, &actual);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
            EXPECT_NEAR(actual.left, x(control.units.left), 1);
            EXPECT_NEAR(actual.top, y(control.units.top), 1);
            EXPECT_NEAR(actual.right - actual.left, x(control.units.right), 1);
            EXPECT_NEAR(actual.bottom - actual.top, y(control.units.bottom), 1);
        }
    }

    void expectDialogFrame(HWND dialog, const char* caption) {
        ASSERT_NE(dialog, nullptr) << caption;
        EXPECT_EQ(textOf(dialog), caption);
        // Caption, system menu, modal frame (the template's exact style is
        // checked from the resource; the platform adds bits of its own).
        const auto style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
        EXPECT_EQ(style & 0x80C80080u, 0x80C80080u) << std::hex << style;
        EXPECT_EQ(style & WS_THICKFRAME, 0u);
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), window);
        EXPECT_FALSE(IsWindowEnabled(window));  // modal
    }

    // Ends the dialog and checks that the main window is usable again.
    void expectClosed(HWND dialog) {
        const ULONGLONG deadline = GetTickCount64() + 5000;
        while (IsWindow(dialog) && GetTickCount64() < deadline) {
            Sleep(10);
        }
        EXPECT_FALSE(IsWindow(dialog));
        while (!IsWindowEnabled(window) && GetTickCount64() < deadline) {
            Sleep(10);
        }
        EXPECT_TRUE(IsWindowEnabled(window));
        EXPECT_EQ(vocaret.process.exitCode(), static_cast<DWORD>(STILL_ACTIVE));
    }

    void pressEscape(HWND dialog) {
        // The dialog manager turns Escape on the focused control into IDCANCEL.
        const HWND focused = GetDlgItem(dialog, IDOK);
        PostMessageA(focused, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(focused, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(static_cast<LONG>(0xC0000001u)));
    }

    void expectEndsWithExitCode0() {
        ASSERT_TRUE(vocaret.process.wait(10000)) << "vocaret did not end";
        EXPECT_EQ(vocaret.process.exitCode(), 0u);
    }
};

// 240 wide; as tall as the frame, caption, menu bar and client edge need at
// the desktop's metrics, no more: 50 at Wine's own (frame 4, caption 19,
// menu bar 19, client edge 2). The 43 it once had never held the client edge.
TEST_F(ProgramWindow, TopLevelWindowOfItsClassWithItsTitleAndSize) {
    EXPECT_EQ(classOf(window), "myWindowClass");
    EXPECT_EQ(textOf(window), "Vocaret");
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 240);
    EXPECT_EQ(outer.bottom - outer.top, neededWindowHeight(96));
    const auto style = static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE));
    EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

// Moved to a monitor of another scaling, the window gets WM_DPICHANGED with
// the rectangle Windows suggests there: it takes the place, and its size
// anew at the new DPI, since Windows scales the whole rectangle, frame
// included, and the frame's metrics need not scale so. Wine never changes a
// window's DPI, so the test sends the message itself, with the rectangle
// written into vocaret's memory, where the window procedure reads it.
TEST_F(ProgramWindow, TakesThePlaceSuggestedAndItsSizeAtTheNewDpiWhenItsDpiChanges) {
    const RECT suggested{100, 120, 100 + 300, 120 + 63};  // 240 x 50 scaled to 120 DPI
    ASSERT_NE(neededWindowHeight(120), 63);
    void* remote = VirtualAllocEx(vocaret.process.handle(), nullptr, sizeof suggested, MEM_COMMIT,
                                  PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    ASSERT_TRUE(WriteProcessMemory(vocaret.process.handle(), remote, &suggested, sizeof suggested,
                                   nullptr));
    SendMessageA(window, WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(remote));
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, suggested.left);
    EXPECT_EQ(outer.top, suggested.top);
    EXPECT_EQ(outer.right - outer.left, 300);
    EXPECT_EQ(outer.bottom - outer.top, neededWindowHeight(120));
}

// A new text size or theme changes the frame's metrics, and Windows tells
// every window with WM_SETTINGCHANGE. Wine keeps a process's metrics from
// its start, so the test puts the window out of size and sends the message.
TEST_F(ProgramWindow, TakesItsSizeAnewWhenTheFrameMetricsChange) {
    SetWindowPos(window, nullptr, 0, 0, 200, 43, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(window, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, 0);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 240);
    EXPECT_EQ(outer.bottom - outer.top, neededWindowHeight(96));
}

// Minimised, it is the size it is restored to that is taken anew.
TEST_F(ProgramWindow, TakesItsSizeAnewWhenTheFrameMetricsChangeWhileMinimised) {
    SetWindowPos(window, nullptr, 0, 0, 200, 43, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window));
    SendMessageA(window, WM_SETTINGCHANGE, SPI_SETNONCLIENTMETRICS, 0);
    EXPECT_TRUE(IsIconic(window));
    ShowWindow(window, SW_RESTORE);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.right - outer.left, 240);
    EXPECT_EQ(outer.bottom - outer.top, neededWindowHeight(96));
}

TEST(ProgramResources, MenuStringAndPicturesAsTheProgramCarriesThem) {
    const std::string exe = programFolder() + "\\vocaret.exe";
    const HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(101));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 2);
    char text[64];
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Options");
    GetMenuStringA(menu, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Help");
    const HMENU options = GetSubMenu(menu, 0);
    const HMENU help = GetSubMenu(menu, 1);
    ASSERT_EQ(GetMenuItemCount(options), 2);
    ASSERT_EQ(GetMenuItemCount(help), 1);
    EXPECT_EQ(GetMenuItemID(options, 0), 40003u);
    EXPECT_EQ(GetMenuItemID(options, 1), 9001u);
    EXPECT_EQ(GetMenuItemID(help, 0), 40002u);
    GetMenuStringA(options, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Settings");
    GetMenuStringA(options, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Exit");
    GetMenuStringA(help, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "About...");
    DestroyMenu(menu);

    wchar_t exitText[32] = {};
    EXPECT_EQ(LoadStringW(module, 9001, exitText, 32), 7);
    EXPECT_STREQ(exitText, L"Kil\u00E9p\u00E9s");

    // Every resource carries the Hungarian language.
    for (const auto& [type, id] : {std::pair{RT_MENU, 101}, std::pair{RT_DIALOG, 105},
                                   std::pair{RT_DIALOG, 106}, std::pair{RT_DIALOG, 108},
                                   std::pair{RT_GROUP_ICON, 101}, std::pair{RT_GROUP_CURSOR, 112}}) {
        EXPECT_NE(FindResourceExA(module, type, MAKEINTRESOURCEA(id), 1038), nullptr) << id;
    }
    // The dialog templates: the exact style, position (0, 0), size and font.
    for (const auto& [id, width, height] : {std::tuple{105, 213, 71}, std::tuple{106, 239, 66},
                                            std::tuple{108, 145, 79}}) {
        const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_DIALOG);
        ASSERT_NE(found, nullptr);
        const auto* dialog = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(module, found)));
        EXPECT_EQ(dialog->style, 0x80C800C0u) << id;
        EXPECT_EQ(dialog->dwExtendedStyle, 0u) << id;
        EXPECT_EQ(dialog->x, 0);
        EXPECT_EQ(dialog->y, 0);
        EXPECT_EQ(dialog->cx, width);
        EXPECT_EQ(dialog->cy, height);
        // After the fixed header: no menu, the standard class, the caption, then the font.
        const auto* words = reinterpret_cast<const WORD*>(dialog + 1);
        EXPECT_EQ(words[0], 0);  // menu
        EXPECT_EQ(words[1], 0);  // class
        const auto* caption = reinterpret_cast<const wchar_t*>(words + 2);
        const auto* fontSize = reinterpret_cast<const WORD*>(caption + wcslen(caption) + 1);
        EXPECT_EQ(*fontSize, 8);
        EXPECT_STREQ(reinterpret_cast<const wchar_t*>(fontSize + 1), L"MS Sans Serif");
    }

    const HICON icon = static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(101), IMAGE_ICON, 32, 32, 0));
    ASSERT_NE(icon, nullptr);
    ICONINFO iconInfo{};
    ASSERT_TRUE(GetIconInfo(icon, &iconInfo));
    BITMAP colour{};
    GetObjectA(iconInfo.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, 32);
    EXPECT_EQ(colour.bmHeight, 32);
    const HCURSOR cursor = static_cast<HCURSOR>(
        LoadImageA(module, MAKEINTRESOURCEA(112), IMAGE_CURSOR, 32, 32, 0));
    ASSERT_NE(cursor, nullptr);
    ICONINFO cursorInfo{};
    ASSERT_TRUE(GetIconInfo(cursor, &cursorInfo));
    EXPECT_FALSE(cursorInfo.fIcon);
    EXPECT_EQ(cursorInfo.xHotspot, 0u);
    EXPECT_EQ(cursorInfo.yHotspot, 0u);
    EXPECT_EQ(cursorInfo.hbmColor, nullptr);  // monochrome
    FreeLibrary(module);
}

// The name Windows shows for the program and its sounds, and the version,
// as the version resource gives them in the language it declares.
TEST(ProgramResources, VersionResourceNamesVocaretWithTheProjectVersion) {
    const std::string exe = programFolder() + "\\vocaret.exe";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, size, info.data()));
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], 1038);  // Hungarian, like every resource
    char block[64];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04X%04X\\", translation[0],
                  translation[1]);
    const auto text = [&](const char* name) {
        char* value = nullptr;
        UINT chars = 0;
        const bool found = VerQueryValueA(info.data(), (std::string(block) + name).c_str(),
                                          reinterpret_cast<void**>(&value), &chars);
        return found && value != nullptr ? std::string(value) : std::string("(none)");
    };
    EXPECT_EQ(text("FileDescription"), "Vocaret");
    EXPECT_EQ(text("ProductName"), "Vocaret");
    EXPECT_EQ(text("CompanyName"), VOCARET_VENDOR);
    EXPECT_EQ(text("LegalCopyright"), VOCARET_VENDOR);
    EXPECT_EQ(text("FileVersion"), VOCARET_VERSION_TEXT);
    EXPECT_EQ(text("ProductVersion"), VOCARET_VERSION_TEXT);
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    const DWORD high = MAKELONG(VOCARET_VERSION_MINOR, VOCARET_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, VOCARET_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

// The manifest as the platform's loader reads it: the program runs as the
// user who starts it, with version 6 of the common controls, per-monitor DPI
// aware (v2, falling back to v1, then to system awareness where only the
// older entry is read); it names Windows Vista to 11 as supported.
TEST(ProgramResources, ManifestAsInvokerCommonControls6PerMonitorDpiAwareVistaTo11) {
    const std::string exe = programFolder() + "\\vocaret.exe";
    ACTCTXA request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = exe.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    const HANDLE context = CreateActCtxA(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "error " << GetLastError();

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel{};
    ASSERT_TRUE(QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext,
                             &runLevel, sizeof runLevel, nullptr));
    EXPECT_EQ(runLevel.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
    EXPECT_EQ(runLevel.UiAccess, 0u);

    for (const auto& [space, setting, expected] :
         {std::tuple{L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware",
                     L"true/pm"},
          std::tuple{L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness",
                     L"PerMonitorV2, PerMonitor"}}) {
        wchar_t value[64] = {};
        SIZE_T written = 0;
        QueryActCtxSettingsW(0, context, space, setting, value, 64, &written);
        EXPECT_STREQ(value, expected) << setting;
    }

    ULONG_PTR cookie = 0;
    ASSERT_TRUE(ActivateActCtx(context, &cookie));
    const HMODULE controls = LoadLibraryA("comctl32.dll");
    DeactivateActCtx(0, cookie);
    ReleaseActCtx(context);
    ASSERT_NE(controls, nullptr);
    // Version 6 lives apart from system32's, in its side-by-side assembly.
    char path[MAX_PATH] = {};
    GetModuleFileNameA(controls, path, MAX_PATH);
    CharLowerA(path);
    EXPECT_NE(std::string(path).find("_microsoft.windows.common-controls_6595b64144ccf1df_6."),
              std::string::npos)
        << path;
    FreeLibrary(controls);

    const HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC found = FindResourceA(module, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_NE(found, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                               SizeofResource(module, found));
    FreeLibrary(module);
    for (const char* id : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
        EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + id + "}\"/>"), std::string::npos)
            << id;
    }
}

TEST_F(ProgramWindow, AboutDialogShowsItsControlsAndEndsWithOkEscapeOrClose) {
    const std::vector<ExpectedControl> controls = {
        {IDOK, "Button", "OK", {141, 29, 50, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {-1, "Static", "Vocaret 0.9", {17, 15, 40, 8}, SS_LEFT | WS_GROUP},
        {-1, "Static", "Vocaret team\nand contributors", {60, 34, 58, 22}, SS_LEFT | WS_GROUP},
        {-1, "Static", "Authors:", {18, 27, 40, 10}, SS_LEFTNOWORDWRAP | WS_GROUP},
    };
    HWND dialog = openDialog(40002, "About...");
    expectDialogFrame(dialog, "About...");
    expectControls(dialog, {213, 71}, controls);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    expectClosed(dialog);
    dialog = openDialog(40002, "About...");
    ASSERT_NE(dialog, nullptr);
    pressEscape(dialog);
    expectClosed(dialog);
    dialog = openDialog(40002, "About...");
    ASSERT_NE(dialog, nullptr);
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    expectClosed(dialog);
}

TEST_F(ProgramWindow, SettingsAreNotKeptBetweenOpenings) {
    const std::vector<ExpectedControl> controls = {
        {IDOK, "Button", "OK", {45, 49, 50, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {1003, "Button", "Run at Windows startup", {23, 17, 92, 10}, BS_AUTOCHECKBOX},
        {1007, "Button", "Sounds OFF", {24, 31, 96, 10}, BS_AUTOCHECKBOX | WS_TABSTOP},
    };
    HWND dialog = openDialog(40003, "Settings");
    expectDialogFrame(dialog, "Settings");
    expectControls(dialog, {145, 79}, controls);
    SendMessageA(GetDlgItem(dialog, 1003), BM_CLICK, 0, 0);
    SendMessageA(GetDlgItem(dialog, 1007), BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 1007), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(IsWindow(dialog));  // a check box click does not end the dialog
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    expectClosed(dialog);
    dialog = openDialog(40003, "Settings");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 1003), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 1007), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    pressEscape(dialog);
    expectClosed(dialog);
}

TEST_F(ProgramWindow, ExitThenCancelEscapeOrCloseChangesNothing) {
    const std::vector<ExpectedControl> controls = {
        {IDOK, "Button", "&OK", {174, 18, 50, 14}, BS_DEFPUSHBUTTON | WS_TABSTOP},
        {IDCANCEL, "Button", "&Cancel", {174, 35, 50, 14}, BS_PUSHBUTTON | WS_TABSTOP},
        {-1, "Button", "Do you really want to exit?", {7, 7, 225, 52}, BS_GROUPBOX},
    };
    HWND dialog = openDialog(9001, "Exit?");
    expectDialogFrame(dialog, "Exit?");
    expectControls(dialog, {239, 66}, controls);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    expectClosed(dialog);
    dialog = openDialog(9001, "Exit?");
    ASSERT_NE(dialog, nullptr);
    pressEscape(dialog);
    expectClosed(dialog);
    dialog = openDialog(9001, "Exit?");
    ASSERT_NE(dialog, nullptr);
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    expectClosed(dialog);
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(ProgramWindow, ExitThenOkEndsTheProgramWithCode0) {
    const HWND dialog = openDialog(9001, "Exit?");
    ASSERT_NE(dialog, nullptr);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    expectEndsWithExitCode0();
}

TEST_F(ProgramWindow, CloseButtonEndsAtOnceWithoutAsking) {
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    expectEndsWithExitCode0();
}

TEST_F(ProgramWindow, CloseMessageEndsWithCode0) {
    PostMessageA(window, WM_CLOSE, 0, 0);
    expectEndsWithExitCode0();
}

TEST_F(ProgramWindow, GoneCommandShowsItsBoxOwnedByTheMainWindow) {
    PostMessageA(window, WM_COMMAND, 9002, 0);
    const HWND box = findWindowOf(vocaret.process.id(), "#32770", "GO");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), window);
    EXPECT_EQ(textOf(GetDlgItem(box, 0xFFFF)), "Gone!");
    EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);  // one OK button
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    expectClosed(box);
}

TEST_F(ProgramWindow, UnknownCommandsAreAnsweredWith0AndDoNothing) {
    for (WPARAM command : {WPARAM{1}, WPARAM{2}, WPARAM{9003}, WPARAM{40001}, WPARAM{0xFFFF}}) {
        EXPECT_EQ(SendMessageA(window, WM_COMMAND, command, 0), 0);
    }
    // No dialog or box came up for any of them.
    EXPECT_EQ(findWindowOf(vocaret.process.id(), "#32770", nullptr, 300), nullptr);
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_EQ(vocaret.process.exitCode(), static_cast<DWORD>(STILL_ACTIVE));
}

}  // namespace

// The close sequence's failure box waits for the user although the window's
// destruction has already posted the quit message, which would end any
// modal loop at once.
TEST(ProgramWithoutMouseHook, UnhookBoxStaysUntilOkThenTheProgramEndsWithCode0) {
    const Listener hookless{"vocaret_hookless.exe", "myWindowClass", "Vocaret"};
    Vocaret vocaret({}, programFolder(), hookless);
    const HWND window = vocaret.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    const HWND box = findWindowOf(vocaret.process.id(), "#32770", "Hiba");
    ASSERT_NE(box, nullptr) << "no \"Hiba\" box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    EXPECT_EQ(textOf(GetDlgItem(box, 0xFFFF)), "Unhook");
    Sleep(2000);
    ASSERT_TRUE(IsWindow(box)) << "the box went away by itself";
    EXPECT_EQ(vocaret.process.exitCode(), static_cast<DWORD>(STILL_ACTIVE));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(vocaret.process.wait(10000)) << "vocaret did not end after OK";
    EXPECT_EQ(vocaret.process.exitCode(), 0u);
}
