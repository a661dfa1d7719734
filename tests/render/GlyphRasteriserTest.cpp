#include "render/GlyphRasteriser.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tests/support/TestSupport.h"

namespace {

TEST(GlyphRasteriser, AOneBitFontBecomesFullCoverageInsideItsBitmapAndNothingOutside) {
    const std::string path = writeDiagonalBdf("/tmp/pellucane-mono.bdf", 5);
    const GlyphRasteriser rasteriser(path.c_str(), 30);
    const GlyphRasteriser::Glyph glyph = rasteriser.rasterise('A', GlyphRasteriser::saneSide(30));
    ASSERT_EQ(glyph.width, 5);
    ASSERT_EQ(glyph.rows, 5);
    EXPECT_EQ(glyph.top, 5);
    EXPECT_EQ(glyph.advance, 6);
    ASSERT_EQ(glyph.textureWidth, 8);
    ASSERT_EQ(glyph.textureHeight, 8);
    ASSERT_EQ(glyph.texels.size(), 2u * 8 * 8);
    for (int j = 0; j < 8; ++j) {
        for (int i = 0; i < 8; ++i) {
            const int expected = i == j && i < 5 ? 255 : 0;
            EXPECT_EQ(glyph.texels[2 * (i + 8 * j)], expected) << i << "," << j;
            EXPECT_EQ(glyph.texels[2 * (i + 8 * j) + 1], expected) << i << "," << j;
        }
    }
}

TEST(GlyphRasteriser, GlyphsLargerThanTheLimitAreRefusedWithTheFontError) {
    // 200 pixels at size 30, where two ems are 80
    const std::string path = writeDiagonalBdf("/tmp/pellucane-huge.bdf", 200);
    const GlyphRasteriser rasteriser(path.c_str(), 30);
    EXPECT_EQ(GlyphRasteriser::saneSide(30), 80);
    try {
        rasteriser.rasterise('A', GlyphRasteriser::saneSide(30));
        ADD_FAILURE() << "a 200-pixel glyph was rasterised";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "FT_Glyph_To_Bitmap failed (glyph too large)");
    }
    // the game's own font stays well inside the limit at the largest size it uses
    const GlyphRasteriser game(dataPath("fonts/ERASDEMI.ttf").c_str(), 100);
    for (unsigned long code = 0; code < 128; ++code) {
        EXPECT_NO_THROW(game.rasterise(code, GlyphRasteriser::saneSide(100))) << code;
    }
}

} // namespace
