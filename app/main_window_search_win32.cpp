#include "app/main_window_search_win32.h"

#include "app/program_names.h"

HWND FindProgramMainWindow() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM context) {
            if (GetPropA(window, kMainWindowProperty) == nullptr) {
                return TRUE;
            }
            *reinterpret_cast<HWND*>(context) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}
