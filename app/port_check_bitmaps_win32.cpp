#include "app/port_check_bitmaps_win32.h"

#include "resources/resource.h"
#include "ui/art_scale.h"
#include "ui/dpi_win32.h"
#include "ui/resource_module_win32.h"

namespace {

// The marks are 13 pixels square at 100 %.
constexpr unsigned kMarkSizeAt100Percent = 13;
constexpr ScaledArt kCheckedMark{IDB_PORT_CHECKED, IDB_PORT_CHECKED_150, IDB_PORT_CHECKED_200};
constexpr ScaledArt kUncheckedMark{IDB_PORT_UNCHECKED, IDB_PORT_UNCHECKED_150,
                                   IDB_PORT_UNCHECKED_200};

// The mark centred in a white square of size pixels, cut at the edges when
// it is larger; white is the menu's background in a check bitmap.
ui::UniqueBitmap CentredOnWhite(ui::UniqueBitmap mark, int size) {
    BITMAP info{};
    if (!mark || GetObject(mark.get(), sizeof info, &info) == 0) {
        return {};
    }
    if (info.bmWidth == size && info.bmHeight == size) {
        return mark;
    }
    ui::UniqueBitmap fitted(CreateBitmap(size, size, 1, 1, nullptr));
    const ui::UniqueMemoryDc source(CreateCompatibleDC(nullptr));
    const ui::UniqueMemoryDc target(CreateCompatibleDC(nullptr));
    if (!fitted || !source || !target) {
        return {};
    }
    const ui::SelectionGuard sourceSelection(source.get(), mark.get());
    const ui::SelectionGuard targetSelection(target.get(), fitted.get());
    if (!sourceSelection.Ok() || !targetSelection.Ok()) {
        return {};
    }
    PatBlt(target.get(), 0, 0, size, size, WHITENESS);
    BitBlt(target.get(), (size - info.bmWidth) / 2, (size - info.bmHeight) / 2, info.bmWidth,
           info.bmHeight, source.get(), 0, 0, SRCCOPY);
    return fitted;
}

}  // namespace

PortCheckBitmaps LoadPortCheckBitmaps(UINT dpi) {
    const int size = ui::SystemMetricForDpi(SM_CXMENUCHECK, dpi);
    const int scale = ArtScaleFor(static_cast<unsigned>(size), kMarkSizeAt100Percent);
    return {CentredOnWhite(ui::LoadResourceBitmap(kCheckedMark.IdFor(scale)), size),
            CentredOnWhite(ui::LoadResourceBitmap(kUncheckedMark.IdFor(scale)), size)};
}
