#include "app/tray_control_app_win32.h"

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "app/tray_control_dlg_win32.h"
#include "settings/settings_file.h"
#include "ui/handles_win32.h"
#include "ui/resource_module_win32.h"

namespace {

// Held by the running instance for its whole run.
constexpr char kInstanceMutexName[] = "Local\\Pelorandix.ControlCenter";

std::string ProgramFolder() {
    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length < sizeof path ? length : 0);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : folder.substr(0, slash);
}

bool SameFolder(const std::string& a, const std::string& b) {
    auto trimmed = [](std::string path) {
        while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) {
            path.pop_back();
        }
        return path;
    };
    return lstrcmpiA(trimmed(a).c_str(), trimmed(b).c_str()) == 0;
}

// A start at login runs in the system folder; the settings file belongs in
// the program's own folder then. Any other working directory is the user's
// choice and kept.
void LeaveSystemFolder() {
    char current[MAX_PATH] = "";
    char system[MAX_PATH] = "";
    char windows[MAX_PATH] = "";
    if (GetCurrentDirectoryA(sizeof current, current) == 0) {
        return;
    }
    GetSystemDirectoryA(system, sizeof system);
    GetWindowsDirectoryA(windows, sizeof windows);
    if (SameFolder(current, system) || SameFolder(current, windows)) {
        const std::string folder = ProgramFolder();
        if (!folder.empty()) {
            SetCurrentDirectoryA(folder.c_str());
        }
    }
}

BOOL CALLBACK AskToShow(HWND window, LPARAM) {
    if (GetPropA(window, CTrayControlDlg::kMainWindowProperty) != nullptr) {
        PostMessageA(window, CTrayControlDlg::ShowRequestMessage(), 0, 0);
        return FALSE;
    }
    return TRUE;
}

// The German module, from the program's own folder only; it is never unloaded.
HMODULE LoadLanguageModule() {
    const std::string path = ProgramFolder() + "\\" + kLanguageModuleName;
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

}  // namespace

int CTrayControlApp::Run() {
    LeaveSystemFolder();

    ui::UniqueKernelHandle instance(CreateMutexA(nullptr, FALSE, kInstanceMutexName));
    if (instance && GetLastError() == ERROR_ALREADY_EXISTS) {
        // Already running in the tray: show that one and leave.
        EnumWindows(&AskToShow, 0);
        return 0;
    }

    if (StartsInGerman()) {
        if (HMODULE german = LoadLanguageModule()) {
            ui::SetActiveResourceModule(german);
        }
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_HOTKEY_CLASS |
                                                       ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS |
                                                       ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    CTrayControlDlg mainWindow;
    mainWindow.DoModal(nullptr);
    return 0;
}
