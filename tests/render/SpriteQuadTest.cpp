#include "render/SpriteQuad.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

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

// A side by side RGBA picture, black and clear but for the white opaque
// pixels given (x, y). Returns path.
std::string clearPicture(const std::string& name, int side,
                         const std::vector<std::pair<int, int>>& shown) {
    std::vector<unsigned char> rgba(static_cast<size_t>(side * side * 4));
    for (const auto& [x, y] : shown) {
        std::fill_n(&rgba[static_cast<size_t>((y * side + x) * 4)], 4, 255);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = static_cast<png_uint_32>(side);
    image.format = PNG_FORMAT_RGBA;
    const std::string path = scratchPath(name);
    png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr);
    return path;
}

// The whole window, RGB rows.
std::vector<unsigned char> frame() {
    std::vector<unsigned char> rgb(1024 * 768 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 1024, 768, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
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

TEST(SpriteQuad, AScissoredPictureDrawsWhatItsWholeSquareDrawsAndAnOpaqueOneStaysWhole) {
    // Shown pixels inside, touching two edges, none at all; drawn magnified
    // (6 pixels a texel) and minified (under 1 across).
    const std::string pictures[] = {
        clearPicture("inside.png", 64, {{20, 30}, {21, 30}, {40, 12}}),
        clearPicture("edges.png", 64, {{0, 17}, {33, 63}}),
        clearPicture("none.png", 64, {}),
    };
    for (const std::string& path : pictures) {
        for (const float width : {40.0f, 4.0f}) {
            scissorSpriteQuads(false);
            drawPicture(path, width);
            const std::vector<unsigned char> whole = frame();
            scissorSpriteQuads(true);
            drawPicture(path, width);
            EXPECT_TRUE(frame() == whole) << path << " " << width;
            EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
        }
    }
    // The scissor box of the last pixels shown (20 to 40 across, 12 to 30
    // down) and their margin, 40 units across: -8.125 to 6.25 across, 37.5
    // to 50.625 up.
    drawPicture(pictures[0], 40.0f);
    GLint box[4];
    glGetIntegerv(GL_SCISSOR_BOX, box);
    const WindowPixel low = windowPixelOf(-8.125f, 37.5f);
    const WindowPixel high = windowPixelOf(6.25f, 50.625f);
    EXPECT_NEAR(box[0], low.x, 1);
    EXPECT_NEAR(box[0] + box[2], high.x, 1);
    EXPECT_NEAR(768 - box[1], low.y, 1);
    EXPECT_NEAR(768 - box[1] - box[3], high.y, 1);
    // Drawn opaque (texturing only), the clear black corner shows.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    int list = -1, texture = -1;
    buildSpriteQuad(list, texture, pictures[0].c_str(), SpriteDrawing::Opaque);
    glEnable(GL_TEXTURE_2D);
    drawSpriteQuad(list, 0.0f, 37.5f, 0.0f, 40.0f, 40.0f);
    glDisable(GL_TEXTURE_2D);
    EXPECT_TRUE(near(pixelAtGamePoint(-19, 56), Rgb{0, 0, 0}, 2));
}
