#include "render/GlyphRasteriser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The font error a rasterisation raised, or "" when it went through.
template <typename Rasterise> std::string fontError(Rasterise rasterise) {
    try {
        rasterise();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

constexpr const char* GlyphTooLarge = "FT_Glyph_To_Bitmap failed (glyph too large)";

TEST(GlyphRasteriser, AOneBitFontBecomesFullCoverageInsideItsBitmapAndNothingOutside) {
    const std::string path = writeDiagonalBdf(scratchPath("mono.bdf"), 5);
    GlyphRasteriser rasteriser(path.c_str(), 30);
    const GlyphRasteriser::Glyph glyph = rasteriser.rasterise('A', GlyphRasteriser::MaxSide);
    ASSERT_EQ(glyph.width, 5);
    ASSERT_EQ(glyph.rows, 5);
    EXPECT_EQ(glyph.top, 5);
    EXPECT_EQ(glyph.advance, 6);
    ASSERT_EQ(glyph.textureWidth, 8);
    ASSERT_EQ(glyph.textureHeight, 8);
    ASSERT_EQ(glyph.texels.size(), 2u * 8 * 8);
    for (size_t j = 0; j < 8; ++j) {
        for (size_t i = 0; i < 8; ++i) {
            const int expected = i == j && i < 5 ? 255 : 0;
            EXPECT_EQ(glyph.texels[2 * (i + 8 * j)], expected) << i << "," << j;
            EXPECT_EQ(glyph.texels[2 * (i + 8 * j) + 1], expected) << i << "," << j;
        }
    }
}

// A diagonal font's one glyph stands for every character code it lacks, so
// all 128 codes rasterise to it.
TEST(GlyphRasteriser, AGlyphPastATextureSideOrALoadPastItsBudgetIsRefusedWithTheFontError) {
    // the game's font at 3000 points, 4000 pixels an em, past any texture side
    GlyphRasteriser huge(dataPath("fonts/ERASDEMI.ttf").c_str(), 3000);
    EXPECT_EQ(fontError([&] { huge.rasterise('W', 1 << 30); }), GlyphTooLarge);
    // within a GL limit lower than the rasteriser's own
    GlyphRasteriser sane(writeDiagonalBdf(scratchPath("sane.bdf"), 600).c_str(), 30);
    EXPECT_EQ(fontError([&] { sane.rasterise('A', 512); }), GlyphTooLarge);
    // 700 pixels a side: 4 MiB of texture each, so the 17th is one too many
    GlyphRasteriser big(writeDiagonalBdf(scratchPath("big.bdf"), 700).c_str(), 30);
    for (unsigned long code = 0; code < 16; ++code) {
        EXPECT_EQ(fontError([&] { big.rasterise(code, GlyphRasteriser::MaxSide); }), "") << code;
    }
    EXPECT_EQ(fontError([&] { big.rasterise(16, GlyphRasteriser::MaxSide); }), GlyphTooLarge);
    // the game's own font stays well inside both at the sizes it is loaded at
    for (const unsigned int size : {30u, 100u}) {
        GlyphRasteriser game(dataPath("fonts/ERASDEMI.ttf").c_str(), size);
        for (unsigned long code = 0; code < 128; ++code) {
            EXPECT_EQ(fontError([&] { game.rasterise(code, GlyphRasteriser::MaxSide); }), "")
                << code;
        }
    }
}

// Fonts the fuzzer made (or that it started from) load or are refused with a
// font error; under the sanitizers, without a bad read.
TEST(GlyphRasteriser, TheFuzzCorpusFontsLoadOrAreRefusedCleanly) {
    const fs::path corpus = fs::path(dataPath()) / ".." / "fuzz" / "corpus" / "glyph_raster_fuzz";
    int files = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(corpus)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                               std::istreambuf_iterator<char>());
        for (const unsigned int size : {30u, 100u}) {
            const std::string error = fontError([&] {
                GlyphRasteriser font(bytes.data(), bytes.size(), size);
                for (unsigned long code = 0; code < 128; ++code) {
                    font.rasterise(code, GlyphRasteriser::MaxSide);
                }
            });
            if (entry.path().filename() == "bdf-size-without-pixels.bdf") {
                EXPECT_EQ(error, "FT_Glyph_To_Bitmap failed") << size;
            }
        }
        ++files;
    }
    EXPECT_GE(files, 2);
}

} // namespace
