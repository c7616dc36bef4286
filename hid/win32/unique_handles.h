// Owning wrappers for the kernel objects the Win32 side of the HID layer
// holds: each closes its object when it goes out of scope.
#pragma once

#include <windows.h>

#include <memory>

namespace iowkit2_win32 {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// A handle closed with CloseHandle; empty is nullptr, never INVALID_HANDLE_VALUE.
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Takes ownership of what CreateFileA returned (INVALID_HANDLE_VALUE on failure).
inline UniqueHandle AdoptFileHandle(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct ModuleFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

struct HeapDestroyer {
    void operator()(HANDLE heap) const { HeapDestroy(heap); }
};
using UniqueHeap = std::unique_ptr<void, HeapDestroyer>;

struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

}  // namespace iowkit2_win32
