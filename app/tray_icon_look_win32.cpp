#include "app/tray_icon_look_win32.h"

#include "resources/resource.h"
#include "ui/dpi_win32.h"
#include "ui/resource_module_win32.h"

namespace tray {

namespace {

constexpr char kPersonalizeKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr char kSystemUsesLightTheme[] = "SystemUsesLightTheme";
constexpr char kColorSetChange[] = "ImmersiveColorSet";

// The small-icon size at the DPI of the taskbar's monitor, which may have
// changed since the program started.
int TaskbarSmallIconSize() {
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    return taskbar != nullptr ? ui::SystemMetricForDpi(SM_CXSMICON, ui::WindowDpi(taskbar))
                              : GetSystemMetrics(SM_CXSMICON);
}

}  // namespace

TaskbarTheme CurrentTaskbarTheme() {
    DWORD light = 0;
    DWORD size = sizeof light;
    const LSTATUS status = RegGetValueA(HKEY_CURRENT_USER, kPersonalizeKey, kSystemUsesLightTheme,
                                        RRF_RT_REG_DWORD, nullptr, &light, &size);
    return status == ERROR_SUCCESS && light != 0 ? TaskbarTheme::kLight : TaskbarTheme::kDark;
}

bool IsColorSetChange(LPARAM area) {
    // The main window is an ANSI window: Windows hands it the text as ANSI.
    return area != 0 && lstrcmpiA(reinterpret_cast<const char*>(area), kColorSetChange) == 0;
}

ui::UniqueIcon LoadTrayIcon(TaskbarTheme theme) {
    const UINT id = theme == TaskbarTheme::kLight ? IDI_TRAY_LIGHT_TASKBAR : IDI_TRAY_DARK_TASKBAR;
    return ui::LoadProgramIcon(id, TaskbarSmallIconSize());
}

}  // namespace tray
