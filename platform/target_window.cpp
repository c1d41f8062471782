#include "target_window.h"

constinit HWND targetWindow = nullptr;

bool windowExists(HWND window) {
    return IsWindow(window) != FALSE;
}
