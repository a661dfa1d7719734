#include "render/SpriteQuad.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "tests/render/PngFixture.h"
#include "tests/support/TestSupport.h"

namespace {

const Rgb Red{255, 0, 0}, Blue{0, 0, 255}, Green{0, 255, 0}, Yellow{255, 255, 0};

// Clears the back buffer to one colour, with the game's culling on.
void clearTo(float r, float g, float b) {
    ensureGlContext();
    glEnable(GL_CULL_FACE);
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// Draws a SpriteQuad the way the game's pictures are drawn.
void drawQuad(int list, float x, float y, float width, float height) {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    glPushMatrix();
    glTranslatef(x, y, 0.0f);
    glScalef(width, height, 1.0f);
    glCallList(static_cast<GLuint>(list));
    glPopMatrix();
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

// A new SpriteQuad of the file, with its own texture.
int build(const std::string& path) {
    int list = -1;
    int texture = -1;
    buildSpriteQuad(list, texture, path.c_str());
    return list;
}

} // namespace

TEST(SpriteQuad, PictureStandsUprightWithHolesAndAMirroredQuadIsCulled) {
    // 8 by 8: top half red, bottom half blue, the left quarter fully transparent.
    std::vector<unsigned char> pixels;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            pixels.insert(pixels.end(), {static_cast<unsigned char>(y < 4 ? 255 : 0), 0,
                                         static_cast<unsigned char>(y < 4 ? 0 : 255),
                                         static_cast<unsigned char>(x < 2 ? 0 : 255)});
        }
    }
    clearTo(0, 1, 0);
    const int list = build(writePng("upright.png", 8, 8, PNG_FORMAT_RGBA, pixels));
    glColor4f(1, 1, 1, 1);
    drawQuad(list, 0.0f, 37.5f, 40.0f, 40.0f);
    EXPECT_TRUE(near(pixelAtGamePoint(10, 50), Red, 2));
    EXPECT_TRUE(near(pixelAtGamePoint(10, 25), Blue, 2));
    EXPECT_TRUE(near(pixelAtGamePoint(-16, 50), Green, 2));

    clearTo(0, 1, 0);
    drawQuad(list, 0.0f, 37.5f, -40.0f, 40.0f);
    EXPECT_TRUE(near(pixelAtGamePoint(10, 50), Green, 2));
}

TEST(SpriteQuad, UnreadableFilesStillBuildAPlainSquareOfTheCurrentColour) {
    const std::string good = writePng("solid.png", 4, 4, PNG_FORMAT_RGB, repeated({0, 0, 255}, 16));
    writeFile(fixtureFolder() + "/cut.png", std::vector<unsigned char>(40, 0x89));
    writeFile(fixtureFolder() + "/junk.png", std::vector<unsigned char>(100, 7));
    for (const std::string name : {"absent.png", "cut.png", "junk.png"}) {
        int list = -1;
        int texture = -1;
        buildSpriteQuad(list, texture, (fixtureFolder() + "/" + name).c_str());
        EXPECT_EQ(texture, 0) << name;
        clearTo(0, 0, 0);
        glColor4f(1, 1, 0, 1);
        drawQuad(list, 0.0f, 37.5f, 20.0f, 10.0f);
        EXPECT_TRUE(near(pixelAtGamePoint(9, 41), Yellow, 2)) << name;
        EXPECT_TRUE(near(pixelAtGamePoint(11, 41), Rgb{0, 0, 0}, 2)) << name;
    }

    // Built lists, and lists left at 0, are never built again; a given
    // texture is bound as it is, without loading the file.
    int list = 5;
    int texture = -1;
    buildSpriteQuad(list, texture, good.c_str());
    EXPECT_EQ(list, 5);
    list = 0;
    buildSpriteQuad(list, texture, good.c_str());
    EXPECT_EQ(list, 0);
    EXPECT_EQ(texture, -1);
    int blue = -1;
    buildSpriteQuad(list = -1, blue, good.c_str());
    int given = blue;
    list = -1;
    buildSpriteQuad(list, given, "/no/such.png");
    EXPECT_EQ(given, blue);
    clearTo(0, 0, 0);
    glColor4f(1, 1, 1, 1);
    drawQuad(list, 0.0f, 37.5f, 20.0f, 10.0f);
    EXPECT_TRUE(near(pixelAtGamePoint(0, 37.5f), Blue, 2));
}

TEST(SpriteQuad, NonPowerOfTwoPictureFillsTheWholeSquare) {
    // 100 by 30: left half red, right half blue.
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 100 * 30; ++i) {
        pixels.insert(pixels.end(), {static_cast<unsigned char>(i % 100 < 50 ? 255 : 0), 0,
                                     static_cast<unsigned char>(i % 100 < 50 ? 0 : 255)});
    }
    clearTo(0, 1, 0);
    glColor4f(1, 1, 1, 1);
    drawQuad(build(writePng("wide.png", 100, 30, PNG_FORMAT_RGB, pixels)), 0.0f, 37.5f, 60.0f,
             18.0f);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 128);
    EXPECT_TRUE(near(pixelAtGamePoint(-29.6f, 46.1f), Red, 2));
    EXPECT_TRUE(near(pixelAtGamePoint(29.6f, 28.9f), Blue, 2));
    EXPECT_TRUE(near(pixelAtGamePoint(-30.5f, 37.5f), Green, 2));
}
