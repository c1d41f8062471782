#include "main_window_size.h"

#include "main_window.h"
#include "system_library.h"

namespace {

constexpr int designDpi = 96;

// The DPI of the monitor that holds the window. Windows before 10 1607 lacks
// GetDpiForWindow: there the system DPI, the primary monitor's.
int windowDpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    const auto getDpiForWindow = systemFunction<GetDpiForWindowFunction>(
        GetModuleHandleA("user32.dll"), "GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        return static_cast<int>(getDpiForWindow(window));
    }
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The outer height around an empty client area at DPI: the frame, the
// caption, one line of menu bar and the client edge, at the desktop's
// metrics. Windows before 10 1607 lacks AdjustWindowRectExForDpi; there the
// metrics are those of the system DPI, which is then the window's too.
int heightAroundNoClientArea(int dpi) {
    using AdjustWindowRectExForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    const auto adjustForDpi = systemFunction<AdjustWindowRectExForDpiFunction>(
        GetModuleHandleA("user32.dll"), "AdjustWindowRectExForDpi");
    RECT outer{0, 0, 0, 0};
    if (adjustForDpi != nullptr) {
        adjustForDpi(&outer, mainWindowStyle, TRUE, mainWindowExtendedStyle,
                     static_cast<UINT>(dpi));
    } else {
        AdjustWindowRectEx(&outer, mainWindowStyle, TRUE, mainWindowExtendedStyle);
    }
    return outer.bottom - outer.top;
}

// How many pixels the menu bar lacks for all its items to stand on one
// line; 0 when they do. The items keep their widths wherever they wrap to,
// so their sum is the line they need; but an item wider than the whole bar
// is cut to it, and so counts for less than it needs.
int menuBarShortfall(HWND window) {
    MENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    if (GetMenuBarInfo(window, OBJID_MENU, 0, &bar) == 0) {
        return 0;
    }
    const HMENU menu = GetMenu(window);
    const int count = GetMenuItemCount(menu);
    int itemsWidth = 0;
    bool oneLine = true;
    RECT first{};
    for (int position = 0; position < count; ++position) {
        RECT item;
        if (GetMenuItemRect(window, menu, static_cast<UINT>(position), &item) == 0) {
            return 0;
        }
        if (position == 0) {
            first = item;
        }
        oneLine = oneLine && item.top == first.top;
        itemsWidth += item.right - item.left;
    }
    const int barWidth = bar.rcBar.right - bar.rcBar.left;
    return oneLine ? 0 : itemsWidth - barWidth;
}

void resize(HWND window, int width, int height) {
    SetWindowPos(window, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Minimised or maximised, the window's own size is not the one it is
// restored to, and its menu bar is not laid out for that one.
bool restoresToAnotherSize(HWND window, int width, int height) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if ((IsIconic(window) == 0 && IsZoomed(window) == 0) ||
        GetWindowPlacement(window, &placement) == 0) {
        return false;
    }
    placement.rcNormalPosition.right = placement.rcNormalPosition.left + width;
    placement.rcNormalPosition.bottom = placement.rcNormalPosition.top + height;
    placement.flags = 0;
    if (placement.showCmd == SW_SHOWMINIMIZED) {
        placement.showCmd = SW_SHOWMINNOACTIVE;  // nor does it come forward
    }
    SetWindowPlacement(window, &placement);
    return true;
}

// The menu bar is laid out for the window's width, so its items are
// measured at the width the window has taken. Each widening gives at least
// one more item its whole width, so there are at most as many as items.
void sizeMainWindow(HWND window, int dpi) {
    int width = MulDiv(mainWindowWidthAt96Dpi, dpi, designDpi);
    const int height = heightAroundNoClientArea(dpi);
    if (restoresToAnotherSize(window, width, height)) {
        return;
    }
    resize(window, width, height);
    const int items = GetMenuItemCount(GetMenu(window));
    for (int widening = 0; widening < items; ++widening) {
        const int shortfall = menuBarShortfall(window);
        if (shortfall <= 0) {
            break;
        }
        width += shortfall;
        resize(window, width, height);
    }
}

}  // namespace

void sizeMainWindowForItsDpi(HWND window) {
    sizeMainWindow(window, windowDpi(window));
}

void takeNewDpi(HWND window, int dpi, const RECT& suggested) {
    SetWindowPos(window, nullptr, suggested.left, suggested.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    sizeMainWindow(window, dpi);
}
