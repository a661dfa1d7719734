#include "render/PngDecode.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>

namespace {

// The sizes no real picture has, refused from the header before anything is
// allocated. A picture is read a row at a time into its texture size, so a
// big one costs no memory beyond its (capped) texture; what stays is the
// time every pixel takes to inflate and read, about half a second for the
// most allowed. 16384 is the largest texture side GL drivers offer, and more
// than a 100-megapixel camera (11648 x 8736) or an 8K frame makes; 64 Mi
// pixels is a 16384 x 4096 panorama or an 8192 x 8192 square.
// widest or tallest picture the decoder accepts, pixels
constexpr png_uint_32 MaxSide = 16384;
// most pixels in one picture
constexpr std::uint64_t MaxPixels = 64ull * 1024 * 1024;

// The smallest power of two at least side, but never above maxSize.
int powerOfTwoAtLeast(int side, int maxSize) {
    int size = 1;
    while (size < side && size < maxSize) {
        size *= 2;
    }
    return size;
}

// Whether a header's size is one a real picture may have.
bool sizeAcceptable(png_uint_32 width, png_uint_32 height) {
    return width <= MaxSide && height <= MaxSide &&
           static_cast<std::uint64_t>(width) * height <= MaxPixels;
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

// The rows as libpng hands them over.
struct RowLayout {
    // size in pixels, at most MaxSide: ints, as libpng's pass macros count
    int width = 0;
    int height = 0;
    // bytes a pixel, as read: 3 (RGB) or 4 (RGBA)
    png_byte channels = 0;
    // rows come pass by pass (Adam7), each pass's pixels packed together
    bool interlaced = false;
    // bytes of a whole row as libpng writes it
    size_t rowBytes = 0;
};

// Reads the chunks before the pixels and asks for 8-bit RGB rows, with alpha
// only when the colour type has an alpha channel (a tRNS chunk is ignored, so
// clear pixels keep their colour). False for a broken file or an absurd size.
// libpng's errors jump back here, so this frame holds nothing that needs
// destroying.
bool readHeader(png_structp png, png_infop info, RowLayout& layout) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (!sizeAcceptable(width, height)) {
        return false;
    }
    layout.width = static_cast<int>(width);
    layout.height = static_cast<int>(height);
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
    // A picture that says how its values stand for light (a gAMA chunk, or
    // sRGB) is converted for an sRGB screen, as image viewers show it: a
    // linear picture (gAMA 1.0) is brightened. Alpha is left as it is.
    // Pictures without one, the game's own, keep their stored values.
    png_fixed_point fileGamma = 0;
    if (png_get_gAMA_fixed(png, info, &fileGamma) != 0) {
        png_set_gamma_fixed(png, PNG_GAMMA_sRGB, fileGamma);
    }
    // 16-bit samples are the picture's own colours, rounded to 8 bits.
    png_set_scale_16(png);
    png_read_update_info(png, info);
    layout.channels = png_get_channels(png, info);
    layout.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    layout.rowBytes = png_get_rowbytes(png, info);
    return true;
}

// Source index under the centre of destination index i, when n source
// pixels are stretched over m destination pixels.
int nearestSource(int i, int n, int m) { return static_cast<int>((2ll * i + 1) * n / (2ll * m)); }

// A picture's sides and channels as the counts and indexes its bytes are
// reckoned in.
struct PixelGrid {
    size_t width;
    size_t height;
    size_t channels;

    explicit PixelGrid(const PngImage& image)
        : width(static_cast<size_t>(image.width)), height(static_cast<size_t>(image.height)),
          channels(static_cast<size_t>(image.channels)) {}
    // bytes of one row, and of the whole picture
    size_t rowBytes() const { return width * channels; }
    size_t bytes() const { return width * height * channels; }
};

// Where the picture's pixels go: for each destination row and column, the
// source row and column it takes its pixel from (never decreasing), and a
// buffer for one row as read.
struct Sampling {
    std::vector<int> sourceRow;
    std::vector<int> sourceColumn;
    std::vector<png_byte> row;
    // whether every column takes its own
    bool sameWidth = false;
};

// Copies the pixels of source row y that the picture takes into every
// destination row that takes from it. The row holds the source columns
// first, first + step, ... (all of them for a plain picture; one Adam7
// pass's for an interlaced one).
void placeRow(const png_byte* row, int y, int first, int step, const Sampling& sampling,
              PngImage& image) {
    const PixelGrid grid(image);
    const int* rows = sampling.sourceRow.data();
    const int* const rowsEnd = rows + sampling.sourceRow.size();
    for (const int* take = std::lower_bound(rows, rowsEnd, y); take != rowsEnd && *take == y;
         ++take) {
        unsigned char* out =
            image.pixels.data() + static_cast<size_t>(take - rows) * grid.rowBytes();
        // a whole row at its own size: the game's own pictures
        if (step == 1 && sampling.sameWidth) {
            std::memcpy(out, row, grid.rowBytes());
            continue;
        }
        for (size_t x = 0; x < grid.width; ++x) {
            // signed: a pass's first column may lie right of the source column
            const int column = sampling.sourceColumn[x] - first;
            if (column >= 0 && column % step == 0) {
                std::memcpy(out + x * grid.channels,
                            row + static_cast<size_t>(column / step) * grid.channels,
                            grid.channels);
            }
        }
    }
}

// Reads every row, pass by pass for an interlaced picture, placing the
// pixels the picture takes; false for a broken or cut-short file. As above,
// libpng's errors jump back into a frame with nothing to destroy.
bool readRows(png_structp png, const RowLayout& layout, Sampling& sampling, PngImage& image) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    const int passes = layout.interlaced ? 7 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int columns = layout.interlaced ? PNG_PASS_COLS(layout.width, pass) : layout.width;
        const int rows = layout.interlaced ? PNG_PASS_ROWS(layout.height, pass) : layout.height;
        // libpng skips a pass with no pixels
        if (columns == 0 || rows == 0) {
            continue;
        }
        const int first = layout.interlaced ? PNG_PASS_START_COL(pass) : 0;
        const int step = layout.interlaced ? 1 << PNG_PASS_COL_SHIFT(pass) : 1;
        for (int index = 0; index < rows; ++index) {
            png_read_row(png, sampling.row.data(), nullptr);
            const int y = layout.interlaced ? PNG_ROW_FROM_PASS_ROW(index, pass) : index;
            placeRow(sampling.row.data(), y, first, step, sampling, image);
        }
    }
    return true;
}

// Decodes the file into a picture of the size sized(file's width, height).
template <typename Sizer> bool decode(const char* path, Sizer sized, PngImage& image) {
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
    RowLayout layout;
    if (!readHeader(reader.png, reader.info, layout)) {
        return false;
    }
    PngImage decoded;
    const int width = layout.width;
    const int height = layout.height;
    std::tie(decoded.width, decoded.height) = sized(width, height);
    decoded.channels = layout.channels;
    decoded.pixels.resize(PixelGrid(decoded).bytes());
    Sampling sampling;
    for (int y = 0; y < decoded.height; ++y) {
        sampling.sourceRow.push_back(nearestSource(y, height, decoded.height));
    }
    for (int x = 0; x < decoded.width; ++x) {
        sampling.sourceColumn.push_back(nearestSource(x, width, decoded.width));
    }
    sampling.sameWidth = decoded.width == width;
    sampling.row.resize(std::max(layout.rowBytes, static_cast<size_t>(width) * layout.channels));
    if (!readRows(reader.png, layout, sampling, decoded)) {
        return false;
    }
    image = std::move(decoded);
    return true;
}

// The next mipmap level: each pixel the rounded average of a 2 by 2 block.
// Once a side is down to one pixel the block's two pixels on that side are
// one and the same, which gives the rounded average of a 2 by 1 or 1 by 2
// block.
PngImage halve(const PngImage& image) {
    PngImage half;
    half.width = image.width > 1 ? image.width / 2 : 1;
    half.height = image.height > 1 ? image.height / 2 : 1;
    half.channels = image.channels;
    const PixelGrid from(image);
    const PixelGrid to(half);
    half.pixels.resize(to.bytes());
    // bytes from a pixel to its neighbour on the right and to the one below
    const size_t right = from.width > 1 ? from.channels : 0;
    const size_t below = from.height > 1 ? from.rowBytes() : 0;
    unsigned char* out = half.pixels.data();
    for (size_t y = 0; y < to.height; ++y) {
        const unsigned char* row = image.pixels.data() + 2 * y * from.rowBytes();
        for (size_t x = 0; x < to.width; ++x) {
            const unsigned char* p = row + 2 * x * from.channels;
            for (size_t c = 0; c < from.channels; ++c) {
                *out++ = static_cast<unsigned char>(
                    (p[c] + p[c + right] + p[c + below] + p[c + right + below] + 2) / 4);
            }
        }
    }
    return half;
}

} // namespace

bool decodePng(const char* path, PngImage& image) {
    return decode(
        path, [](int width, int height) { return std::make_pair(width, height); }, image);
}

bool decodePngToPowerOfTwo(const char* path, int maxSize, PngImage& image) {
    return decode(
        path,
        [maxSize](int width, int height) {
            return std::make_pair(powerOfTwoAtLeast(width, maxSize),
                                  powerOfTwoAtLeast(height, maxSize));
        },
        image);
}

bool decodeTextureLevels(const char* path, int maxSize, std::vector<PngImage>& levels) {
    std::vector<PngImage> made(1);
    if (!decodePngToPowerOfTwo(path, maxSize, made.back())) {
        return false;
    }
    while (made.back().width > 1 || made.back().height > 1) {
        made.push_back(halve(made.back()));
    }
    levels = std::move(made);
    return true;
}

std::uint64_t textureBytes(const std::vector<PngImage>& levels, std::size_t first,
                           std::size_t count) {
    std::uint64_t bytes = 0;
    for (size_t index = first; index < first + count && index < levels.size(); ++index) {
        bytes += std::uint64_t{4} * static_cast<std::uint64_t>(levels[index].width) *
                 static_cast<std::uint64_t>(levels[index].height);
    }
    return bytes;
}

TextureBox visibleBox(const PngImage& image) {
    if (image.channels != 4) {
        return TextureBox{};
    }
    const PixelGrid grid(image);
    // columns [left, right) and rows [top, bottom) of the pixels with alpha above 0
    size_t left = grid.width;
    size_t right = 0;
    size_t top = grid.height;
    size_t bottom = 0;
    for (size_t y = 0; y < grid.height; ++y) {
        const unsigned char* const alpha = image.pixels.data() + y * grid.rowBytes() + 3;
        size_t first = 0;
        while (first < grid.width && alpha[first * 4] == 0) {
            ++first;
        }
        if (first == grid.width) {
            continue;
        }
        size_t last = grid.width - 1;
        while (alpha[last * 4] == 0) {
            --last;
        }
        left = std::min(left, first);
        right = std::max(right, last + 1);
        top = std::min(top, y);
        bottom = y + 1;
    }
    if (bottom == 0) {
        return TextureBox{0.0f, 0.0f, 0.0f, 0.0f};
    }
    // A texture's sides are powers of two up to 2048: its edges are exact.
    const auto edge = [](size_t index, size_t side) {
        return static_cast<float>(index) / static_cast<float>(side);
    };
    return TextureBox{edge(left > 0 ? left - 1 : 0, grid.width),
                      edge(top > 0 ? top - 1 : 0, grid.height),
                      edge(std::min(right + 1, grid.width), grid.width),
                      edge(std::min(bottom + 1, grid.height), grid.height)};
}
