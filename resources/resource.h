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

// Sent to the preferences page when the switch reported its firmware version
// (WM_USER + 0x101; both parameters 0).
#define WM_UPDATESTATUS 0x0501
