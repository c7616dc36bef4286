// The tray icon's look: the picture for the taskbar's colour (Windows 10 and
// 11 let the user choose a light or a dark one) at the small-icon size the
// taskbar shows icons at.
#pragma once

#include <windows.h>

#include "ui/handles_win32.h"

namespace tray {

enum class TaskbarTheme { kDark, kLight };

// The taskbar's theme as the user chose it. Where Windows has no such choice
// (before Windows 10 version 1903) the taskbar is dark: glass over the
// wallpaper on 7, the accent colour on 8, always dark on early 10, and the
// system's own tray icons are drawn for it.
TaskbarTheme CurrentTaskbarTheme();

// Whether a WM_SETTINGCHANGE's lParam says the colour theme changed.
bool IsColorSetChange(LPARAM area);

// The tray icon for `theme`, from the program's own module (never from a
// language module), at the taskbar's small-icon size.
ui::UniqueIcon LoadTrayIcon(TaskbarTheme theme);

}  // namespace tray
