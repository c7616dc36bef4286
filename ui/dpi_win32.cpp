#include "ui/dpi_win32.h"

#include <shellscalingapi.h>

namespace ui {

namespace {

// Looks up a function that older systems lack; nullptr there.
template <typename Function>
Function Lookup(const char* module, const char* name) {
    HMODULE loaded = GetModuleHandleA(module);
    if (loaded == nullptr) {
        loaded = LoadLibraryExA(module, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    return loaded != nullptr
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(loaded, name)))
               : nullptr;
}

// Windows 10 1607 and later.
UINT DpiOfWindow(HWND window) {
    using Function = UINT(WINAPI*)(HWND);
    static const auto function = Lookup<Function>("user32.dll", "GetDpiForWindow");
    return function != nullptr ? function(window) : 0;
}

// Windows 8.1 and later; 0 where unknown.
UINT DpiOfMonitor(HMONITOR monitor) {
    using Function = HRESULT(WINAPI*)(HMONITOR, MONITOR_DPI_TYPE, UINT*, UINT*);
    static const auto function = Lookup<Function>("shcore.dll", "GetDpiForMonitor");
    UINT x = 0;
    UINT y = 0;
    if (function == nullptr || monitor == nullptr ||
        FAILED(function(monitor, MDT_EFFECTIVE_DPI, &x, &y))) {
        return 0;
    }
    return y;
}

}  // namespace

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return USER_DEFAULT_SCREEN_DPI;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT WindowDpi(HWND window) {
    UINT dpi = DpiOfWindow(window);
    if (dpi == 0) {
        dpi = DpiOfMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
    }
    return dpi != 0 ? dpi : SystemDpi();
}

UINT PointDpi(POINT point) {
    const UINT dpi = DpiOfMonitor(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST));
    return dpi != 0 ? dpi : SystemDpi();
}

int SystemMetricForDpi(int index, UINT dpi) {
    using Function = int(WINAPI*)(int, UINT);
    static const auto function = Lookup<Function>("user32.dll", "GetSystemMetricsForDpi");
    return function != nullptr ? function(index, dpi) : GetSystemMetrics(index);
}

}  // namespace ui
