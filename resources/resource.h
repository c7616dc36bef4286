// Resource ids shared by the resource script and the program. Plain #defines
// so that the resource compiler can read this file too.
#pragma once

// Tray menu: its first sub-menu is the popup shown at the tray icon.
#define IDR_TRAYMENU 130

// Tray menu commands. The four port items are consecutive: Port A to Port D.
#define ID_PORT_A 40015
#define ID_PORT_B 40016
#define ID_PORT_C 40017
#define ID_PORT_D 40018
#define ID_MODEL_NAME 40022
#define ID_ROTATE 40023

// Strings.
#define IDS_PORT_ERROR 105

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_TRAYCONTROL_DIALOG 102
#define IDD_PREFERENCES_PAGE 159
#define IDD_HOTKEYS_PAGE 160
#define IDD_FIRMWARE_UPGRADE 173

// Main window: the tab control that holds the two pages.
#define IDC_PAGE_TABS 1010

// Icon and bitmaps.
#define IDR_MAINFRAME 128
#define IDB_DEVICE 166
#define IDB_PORT_CHECKED 170
#define IDB_PORT_UNCHECKED 1011
// The tray icon for dark and for light taskbars (the program's own module
// only).
#define IDI_TRAY_DARK_TASKBAR 135
#define IDI_TRAY_LIGHT_TASKBAR 136

// The device picture and the check marks again at 150 and 200 %.
#define IDB_DEVICE_150 180
#define IDB_DEVICE_200 181
#define IDB_PORT_CHECKED_150 182
#define IDB_PORT_CHECKED_200 183
#define IDB_PORT_UNCHECKED_150 184
#define IDB_PORT_UNCHECKED_200 185

// Strings.
#define IDS_ABOUTBOX 101
#define IDS_PREFERENCES_TAB 102
#define IDS_HOTKEYS_TAB 103
#define IDS_NAME_PLACEHOLDER 104

// System menu item of the main window that opens the about box.
#define IDM_ABOUTBOX 0x0010

// Tray menu commands outside the port range.
#define ID_QUIT 40007
#define ID_FIRMWARE_UPGRADE 40025

// The about box's version line.
#define IDC_ABOUT_ICON 1100

// Strings of the firmware upgrade.
#define IDS_FIRMWARE_UP_TO_DATE 106
#define IDS_FIRMWARE_NEW_AVAILABLE 107
#define IDS_APP_VERSION 108

// Beside a hotkey field whose combination another program holds, or
// another field of the page has too.
#define IDS_HOTKEY_IN_USE 109
#define IDS_HOTKEY_DUPLICATE 110

// Preferences page.
#define IDC_START_AT_LOGIN 1015
#define IDC_LANGUAGE 1019
#define IDC_SERIAL_NUMBER 1020
#define IDC_FIRMWARE_VERSION 1021
#define IDC_HARDWARE_REVISION 1022
#define IDC_DEVICE_PICTURE 1031

// Hotkeys page: the five hotkey fields (entries 0 to 4) and the four name
// boxes (ports A to D) are consecutive.
#define IDC_HOTKEY_PORT_A 1000
#define IDC_HOTKEY_PORT_B 1001
#define IDC_HOTKEY_PORT_C 1002
#define IDC_HOTKEY_PORT_D 1003
#define IDC_HOTKEY_ROTATE 1004
#define IDC_SAVE 1008
#define IDC_NAME_PORT_A 1011
#define IDC_NAME_PORT_B 1012
#define IDC_NAME_PORT_C 1013
#define IDC_NAME_PORT_D 1014
#define IDC_ROTATE_INTERVAL 1016
#define IDC_INTERVAL_SPIN 1023
// The marks beside the five hotkey fields (entries 0 to 4), consecutive too.
#define IDC_IN_USE_PORT_A 1032
#define IDC_IN_USE_PORT_B 1033
#define IDC_IN_USE_PORT_C 1034
#define IDC_IN_USE_PORT_D 1035
#define IDC_IN_USE_ROTATE 1036

// Firmware upgrade dialog.
#define IDC_FIRMWARE_PROGRESS 1025
#define IDC_CHECK 1026
#define IDC_RELOAD 1027
#define IDC_CURRENT_VERSION 1028

// Sent to the preferences page when the switch reported its firmware version
// (WM_USER + 0x101; both parameters 0).
#define WM_UPDATESTATUS 0x0501
