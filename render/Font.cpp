#include "render/Font.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "render/GlyphRasteriser.h"
#include "render/UnpackAlignment.h"

namespace {

// character codes 0 to 127 have glyphs; higher codes have none
constexpr unsigned int GlyphCount = 128;
// size of the formatted-text buffer, bytes, terminating zero included
constexpr int TextBufferSize = 256;
// the view scales glyphs are rasterised for: a quarter of the game's size
// (a window of 256 by 192) to eight times (beyond any screen made), in
// steps of an eighth, so that a window dragged larger rasterises the font
// afresh at each eighth rather than at each pixel
constexpr double MinViewScale = 0.25;
constexpr double MaxViewScale = 8.0;
constexpr double ScaleSteps = 8.0;

// Uploads the glyph's coverage into texture, linear filters, no mipmaps.
void uploadGlyphTexture(GLuint texture, const GlyphRasteriser::Glyph& glyph) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, glyph.textureWidth, glyph.textureHeight, 0,
                 GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, glyph.texels.data());
}

// Compiles list: the glyph's quad at its place on the baseline, then the pen
// moves on by advance. The glyph was rasterised scale times larger than its
// size in the list's pixels.
void compileGlyphList(GLuint list, GLuint texture, const GlyphRasteriser::Glyph& glyph, float scale,
                      long advance) {
    const float s1 = static_cast<float>(glyph.width) / static_cast<float>(glyph.textureWidth);
    const float t1 = static_cast<float>(glyph.rows) / static_cast<float>(glyph.textureHeight);
    // the quad's size and place in the list's pixels
    const float w = static_cast<float>(glyph.width) / scale;
    const float r = static_cast<float>(glyph.rows) / scale;
    glNewList(list, GL_COMPILE);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPushMatrix();
    glTranslatef(static_cast<float>(glyph.left) / scale, 0.0f, 0.0f);
    glTranslatef(0.0f, static_cast<float>(glyph.top) / scale - r, 0.0f);
    glBegin(GL_QUADS);
    glTexCoord2d(0.0, 0.0);
    glVertex2f(0.0f, r);
    glTexCoord2d(0.0, static_cast<double>(t1));
    glVertex2f(0.0f, 0.0f);
    glTexCoord2d(static_cast<double>(s1), static_cast<double>(t1));
    glVertex2f(w, 0.0f);
    glTexCoord2d(static_cast<double>(s1), 0.0);
    glVertex2f(w, r);
    glEnd();
    glPopMatrix();
    glTranslatef(static_cast<float>(advance), 0.0f, 0.0f);
    glEndList();
}

// The text cut into lines at each newline; k newlines give k + 1 lines.
// Codes above 127 have no glyph list and are left out.
std::vector<std::string> splitLines(const char* text) {
    std::vector<std::string> lines(1);
    for (const char* c = text; *c != '\0'; ++c) {
        const unsigned char code = static_cast<unsigned char>(*c);
        if (code == '\n') {
            lines.emplace_back();
        } else if (code < GlyphCount) {
            lines.back().push_back(*c);
        }
    }
    return lines;
}

} // namespace

Font::Font() : height(0.0f), listBase(0), viewScale(1.0f), glyphScale(1.0f) {}

Font& Font::instance() {
    static Font* font = new Font();
    return *font;
}

void Font::load(const char* ttfPath, unsigned int size) {
    // The street loads the same size-30 font once for the clock and once
    // for each shop: the glyphs of the first load serve them all.
    if (!loadedPath.empty() && loadedPath == ttfPath && height == static_cast<float>(size) &&
        glyphScale == viewScale) {
        return;
    }
    makeGlyphs(ttfPath, size, viewScale);
}

void Font::setViewScale(double scale) {
    // rounded up: glyphs a little larger than drawn are as sharp
    const double stepped = std::ceil(scale * ScaleSteps) / ScaleSteps;
    viewScale = static_cast<float>(std::clamp(stepped, MinViewScale, MaxViewScale));
    if (loadedPath.empty() || glyphScale == viewScale) {
        return;
    }
    const std::string path = loadedPath;
    try {
        makeGlyphs(path.c_str(), static_cast<unsigned int>(height), viewScale);
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "pellucane: the text stays as it was rasterised: %s\n", error.what());
    }
}

void Font::makeGlyphs(const char* ttfPath, unsigned int size, float scale) {
    // the pen's advances at the font's own size, so that text is laid out
    // alike at every scale; the pixels at the view's
    GlyphRasteriser layout(ttfPath, size);
    std::optional<GlyphRasteriser> larger;
    if (scale != 1.0f) {
        larger.emplace(ttfPath, size, scale);
    }
    GlyphRasteriser& rasteriser = larger ? *larger : layout;
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);

    std::vector<unsigned int> made(GlyphCount, 0);
    const unsigned int base = glGenLists(GlyphCount);
    glGenTextures(GlyphCount, made.data());
    try {
        // glyph rows may be any number of bytes long: upload them unpadded
        const UnpackAlignment unpadded;
        for (unsigned int k = 0; k < GlyphCount; ++k) {
            const GlyphRasteriser::Glyph glyph = rasteriser.rasterise(k, maxSide);
            uploadGlyphTexture(made[k], glyph);
            compileGlyphList(base + k, made[k], glyph, scale,
                             larger ? layout.advance(k) : glyph.advance);
        }
    } catch (...) {
        glDeleteTextures(GlyphCount, made.data());
        glDeleteLists(base, GlyphCount);
        throw;
    }
    releaseGlyphs();
    textures = std::move(made);
    listBase = base;
    height = static_cast<float>(size);
    glyphScale = scale;
    loadedPath = ttfPath;
}

void Font::releaseGlyphs() {
    if (!textures.empty()) {
        glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
        textures.clear();
    }
    if (listBase != 0) {
        glDeleteLists(listBase, GlyphCount);
        listBase = 0;
    }
}

void Font::print(const char* format, ...) {
    char text[TextBufferSize] = "";
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    const float h = height / 0.63f;
    const std::vector<std::string> lines = splitLines(text);

    glPushAttrib(GL_LIST_BIT | GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TRANSFORM_BIT);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glListBase(listBase);
    float modelview_matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview_matrix);

    for (size_t i = 0; i < lines.size(); ++i) {
        glPushMatrix();
        glLoadIdentity();
        glTranslatef(0.0f, -h * static_cast<float>(i), 0.0f);
        glMultMatrixf(modelview_matrix);
        glCallLists(static_cast<GLsizei>(lines[i].size()), GL_UNSIGNED_BYTE, lines[i].data());
        glPopMatrix();
    }
    glPopAttrib();
}
