#include "render/GlyphRasteriser.h"

#include FT_GLYPH_H
#include FT_BITMAP_H

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// rasterisation resolution, dots per inch
constexpr unsigned int Dpi = 96;
// the errors of one load
constexpr const char* NewFaceFailed =
    "FT_New_Face failed (there is probably a problem with your font file)";
constexpr const char* GlyphTooLarge = "FT_Glyph_To_Bitmap failed (glyph too large)";

// Smallest power of two at least n, texels (1 for n of 0 or 1).
int nextPowerOfTwo(int n) {
    int power = 1;
    while (power < n) {
        power *= 2;
    }
    return power;
}

// The glyph object of one character, freed however the character ends.
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

// A bitmap converted to one byte a pixel, freed however the character ends.
struct BitmapHolder {
    FT_Library library;
    FT_Bitmap bitmap;

    explicit BitmapHolder(FT_Library owner) : library(owner) { FT_Bitmap_Init(&bitmap); }
    BitmapHolder(const BitmapHolder&) = delete;
    BitmapHolder& operator=(const BitmapHolder&) = delete;
    ~BitmapHolder() { FT_Bitmap_Done(library, &bitmap); }
};

// Whether box, in whole pixels, fits maxSide both ways.
bool fits(const FT_BBox& box, int maxSide) {
    return box.xMax - box.xMin <= maxSide && box.yMax - box.yMin <= maxSide;
}

// Texture memory of a glyph bitmap width by rows pixels, bytes at four a texel.
std::uint64_t textureBytes(long width, long rows) {
    return std::uint64_t{4} * static_cast<std::uint64_t>(nextPowerOfTwo(static_cast<int>(width))) *
           static_cast<std::uint64_t>(nextPowerOfTwo(static_cast<int>(rows)));
}

// The converted bitmap's grey levels (the glyph's width by rows of them)
// spread over 0..255, into the texels.
void fillTexels(const FT_Bitmap& bitmap, GlyphRasteriser::Glyph& glyph) {
    const size_t textureWidth = static_cast<size_t>(glyph.textureWidth);
    glyph.texels.assign(2 * textureWidth * static_cast<size_t>(glyph.textureHeight), 0);
    // a one-bit bitmap converts to levels 0 and 1; grey ones keep theirs
    const int topLevel = std::max(static_cast<int>(bitmap.num_grays) - 1, 1);
    // a bitmap converted into a fresh one runs top down: its pitch is never negative
    const size_t pitch = static_cast<size_t>(bitmap.pitch);
    for (size_t j = 0; j < bitmap.rows; ++j) {
        const unsigned char* row = bitmap.buffer + j * pitch;
        for (size_t i = 0; i < bitmap.width; ++i) {
            const unsigned char value =
                static_cast<unsigned char>(std::min(row[i] * 255 / topLevel, 255));
            const size_t texel = 2 * (i + j * textureWidth);
            glyph.texels[texel] = value;
            glyph.texels[texel + 1] = value;
        }
    }
}

} // namespace

GlyphRasteriser::GlyphRasteriser(const char* path, unsigned int size, float scale) {
    startLibrary();
    if (FT_New_Face(library, path, 0, &face) != 0) {
        FT_Done_FreeType(library);
        throw std::runtime_error(NewFaceFailed);
    }
    setSize(size, scale);
}

GlyphRasteriser::GlyphRasteriser(const unsigned char* data, std::size_t length, unsigned int size) {
    startLibrary();
    if (FT_New_Memory_Face(library, data, static_cast<FT_Long>(length), 0, &face) != 0) {
        FT_Done_FreeType(library);
        throw std::runtime_error(NewFaceFailed);
    }
    setSize(size);
}

GlyphRasteriser::~GlyphRasteriser() {
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

void GlyphRasteriser::startLibrary() {
    if (FT_Init_FreeType(&library) != 0) {
        throw std::runtime_error("FT_Init_FreeType failed");
    }
}

void GlyphRasteriser::setSize(unsigned int size, float scale) {
    // A bitmap font without a strike of this size keeps its own; its glyphs
    // still have to pass the size check. (26.6 fixed point: 64ths of a point.)
    const auto sixtyFourths = static_cast<FT_F26Dot6>(
        std::lround(static_cast<double>(size) * 64.0 * static_cast<double>(scale)));
    FT_Set_Char_Size(face, sixtyFourths, sixtyFourths, Dpi, Dpi);
}

void GlyphRasteriser::loadGlyph(unsigned long code) {
    if (FT_Load_Glyph(face, FT_Get_Char_Index(face, code), FT_LOAD_DEFAULT) != 0) {
        throw std::runtime_error("FT_Load_Glyph failed");
    }
}

long GlyphRasteriser::advance(unsigned long code) {
    loadGlyph(code);
    return face->glyph->advance.x >> 6;
}

GlyphRasteriser::Glyph GlyphRasteriser::rasterise(unsigned long code, int maxSide) {
    maxSide = std::min(maxSide, MaxSide);
    loadGlyph(code);
    GlyphHolder holder;
    if (FT_Get_Glyph(face->glyph, &holder.glyph) != 0) {
        throw std::runtime_error("FT_Get_Glyph failed");
    }
    // The bitmap's size, known from the outline before any bitmap is made.
    FT_BBox box;
    FT_Glyph_Get_CBox(holder.glyph, FT_GLYPH_BBOX_PIXELS, &box);
    if (!fits(box, maxSide) ||
        textureBytes(box.xMax - box.xMin, box.yMax - box.yMin) > budgetLeft) {
        throw std::runtime_error(GlyphTooLarge);
    }
    if (FT_Glyph_To_Bitmap(&holder.glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) != 0 ||
        holder.glyph->format != FT_GLYPH_FORMAT_BITMAP) {
        throw std::runtime_error("FT_Glyph_To_Bitmap failed");
    }
    const FT_BitmapGlyph bitmapGlyph = reinterpret_cast<FT_BitmapGlyph>(holder.glyph);
    // a bitmap font may give a glyph a size but no pixels
    const FT_Bitmap& bitmap = bitmapGlyph->bitmap;
    if (bitmap.buffer == nullptr && bitmap.width > 0 && bitmap.rows > 0) {
        throw std::runtime_error("FT_Glyph_To_Bitmap failed");
    }
    // Mono, two- and four-bit, colour: whatever the face holds becomes one
    // byte a pixel, rows exactly width bytes long, top row first.
    BitmapHolder converted(library);
    if (FT_Bitmap_Convert(library, &bitmap, &converted.bitmap, 1) != 0) {
        throw std::runtime_error("FT_Bitmap_Convert failed");
    }
    Glyph glyph;
    glyph.width = static_cast<int>(converted.bitmap.width);
    glyph.rows = static_cast<int>(converted.bitmap.rows);
    if (glyph.width > maxSide || glyph.rows > maxSide ||
        textureBytes(glyph.width, glyph.rows) > budgetLeft) {
        throw std::runtime_error(GlyphTooLarge);
    }
    budgetLeft -= textureBytes(glyph.width, glyph.rows);
    glyph.left = bitmapGlyph->left;
    glyph.top = bitmapGlyph->top;
    glyph.advance = face->glyph->advance.x >> 6;
    glyph.textureWidth = nextPowerOfTwo(glyph.width);
    glyph.textureHeight = nextPowerOfTwo(glyph.rows);
    fillTexels(converted.bitmap, glyph);
    return glyph;
}
