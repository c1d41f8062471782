// The main window, its menu commands, the three dialogs and the close sequence.
#pragma once

#include <windows.h>

#include "resource.h"

// The low-level mouse hook installed at start-up; null when that failed.
extern HHOOK mouseHookHandle;

constexpr const char* mainWindowClassName = "myWindowClass";
constexpr DWORD mainWindowStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD mainWindowExtendedStyle = WS_EX_CLIENTEDGE;
// The outer width at 96 DPI, frame included (see main_window_size.h).
constexpr int mainWindowWidthAt96Dpi = 240;

// Command ids, in the low word of WM_COMMAND's wParam.
constexpr WORD commandSettings = IDM_SETTINGS;
constexpr WORD commandExit = IDM_EXIT;
constexpr WORD commandAbout = IDM_ABOUT;
constexpr WORD commandGone = IDM_GONE;

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
