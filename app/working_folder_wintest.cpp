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
        EXPECT_EQ(lstrcmpiA(CurrentFolder().c_str(), ProgramFolder().c_str()), 0) << start;
    }

    ASSERT_TRUE(SetCurrentDirectoryA(temp));
    const std::string chosen = CurrentFolder();
    LeaveSystemFolder();
    EXPECT_EQ(CurrentFolder(), chosen);

    SetCurrentDirectoryA(before.c_str());
}

}  // namespace
