#include "render/PngBind.h"

#include <GL/gl.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "render/PictureCache.h"
#include "render/UnpackAlignment.h"

namespace {

// The picture size limits. The game's largest pictures are 1024 by 1024; one
// may be four times that: 16 MiB decoded as RGBA and as much again for its
// power-of-two rescale, checked from the header before either is allocated.
// widest or tallest picture the decoder accepts, pixels
constexpr png_uint_32 MaxSide = 4096;
// most pixels once the sides are rounded up to powers of two, as the texture
// holds them (2048 by 2048)
constexpr std::uint64_t MaxTexturePixels = 4ull * 1024 * 1024;

// Texture memory all pictures together may take, bytes at four a texel,
// mipmaps included: two and a half times what the game's own 689 textures
// take (about 100 MiB). A customer builds its own texture of each of its
// pictures, so a picture file within the size limits could still be loaded
// 69 times over; once the budget is spent, further pictures draw as plain
// squares and the game's peak memory stays under twice its usual.
constexpr std::uint64_t TextureBudget = 256ull << 20;

// The smallest power of two at least side, but never above maxSize.
int powerOfTwoAtLeast(int side, int maxSize) {
    int size = 1;
    while (size < side && size < maxSize) {
        size *= 2;
    }
    return size;
}

// Whether a header's size is one we are willing to allocate for, rescale
// included; checked before any pixel is read.
bool sizeAcceptable(png_uint_32 width, png_uint_32 height) {
    if (width > MaxSide || height > MaxSide) {
        return false;
    }
    const int side = static_cast<int>(MaxSide);
    const std::uint64_t texturePixels =
        static_cast<std::uint64_t>(powerOfTwoAtLeast(static_cast<int>(width), side)) *
        static_cast<std::uint64_t>(powerOfTwoAtLeast(static_cast<int>(height), side));
    return texturePixels <= MaxTexturePixels;
}

// A broken file: libpng says why, and we give up on the file quietly
// (a picture that fails to load draws as a plain square).
void stopReading(png_structp png, png_const_charp /*message*/) { png_longjmp(png, 1); }

// Warnings about chunks we do not use.
void ignoreWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// The open file and libpng's read structures, let go of however the decode ends.
struct PngReader {
    std::FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;

    PngReader() = default;
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;
    ~PngReader() {
        png_destroy_read_struct(&png, &info, nullptr);
        if (file != nullptr) {
            std::fclose(file);
        }
    }
};

// Reads the chunks before the pixels and asks for 8-bit RGB rows, with alpha
// only when the colour type has an alpha channel (a tRNS chunk is ignored, so
// clear pixels keep their colour); width, height and channels are the rows'
// layout. False for a broken file or a size we refuse. libpng's errors jump
// back here, so this frame holds nothing that needs destroying.
bool readHeader(png_structp png, png_infop info, png_uint_32& width, png_uint_32& height,
                int& channels) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    if (!sizeAcceptable(width, height)) {
        return false;
    }
    const int colourType = png_get_color_type(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_palette_to_rgb(png);
    }
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    if ((colourType & PNG_COLOR_MASK_ALPHA) == 0) {
        png_set_strip_alpha(png);
    }
    // 16-bit samples are the picture's own colours, rounded to 8 bits.
    png_set_scale_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    channels = png_get_channels(png, info);
    return true;
}

// Reads every row into rows; false for a broken or cut-short file. As above,
// libpng's errors jump back into a frame with nothing to destroy.
bool readRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_image(png, rows);
    return true;
}

// Source index under the centre of destination index i, when n source
// pixels are stretched over m destination pixels.
int nearestSource(int i, int n, int m) { return static_cast<int>((2ll * i + 1) * n / (2ll * m)); }

// The next mipmap level: each pixel the rounded average of a 2 by 2 block.
// Once a side is down to one pixel the block's two pixels on that side are
// one and the same, which gives the rounded average of a 2 by 1 or 1 by 2
// block.
PngImage halve(const PngImage& image) {
    PngImage half;
    half.width = image.width > 1 ? image.width / 2 : 1;
    half.height = image.height > 1 ? image.height / 2 : 1;
    half.channels = image.channels;
    half.pixels.resize(static_cast<size_t>(half.width) * half.height * half.channels);
    const size_t rowBytes = static_cast<size_t>(image.width) * image.channels;
    // bytes from a pixel to its neighbour on the right and to the one below
    const size_t right = image.width > 1 ? image.channels : 0;
    const size_t below = image.height > 1 ? rowBytes : 0;
    unsigned char* out = half.pixels.data();
    for (int y = 0; y < half.height; ++y) {
        const unsigned char* row = image.pixels.data() + 2 * static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < half.width; ++x) {
            const unsigned char* p = row + 2 * static_cast<size_t>(x) * image.channels;
            for (int c = 0; c < image.channels; ++c) {
                *out++ = static_cast<unsigned char>(
                    (p[c] + p[c + right] + p[c + below] + p[c + right + below] + 2) / 4);
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
    PngReader reader;
    reader.file = std::fopen(path, "rb");
    if (reader.file == nullptr) {
        return false;
    }
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, stopReading, ignoreWarning);
    reader.info = reader.png != nullptr ? png_create_info_struct(reader.png) : nullptr;
    if (reader.info == nullptr) {
        return false;
    }
    png_init_io(reader.png, reader.file);
    // Every chunk's CRC, picture data included, is still checked: zlib's
    // second checksum of the same bytes only costs start-up time.
    png_set_option(reader.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int channels = 0;
    if (!readHeader(reader.png, reader.info, width, height, channels)) {
        return false;
    }
    PngImage decoded;
    decoded.width = static_cast<int>(width);
    decoded.height = static_cast<int>(height);
    decoded.channels = channels;
    decoded.pixels.resize(static_cast<size_t>(width) * height * channels);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) {
        rows[y] = decoded.pixels.data() + static_cast<size_t>(y) * width * channels;
    }
    if (!readRows(reader.png, rows.data())) {
        return false;
    }
    image = std::move(decoded);
    return true;
}

PngImage toPowerOfTwo(PngImage image, int maxSize) {
    PngImage scaled;
    scaled.width = powerOfTwoAtLeast(image.width, maxSize);
    scaled.height = powerOfTwoAtLeast(image.height, maxSize);
    scaled.channels = image.channels;
    if (scaled.width == image.width && scaled.height == image.height) {
        return image;
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

bool decodeTextureLevels(const char* path, int maxSize, std::vector<PngImage>& levels) {
    PngImage image;
    if (!decodePng(path, image)) {
        return false;
    }
    std::vector<PngImage> made;
    made.push_back(toPowerOfTwo(std::move(image), maxSize));
    while (made.back().width > 1 || made.back().height > 1) {
        made.push_back(halve(made.back()));
    }
    levels = std::move(made);
    return true;
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

    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    PictureCache* const cache = PictureCache::current();
    std::vector<PngImage> ownLevels;
    const std::vector<PngImage>* levels = cache != nullptr ? cache->textureLevels(path, maxSize)
                                          : decodeTextureLevels(path, maxSize, ownLevels)
                                              ? &ownLevels
                                              : nullptr;
    if (levels == nullptr) {
        return 0;
    }
    const size_t uploaded = mipmap == PNG_BUILDMIPMAPS ? levels->size() : 1;
    // bytes of texture made so far, for the budget
    static std::uint64_t textureBytes = 0;
    std::uint64_t bytes = 0;
    for (size_t index = 0; index < uploaded; ++index) {
        bytes += 4ull * static_cast<std::uint64_t>((*levels)[index].width) *
                 static_cast<std::uint64_t>((*levels)[index].height);
    }
    if (textureBytes + bytes > TextureBudget) {
        return 0;
    }
    textureBytes += bytes;
    const UnpackAlignment unpadded;
    // Mesa gives a texture room for its whole mipmap chain at the first
    // upload only while the minification filter uses mipmaps; under
    // GL_LINEAR every further level got an allocation of its own (about
    // 70 MB more at start-up, and slower). The filter asked for is set back
    // once the levels are in; what is drawn does not change.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    uploaded > 1 ? GL_LINEAR_MIPMAP_LINEAR : minfilter);
    for (size_t index = 0; index < uploaded; ++index) {
        uploadLevel(static_cast<int>(index), (*levels)[index]);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minfilter);
    return name;
}
