// The device picture's drawing: magenta pixels leave the target as it was,
// every other pixel takes the bitmap's colour.
#include "settings/transparent_bitmap_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

// A 24-bit top-down DIB section of the given width and height; pixels set
// with Put.
class Image {
  public:
    Image(int width, int height, WORD bitsPerPixel) : width_(width), bytes_(bitsPerPixel / 8) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = bitsPerPixel;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        stride_ = (width * bitsPerPixel / 8 + 3) & ~3;
    }
    ~Image() { DeleteObject(bitmap_); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    HBITMAP Handle() const { return bitmap_; }
    void Put(int x, int y, COLORREF colour) {
        auto* pixel = static_cast<uint8_t*>(bits_) + y * stride_ + x * bytes_;
        pixel[0] = GetBValue(colour);
        pixel[1] = GetGValue(colour);
        pixel[2] = GetRValue(colour);
    }

  private:
    int width_;
    int bytes_;
    int stride_ = 0;
    void* bits_ = nullptr;
    HBITMAP bitmap_ = nullptr;
};

}  // namespace

TEST(TransparentBitmap, MagentaLeavesTheTargetOthersTakeTheBitmap) {
    constexpr COLORREF magenta = RGB(255, 0, 255);
    constexpr COLORREF background = RGB(10, 200, 30);
    const std::array<std::array<COLORREF, 4>, 2> picture = {{
        {magenta, RGB(255, 0, 0), RGB(254, 0, 255), RGB(0, 0, 255)},
        {RGB(255, 255, 255), magenta, RGB(0, 0, 0), RGB(0, 128, 0)},
    }};
    Image source(4, 2, 24);
    ASSERT_NE(source.Handle(), nullptr);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 4; ++x) {
            source.Put(x, y, picture[y][x]);
        }
    }

    Image canvas(8, 6, 32);
    ASSERT_NE(canvas.Handle(), nullptr);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            canvas.Put(x, y, background);
        }
    }
    HDC target = CreateCompatibleDC(nullptr);
    ASSERT_NE(target, nullptr);
    HGDIOBJ previous = SelectObject(target, canvas.Handle());
    SetTextColor(target, RGB(1, 2, 3));
    SetBkColor(target, RGB(4, 5, 6));

    ASSERT_TRUE(DrawTransparentBitmap(target, source.Handle(), 2, 3));
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 3 && y < 5;
            COLORREF expected = background;
            if (inside && picture[y - 3][x - 2] != magenta) {
                expected = picture[y - 3][x - 2];
            }
            EXPECT_EQ(GetPixel(target, x, y), expected) << x << "," << y;
        }
    }
    EXPECT_EQ(GetTextColor(target), RGB(1, 2, 3));
    EXPECT_EQ(GetBkColor(target), RGB(4, 5, 6));

    // Drawn twice as large at (0, 0): each pixel covers two by two, magenta
    // still left out.
    ASSERT_TRUE(DrawTransparentBitmap(target, source.Handle(), 0, 0, 8, 4));
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 8; ++x) {
            const COLORREF pixel = picture[y / 2][x / 2];
            const COLORREF under = y >= 3 && x >= 2 && x < 6 ? picture[y - 3][x - 2] : background;
            const COLORREF expected = pixel != magenta   ? pixel
                                      : under != magenta ? under
                                                         : background;
            EXPECT_EQ(GetPixel(target, x, y), expected) << "twice: " << x << "," << y;
        }
    }

    // Nothing to draw: the target stays as it was.
    EXPECT_FALSE(DrawTransparentBitmap(target, nullptr, 0, 0));
    EXPECT_EQ(GetPixel(target, 0, 0), background);

    SelectObject(target, previous);
    DeleteDC(target);
}
