// The start-at-login entry: a string value under the current user's Run key
// that names the program's executable. The machine-wide Run key is never
// touched.
#pragma once

#include <windows.h>

#include <string>

inline constexpr char kRunKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValueName[] = "Pelorandix";

// Sets the named value of the current user's Run key to data (REG_SZ, which
// the registry keeps in UTF-16 whatever the caller's code page). The key must
// exist already; it is never created.
bool WriteRunValue(const char* valueName, const std::wstring& data);

// Deletes the named value; false when the key or the value is missing.
bool DeleteRunValue(const char* valueName);

// True when the value "Pelorandix" exists under the current user's Run key,
// whatever its type and data.
bool RunValueExists();

// Writes the full path of the running executable in quotes, without
// arguments, as the named value: unquoted, a path with spaces would make
// Windows try each shorter path up to a space first ("C:\Program.exe" for
// "C:\Program Files\..."). A path that does not fit in the classic
// 260-character buffer is never written cut short: the entry stays as it was
// and the result is false.
bool EnableStartAtLogin(const char* valueName);

// EnableStartAtLogin with the path taken from query, which behaves like
// GetModuleFileNameW; lets tests stand in for a path that does not fit.
using ModuleFileNameQuery = DWORD(WINAPI*)(HMODULE module, LPWSTR path, DWORD size);
bool EnableStartAtLoginWith(const char* valueName, ModuleFileNameQuery query);

// Earlier versions wrote the path unquoted. When the named value holds this
// executable's path so, it is written again quoted; any other data is left
// alone. True when the value was rewritten.
bool QuoteEarlierStartAtLogin(const char* valueName,
                              ModuleFileNameQuery query = GetModuleFileNameW);
