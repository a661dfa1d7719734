#pragma once

#include <vector>

// PNG files into GL textures: our own small stand-in for glpng's pngBind, on
// libpng, with the power-of-two rescale and the mipmap levels made here.

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
// non-PNG or absurdly large file. Makes no GL call.
bool decodePng(const char* path, PngImage& image);

// Nearest-pixel rescale to the next powers of two, capped at maxSize; a
// picture already that size comes back as it is.
PngImage toPowerOfTwo(PngImage image, int maxSize);

// What a texture is uploaded from: the decoded file rescaled to powers of two
// (capped at maxSize), then every smaller mipmap level down to 1 by 1, each
// the rounded average of 2 by 2 blocks of the one before. False (levels
// untouched) when the file cannot be decoded.
bool decodeTextureLevels(const char* path, int maxSize, std::vector<PngImage>& levels);

// Makes a new texture and loads the file into it; returns the texture name,
// or 0 when the file cannot be decoded. While a PictureCache is open the
// file is decoded only at its first use. info is unused (always null here).
unsigned int pngBind(const char* path, int mipmap, int trans, void* info, int wrapst, int minfilter,
                     int magfilter);
