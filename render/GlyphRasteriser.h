#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>
#include <cstdint>
#include <vector>

// One FreeType face at one size, turning characters into 8-bit coverage
// ready for a luminance-alpha texture: one load of the font. No GL: the font
// loader uploads what this makes. Every failure throws std::runtime_error
// with the font error.
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

    // Opens the font file (or the font held in memory) at size points, 96
    // dpi; from the file, rasterised scale times larger.
    GlyphRasteriser(const char* path, unsigned int size, float scale = 1.0f);
    GlyphRasteriser(const unsigned char* data, std::size_t length, unsigned int size);
    GlyphRasteriser(const GlyphRasteriser&) = delete;
    GlyphRasteriser& operator=(const GlyphRasteriser&) = delete;
    ~GlyphRasteriser();

    // Largest glyph side, pixels: a texture side no real font comes near (a
    // script font's widest capital is 482 pixels at size 100).
    static constexpr int MaxSide = 2048;
    // Texture memory the glyphs of one load may take together, bytes at four
    // a texel as the GL holds them: 19 MiB for Joscelyn, a script font with
    // capitals 3.6 ems wide, at size 100 (6.5 MiB for the game's own font).
    static constexpr std::uint64_t LoadBudget = 64ull << 20;

    // Rasterises character code; a glyph wider or taller than maxSide pixels
    // (at most MaxSide), or one whose texture would take this load's glyphs
    // past LoadBudget, is refused before its bitmap is made.
    Glyph rasterise(unsigned long code, int maxSide);
    // The pen advance of character code, whole pixels, without its bitmap.
    long advance(unsigned long code);

  private:
    // Starts FreeType; the face is opened by the constructors.
    void startLibrary();
    // Sets the face to size points times scale at 96 dpi (bitmap fonts may
    // refuse).
    void setSize(unsigned int size, float scale = 1.0f);
    // Loads character code's glyph into the face's slot; throws when it cannot.
    void loadGlyph(unsigned long code);

    FT_Library library = nullptr;
    FT_Face face = nullptr;
    // texture memory left to this load's glyphs, bytes
    std::uint64_t budgetLeft = LoadBudget;
};
