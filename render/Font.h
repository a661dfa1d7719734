#pragma once

#include <string>
#include <vector>

// The game's one TrueType font, rasterised into 128 glyph textures and
// display lists; printed printf-style at the current modelview.
struct Font {
    // size of the last load in points; lines are height / 0.63 apart
    float height;
    // one texture per character code 0 to 127
    std::vector<unsigned int> textures;
    // first of the 128 glyph display lists
    unsigned int listBase;
    // the file of the last load that completed, empty while none has
    std::string loadedPath;
    // how many times the game's 1024 by 768 the view is drawn: the glyphs
    // are rasterised that much larger and drawn at the size the game gives
    // them, so that text has as many texels a pixel at any window size
    float viewScale;
    // the view scale the glyphs loaded were rasterised for
    float glyphScale;

    static Font& instance();

    // Rasterises codes 0..127 at size points, 96 dpi, for the view scale.
    // Throws std::runtime_error, keeping the glyphs it had. The file and
    // size already loaded are kept as they are, not made again.
    void load(const char* ttfPath, unsigned int size);
    // Rasterises the loaded font afresh for a view drawn scale times the
    // game's 1024 by 768 (rounded up to an eighth, kept between 1/4 and 8),
    // unless it already is; a font whose larger
    // glyphs would pass the load's memory budget keeps those it has.
    void setViewScale(double scale);
    // Draws the formatted text with its first baseline at the modelview origin.
    void print(const char* format, ...);

  private:
    Font();
    // Makes the 128 glyph textures and lists of the file at size points for
    // a view of that scale, then lets go of the old ones; throws, leaving
    // the old in place, when the file or a glyph fails.
    void makeGlyphs(const char* ttfPath, unsigned int size, float scale);
    // Deletes the textures and lists of the font a new load replaces.
    void releaseGlyphs();
};
