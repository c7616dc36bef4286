// The committed icon and bitmaps: sizes, colour depths, the icon's masks and
// the device picture's transparent background.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadArt(const std::string& name) {
    std::ifstream in(std::filesystem::path(PELO_ART_DIR) / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t U16(const Bytes& b, std::size_t at) {
    return b.at(at) | (b.at(at + 1) << 8);
}
uint32_t U32(const Bytes& b, std::size_t at) {
    return U16(b, at) | (U16(b, at + 2) << 16);
}
int32_t I32(const Bytes& b, std::size_t at) {
    return static_cast<int32_t>(U32(b, at));
}

// A BMP file's header fields and where its pixels start.
struct Bmp {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint32_t compression = 0;
    std::size_t pixels = 0;
    std::size_t palette = 0;
};

Bmp ParseBmp(const Bytes& file) {
    EXPECT_GE(file.size(), 54u);
    EXPECT_EQ(file.at(0), 'B');
    EXPECT_EQ(file.at(1), 'M');
    EXPECT_EQ(U32(file, 2), file.size());
    EXPECT_EQ(U32(file, 14), 40u);
    return {I32(file, 18), I32(file, 22), U16(file, 28), U32(file, 30), U32(file, 10), 54};
}

}  // namespace

TEST(ArtFiles, IconHoldsTheSmallAndLargeSizesOfEveryScaleWithAlphaAndMask) {
    const Bytes ico = ReadArt("app.ico");
    ASSERT_GE(ico.size(), 6u);
    EXPECT_EQ(U16(ico, 0), 0u);
    EXPECT_EQ(U16(ico, 2), 1u);  // an icon, not a cursor
    const uint32_t count = U16(ico, 4);
    std::vector<uint32_t> sizes;
    for (uint32_t i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * i;
        const uint32_t size = ico.at(entry) == 0 ? 256 : ico.at(entry);
        const uint32_t length = U32(ico, entry + 8);
        const uint32_t offset = U32(ico, entry + 12);
        ASSERT_LE(offset + length, ico.size());
        EXPECT_EQ(U16(ico, entry + 6), 32u) << size;
        if (ico.at(offset) == 0x89) {  // a PNG image, only for the largest size
            EXPECT_EQ(size, 256u);
            continue;
        }
        sizes.push_back(size);
        // BITMAPINFOHEADER: the height counts the colour rows and the mask rows.
        EXPECT_EQ(U32(ico, offset), 40u);
        EXPECT_EQ(I32(ico, offset + 4), static_cast<int32_t>(size));
        EXPECT_EQ(I32(ico, offset + 8), static_cast<int32_t>(2 * size));
        EXPECT_EQ(U16(ico, offset + 14), 32u);
        EXPECT_EQ(U32(ico, offset + 16), 0u);
        const std::size_t maskRow = (size + 31) / 32 * 4;
        ASSERT_EQ(length, 40 + size * size * 4 + maskRow * size) << size;

        // The mask marks exactly the fully transparent pixels; there are both.
        const std::size_t colours = offset + 40;
        const std::size_t mask = colours + size * size * 4;
        unsigned transparent = 0;
        for (std::size_t row = 0; row < size; ++row) {
            for (std::size_t x = 0; x < size; ++x) {
                const uint8_t alpha = ico.at(colours + (row * size + x) * 4 + 3);
                const bool masked = (ico.at(mask + row * maskRow + x / 8) >> (7 - x % 8)) & 1;
                EXPECT_EQ(masked, alpha == 0) << size << ": " << x << "," << row;
                transparent += masked;
            }
        }
        EXPECT_GT(transparent, 0u) << size;
        EXPECT_LT(transparent, size * size / 2) << size;
    }
    EXPECT_EQ(sizes, (std::vector<uint32_t>{16, 20, 24, 32, 40, 48, 64}));
}

TEST(ArtFiles, CheckMarksAreThirteenPixelMonochrome) {
    for (const char* name : {"port_checked.bmp", "port_unchecked.bmp"}) {
        const Bytes file = ReadArt(name);
        const Bmp bmp = ParseBmp(file);
        EXPECT_EQ(bmp.width, 13) << name;
        EXPECT_EQ(bmp.height, 13) << name;
        EXPECT_EQ(bmp.bitsPerPixel, 1u) << name;
        EXPECT_EQ(bmp.compression, 0u) << name;
        // Palette: index 0 black (the drawn mark), index 1 white.
        EXPECT_EQ(U32(file, bmp.palette), 0x000000u) << name;
        EXPECT_EQ(U32(file, bmp.palette + 4) & 0xFFFFFF, 0xFFFFFFu) << name;
        EXPECT_EQ(file.size(), bmp.pixels + 13 * 4) << name;
    }
    EXPECT_NE(ReadArt("port_checked.bmp"), ReadArt("port_unchecked.bmp"));
}

TEST(ArtFiles, DeviceIsOpaqueOnHardEdgedMagenta) {
    const Bytes file = ReadArt("device.bmp");
    const Bmp bmp = ParseBmp(file);
    ASSERT_EQ(bmp.width, 123);
    ASSERT_EQ(bmp.height, 158);
    ASSERT_EQ(bmp.bitsPerPixel, 24u);
    ASSERT_EQ(bmp.compression, 0u);
    const std::size_t stride = (123 * 3 + 3) / 4 * 4;
    ASSERT_EQ(file.size(), bmp.pixels + stride * 158);

    auto pixel = [&](int x, int row) {
        const std::size_t at = bmp.pixels + row * stride + x * 3;
        return std::vector<int>{file[at + 2], file[at + 1], file[at]};  // red, green, blue
    };
    const std::vector<int> magenta = {255, 0, 255};
    for (auto [x, row] : {std::pair{0, 0}, {122, 0}, {0, 157}, {122, 157}}) {
        EXPECT_EQ(pixel(x, row), magenta) << x << "," << row;
    }
    // Every pixel is pure magenta or clearly not magenta: no blended fringe.
    unsigned background = 0;
    for (int row = 0; row < 158; ++row) {
        for (int x = 0; x < 123; ++x) {
            const std::vector<int> p = pixel(x, row);
            if (p == magenta) {
                ++background;
                continue;
            }
            const bool magentaish = p[0] > 160 && p[2] > 160 && p[1] < p[0] - 80;
            EXPECT_FALSE(magentaish) << x << "," << row;
        }
    }
    EXPECT_GT(background, 123u * 158 / 10);
    EXPECT_LT(background, 123u * 158 / 2);
}

// The tray icon's two looks at the small-icon sizes of 100 to 250 %: the
// monitor's top edge light for a dark taskbar, dark for a light one.
TEST(ArtFiles, TrayIconsHoldTheSmallIconSizesFramedForTheirTaskbar) {
    for (const bool forLightTaskbar : {false, true}) {
        const Bytes ico =
            ReadArt(forLightTaskbar ? "tray_light_taskbar.ico" : "tray_dark_taskbar.ico");
        ASSERT_GE(ico.size(), 6u);
        std::vector<uint32_t> sizes;
        for (uint32_t i = 0; i < U16(ico, 4); ++i) {
            const uint32_t size = ico.at(6 + 16 * i);
            const std::size_t colours = U32(ico, 6 + 16 * i + 12) + 40;
            sizes.push_back(size);
            // Rows run bottom-up: the first opaque pixel from the top in the
            // middle column is the frame's.
            int luma = -1;
            for (std::size_t row = size; row-- > 0 && luma < 0;) {
                const std::size_t at = colours + (row * size + size / 2) * 4;
                if (ico.at(at + 3) == 255) {
                    luma = (ico.at(at) * 114 + ico.at(at + 1) * 587 + ico.at(at + 2) * 299) / 1000;
                }
            }
            EXPECT_TRUE(forLightTaskbar ? luma < 60 : luma > 200) << size << ": " << luma;
        }
        EXPECT_EQ(sizes, (std::vector<uint32_t>{16, 20, 24, 32, 40}));
    }
}

TEST(ArtFiles, CheckMarksAndDeviceAt150And200Percent) {
    struct Scaled {
        const char* name;
        int width;
        int height;
        uint32_t bitsPerPixel;
    };
    for (const Scaled& art : {Scaled{"port_checked_150.bmp", 20, 20, 1},
                              {"port_unchecked_150.bmp", 20, 20, 1},
                              {"port_checked_200.bmp", 26, 26, 1},
                              {"port_unchecked_200.bmp", 26, 26, 1},
                              {"device_150.bmp", 185, 237, 24},
                              {"device_200.bmp", 246, 316, 24}}) {
        const Bytes file = ReadArt(art.name);
        const Bmp bmp = ParseBmp(file);
        EXPECT_EQ(bmp.width, art.width) << art.name;
        EXPECT_EQ(bmp.height, art.height) << art.name;
        EXPECT_EQ(bmp.bitsPerPixel, art.bitsPerPixel) << art.name;
        const std::size_t stride = (art.width * art.bitsPerPixel + 31) / 32 * 4;
        EXPECT_EQ(file.size(), bmp.pixels + stride * art.height) << art.name;
        if (art.bitsPerPixel == 24) {  // the bottom-left corner is magenta
            EXPECT_EQ(U32(file, bmp.pixels) & 0xFFFFFF, 0xFF00FFu) << art.name;
        }
    }
}
