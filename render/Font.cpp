#include "render/Font.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include <cstdarg>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "render/UnpackAlignment.h"

namespace {

// character codes 0 to 127 have glyphs; higher codes have none
constexpr int GlyphCount = 128;
// rasterisation resolution, dots per inch
constexpr unsigned int Dpi = 96;
// size of the formatted-text buffer, bytes, terminating zero included
constexpr int TextBufferSize = 256;

// The FreeType library and face of one load, let go of (face first) however
// the load ends.
struct FreeTypeSession {
    FT_Library library = nullptr;
    FT_Face face = nullptr;

    FreeTypeSession() = default;
    FreeTypeSession(const FreeTypeSession&) = delete;
    FreeTypeSession& operator=(const FreeTypeSession&) = delete;
    ~FreeTypeSession() {
        if (face != nullptr) {
            FT_Done_Face(face);
        }
        if (library != nullptr) {
            FT_Done_FreeType(library);
        }
    }
};

// The rasterised glyph object, freed when the glyph's list is made.
struct GlyphHolder {
    FT_Glyph glyph = nullptr;

    GlyphHolder() = default;
    GlyphHolder(const GlyphHolder&) = delete;
    GlyphHolder& operator=(const GlyphHolder&) = delete;
    ~GlyphHolder() {
        if (glyph != nullptr) {
            FT_Done_Glyph(glyph);
        }
    }
};

// Smallest power of two at least n, texels (1 for n of 0 or 1).
int nextPowerOfTwo(int n) {
    int power = 1;
    while (power < n) {
        power *= 2;
    }
    return power;
}

// Bitmap row j (top row first), whichever way the rasteriser stored the rows.
const unsigned char* bitmapRow(const FT_Bitmap& bitmap, int j) {
    const int pitch = bitmap.pitch;
    if (pitch >= 0) {
        return bitmap.buffer + j * pitch;
    }
    return bitmap.buffer + (static_cast<int>(bitmap.rows) - 1 - j) * -pitch;
}

// W by H luminance-alpha texels, both bytes the glyph's coverage, 0 outside
// the bitmap, top row first.
std::vector<unsigned char> coverageTexels(const FT_Bitmap& bitmap, int width, int height) {
    std::vector<unsigned char> buffer(2 * static_cast<size_t>(width) * height, 0);
    const int bitmapWidth = static_cast<int>(bitmap.width);
    const int bitmapRows = static_cast<int>(bitmap.rows);
    for (int j = 0; j < bitmapRows; ++j) {
        const unsigned char* row = bitmapRow(bitmap, j);
        for (int i = 0; i < bitmapWidth; ++i) {
            const size_t texel = 2 * (static_cast<size_t>(i) + static_cast<size_t>(j) * width);
            buffer[texel] = row[i];
            buffer[texel + 1] = row[i];
        }
    }
    return buffer;
}

// Uploads the glyph's coverage into texture, linear filters, no mipmaps.
void uploadGlyphTexture(GLuint texture, const FT_Bitmap& bitmap, int width, int height) {
    const std::vector<unsigned char> buffer = coverageTexels(bitmap, width, height);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE,
                 buffer.data());
}

// Compiles list: the glyph's quad at its place on the baseline, then the pen
// moves on by advance pixels.
void compileGlyphList(GLuint list, GLuint texture, const FT_BitmapGlyph glyph, int width,
                      int height, long advance) {
    const FT_Bitmap& bitmap = glyph->bitmap;
    const float w = static_cast<float>(bitmap.width);
    const float r = static_cast<float>(bitmap.rows);
    const float s1 = w / static_cast<float>(width);
    const float t1 = r / static_cast<float>(height);
    glNewList(list, GL_COMPILE);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPushMatrix();
    glTranslatef(static_cast<float>(glyph->left), 0.0f, 0.0f);
    glTranslatef(0.0f, static_cast<float>(glyph->top) - r, 0.0f);
    glBegin(GL_QUADS);
    glTexCoord2d(0.0, 0.0);
    glVertex2f(0.0f, r);
    glTexCoord2d(0.0, t1);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2d(s1, t1);
    glVertex2f(w, 0.0f);
    glTexCoord2d(s1, 0.0);
    glVertex2f(w, r);
    glEnd();
    glPopMatrix();
    glTranslatef(static_cast<float>(advance), 0.0f, 0.0f);
    glEndList();
}

// Rasterises code k of face into its texture and its display list.
void makeGlyphList(FT_Face face, int k, GLuint listBase,
                   const std::vector<unsigned int>& textures) {
    if (FT_Load_Glyph(face, FT_Get_Char_Index(face, static_cast<FT_ULong>(k)), FT_LOAD_DEFAULT) !=
        0) {
        throw std::runtime_error("FT_Load_Glyph failed");
    }
    GlyphHolder holder;
    if (FT_Get_Glyph(face->glyph, &holder.glyph) != 0) {
        throw std::runtime_error("FT_Get_Glyph failed");
    }
    FT_Glyph_To_Bitmap(&holder.glyph, FT_RENDER_MODE_NORMAL, nullptr, 1);
    const FT_BitmapGlyph bitmapGlyph = reinterpret_cast<FT_BitmapGlyph>(holder.glyph);
    const int width = nextPowerOfTwo(static_cast<int>(bitmapGlyph->bitmap.width));
    const int height = nextPowerOfTwo(static_cast<int>(bitmapGlyph->bitmap.rows));
    uploadGlyphTexture(textures[k], bitmapGlyph->bitmap, width, height);
    compileGlyphList(listBase + k, textures[k], bitmapGlyph, width, height,
                     face->glyph->advance.x >> 6);
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

Font::Font() : height(0.0f), listBase(0) {}

Font& Font::instance() {
    static Font* font = new Font();
    return *font;
}

void Font::load(const char* ttfPath, unsigned int size) {
    releaseGlyphs();
    textures.assign(GlyphCount, 0);
    height = static_cast<float>(size);

    FreeTypeSession session;
    if (FT_Init_FreeType(&session.library) != 0) {
        throw std::runtime_error("FT_Init_FreeType failed");
    }
    if (FT_New_Face(session.library, ttfPath, 0, &session.face) != 0) {
        throw std::runtime_error(
            "FT_New_Face failed (there is probably a problem with your font file)");
    }
    FT_Set_Char_Size(session.face, size * 64, size * 64, Dpi, Dpi);

    listBase = glGenLists(GlyphCount);
    glGenTextures(GlyphCount, textures.data());

    // glyph rows may be any number of bytes long: upload them unpadded
    const UnpackAlignment unpadded;
    for (int k = 0; k < GlyphCount; ++k) {
        makeGlyphList(session.face, k, listBase, textures);
    }
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
