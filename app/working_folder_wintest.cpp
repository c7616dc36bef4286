// A start in the system folder (as at login) moves to the program's folder;
// a start anywhere else stays where it was.
#include "app/working_folder_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string CurrentFolder() {
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    return folder;
}

TEST(WorkingFolder, OnlyTheSystemAndWindowsFoldersAreLeft) {
    const std::string before = CurrentFolder();
    char system[MAX_PATH] = "";
    char windows[MAX_PATH] = "";
    char temp[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof system);
    GetWindowsDirectoryA(windows, sizeof windows);
    GetTempPathA(sizeof temp, temp);

    for (const std::string& start : {std::string(system), std::string(windows) + "\\"}) {
        ASSERT_TRUE(SetCurrentDirectoryA(start.c_str()));
        LeaveSystemFolder();
        const std::wstring program = ProgramFolder();
        EXPECT_EQ(
            lstrcmpiA(CurrentFolder().c_str(), std::string(program.begin(), program.end()).c_str()),
            0)
            << start;
    }

    ASSERT_TRUE(SetCurrentDirectoryA(temp));
    const std::string chosen = CurrentFolder();
    LeaveSystemFolder();
    EXPECT_EQ(CurrentFolder(), chosen);

    SetCurrentDirectoryA(before.c_str());
}

// The program installed under a profile name outside code page 1252.
std::wstring unicodeProgram;

DWORD WINAPI UnicodeProgramPath(HMODULE, LPWSTR path, DWORD size) {
    const auto length = static_cast<DWORD>(unicodeProgram.copy(path, size - 1));
    path[length] = L'\0';
    return length;
}

TEST(WorkingFolder, AStartAtLoginFindsAProgramFolderOutsideTheAnsiCodePage) {
    wchar_t temp[MAX_PATH] = L"";
    wchar_t before[MAX_PATH] = L"";
    wchar_t system[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    GetCurrentDirectoryW(MAX_PATH, before);
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring folder = std::wstring(temp) + L"\u041F\u0451\u0442\u0440 \u7528\u6237";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    unicodeProgram = folder + L"\\PelorandixControlCenter.exe";

    EXPECT_EQ(ProgramFolder(UnicodeProgramPath), folder);
    ASSERT_TRUE(SetCurrentDirectoryW(system));
    LeaveSystemFolder(UnicodeProgramPath);
    wchar_t current[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(lstrcmpiW(current, folder.c_str()), 0);

    SetCurrentDirectoryW(before);
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
