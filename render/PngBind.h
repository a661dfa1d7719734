#pragma once

#include <vector>

// PNG files into GL textures: our own small stand-in for glpng's pngBind,
// on libpng's simplified read API and GLU.

// mipmap mode: build every level down to 1 by 1
constexpr int PNG_BUILDMIPMAPS = -1;
// transparency mode: keep the file's alpha channel when it has one
constexpr int PNG_ALPHA = -2;

// A decoded picture, top row first.
struct PngImage {
    // size in pixels
    int width = 0;
    int height = 0;
    // 4 for files with an alpha channel (RGBA), otherwise 3 (RGB)
    int channels = 0;
    // width * height * channels bytes, rows top to bottom
    std::vector<unsigned char> pixels;
};

// Decodes a PNG file; false (image untouched) for a missing, unreadable,
// non-PNG or absurdly large file.
bool decodePng(const char* path, PngImage& image);

// Nearest-pixel rescale to the next powers of two, capped at maxSize.
PngImage toPowerOfTwo(const PngImage& image, int maxSize);

// Makes a new texture and loads the file into it; returns the texture name,
// or 0 when the file cannot be decoded. info is unused (always null here).
unsigned int pngBind(const char* path, int mipmap, int trans, void* info, int wrapst, int minfilter,
                     int magfilter);
