#include "render/PngBind.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <new>

#include "tests/render/PngFixture.h"
#include "tests/support/TestSupport.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A real 1 by 1 PNG whose header is rewritten to claim width by height.
std::string pngClaiming(unsigned width, unsigned height) {
    Bytes bytes = readFile(writePng("claim.png", 1, 1, PNG_FORMAT_RGB, {1, 2, 3}));
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = static_cast<unsigned char>(width >> (24 - 8 * i));
        bytes[20 + i] = static_cast<unsigned char>(height >> (24 - 8 * i));
    }
    const uLong crc = crc32(0, &bytes[12], 17);
    for (int i = 0; i < 4; ++i) {
        bytes[29 + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
    }
    const std::string path = fixtureFolder() + "/claim.png";
    writeFile(path, bytes);
    return path;
}

// Decodes with the address space held to what the process has now plus
// 256 MiB, so a decoder that believes a huge header fails to allocate.
bool decodeWithLittleMemory(const std::string& path, PngImage& image) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit saved{};
    getrlimit(RLIMIT_AS, &saved);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(pages) * 4096 + (256u << 20);
    setrlimit(RLIMIT_AS, &tight);
    bool decoded = true;
    try {
        decoded = decodePng(path.c_str(), image);
    } catch (const std::bad_alloc&) {
    }
    setrlimit(RLIMIT_AS, &saved);
    return decoded;
}

} // namespace

TEST(PngDecode, AlphaFilesGiveRgbaAndTheRestRgbTopRowFirst) {
    PngImage image;
    const Bytes rgba = {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 128, 9, 9, 9, 40};
    ASSERT_TRUE(decodePng(writePng("rgba.png", 2, 2, PNG_FORMAT_RGBA, rgba).c_str(), image));
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.channels, 4);
    EXPECT_EQ(image.pixels, rgba);

    ASSERT_TRUE(decodePng(writePng("grey.png", 1, 2, PNG_FORMAT_GRAY, {10, 200}).c_str(), image));
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.pixels, (Bytes{10, 10, 10, 200, 200, 200}));

    const Bytes palette = {1, 2, 3, 250, 251, 252};
    const std::string paletted = writePng("palette.png", 3, 1, PNG_FORMAT_RGB_COLORMAP,
                                          {1, 0, 1}, palette.data(), 2);
    ASSERT_TRUE(decodePng(paletted.c_str(), image));
    EXPECT_EQ(image.channels, 3);
    EXPECT_EQ(image.pixels, (Bytes{250, 251, 252, 1, 2, 3, 250, 251, 252}));

    ASSERT_TRUE(decodePng(writePng("ga.png", 1, 1, PNG_FORMAT_GA, {70, 0}).c_str(), image));
    EXPECT_EQ(image.pixels, (Bytes{70, 70, 70, 0}));
}

TEST(PngDecode, RefusesBadFilesAndHugeHeadersLeavingTheImageAlone) {
    PngImage image;
    image.width = 7;
    const Bytes good = readFile(writePng("good.png", 4, 4, PNG_FORMAT_RGB, Bytes(48, 90)));
    writeFile(fixtureFolder() + "/truncated.png", Bytes(good.begin(), good.begin() + 60));
    writeFile(fixtureFolder() + "/garbage.png", Bytes(300, 0x5a));
    for (const char* name : {"missing.png", "truncated.png", "garbage.png"}) {
        EXPECT_FALSE(decodePng((fixtureFolder() + "/" + name).c_str(), image)) << name;
    }
    EXPECT_FALSE(decodeWithLittleMemory(pngClaiming(100000, 100000), image));
    EXPECT_EQ(image.width, 7);

    // One pixel over the widest side we take is refused; the widest is fine.
    EXPECT_FALSE(decodePng(writePng("wide.png", 16385, 1, PNG_FORMAT_GRAY, Bytes(16385)).c_str(),
                           image));
    EXPECT_TRUE(decodePng(writePng("wide.png", 16384, 1, PNG_FORMAT_GRAY, Bytes(16384)).c_str(),
                          image));
}

TEST(PngRescale, StretchesToPowersOfTwoByNearestPixelWithinTheCap) {
    // Red holds the column and green the row, so every sample shows its source.
    PngImage image{100, 30, 3, {}};
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 100; ++x) {
            image.pixels.insert(image.pixels.end(), {static_cast<unsigned char>(x),
                                                     static_cast<unsigned char>(y), 0});
        }
    }
    const PngImage scaled = toPowerOfTwo(image, 4096);
    ASSERT_EQ(scaled.width, 128);
    ASSERT_EQ(scaled.height, 32);
    auto at = [&](const PngImage& picture, int x, int y, int c) {
        return picture.pixels[(y * picture.width + x) * 3 + c];
    };
    EXPECT_EQ(at(scaled, 0, 0, 0), 0);
    EXPECT_EQ(at(scaled, 127, 31, 0), 99);
    EXPECT_EQ(at(scaled, 127, 31, 1), 29);
    EXPECT_EQ(at(scaled, 64, 16, 0), 50);

    const PngImage capped = toPowerOfTwo(image, 64);
    EXPECT_EQ(capped.width, 64);
    EXPECT_EQ(capped.height, 32);
    EXPECT_EQ(at(capped, 63, 0, 0), 99);

    const PngImage same = toPowerOfTwo(scaled, 4096);
    EXPECT_EQ(same.pixels, scaled.pixels);
}

TEST(PngBind, UploadsAClampedLinearTextureAndEveryMipmapLevel) {
    ensureGlContext();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // 4 by 4 RGB: level 1 has 6-byte rows, which only unpack right at alignment 1.
    Bytes pixels;
    for (int i = 0; i < 16; ++i) {
        pixels.insert(pixels.end(), {static_cast<unsigned char>(i * 16), 0, 100});
    }
    const GLuint name = pngBind(writePng("mip.png", 4, 4, PNG_FORMAT_RGB, pixels).c_str(),
                                PNG_BUILDMIPMAPS, PNG_ALPHA, nullptr, GL_CLAMP, GL_LINEAR, GL_LINEAR);
    ASSERT_NE(name, 0u);
    GLint value = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &value);
    EXPECT_EQ(value, 4);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_CLAMP);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &value);
    EXPECT_EQ(value, GL_RGB);

    // Level 1 averages 2 by 2 blocks; level 2 is the 1 by 1 average of all.
    Bytes level(12);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 1, GL_RGB, GL_UNSIGNED_BYTE, level.data());
    EXPECT_EQ(level, (Bytes{40, 0, 100, 72, 0, 100, 168, 0, 100, 200, 0, 100}));
    glGetTexImage(GL_TEXTURE_2D, 2, GL_RGB, GL_UNSIGNED_BYTE, level.data());
    EXPECT_EQ(level[0], 120);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 2, GL_TEXTURE_WIDTH, &value);
    EXPECT_EQ(value, 1);

    EXPECT_EQ(pngBind("/no/such.png", PNG_BUILDMIPMAPS, PNG_ALPHA, nullptr, GL_CLAMP, GL_LINEAR,
                      GL_LINEAR),
              0u);
}
