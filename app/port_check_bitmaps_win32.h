// The tray menu's check marks for the port items, at the menu's check size.
#pragma once

#include <windows.h>

#include "ui/handles_win32.h"

struct PortCheckBitmaps {
    ui::UniqueBitmap checked;
    ui::UniqueBitmap unchecked;
};

// The marks drawn for the scale nearest at or above the menu's check size at
// this DPI, each centred on white in a bitmap of exactly that size. Empty
// bitmaps where a mark could not be loaded.
PortCheckBitmaps LoadPortCheckBitmaps(UINT dpi);
