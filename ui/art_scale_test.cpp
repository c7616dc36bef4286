#include "ui/art_scale.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(ArtScale, TheSmallestDrawingAtLeastAsLargeShownToFit) {
    // By DPI: 96 is 100 %, 144 is 150 %, 192 is 200 %; by a menu's check
    // size against the 13-pixel mark.
    for (auto [wanted, at100, scale] : {std::tuple{72u, 96u, 100},
                                        {96u, 96u, 100},
                                        {97u, 96u, 150},
                                        {144u, 96u, 150},
                                        {145u, 96u, 200},
                                        {288u, 96u, 200},
                                        {13u, 13u, 100},
                                        {19u, 13u, 150},
                                        {25u, 13u, 200}}) {
        EXPECT_EQ(ArtScaleFor(wanted, at100), scale) << wanted << " of " << at100;
    }
    // The device picture (123 x 158 at 100 %) with room, then in rooms too
    // narrow and too low for it.
    for (auto [dpi, room, width, height] : {std::tuple{96u, ArtSize{300, 300}, 123u, 158u},
                                            {120u, {300, 300}, 154u, 198u},
                                            {144u, {300, 300}, 185u, 237u},
                                            {144u, {185, 233}, 181u, 233u},
                                            {192u, {200, 400}, 200u, 256u}}) {
        const ArtSize shown = ArtSizeFor({123, 158}, dpi, room);
        EXPECT_EQ(shown.width, width) << dpi;
        EXPECT_EQ(shown.height, height) << dpi;
    }
}
