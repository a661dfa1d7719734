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

    static Font& instance();

    // Rasterises codes 0..127 at size points, 96 dpi. Throws std::runtime_error.
    // The file and size already loaded are kept as they are, not made again.
    void load(const char* ttfPath, unsigned int size);
    // Draws the formatted text with its first baseline at the modelview origin.
    void print(const char* format, ...);

  private:
    Font();
    // Deletes the textures and lists of the font a new load replaces.
    void releaseGlyphs();
};
