#include "render/PngBind.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "app/Backdrop.h"
#include "market/Market.h"
#include "market/RandomGenerator.h"
#include "render/SpriteQuad.h"
#include "tests/support/GameWindow.h"
#include "tests/support/TestSupport.h"

using Bytes = std::vector<unsigned char>;
namespace fs = std::filesystem;

namespace {

// Runs decode with the address space held to its present size plus room
// bytes, so that holding more than that fails here instead of eating the
// machine: "decoded", "refused" or "out of memory".
std::string decodeInLittleMemory(const std::function<bool()>& decode, size_t room) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit saved{};
    getrlimit(RLIMIT_AS, &saved);
    const rlimit tight{static_cast<rlim_t>(pages) * 4096 + room, saved.rlim_max};
    setrlimit(RLIMIT_AS, &tight);
    std::string outcome;
    try {
        outcome = decode() ? "decoded" : "refused";
    } catch (const std::bad_alloc&) {
        outcome = "out of memory";
    }
    setrlimit(RLIMIT_AS, &saved);
    return outcome;
}

// The colour of a test picture's pixel (x, y).
using Painter = std::function<Rgb(int x, int y)>;

// Writes an RGB picture (black without a painter), interlaced (Adam7) or
// not, with a gAMA chunk when gamma (the file's, 100000 for 1.0) is not 0.
// Returns path.
std::string writePicture(const std::string& path, int width, int height, const Painter& paint,
                         bool interlaced = false, png_fixed_point gamma = 0) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Bytes row(static_cast<size_t>(width) * 3);
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_compression_level(png, 1);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                     8, PNG_COLOR_TYPE_RGB, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (gamma != 0) {
            png_set_gAMA_fixed(png, info, gamma);
        }
        png_write_info(png, info);
        const int passes = png_set_interlace_handling(png);
        for (int pass = 0; pass < passes; ++pass) {
            for (int y = 0; y < height; ++y) {
                for (int x = 0; paint && x < width; ++x) {
                    const Rgb colour = paint(x, y);
                    const size_t at = 3 * static_cast<size_t>(x);
                    row[at] = static_cast<unsigned char>(colour.r);
                    row[at + 1] = static_cast<unsigned char>(colour.g);
                    row[at + 2] = static_cast<unsigned char>(colour.b);
                }
                png_write_row(png, row.data());
            }
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return path;
}

// A black picture of that size.
std::string blackPicture(const std::string& path, int width, int height) {
    return writePicture(path, width, height, nullptr);
}

// A PNG file claiming width by height pixels (RGBA) with no pixel data:
// its signature, header chunk and an empty data chunk.
std::string pictureHeader(const std::string& path, png_uint_32 width, png_uint_32 height) {
    Bytes bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    const auto append = [&bytes](png_uint_32 value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<unsigned char>(value >> shift));
        }
    };
    const auto chunk = [&](Bytes content) {
        append(static_cast<png_uint_32>(content.size() - 4));
        bytes.insert(bytes.end(), content.begin(), content.end());
        append(
            static_cast<png_uint_32>(crc32(0, content.data(), static_cast<uInt>(content.size()))));
    };
    Bytes header = {'I', 'H', 'D', 'R'};
    for (const png_uint_32 side : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            header.push_back(static_cast<unsigned char>(side >> shift));
        }
    }
    header.insert(header.end(), {8, 6, 0, 0, 0});
    chunk(header);
    chunk({'I', 'D', 'A', 'T'});
    writeFile(path, bytes);
    return path;
}

// Four quarters: red top left, green top right, blue bottom left, white
// bottom right.
Rgb quarters(int x, int y, int width, int height) {
    const bool right = x >= width / 2;
    if (y < height / 2) {
        return right ? Rgb{0, 255, 0} : Rgb{255, 0, 0};
    }
    return right ? Rgb{255, 255, 255} : Rgb{0, 0, 255};
}

// A colour that compares.
using Colour = std::array<int, 3>;
Colour of(const Rgb& colour) { return {colour.r, colour.g, colour.b}; }

// The colours of a decoded RGB picture, row by row.
std::vector<Colour> colours(const PngImage& image) {
    std::vector<Colour> result;
    for (size_t index = 0; index + 2 < image.pixels.size();
         index += static_cast<size_t>(image.channels)) {
        result.push_back({image.pixels[index], image.pixels[index + 1], image.pixels[index + 2]});
    }
    return result;
}

// Peak resident memory of the game, KiB, once its title is up (all loaded),
// run in its own X server from a copy of the data with pictures replaced
// (name in images/, replacement file).
long gamePeakKb(const std::vector<std::pair<std::string, std::string>>& replaced) {
    static int runs = 0;
    const fs::path folder = fs::path(scratchPath("data-" + std::to_string(++runs)));
    fs::copy(dataPath(), folder, fs::copy_options::recursive);
    for (const auto& [picture, replacement] : replaced) {
        fs::copy_file(replacement, folder / "images" / picture,
                      fs::copy_options::overwrite_existing);
    }
    VirtualDisplay display;
    const auto game = startGame(display, gameCommand(folder.string()));
    game->titleScreen();
    return game->peakMemoryKb();
}

// The texture the display list binds, 0 for a plain square.
GLint boundTexture(int list) {
    glBindTexture(GL_TEXTURE_2D, 0);
    glCallList(static_cast<GLuint>(list));
    GLint texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    return texture;
}

} // namespace

TEST(PngDecode, OnlyAbsurdHeadersAreRefusedAndBigPicturesAreReadIntoTheirTextureSize) {
    // refused from the header, before even the 16 MiB of their texture size
    // is allocated
    const std::string paths[] = {blackPicture(scratchPath("wide.png"), 16385, 1),
                                 pictureHeader(scratchPath("square.png"), 8193, 8193),
                                 fixturePath("picture-huge-header.png")};
    for (const std::string& path : paths) {
        PngImage image;
        EXPECT_EQ(
            decodeInLittleMemory(
                [&] { return decodePngToPowerOfTwo(path.c_str(), PictureCap, image); }, 8u << 20),
            "refused")
            << path;
    }
    // The largest allowed, 16384 x 4096, whose own size would take 192 MiB,
    // becomes its 2048 x 2048 texture (and mipmaps) within 64 MiB.
    const std::string widest = blackPicture(scratchPath("widest.png"), 16384, 4096);
    std::vector<PngImage> levels;
    EXPECT_EQ(
        decodeInLittleMemory(
            [&] { return decodeTextureLevels(widest.c_str(), PictureCap, levels); }, 64u << 20),
        "decoded");
    ASSERT_EQ(levels.size(), 12u);
    EXPECT_EQ(std::make_pair(levels[0].width, levels[0].height), std::make_pair(2048, 2048));
}

TEST(PngDecode, RowsAndPassesLandWhereNearestPixelRescalingPutsThem) {
    const auto paint = [](int x, int y) { return Rgb{x * 19, y * 37, (x * y) % 256}; };
    std::vector<Colour> plain[3];
    for (const bool interlaced : {false, true}) {
        // 13 x 7 has pixels of every Adam7 pass, and passes of odd sizes
        const std::string path = writePicture(scratchPath("odd.png"), 13, 7, paint, interlaced);
        PngImage own, up, down;
        ASSERT_TRUE(decodePng(path.c_str(), own)) << interlaced;
        // up to 16 x 8, and down to the cap of 4 x 4
        ASSERT_TRUE(decodePngToPowerOfTwo(path.c_str(), 2048, up));
        ASSERT_TRUE(decodePngToPowerOfTwo(path.c_str(), 4, down));
        ASSERT_EQ(std::make_pair(up.width, up.height), std::make_pair(16, 8));
        ASSERT_EQ(std::make_pair(down.width, down.height), std::make_pair(4, 4));
        if (!interlaced) {
            plain[0] = colours(own);
            plain[1] = colours(up);
            plain[2] = colours(down);
            continue;
        }
        // an interlaced picture decodes to the very same pixels
        EXPECT_TRUE(colours(own) == plain[0]);
        EXPECT_TRUE(colours(up) == plain[1]);
        EXPECT_TRUE(colours(down) == plain[2]);
    }
    std::vector<Colour> expected;
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 13; ++x) {
            expected.push_back(of(paint(x, y)));
        }
    }
    EXPECT_TRUE(plain[0] == expected);
    // each pixel takes the source pixel under its centre
    EXPECT_TRUE(plain[1][16 + 1] == of(paint(1, 1)));
    EXPECT_TRUE(plain[1][3 * 16 + 5] == of(paint(4, 3)));
    EXPECT_TRUE(plain[1][7 * 16 + 15] == of(paint(12, 6)));
    EXPECT_TRUE(plain[2][0] == of(paint(1, 0)));
    EXPECT_TRUE(plain[2][3 * 4 + 3] == of(paint(11, 6)));
}

TEST(PngDecode, AlphaOnlyFromAnAlphaChannelAndBadFilesRefused) {
    PngImage image;
    ASSERT_TRUE(decodePng(fixturePath("picture-upright.png").c_str(), image));
    EXPECT_EQ(image.channels, 4);
    EXPECT_EQ(Bytes(image.pixels.begin(), image.pixels.begin() + 8),
              (Bytes{9, 8, 7, 0, 255, 255, 255, 255}));
    // A palette entry made clear by a tRNS chunk keeps its colour in an RGB picture.
    ASSERT_TRUE(decodePng(fixturePath("picture-palette-clear.png").c_str(), image));
    EXPECT_EQ(std::make_pair(image.channels, image.pixels),
              std::make_pair(3, Bytes{200, 10, 20, 30, 40, 250}));
    // 16-bit samples keep their brightness: 0x8080 is 128, not brightened as linear light.
    ASSERT_TRUE(decodePng(fixturePath("picture-grey-16bit.png").c_str(), image));
    EXPECT_EQ(image.pixels, (Bytes{128, 128, 128, 255, 255, 255}));
    // an sRGB chunk keeps the values as they are
    ASSERT_TRUE(decodePng(fixturePath("picture-grey.png").c_str(), image));
    EXPECT_EQ(image.pixels, (Bytes{70, 70, 70, 200, 200, 200}));

    // picture-data-changed.png: one bit of a game picture's data flipped after
    // it was written; it still inflates, and only the chunk's CRC tells.
    for (const char* name :
         {"none.png", "picture-truncated.png", "picture-garbage.png", "picture-data-changed.png"}) {
        EXPECT_FALSE(decodePng(fixturePath(name).c_str(), image)) << name;
    }
    EXPECT_EQ(image.pixels, (Bytes{70, 70, 70, 200, 200, 200})) << "a refused file leaves it";
}

TEST(PngDecode, TheVisibleBoxIsThePixelsAboveAlphaZeroWidenedByOneWithinThePicture) {
    PngImage image;
    image.width = 8;
    image.height = 4;
    image.channels = 4;
    const auto boxWith = [&image](const std::vector<std::pair<int, int>>& shown) {
        image.pixels.assign(8 * 4 * 4, 0);
        for (const auto& [x, y] : shown) {
            image.pixels[static_cast<size_t>((y * 8 + x) * 4 + 3)] = 1;
        }
        const TextureBox box = visibleBox(image);
        return std::vector<float>{box.left, box.top, box.right, box.bottom};
    };
    EXPECT_EQ(boxWith({{3, 1}}), (std::vector<float>{0.25f, 0.0f, 0.625f, 0.75f}));
    EXPECT_EQ(boxWith({{4, 2}, {2, 1}}), (std::vector<float>{0.125f, 0.0f, 0.75f, 1.0f}));
    EXPECT_EQ(boxWith({{0, 0}, {7, 3}}), (std::vector<float>{0.0f, 0.0f, 1.0f, 1.0f}));
    EXPECT_EQ(boxWith({}), (std::vector<float>{0.0f, 0.0f, 0.0f, 0.0f}));
    image.channels = 3;
    EXPECT_EQ(boxWith({}), (std::vector<float>{0.0f, 0.0f, 1.0f, 1.0f}));
}

TEST(PngDecode, ALinearPictureIsBrightenedForTheScreenAsViewersShowIt) {
    const auto paint = [](int x, int) { return x == 1 ? Rgb{182, 149, 59} : Rgb{0, 128, 255}; };
    PngImage image;
    ASSERT_TRUE(decodePng(
        writePicture(scratchPath("linear.png"), 3, 1, paint, false, 100000).c_str(), image));
    EXPECT_EQ(image.pixels, (Bytes{0, 186, 255, 219, 200, 131, 0, 186, 255}));
    // the same picture without gAMA keeps its stored values
    ASSERT_TRUE(decodePng(writePicture(scratchPath("plain.png"), 3, 1, paint).c_str(), image));
    EXPECT_EQ(image.pixels, (Bytes{0, 128, 255, 182, 149, 59, 0, 128, 255}));
}

TEST(PngBind, PicturesBeyondTheCapAreScaledDownAndDrawnWhole) {
    ensureGlContext();
    // a screenshot-sized picture in four quarters, and a strip in four bands
    const std::string screenshot =
        writePicture(scratchPath("screenshot.png"), 2560, 1440,
                     [](int x, int y) { return quarters(x, y, 2560, 1440); });
    const Rgb bands[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    const std::string strip = writePicture(scratchPath("strip.png"), 5000, 10,
                                           [&](int x, int) { return bands[x / 1250]; });
    for (const std::string& path : {screenshot, strip}) {
        int list = -1, texture = -1;
        buildSpriteQuad(list, texture, path.c_str());
        ASSERT_GT(texture, 0) << path;
        GLint width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        EXPECT_EQ(width, PictureCap) << path;
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        beginSpriteDrawing();
        glColor4f(1, 1, 1, 1);
        drawSpriteQuad(list, 0.0f, 37.5f, 0.0f, 100.0f, 75.0f);
        endSpriteDrawing();
        if (path == screenshot) {
            EXPECT_TRUE(near(pixelAtGamePoint(-25, 56), Rgb{255, 0, 0}, 2));
            EXPECT_TRUE(near(pixelAtGamePoint(25, 56), Rgb{0, 255, 0}, 2));
            EXPECT_TRUE(near(pixelAtGamePoint(-25, 19), Rgb{0, 0, 255}, 2));
            EXPECT_TRUE(near(pixelAtGamePoint(25, 19), Rgb{255, 255, 255}, 2));
        } else {
            for (int band = 0; band < 4; ++band) {
                EXPECT_TRUE(near(pixelAtGamePoint(-37.5f + 25.0f * static_cast<float>(band), 37.5f),
                                 bands[band], 2))
                    << band;
            }
        }
    }
}

// Once the pictures made take 224 MiB, a new file is made at most 256 pixels
// a side instead of at its full size, and 96 such fit after that.
TEST(PngBind, PastTheFullSizeLimitNewPicturesAreMadeSmallNotRefused) {
    ensureGlContext();
    const std::string big = writePicture(scratchPath("big.png"), 2048, 2048,
                                         [](int x, int y) { return quarters(x, y, 2048, 2048); });
    int fullSize = 0, small = 0;
    for (int file = 0; small < 24; ++file) {
        ASSERT_LT(fullSize, 12) << "224 MiB hold ten 2048 x 2048 pictures and some";
        const std::string path = scratchPath("big-" + std::to_string(file) + ".png");
        fs::copy_file(big, path);
        int list = -1, texture = -1;
        buildSpriteQuad(list, texture, path.c_str());
        ASSERT_GT(texture, 0) << file;
        GLint width = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        if (width == PictureCap) {
            ASSERT_EQ(small, 0) << file;
            ++fullSize;
        } else {
            ASSERT_EQ(width, 256) << file;
            ++small;
        }
        fs::remove(path);
    }
    // still the whole picture
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    int list = -1, texture = -1;
    buildSpriteQuad(list, texture, big.c_str());
    drawSpriteQuad(list, 0.0f, 37.5f, 0.0f, 100.0f, 75.0f);
    glDisable(GL_TEXTURE_2D);
    EXPECT_TRUE(near(pixelAtGamePoint(-25, 56), Rgb{255, 0, 0}, 2));
    EXPECT_TRUE(near(pixelAtGamePoint(25, 19), Rgb{255, 255, 255}, 2));
}

// Every customer builds its own texture of each hat: three hats of 512 x 512
// would take 276 MiB. Copies stop at the copy limit and share the first
// texture, and the sidebar, loaded last, still gets its own.
TEST(PngBind, BigHatsLeaveTheStreetAndTheWholeSidebarDrawn) {
    ensureGlContext();
    const fs::path data = fs::path(scratchPath("data"));
    fs::copy(dataPath(), data, fs::copy_options::recursive);
    for (const char* hat : {"topHat.png", "jesterhat.png", "visor.png"}) {
        writePicture((data / "images" / hat).string(), 512, 512,
                     [](int x, int y) { return quarters(x, y, 512, 512); });
    }
    Backdrop::instance().setRect(75.0, 50.0, 0.0, -50.0);
    RandomGenerator::seed(7u);
    const auto street = std::make_unique<Market>();
    {
        const ScopedDirectory inData(data.string());
        street->initialise();
    }
    const Sidebar& bar = street->sidebar;
    std::vector<int> sidebarLists = {bar.panelList,          bar.signMenuButtonList,
                                     bar.saleMenuButtonList, bar.promotionMenuButtonList,
                                     bar.windowButtonList,   bar.handoutButtonList,
                                     bar.freeHatButtonList,  bar.productButtonList,
                                     bar.bigSignButtonList,  bar.mediumSignButtonList,
                                     bar.smallSignButtonList};
    sidebarLists.insert(sidebarLists.end(), std::begin(bar.saleButtonLists),
                        std::end(bar.saleButtonLists));
    for (size_t index = 0; index < sidebarLists.size(); ++index) {
        EXPECT_NE(boundTexture(sidebarLists[index]), 0) << "sidebar picture " << index;
    }
    for (const Customer& shopper : street->shoppers) {
        for (int list : {shopper.topHatList, shopper.jesterHatList, shopper.visorList,
                         shopper.femaleMusicBoxBagList}) {
            ASSERT_NE(boundTexture(list), 0);
        }
    }
}

// A hat of 2048 x 2048 would be loaded 69 times over without the texture
// budget; a 2560 x 1440 street with three 512 x 512 hats is what a modder
// may well try.
TEST(PngBind, NoPictureFilesTakeTheGamePastTwiceItsUsualPeakMemory) {
    const long usual = gamePeakKb({});
    ASSERT_GT(usual, 0);
    const long withBigHat =
        gamePeakKb({{"topHat.png", blackPicture(scratchPath("big.png"), 2048, 2048)}});
    EXPECT_LT(withBigHat, 2 * usual) << usual << " KiB usually";
    const std::string hat = writePicture(scratchPath("hat.png"), 512, 512,
                                         [](int x, int y) { return quarters(x, y, 512, 512); });
    const std::string street =
        writePicture(scratchPath("street.png"), 2560, 1440,
                     [](int x, int y) { return quarters(x, y, 2560, 1440); });
    const long withBigContent = gamePeakKb({{"topHat.png", hat},
                                            {"jesterhat.png", hat},
                                            {"visor.png", hat},
                                            {"background.png", street}});
    EXPECT_LT(withBigContent, 2 * usual) << usual << " KiB usually";
    std::cerr << "peak memory: " << usual << " KiB usually, " << withBigHat
              << " KiB with a 2048 x 2048 hat, " << withBigContent
              << " KiB with three 512 x 512 hats on a 2560 x 1440 street\n";
}
