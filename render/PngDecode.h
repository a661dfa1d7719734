#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// PNG files decoded with libpng, rescaled to powers of two and halved into
// mipmap levels: everything a texture is made from, without GL.

// Largest texture side a picture is rescaled to, pixels (lower still when
// GL_MAX_TEXTURE_SIZE is): a 2560 x 1440 screenshot or a phone photo becomes
// 2048 x 2048, 16 MiB, more than the window's 1024 x 768 pixels can show.
constexpr int PictureCap = 2048;

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

// A box of texture coordinates: s from left to right, t from top (the
// picture's top row, 0) to bottom (1). The whole picture by default.
struct TextureBox {
    float left = 0.0f;
    float top = 0.0f;
    float right = 1.0f;
    float bottom = 1.0f;
};

// The part of a texture made from the picture outside which every linear
// sample has alpha 0: the box of its pixels with alpha above 0, widened by
// the pixel that linear filtering reads beside it on each side (within the
// picture). The whole picture for one without alpha; an empty box (all 0)
// for one whose alpha is 0 everywhere. Reads only the clear pixels round
// the visible ones, and a pixel or two a row.
TextureBox visibleBox(const PngImage& image);

// Decodes a PNG file at its own size; false (image untouched) for a missing,
// unreadable or non-PNG file, or one whose header claims an absurd size
// (over 16384 a side or 64 Mi pixels). A gAMA chunk is honoured: the values
// are converted for an sRGB screen. Makes no GL call.
bool decodePng(const char* path, PngImage& image);

// The same, rescaled (nearest pixel) to the next powers of two of the
// picture's sides, each capped at maxSize (a power of two), as the rows are
// read: only the rescaled picture and one row are ever held.
bool decodePngToPowerOfTwo(const char* path, int maxSize, PngImage& image);

// What a texture is uploaded from: the file decoded to powers of two (capped
// at maxSize), then every smaller mipmap level down to 1 by 1, each the
// rounded average of 2 by 2 blocks of the one before. False (levels
// untouched) when the file cannot be decoded.
bool decodeTextureLevels(const char* path, int maxSize, std::vector<PngImage>& levels);

// Texture memory of count levels from first on, bytes at four a texel.
std::uint64_t textureBytes(const std::vector<PngImage>& levels, std::size_t first,
                           std::size_t count);
