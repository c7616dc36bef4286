#include "app/tray_control_app_win32.h"

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <string_view>

#include "app/main_window_search_win32.h"
#include "app/program_names.h"
#include "app/tray_control_dlg_win32.h"
#include "app/working_folder_win32.h"
#include "settings/settings_file.h"
#include "ui/handles_win32.h"
#include "ui/resource_module_win32.h"

namespace {

void AskToShow(HWND mainWindow) {
    // The user started us: the running program may take the foreground.
    DWORD processId = 0;
    GetWindowThreadProcessId(mainWindow, &processId);
    AllowSetForegroundWindow(processId);
    PostMessageA(mainWindow, CTrayControlDlg::ShowRequestMessage(), 0, 0);
}

// The German module, from the program's own folder only; it is never unloaded.
HMODULE LoadLanguageModule() {
    const std::string_view name = kLanguageModuleName;  // plain ASCII
    const std::wstring path = ProgramFolder() + L"\\" + std::wstring(name.begin(), name.end());
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

}  // namespace

int CTrayControlApp::Run() {
    LeaveSystemFolder();

    ui::UniqueKernelHandle instance(CreateMutexA(nullptr, FALSE, kInstanceMutexName));
    if (instance && GetLastError() == ERROR_ALREADY_EXISTS) {
        // Already running in the tray: show that one and leave.
        if (HWND mainWindow = FindProgramMainWindow()) {
            AskToShow(mainWindow);
        }
        return 0;
    }

    if (StartsInGerman()) {
        if (HMODULE german = LoadLanguageModule()) {
            ui::SetActiveResourceModule(german);
        }
    }

    // A firmware transfer keeps the thread busy for a minute while it answers
    // only sent messages: Windows must not swap the window for a "Not
    // Responding" ghost that offers to end the program mid-flash.
    DisableProcessWindowsGhosting();

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_HOTKEY_CLASS |
                                                       ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS |
                                                       ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    CTrayControlDlg mainWindow;
    mainWindow.DoModal(nullptr);
    return 0;
}
