#include "render/Font.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The game's own font.
std::string fontPath() { return dataPath("fonts/ERASDEMI.ttf"); }

// Writes a BDF font like a script font's capitals: 'A' to 'J' solid blocks
// of width by height pixels, every other character a blank pixel. Returns path.
std::string writeWideCapitalsBdf(const std::string& path, int width, int height) {
    const std::string box = std::to_string(width) + " " + std::to_string(height);
    std::string font =
        "STARTFONT 2.1\nFONT -test-wide-medium-r-normal--8-60-96-96-c-80-iso10646-1\n"
        "SIZE 8 96 96\nFONTBOUNDINGBOX " +
        box + " 0 0\nSTARTPROPERTIES 3\nFONT_ASCENT " + std::to_string(height) +
        "\nFONT_DESCENT 0\nDEFAULT_CHAR 32\nENDPROPERTIES\nCHARS 11\n"
        "STARTCHAR space\nENCODING 32\nSWIDTH 500 0\nDWIDTH 4 0\nBBX 1 1 0 0\n"
        "BITMAP\n00\nENDCHAR\n";
    const std::string row(2 * static_cast<size_t>((width + 7) / 8), 'F');
    for (char capital = 'A'; capital <= 'J'; ++capital) {
        font += std::string("STARTCHAR ") + capital + "\nENCODING " + std::to_string(capital) +
                "\nSWIDTH 500 0\nDWIDTH " + std::to_string(width + 1) + " 0\nBBX " + box +
                " 0 0\nBITMAP\n";
        for (int j = 0; j < height; ++j) {
            font += row + "\n";
        }
        font += "ENDCHAR\n";
    }
    font += "ENDFONT\n";
    writeFile(path, std::vector<unsigned char>(font.begin(), font.end()));
    return path;
}

// Bounds of the lit pixels of the back buffer, window pixels; right < 0 when none.
struct Box {
    int left = 1 << 20, bottom = 1 << 20, right = -1, top = -1;
};

Box litBox() {
    std::vector<unsigned char> red(1024 * 768);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 1024, 768, GL_RED, GL_UNSIGNED_BYTE, red.data());
    Box box;
    for (size_t index = 0; index < red.size(); ++index) {
        if (red[index] > 20) {
            const int x = static_cast<int>(index % 1024), y = static_cast<int>(index / 1024);
            box = Box{std::min(box.left, x), std::min(box.bottom, y), std::max(box.right, x),
                      std::max(box.top, y)};
        }
    }
    return box;
}

// One eye unit a pixel; the size-30 font loaded.
class FontTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureGlContext();
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, 1024, 0, 768, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        Font::instance().load(fontPath().c_str(), 30);
    }
    void TearDown() override {
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    }
    // Clears to black, prints text in white at (100, 500) pixels, scaled.
    Box draw(float scale, const char* format, const char* text = "") {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        glTranslatef(100, 500, 0);
        glScalef(scale, scale, 1);
        glColor4f(1, 1, 1, 1);
        Font::instance().print(format, text);
        glPopMatrix();
        return litBox();
    }
};

TEST_F(FontTest, LinesSitOneSpacingLowerInEyeSpaceWhateverTheScale) {
    const Box one = draw(1, "H");
    ASSERT_GE(one.right, 0);
    EXPECT_NEAR(one.bottom, 500, 2);
    EXPECT_NEAR(one.left, 100, 6);
    // a descender hangs below the baseline
    EXPECT_LT(draw(1, "p").bottom, 500 - 4);
    const Box two = draw(1, "H\nH");
    EXPECT_EQ(two.top, one.top);
    EXPECT_NEAR(two.bottom, 500 - 47.6, 2);
    // the caller's scale sizes the glyphs but not the line spacing
    const Box half = draw(0.5f, "H\nH");
    EXPECT_NEAR(half.top - 500, (one.top - 500) / 2.0, 2);
    EXPECT_NEAR(half.bottom, 500 - 47.6, 2);
    // a trailing newline adds an empty line that draws nothing
    const Box trailing = draw(1, "H\n");
    EXPECT_TRUE(trailing.top == one.top && trailing.bottom == one.bottom);
}

TEST_F(FontTest, RasterisedForAViewTwiceAsLargeTextKeepsItsPlaceAndSize) {
    const Box one = draw(1, "MONEY $ 1260\nProduct Left 81");
    Font::instance().setViewScale(2);
    const Box two = draw(1, "MONEY $ 1260\nProduct Left 81");
    Font::instance().setViewScale(1);
    EXPECT_TRUE(std::abs(two.left - one.left) <= 1 && std::abs(two.right - one.right) <= 2 &&
                std::abs(two.top - one.top) <= 1 && std::abs(two.bottom - one.bottom) <= 1);
}

TEST_F(FontTest, NothingBeyondTheGlyphsOrPast255CharactersIsDrawn) {
    // lists right after the glyphs' that would paint the whole window
    const unsigned int base = Font::instance().listBase;
    for (unsigned int k = 128; k < 256; ++k) {
        ASSERT_FALSE(glIsList(base + k));
        glNewList(base + k, GL_COMPILE);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_BLEND);
        glRectf(-2000, -2000, 2000, 2000);
        glEndList();
    }
    std::string high;
    for (int code = 128; code < 256; ++code) {
        high.push_back(static_cast<char>(code));
    }
    EXPECT_LT(draw(1, "").right, 0);
    EXPECT_LT(draw(1, nullptr).right, 0);
    EXPECT_LT(draw(1, "%s", high.c_str()).right, 0);
    EXPECT_EQ(draw(1, "H\xC9H").right, draw(1, "HH").right);
    glDeleteLists(base + 128, 128);

    const int cut = draw(0.3f, "%s", std::string(300, 'l').c_str()).right;
    EXPECT_EQ(cut, draw(0.3f, "%s", std::string(255, 'l').c_str()).right);
    EXPECT_GT(cut, draw(0.3f, "%s", std::string(254, 'l').c_str()).right);
}

TEST_F(FontTest, PrintLeavesTheCallersStateButTheBlendFunction) {
    const GLenum enabled[] = {GL_LIGHTING, GL_DEPTH_TEST};
    const GLenum disabled[] = {GL_TEXTURE_2D, GL_BLEND};
    for (GLenum cap : enabled)
        glEnable(cap);
    for (GLenum cap : disabled)
        glDisable(cap);
    glBlendFunc(GL_ONE, GL_ZERO);
    glListBase(7);
    glClearDepth(0.5);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    float before[2][16], after[2][16];
    glGetFloatv(GL_MODELVIEW_MATRIX, before[0]);
    glGetFloatv(GL_PROJECTION_MATRIX, before[1]);
    glMatrixMode(GL_PROJECTION);
    glColor4f(1, 1, 1, 1);
    Font::instance().print("Hi\nthere");

    for (GLenum cap : enabled)
        EXPECT_TRUE(glIsEnabled(cap)) << cap;
    for (GLenum cap : disabled)
        EXPECT_FALSE(glIsEnabled(cap)) << cap;
    const std::pair<GLenum, GLint> values[] = {{GL_MATRIX_MODE, GL_PROJECTION},
                                               {GL_LIST_BASE, 7},
                                               {GL_BLEND_SRC, GL_SRC_ALPHA},
                                               {GL_BLEND_DST, GL_ONE_MINUS_SRC_ALPHA}};
    for (const auto& [name, expected] : values) {
        GLint value = 0;
        glGetIntegerv(name, &value);
        EXPECT_EQ(value, expected) << name;
    }
    glGetFloatv(GL_MODELVIEW_MATRIX, after[0]);
    glGetFloatv(GL_PROJECTION_MATRIX, after[1]);
    for (int matrix = 0; matrix < 2; ++matrix)
        EXPECT_TRUE(std::equal(before[matrix], before[matrix] + 16, after[matrix])) << matrix;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // drawn with the depth test off, and the depth buffer left alone
    const Box text = litBox();
    float depth = 0;
    glReadPixels(text.left, text.top, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 0.5f);
    for (GLenum cap : enabled)
        glDisable(cap);
    glClearDepth(1.0);
    glMatrixMode(GL_MODELVIEW);
}

TEST(FontLoad, TexturesHoldTheCoverageUnpaddedAndAReloadFreesThem) {
    ensureGlContext();
    // small enough that thin strokes (the game font's ' i |) rasterise one pixel wide
    const unsigned int size = 4;
    Font& font = Font::instance();
    font.load(fontPath().c_str(), size);
    FT_Library library;
    FT_Face face;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    ASSERT_EQ(FT_New_Face(library, fontPath().c_str(), 0, &face), 0);
    FT_Set_Char_Size(face, size * 64, size * 64, 96, 96);
    bool sawOneWide = false;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (unsigned int k = 32; k < 127; ++k) {
        FT_Load_Char(face, k, FT_LOAD_RENDER);
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        const int w = static_cast<int>(bitmap.width), r = static_cast<int>(bitmap.rows);
        sawOneWide = sawOneWide || w == 1;
        glBindTexture(GL_TEXTURE_2D, font.textures[k]);
        GLint width = 0, height = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        ASSERT_TRUE(width >= w && width < 2 * std::max(w, 1) && (width & (width - 1)) == 0) << k;
        ASSERT_TRUE(height >= r && height < 2 * std::max(r, 1) && (height & (height - 1)) == 0)
            << k;
        std::vector<unsigned char> alpha(static_cast<size_t>(width) * static_cast<size_t>(height));
        glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
        for (size_t texel = 0; texel < alpha.size(); ++texel) {
            const int i = static_cast<int>(texel) % width, j = static_cast<int>(texel) / width;
            const int expected = i < w && j < r ? bitmap.buffer[j * bitmap.pitch + i] : 0;
            ASSERT_EQ(alpha[texel], expected) << "code " << k << " texel " << i << "," << j;
        }
    }
    EXPECT_TRUE(sawOneWide) << "no glyph one pixel wide at this size: choose a smaller one";
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    const std::vector<unsigned int> old = font.textures;
    const unsigned int oldBase = font.listBase;
    font.load(fontPath().c_str(), 30);
    for (unsigned int name : old) {
        const bool reused = std::count(font.textures.begin(), font.textures.end(), name) > 0;
        EXPECT_TRUE(reused || !glIsTexture(name)) << name;
    }
    EXPECT_TRUE(oldBase == font.listBase || !glIsList(oldBase));
    EXPECT_EQ(font.height, 30.0f) << "lines are spaced by the last size loaded";
    // the same file at the same size again keeps the glyphs it has
    const std::vector<unsigned int> kept = font.textures;
    font.load(fontPath().c_str(), 30);
    EXPECT_EQ(kept, font.textures);
}

TEST(FontLoad, ABitmapFontLoadsAndOneWhoseGlyphsTakeTooMuchRaisesTheFontError) {
    ensureGlContext();
    Font& font = Font::instance();
    font.load(writeDiagonalBdf(scratchPath("mono.bdf"), 5).c_str(), 30);
    glBindTexture(GL_TEXTURE_2D, font.textures['A']);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 8);
    // its one glyph stands for all 128 codes: 128 textures of 4 MiB
    try {
        font.load(writeDiagonalBdf(scratchPath("huge.bdf"), 700).c_str(), 30);
        ADD_FAILURE() << "512 MiB of glyphs loaded";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "FT_Glyph_To_Bitmap failed (glyph too large)");
    }
}

// Joscelyn, a script font, has capitals 3.6 ems wide and 1.9 ems tall.
TEST_F(FontTest, CapitalsThreeAndAHalfEmsWideLoadAndDrawAtBothSizesTheGameUses) {
    for (const unsigned int size : {30u, 100u}) {
        const float em = static_cast<float>(size) * 96 / 72;
        const int width = static_cast<int>(3.5f * em), height = static_cast<int>(1.9f * em);
        const std::string path = writeWideCapitalsBdf(
            scratchPath("wide-" + std::to_string(size) + ".bdf"), width, height);
        ASSERT_NO_THROW(Font::instance().load(path.c_str(), size)) << size;
        const Box drawn = draw(1, "A");
        EXPECT_EQ(drawn.right - drawn.left + 1, width) << size;
        EXPECT_EQ(drawn.top - drawn.bottom + 1, height) << size;
        EXPECT_NEAR(drawn.bottom, 500, 1) << size;
    }
    Font::instance().load(fontPath().c_str(), 30);
}

TEST(FontLoad, MissingOrGarbageFontFileRaisesTheNewFaceError) {
    ensureGlContext();
    const std::string garbage = scratchPath("garbage-font.ttf");
    writeFile(garbage, std::vector<unsigned char>(4096, 0x5a));
    Font::instance().load(fontPath().c_str(), 30);
    for (const std::string& path : {std::string("/nonexistent/ERASDEMI.ttf"), garbage}) {
        try {
            Font::instance().load(path.c_str(), 30);
            ADD_FAILURE() << path << " loaded";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(),
                         "FT_New_Face failed (there is probably a problem with your font file)");
        }
    }
    // after a failed load the good font at the same size is made afresh
    Font::instance().load(fontPath().c_str(), 30);
    EXPECT_TRUE(glIsTexture(Font::instance().textures['A']));
}

} // namespace
