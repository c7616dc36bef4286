// Cancels the calling thread's pending I/O on a handle.
#pragma once

#include <windows.h>

// CancelIo is looked up in "kernel32.dll" at each use; false (nothing
// cancelled) when it cannot be found or refuses.
bool IowKit2CancelIo(HANDLE file);
