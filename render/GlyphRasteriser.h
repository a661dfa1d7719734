#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>
#include <vector>

// One FreeType face at one size, turning characters into 8-bit coverage
// ready for a luminance-alpha texture. No GL: the font loader uploads what
// this makes. Every failure throws std::runtime_error with the font error.
class GlyphRasteriser {
  public:
    // A character's coverage and its place on the baseline.
    struct Glyph {
        // bitmap size, pixels
        int width = 0;
        int rows = 0;
        // bitmap's left edge right of the pen and top row above the baseline, pixels
        int left = 0;
        int top = 0;
        // pen advance, whole pixels
        long advance = 0;
        // powers of two at least width and rows, texels
        int textureWidth = 1;
        int textureHeight = 1;
        // textureWidth * textureHeight texels of two equal bytes (luminance,
        // alpha), top row first, 0 outside the bitmap
        std::vector<unsigned char> texels;
    };

    // Opens the font file (or the font held in memory) at size points, 96 dpi.
    GlyphRasteriser(const char* path, unsigned int size);
    GlyphRasteriser(const unsigned char* data, std::size_t length, unsigned int size);
    GlyphRasteriser(const GlyphRasteriser&) = delete;
    GlyphRasteriser& operator=(const GlyphRasteriser&) = delete;
    ~GlyphRasteriser();

    // Rasterises character code; a glyph wider or taller than maxSide pixels
    // is refused before its bitmap is made.
    Glyph rasterise(unsigned long code, int maxSide) const;

    // The largest glyph side a sane font has at size points, pixels: two ems.
    static int saneSide(unsigned int size);

  private:
    // Starts FreeType; the face is opened by the constructors.
    void startLibrary();
    // Sets the face to size points at 96 dpi (bitmap fonts may refuse).
    void setSize(unsigned int size);

    FT_Library library = nullptr;
    FT_Face face = nullptr;
};
