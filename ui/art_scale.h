// Which drawing of a picture suits a display: the program's pictures are
// drawn at 100, 150 and 200 %, and a display scaled between two gets the
// larger, so nothing is stretched up.
#pragma once

// The DPI of a display at 100 %.
inline constexpr unsigned kDpiAt100Percent = 96;

// The scale, in percent, of the smallest drawing whose size is at least
// `wanted` when the drawing at 100 % has `at100Percent`; 200 beyond.
// ArtScaleFor(dpi, kDpiAt100Percent) picks by a display's DPI.
constexpr int ArtScaleFor(unsigned wanted, unsigned at100Percent) {
    for (int scale : {100, 150}) {
        if (wanted * 100 <= at100Percent * static_cast<unsigned>(scale)) {
            return scale;
        }
    }
    return 200;
}

struct ArtSize {
    unsigned width;
    unsigned height;
};

// The size a picture of `at100Percent` is shown at for a DPI, made smaller,
// in proportion, where it would not fit `room`.
constexpr ArtSize ArtSizeFor(ArtSize at100Percent, unsigned dpi, ArtSize room) {
    ArtSize size{(at100Percent.width * dpi + kDpiAt100Percent / 2) / kDpiAt100Percent,
                 (at100Percent.height * dpi + kDpiAt100Percent / 2) / kDpiAt100Percent};
    if (size.width > room.width) {
        size = {room.width, size.height * room.width / size.width};
    }
    if (size.height > room.height) {
        size = {size.width * room.height / size.height, room.height};
    }
    return size;
}

// The resource ids of one picture's drawings.
struct ScaledArt {
    unsigned at100;
    unsigned at150;
    unsigned at200;

    constexpr unsigned IdFor(int scale) const {
        return scale <= 100 ? at100 : scale <= 150 ? at150 : at200;
    }
};
