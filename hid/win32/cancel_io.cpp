#include "hid/win32/cancel_io.h"

bool IowKit2CancelIo(HANDLE file) {
    using CancelIoFunction = BOOL(WINAPI*)(HANDLE);
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    if (!kernel32) {
        return false;
    }
    auto cancelIo = reinterpret_cast<CancelIoFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "CancelIo")));
    return cancelIo && cancelIo(file);
}
