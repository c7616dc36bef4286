#include "app/working_folder_win32.h"

namespace {

bool SameFolder(std::wstring a, std::wstring b) {
    for (std::wstring* path : {&a, &b}) {
        // "C:\" keeps its separator.
        while (path->size() > 3 && (path->back() == L'\\' || path->back() == L'/')) {
            path->pop_back();
        }
    }
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

}  // namespace

std::wstring ProgramFolder(ModulePathQuery query) {
    wchar_t path[MAX_PATH] = L"";
    const DWORD length = query(nullptr, path, MAX_PATH);
    // A path cut short to the buffer is no path at all.
    const std::wstring file(path, length < MAX_PATH ? length : 0);
    const size_t slash = file.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : file.substr(0, slash);
}

void LeaveSystemFolder(ModulePathQuery query) {
    wchar_t current[MAX_PATH] = L"";
    wchar_t system[MAX_PATH] = L"";
    wchar_t windows[MAX_PATH] = L"";
    if (GetCurrentDirectoryW(MAX_PATH, current) == 0) {
        return;
    }
    GetSystemDirectoryW(system, MAX_PATH);
    GetWindowsDirectoryW(windows, MAX_PATH);
    if (SameFolder(current, system) || SameFolder(current, windows)) {
        const std::wstring folder = ProgramFolder(query);
        if (!folder.empty()) {
            SetCurrentDirectoryW(folder.c_str());
        }
    }
}
