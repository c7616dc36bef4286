// The DPI a window is shown at, and system metrics for a DPI. Windows 10
// (1607 and later) tells each window its monitor's DPI; earlier systems have
// one DPI for the whole desktop, which is used there instead.
#pragma once

#include <windows.h>

namespace ui {

// The desktop's DPI, as the system was started with.
UINT SystemDpi();
// The DPI of the monitor the window is on (under per-monitor awareness).
UINT WindowDpi(HWND window);
// The DPI of the monitor holding a point of the screen.
UINT PointDpi(POINT point);
// GetSystemMetrics for a DPI.
int SystemMetricForDpi(int index, UINT dpi);

}  // namespace ui
