#include "render/SpriteQuad.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace {

// Clears to green with the game's culling on and draws the picture with the
// game's own sprite calls, in yellow, width by 40 units at the centre.
void drawPicture(const std::string& pngPath, float width) {
    ensureGlContext();
    glEnable(GL_CULL_FACE);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    int list = -1, texture = -1;
    buildSpriteQuad(list, texture, pngPath.c_str());
    glColor4f(1, 1, 0, 1);
    beginSpriteDrawing();
    drawSpriteQuad(list, 0.0f, 37.5f, 0.0f, width, 40.0f);
    endSpriteDrawing();
}

} // namespace

TEST(SpriteQuad, PicturesStandUprightWithHolesAndMirroredOnesAreCulled) {
    // 4 by 2: a top row of white, a bottom row of red, the left column clear;
    // sampled at texel centres, where the clamped linear filter is exact.
    const std::string path = fixturePath("picture-upright.png");
    drawPicture(path, 40);
    EXPECT_TRUE(near(pixelAtGamePoint(5, 47.5f), Rgb{255, 255, 0}, 2));
    EXPECT_TRUE(near(pixelAtGamePoint(5, 27.5f), Rgb{255, 0, 0}, 2));
    EXPECT_TRUE(near(pixelAtGamePoint(-15, 47.5f), Rgb{0, 255, 0}, 2));
    drawPicture(path, -40);
    EXPECT_TRUE(near(pixelAtGamePoint(5, 47.5f), Rgb{0, 255, 0}, 2));

    int list = 3, texture = -1;
    buildSpriteQuad(list, texture, path.c_str());
    EXPECT_EQ(std::make_pair(list, texture), std::make_pair(3, -1));
}

TEST(SpriteQuad, UnreadableFilesStillBuildAPlainSquareOfTheCurrentColour) {
    for (const char* name : {"none.png", "picture-truncated.png", "picture-garbage.png"}) {
        drawPicture(fixturePath(name), 20);
        EXPECT_TRUE(near(pixelAtGamePoint(9.5f, 57), Rgb{255, 255, 0}, 2)) << name;
        EXPECT_TRUE(near(pixelAtGamePoint(10.5f, 57), Rgb{0, 255, 0}, 2)) << name;
    }
}
