#include "ui/art_scale.h"

#include <gtest/gtest.h>

#include <utility>

TEST(ArtScale, TheSmallestDrawingAtLeastAsLargeAsWanted) {
    // By DPI: 96 is 100 %, 144 is 150 %, 192 is 200 %.
    EXPECT_EQ(ArtScaleFor(72, 96), 100);
    EXPECT_EQ(ArtScaleFor(96, 96), 100);
    EXPECT_EQ(ArtScaleFor(97, 96), 150);
    EXPECT_EQ(ArtScaleFor(120, 96), 150);
    EXPECT_EQ(ArtScaleFor(144, 96), 150);
    EXPECT_EQ(ArtScaleFor(145, 96), 200);
    EXPECT_EQ(ArtScaleFor(288, 96), 200);
    // By a menu's check size, against the 13-pixel mark.
    EXPECT_EQ(ArtScaleFor(13, 13), 100);
    EXPECT_EQ(ArtScaleFor(15, 13), 150);
    EXPECT_EQ(ArtScaleFor(19, 13), 150);
    EXPECT_EQ(ArtScaleFor(25, 13), 200);

    // The device picture (123 x 158 at 100 %) in a room of 300 x 300, then
    // in rooms too narrow and too low for it.
    auto size = [](unsigned dpi, unsigned roomWidth, unsigned roomHeight) {
        const ArtSize shown = ArtSizeFor({123, 158}, dpi, {roomWidth, roomHeight});
        return std::pair{shown.width, shown.height};
    };
    EXPECT_EQ(size(96, 300, 300), std::pair(123u, 158u));
    EXPECT_EQ(size(120, 300, 300), std::pair(154u, 198u));
    EXPECT_EQ(size(144, 300, 300), std::pair(185u, 237u));
    EXPECT_EQ(size(144, 185, 233), std::pair(181u, 233u));
    EXPECT_EQ(size(192, 200, 400), std::pair(200u, 256u));

    constexpr ScaledArt art{166, 180, 181};
    EXPECT_EQ(art.IdFor(100), 166u);
    EXPECT_EQ(art.IdFor(150), 180u);
    EXPECT_EQ(art.IdFor(200), 181u);
}
