#include "render/PngBind.h"

#include <GL/gl.h>
#include <png.h>

#include <cstdint>
#include <fstream>
#include <utility>

namespace {

// widest or tallest picture the decoder accepts, pixels
constexpr png_uint_32 MaxSide = 16384;
// most pixels the decoder accepts in one picture (64 Mi)
constexpr std::uint64_t MaxPixels = 64ull * 1024 * 1024;

// Whether the file's colour type carries an alpha channel (grey or RGB with
// alpha); the colour type is byte 25 of the file, in the IHDR chunk that
// every PNG starts with.
bool hasAlphaChannel(const char* path) {
    constexpr std::streamoff ColourTypeOffset = 25;
    std::ifstream file(path, std::ios::binary);
    file.seekg(ColourTypeOffset);
    const int colourType = file.get();
    return colourType != std::char_traits<char>::eof() && (colourType & PNG_COLOR_MASK_ALPHA) != 0;
}

// Drops the alpha of every pixel and keeps its colour: RGBA to RGB.
void dropAlpha(PngImage& image) {
    std::vector<unsigned char> rgb;
    rgb.reserve(image.pixels.size() / 4 * 3);
    for (size_t index = 0; index < image.pixels.size(); index += 4) {
        rgb.insert(rgb.end(), image.pixels.begin() + index, image.pixels.begin() + index + 3);
    }
    image.pixels = std::move(rgb);
    image.channels = 3;
}

// Whether a header's size is one we are willing to allocate for.
bool sizeAcceptable(png_uint_32 width, png_uint_32 height) {
    return width <= MaxSide && height <= MaxSide &&
           static_cast<std::uint64_t>(width) * height <= MaxPixels;
}

// The smallest power of two at least side, but never above maxSize.
int powerOfTwoAtLeast(int side, int maxSize) {
    int size = 1;
    while (size < side && size < maxSize) {
        size *= 2;
    }
    return size;
}

// Source index under the centre of destination index i, when n source
// pixels are stretched over m destination pixels.
int nearestSource(int i, int n, int m) { return static_cast<int>((2ll * i + 1) * n / (2ll * m)); }

// The next mipmap level: each pixel the rounded average of a 2 by 2 block
// (2 by 1 or 1 by 2 once a side is down to one pixel).
PngImage halve(const PngImage& image) {
    PngImage half;
    half.width = image.width > 1 ? image.width / 2 : 1;
    half.height = image.height > 1 ? image.height / 2 : 1;
    half.channels = image.channels;
    half.pixels.resize(static_cast<size_t>(half.width) * half.height * half.channels);
    const int stepX = image.width > 1 ? 1 : 0;
    const int stepY = image.height > 1 ? 1 : 0;
    const int count = (stepX + 1) * (stepY + 1);
    for (int y = 0; y < half.height; ++y) {
        for (int x = 0; x < half.width; ++x) {
            for (int c = 0; c < image.channels; ++c) {
                int sum = 0;
                for (int dy = 0; dy <= stepY; ++dy) {
                    for (int dx = 0; dx <= stepX; ++dx) {
                        const int sx = x * 2 + dx;
                        const int sy = y * 2 + dy;
                        sum += image.pixels[(static_cast<size_t>(sy) * image.width + sx) *
                                                image.channels +
                                            c];
                    }
                }
                half.pixels[(static_cast<size_t>(y) * half.width + x) * half.channels + c] =
                    static_cast<unsigned char>((sum + count / 2) / count);
            }
        }
    }
    return half;
}

// Uploads one mipmap level of the bound texture.
void uploadLevel(int level, const PngImage& image) {
    const GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(format), image.width, image.height, 0,
                 format, GL_UNSIGNED_BYTE, image.pixels.data());
}

} // namespace

bool decodePng(const char* path, PngImage& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path)) {
        png_image_free(&png);
        return false;
    }
    if (!sizeAcceptable(png.width, png.height)) {
        png_image_free(&png);
        return false;
    }
    // 16-bit samples are the picture's own colours like 8-bit ones; left to
    // itself libpng would take them for linear light and brighten them.
    png.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    // Any transparency (an alpha channel or a tRNS chunk) is read along, so
    // that a pixel keeps its own colour when its alpha is dropped below.
    png.format = (png.format & PNG_FORMAT_FLAG_ALPHA) ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    PngImage decoded;
    decoded.width = static_cast<int>(png.width);
    decoded.height = static_cast<int>(png.height);
    decoded.channels = static_cast<int>(PNG_IMAGE_PIXEL_CHANNELS(png.format));
    decoded.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, decoded.pixels.data(), 0, nullptr)) {
        png_image_free(&png);
        return false;
    }
    // Only a real alpha channel makes an RGBA picture; grey, RGB and palette
    // pictures become RGB, whatever transparency a tRNS chunk gives them.
    if (decoded.channels == 4 && !hasAlphaChannel(path)) {
        dropAlpha(decoded);
    }
    image = std::move(decoded);
    return true;
}

PngImage toPowerOfTwo(const PngImage& image, int maxSize) {
    PngImage scaled;
    scaled.width = powerOfTwoAtLeast(image.width, maxSize);
    scaled.height = powerOfTwoAtLeast(image.height, maxSize);
    scaled.channels = image.channels;
    if (scaled.width == image.width && scaled.height == image.height) {
        scaled.pixels = image.pixels;
        return scaled;
    }
    scaled.pixels.resize(static_cast<size_t>(scaled.width) * scaled.height * scaled.channels);
    for (int y = 0; y < scaled.height; ++y) {
        const int sy = nearestSource(y, image.height, scaled.height);
        for (int x = 0; x < scaled.width; ++x) {
            const int sx = nearestSource(x, image.width, scaled.width);
            for (int c = 0; c < image.channels; ++c) {
                scaled.pixels[(static_cast<size_t>(y) * scaled.width + x) * scaled.channels + c] =
                    image.pixels[(static_cast<size_t>(sy) * image.width + sx) * image.channels + c];
            }
        }
    }
    return scaled;
}

unsigned int pngBind(const char* path, int mipmap, int /*trans*/, void* /*info*/, int wrapst,
                     int minfilter, int magfilter) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapst);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapst);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minfilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magfilter);

    PngImage image;
    if (!decodePng(path, image)) {
        return 0;
    }
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    PngImage level = toPowerOfTwo(image, maxSize);

    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    uploadLevel(0, level);
    for (int index = 1; mipmap == PNG_BUILDMIPMAPS && (level.width > 1 || level.height > 1);
         ++index) {
        level = halve(level);
        uploadLevel(index, level);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    return name;
}
