#include "render/Font.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

// The game's font once it is there, a TrueType font of the machine till then.
std::string fontPath() {
    struct stat info;
    const std::string game = dataPath("fonts/ERASDEMI.ttf");
    return stat(game.c_str(), &info) == 0 ? game : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
}

// Bounds of the lit pixels of the back buffer, window pixels, origin bottom left.
struct Box {
    int left = 1 << 20, bottom = 1 << 20, right = -1, top = -1;
    bool empty() const { return right < 0; }
};

Box litBox() {
    std::vector<unsigned char> red(1024 * 768);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 1024, 768, GL_RED, GL_UNSIGNED_BYTE, red.data());
    Box box;
    for (int y = 0; y < 768; ++y) {
        for (int x = 0; x < 1024; ++x) {
            if (red[y * 1024 + x] > 20) {
                box = Box{std::min(box.left, x), std::min(box.bottom, y), std::max(box.right, x), std::max(box.top, y)};
            }
        }
    }
    return box;
}

// Pixel projection and modelview, restored after each test.
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
    // Clears to black and prints text in white at (x, y) pixels, scaled.
    template <typename... Args>
    Box draw(float x, float y, float scale, const char* format, Args... args) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glPushMatrix();
        glTranslatef(x, y, 0);
        glScalef(scale, scale, 1);
        glColor4f(1, 1, 1, 1);
        Font::instance().print(format, args...);
        glPopMatrix();
        return litBox();
    }
};

TEST_F(FontTest, LinesSitOneSpacingLowerInEyeSpaceWhateverTheScale) {
    const Box one = draw(100, 500, 1, "H");
    ASSERT_FALSE(one.empty());
    EXPECT_NEAR(one.bottom, 500, 2);
    EXPECT_NEAR(one.left, 100, 6);
    const Box two = draw(100, 500, 1, "H\nH");
    EXPECT_EQ(two.top, one.top);
    EXPECT_NEAR(two.bottom, 500 - 47.6, 2);
    // the caller's scale sizes the glyphs but not the line spacing
    const Box half = draw(100, 500, 0.5f, "H\nH");
    EXPECT_NEAR(half.top - 500, (one.top - 500) / 2.0, 2);
    EXPECT_NEAR(half.bottom, 500 - 47.6, 2);
    // a trailing newline adds an empty line that draws nothing
    const Box trailing = draw(100, 500, 1, "H\n");
    EXPECT_EQ(trailing.top, one.top);
    EXPECT_EQ(trailing.bottom, one.bottom);
}

TEST_F(FontTest, EmptyNullAndGlyphlessCodesDrawNothing) {
    // lists right after the glyphs' that would paint the whole window
    const unsigned int base = Font::instance().listBase;
    for (unsigned int k = 128; k < 256; ++k) {
        ASSERT_FALSE(glIsList(base + k));
        glNewList(base + k, GL_COMPILE);
        glRectf(-2000, -2000, 2000, 2000);
        glEndList();
    }
    EXPECT_TRUE(draw(100, 500, 1, "").empty());
    EXPECT_TRUE(draw(100, 500, 1, nullptr).empty());
    std::string high;
    for (int code = 128; code < 256; ++code) {
        high.push_back(static_cast<char>(code));
    }
    EXPECT_TRUE(draw(100, 500, 1, "%s", high.c_str()).empty());
    const Box plain = draw(100, 500, 1, "HH");
    const Box mixed = draw(100, 500, 1, "H\xC9H");
    EXPECT_EQ(mixed.left, plain.left);
    EXPECT_EQ(mixed.right, plain.right);
    glDeleteLists(base + 128, 128);
}

TEST_F(FontTest, LongTextIsCutAt255Characters) {
    const Box cut = draw(10, 400, 0.3f, "%s", std::string(300, 'l').c_str());
    const Box full = draw(10, 400, 0.3f, "%s", std::string(255, 'l').c_str());
    const Box shorter = draw(10, 400, 0.3f, "%s", std::string(254, 'l').c_str());
    EXPECT_EQ(cut.right, full.right);
    EXPECT_GT(full.right, shorter.right);
}

TEST_F(FontTest, PrintLeavesTheCallersStateButTheBlendFunction) {
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glListBase(7);
    glClearDepth(0.5);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    float modelview[16], projection[16], after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glMatrixMode(GL_PROJECTION);
    glColor4f(1, 1, 1, 1);
    Font::instance().print("Hi\nthere");

    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    GLint value = 0;
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_PROJECTION);
    glGetIntegerv(GL_LIST_BASE, &value);
    EXPECT_EQ(value, 7);
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_SRC_ALPHA);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE_MINUS_SRC_ALPHA);
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    EXPECT_TRUE(std::equal(projection, projection + 16, after));
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    EXPECT_TRUE(std::equal(modelview, modelview + 16, after));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // drawn with the depth test off, and the depth buffer left alone
    const Box text = litBox();
    ASSERT_FALSE(text.empty());
    float depth = 0;
    glReadPixels(text.left, text.top, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 0.5f);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glClearDepth(1.0);
    glMatrixMode(GL_MODELVIEW);
}

TEST(FontLoad, GlyphTexturesHoldTheRasterisedCoverageUnpadded) {
    ensureGlContext();
    // small enough that thin strokes rasterise one pixel wide
    const unsigned int size = 6;
    Font& font = Font::instance();
    font.load(fontPath().c_str(), size);
    FT_Library library;
    FT_Face face;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    ASSERT_EQ(FT_New_Face(library, fontPath().c_str(), 0, &face), 0);
    FT_Set_Char_Size(face, size * 64, size * 64, 96, 96);
    bool sawOneWide = false;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int k = 32; k < 127; ++k) {
        FT_Load_Char(face, k, FT_LOAD_RENDER);
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        const int w = bitmap.width, r = bitmap.rows;
        sawOneWide = sawOneWide || w == 1;
        glBindTexture(GL_TEXTURE_2D, font.textures[k]);
        GLint width = 0, height = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        ASSERT_TRUE(width >= w && width < 2 * std::max(w, 1) && (width & (width - 1)) == 0) << k;
        ASSERT_TRUE(height >= r && height < 2 * std::max(r, 1) && (height & (height - 1)) == 0) << k;
        std::vector<unsigned char> alpha(static_cast<size_t>(width) * height);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.data());
        for (int j = 0; j < height; ++j) {
            for (int i = 0; i < width; ++i) {
                const int expected = i < w && j < r ? bitmap.buffer[j * bitmap.pitch + i] : 0;
                ASSERT_EQ(alpha[j * width + i], expected) << "code " << k << " texel " << i << "," << j;
            }
        }
    }
    EXPECT_TRUE(sawOneWide);
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    // a new load frees the replaced font's textures and lists
    const std::vector<unsigned int> old = font.textures;
    const unsigned int oldBase = font.listBase;
    font.load(fontPath().c_str(), 30);
    for (unsigned int name : old) {
        const bool reused = std::find(font.textures.begin(), font.textures.end(), name) != font.textures.end();
        EXPECT_TRUE(reused || !glIsTexture(name)) << name;
    }
    EXPECT_TRUE(oldBase == font.listBase || !glIsList(oldBase));
}

TEST(FontLoad, MissingOrGarbageFontFileRaisesTheNewFaceError) {
    ensureGlContext();
    const std::string garbage = "/tmp/pellucane-garbage-font.ttf";
    writeFile(garbage, std::vector<unsigned char>(4096, 0x5a));
    for (const std::string& path : {std::string("/nonexistent/ERASDEMI.ttf"), garbage}) {
        try {
            Font::instance().load(path.c_str(), 30);
            ADD_FAILURE() << path << " loaded";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "FT_New_Face failed (there is probably a problem with your font file)");
        }
    }
}

} // namespace
