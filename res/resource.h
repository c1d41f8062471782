// Resource ids shared by the resource script and the program's code.
#pragma once

#define IDR_MAIN_MENU 101
#define IDI_VOCARET 101
#define IDC_VOCARET 112
#define IDD_ABOUT 105
#define IDD_EXIT 106
#define IDD_SETTINGS 108
#define IDS_EXIT 9001

// Commands, in the low word of WM_COMMAND's wParam. IDM_GONE is carried by
// no menu item.
#define IDM_SETTINGS 40003
#define IDM_EXIT 9001
#define IDM_ABOUT 40002
#define IDM_GONE 9002

// The Settings dialog's check boxes.
#define IDC_RUN_AT_STARTUP 1003
#define IDC_SOUNDS_OFF 1007
