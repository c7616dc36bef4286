// The program's working folder, where "./QVXSettings.ini" lives. Paths are
// taken wide: a per-user install sits under the user's profile, whose name
// may hold characters outside the ANSI code page.
#pragma once

#include <windows.h>

#include <string>

// How the executable's path is asked for: GetModuleFileNameW, or a stand-in
// in tests.
using ModulePathQuery = DWORD(WINAPI*)(HMODULE module, LPWSTR path, DWORD size);

// The folder of the program's executable, without a trailing separator;
// empty when the path does not fit in the classic 260-character buffer.
std::wstring ProgramFolder(ModulePathQuery query = GetModuleFileNameW);

// A start at login runs in the system folder (or the Windows folder); the
// settings file belongs in the program's own folder then, so that is made the
// working folder. Any other working folder is the user's choice and kept.
void LeaveSystemFolder(ModulePathQuery query = GetModuleFileNameW);
