#include "render/PictureCache.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "render/SpriteQuad.h"
#include "tests/support/TestSupport.h"

using Bytes = std::vector<unsigned char>;

namespace {

// Builds a picture from the file; returns its texture name.
int buildTexture(const std::string& path) {
    int list = -1, texture = -1;
    buildSpriteQuad(list, texture, path.c_str());
    return texture;
}

// The texture's RGBA texels at a mipmap level.
Bytes texels(int texture, int level) {
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
    Bytes pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// Builds the picture and draws it over the whole screen with the game's own
// sprite calls, in yellow on green; returns its texture name.
int drawFullScreen(const std::string& path) {
    int list = -1, texture = -1;
    buildSpriteQuad(list, texture, path.c_str());
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(1, 1, 0, 1);
    beginSpriteDrawing();
    drawSpriteQuad(list, 0.0f, 37.5f, 0.0f, 100.0f, 75.0f);
    endSpriteDrawing();
    return texture;
}

} // namespace

TEST(PictureCache, PicturesFromOneFileGetTexturesOfTheirOwnFromOneDecode) {
    ensureGlContext();
    const std::string path = scratchPath("picture.png");
    std::ifstream fixture(fixturePath("picture-upright.png"), std::ios::binary);
    writeFile(path,
              Bytes(std::istreambuf_iterator<char>(fixture), std::istreambuf_iterator<char>()));
    {
        const PictureCache cache;
        const int first = buildTexture(path);
        // The second build comes from the decoded picture, not from the file.
        std::remove(path.c_str());
        const int second = buildTexture(path);
        EXPECT_GT(first, 0);
        EXPECT_GT(second, 0);
        EXPECT_NE(first, second);
        // 4 by 2, then 2 by 1 and 1 by 1: every level the same in both, and
        // the minification filter the one asked for, whatever the upload used.
        for (int level = 0; level <= 2; ++level) {
            EXPECT_EQ(texels(first, level), texels(second, level)) << level;
        }
        GLint minFilter = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        EXPECT_EQ(minFilter, GL_LINEAR);
        const Bytes top = texels(second, 0);
        EXPECT_EQ(Bytes(top.begin(), top.begin() + 8), (Bytes{9, 8, 7, 0, 255, 255, 255, 255}));
    }
    // Closed, the cache has let the picture go.
    EXPECT_EQ(buildTexture(path), 0);
}

TEST(PictureCache, ABrokenFileUsedTwiceDrawsTwoPlainSquares) {
    ensureGlContext();
    const PictureCache cache;
    for (int use = 0; use < 2; ++use) {
        EXPECT_EQ(drawFullScreen(fixturePath("picture-truncated.png")), 0) << use;
        EXPECT_TRUE(near(pixelAtGamePoint(0, 37.5f), Rgb{255, 255, 0}, 2)) << use;
    }
}
