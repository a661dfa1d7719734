#include "render/PngBind.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <utility>

#include "tests/support/TestSupport.h"

using Bytes = std::vector<unsigned char>;

namespace {

// Decodes with the address space held to its present size plus 256 MiB, so
// that believing a huge header fails here instead of eating the machine.
bool decodeInLittleMemory(const std::string& path, PngImage& image) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit saved{};
    getrlimit(RLIMIT_AS, &saved);
    const rlimit tight{static_cast<rlim_t>(pages) * 4096 + (256u << 20), saved.rlim_max};
    setrlimit(RLIMIT_AS, &tight);
    bool decoded = true;
    try {
        decoded = decodePng(path.c_str(), image);
    } catch (const std::bad_alloc&) {
    }
    setrlimit(RLIMIT_AS, &saved);
    return decoded;
}

// A valid black grey picture of that size, written under /tmp.
std::string blackPicture(int width, int height) {
    const std::string path =
        "/tmp/pellucane-black-" + std::to_string(width) + "x" + std::to_string(height) + ".png";
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = PNG_FORMAT_GRAY;
    const Bytes pixels(static_cast<size_t>(width) * height, 0);
    png_image_write_to_file(&png, path.c_str(), 0, pixels.data(), 0, nullptr);
    return path;
}

// Peak resident memory of the game, KiB, run for 4 s from a copy of the data
// with one picture replaced (or none, for an empty name).
long gamePeakKb(const std::string& picture, const std::string& replacement) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("pellucane-budget-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::copy(dataPath(), folder, fs::copy_options::recursive);
    if (!picture.empty()) {
        fs::copy_file(replacement, folder / "images" / picture,
                      fs::copy_options::overwrite_existing);
    }
    const std::string peak = (folder / "peak.txt").string();
    const std::string command = "cd '" + folder.string() +
                                "' && ('" PELLUCANE_BINARY
                                "' >/dev/null 2>&1 & pid=$!; sleep 4; grep VmHWM /proc/$pid/status "
                                "| tr -dc 0-9 >'" +
                                peak + "'; kill $pid)";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    long kb = 0;
    std::ifstream(peak) >> kb;
    fs::remove_all(folder);
    return kb;
}

} // namespace

// Every customer builds its own hat textures: a hat of 2048 x 2048, within
// the size limits, would be loaded 69 times over without the texture budget.
TEST(PngBind, NoPictureFileTakesTheGamePastTwiceItsUsualPeakMemory) {
    const long usual = gamePeakKb("", "");
    const long withBigHat = gamePeakKb("topHat.png", blackPicture(2048, 2048));
    ASSERT_GT(usual, 0);
    EXPECT_LT(withBigHat, 2 * usual) << usual << " KiB usually";
}

TEST(PngDecode, PicturesBeyondTheBudgetAreRefusedBeforeTheirPixelsAreRead) {
    // At most 4096 a side and 2048 by 2048 once rounded up to powers of two.
    const std::pair<std::pair<int, int>, bool> cases[] = {
        {{4096, 1024}, true}, {{4097, 1}, false}, {{2048, 2048}, true}, {{2049, 2048}, false}};
    for (const auto& [size, accepted] : cases) {
        PngImage image;
        EXPECT_EQ(decodeInLittleMemory(blackPicture(size.first, size.second), image), accepted)
            << size.first << " x " << size.second;
    }
}

TEST(PngDecode, AlphaOnlyFromAnAlphaChannelAndRefusesBadOrHugeFiles) {
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
    ASSERT_TRUE(decodePng(fixturePath("picture-grey.png").c_str(), image));
    EXPECT_EQ(image.pixels, (Bytes{70, 70, 70, 200, 200, 200}));

    // picture-data-changed.png: one bit of a game picture's data flipped after
    // it was written; it still inflates, and only the chunk's CRC tells.
    for (const char* name :
         {"none.png", "picture-truncated.png", "picture-garbage.png", "picture-data-changed.png"}) {
        EXPECT_FALSE(decodePng(fixturePath(name).c_str(), image)) << name;
    }
    // The header claims 100000 by 100000 pixels.
    EXPECT_FALSE(decodeInLittleMemory(fixturePath("picture-huge-header.png"), image));
    EXPECT_EQ(image.pixels, (Bytes{70, 70, 70, 200, 200, 200}));

    // Nearest pixel up to the next power of two, or down to the cap.
    const PngImage row{3, 1, 1, {10, 20, 30}};
    EXPECT_EQ(toPowerOfTwo(row, 4096).pixels, (Bytes{10, 20, 20, 30}));
    EXPECT_EQ(toPowerOfTwo(row, 2).pixels, (Bytes{10, 30}));
}
