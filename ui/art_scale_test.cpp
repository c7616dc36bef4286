#include "ui/art_scale.h"

#include <gtest/gtest.h>

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

    constexpr ScaledArt art{166, 180, 181};
    EXPECT_EQ(art.IdFor(100), 166u);
    EXPECT_EQ(art.IdFor(150), 180u);
    EXPECT_EQ(art.IdFor(200), 181u);
}
