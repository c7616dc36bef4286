// Finds the running program's main window from any process.
#pragma once

#include <windows.h>

// The top-level window marked with kMainWindowProperty; nullptr when the
// program does not run or has not made its main window yet.
HWND FindProgramMainWindow();
