// The main window, its menu commands, the three dialogs and the close sequence.
#pragma once

#include <windows.h>

#include "resource.h"

// The low-level mouse hook installed at start-up; null when that failed.
extern HHOOK mouseHookHandle;

constexpr const char* mainWindowClassName = "myWindowClass";
// The outer size, frame, caption and menu bar included, at 96 DPI.
constexpr int mainWindowWidthAt96Dpi = 240;
constexpr int mainWindowHeightAt96Dpi = 43;

// Command ids, in the low word of WM_COMMAND's wParam.
constexpr WORD commandSettings = IDM_SETTINGS;
constexpr WORD commandExit = IDM_EXIT;
constexpr WORD commandAbout = IDM_ABOUT;
constexpr WORD commandGone = IDM_GONE;

// The process is DPI aware, so Windows no longer enlarges the window: it
// grows with its monitor's DPI from its size at 96 DPI, as the caption and
// menu bar in it do, so that they stay whole.
void sizeMainWindowForItsDpi(HWND window);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
