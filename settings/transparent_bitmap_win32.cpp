#include "settings/transparent_bitmap_win32.h"

#include <utility>

#include "ui/handles_win32.h"

namespace {

using ui::SelectionGuard;
using ui::UniqueBitmap;
using ui::UniqueMemoryDc;

// The target's text and background colours, put back at the end of the scope.
class ColourScope {
  public:
    ColourScope(HDC dc, COLORREF text, COLORREF background)
        : dc_(dc), text_(SetTextColor(dc, text)), background_(SetBkColor(dc, background)) {}
    ~ColourScope() {
        SetBkColor(dc_, background_);
        SetTextColor(dc_, text_);
    }
    ColourScope(const ColourScope&) = delete;
    ColourScope& operator=(const ColourScope&) = delete;

  private:
    HDC dc_;
    COLORREF text_;
    COLORREF background_;
};

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// The target's stretching mode, put back at the end of the scope.
class StretchModeScope {
  public:
    StretchModeScope(HDC dc, int mode) : dc_(dc), mode_(SetStretchBltMode(dc, mode)) {}
    ~StretchModeScope() { SetStretchBltMode(dc_, mode_); }
    StretchModeScope(const StretchModeScope&) = delete;
    StretchModeScope& operator=(const StretchModeScope&) = delete;

  private:
    HDC dc_;
    int mode_;
};

}  // namespace

bool DrawTransparentBitmap(HDC target, HBITMAP bitmap, int x, int y, COLORREF transparent) {
    BITMAP info{};
    if (bitmap == nullptr || GetObject(bitmap, sizeof info, &info) == 0) {
        return false;
    }
    return DrawTransparentBitmap(target, bitmap, x, y, info.bmWidth, info.bmHeight, transparent);
}

bool DrawTransparentBitmap(HDC target, HBITMAP bitmap, int x, int y, int drawnWidth,
                           int drawnHeight, COLORREF transparent) {
    BITMAP info{};
    if (target == nullptr || bitmap == nullptr || GetObject(bitmap, sizeof info, &info) == 0) {
        return false;
    }
    const int width = info.bmWidth;
    const int height = info.bmHeight;

    const UniqueMemoryDc imageDc(CreateCompatibleDC(target));
    const UniqueMemoryDc maskDc(CreateCompatibleDC(target));
    const UniqueBitmap mask(CreateBitmap(width, height, 1, 1, nullptr));
    if (!imageDc || !maskDc || !mask) {
        return false;
    }
    const SelectionGuard imageSelection(imageDc.get(), bitmap);
    const SelectionGuard maskSelection(maskDc.get(), mask.get());
    if (!imageSelection.Ok() || !maskSelection.Ok()) {
        return false;
    }

    // Monochrome onto colour draws 1 in the background colour and 0 in the
    // text colour: with white and black the mask keeps the target where the
    // image is transparent and clears it elsewhere.
    const ColourScope colours(target, kBlack, kWhite);

    // Copying colour to monochrome turns the background colour into 1 and
    // everything else into 0: the mask is 1 exactly where the image is
    // transparent.
    SetBkColor(imageDc.get(), transparent);
    BitBlt(maskDc.get(), 0, 0, width, height, imageDc.get(), 0, 0, SRCCOPY);

    // XOR, AND, XOR leaves the target under transparent pixels and the image
    // everywhere else; the nearest pixel keeps the image and its mask alike.
    const StretchModeScope nearestPixel(target, COLORONCOLOR);
    for (auto [source, operation] : {std::pair{imageDc.get(), SRCINVERT},
                                     {maskDc.get(), SRCAND},
                                     {imageDc.get(), SRCINVERT}}) {
        StretchBlt(target, x, y, drawnWidth, drawnHeight, source, 0, 0, width, height, operation);
    }
    return true;
}
