#include "app/working_folder_win32.h"

#include <windows.h>

namespace {

bool SameFolder(std::string a, std::string b) {
    for (std::string* path : {&a, &b}) {
        // "C:\" keeps its separator.
        while (path->size() > 3 && (path->back() == '\\' || path->back() == '/')) {
            path->pop_back();
        }
    }
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

}  // namespace

std::string ProgramFolder() {
    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A path cut short to the buffer is no path at all.
    const std::string file(path, length < sizeof path ? length : 0);
    const size_t slash = file.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

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
