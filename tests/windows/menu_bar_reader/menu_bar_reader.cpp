#include "menu_bar_reader.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK readMenuBarHook(int code, WPARAM wParam,
                                                                  LPARAM lParam) {
    static const UINT readMessage = RegisterWindowMessageA(menuBarReadMessageName);
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    const HANDLE memory = code == HC_ACTION && call->message == readMessage
                              ? OpenFileMappingA(FILE_MAP_WRITE, FALSE, menuBarMemoryName)
                              : nullptr;
    if (memory != nullptr) {
        auto* reading = static_cast<MenuBarReading*>(
            MapViewOfFile(memory, FILE_MAP_WRITE, 0, 0, sizeof(MenuBarReading)));
        if (reading != nullptr) {
            reading->read = TRUE;
            RECT* parts[] = {&reading->bar, &reading->items[0], &reading->items[1]};
            for (LONG item = 0; item < 3; ++item) {
                MENUBARINFO info{};
                info.cbSize = sizeof info;
                reading->read = reading->read && GetMenuBarInfo(call->hwnd, OBJID_MENU, item, &info);
                *parts[item] = info.rcBar;
            }
            UnmapViewOfFile(reading);
        }
        CloseHandle(memory);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
