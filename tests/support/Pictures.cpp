#include "tests/support/Pictures.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tests/support/TestSupport.h"

namespace {

// the golden frames' size, pixels
constexpr unsigned FrameWidth = 1024;
constexpr unsigned FrameHeight = 768;

} // namespace

PngImage readPng(const std::string& path, int channels) {
    PngImage picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str())) {
        image.format = channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
        picture.pixels.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
            picture.width = static_cast<int>(image.width);
            picture.height = static_cast<int>(image.height);
            picture.channels = static_cast<int>(PNG_IMAGE_PIXEL_CHANNELS(image.format));
            return picture;
        }
    }
    png_image_free(&image);
    picture.pixels.clear();
    return picture;
}

PngImage readGamePicture(const std::string& name) {
    return readPng(dataPath("images/" + name + ".png"));
}

std::string goldenFramePath(const std::string& name) {
    return std::string(PELLUCANE_FRAMES_DIR) + "/" + name + ".png";
}

bool writePng(const std::string& path, const std::vector<unsigned char>& rgbRows, unsigned width,
              unsigned height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, rgbRows.data(), 0, nullptr) != 0;
}

FrameDifference compareWithGoldenFrame(const std::vector<unsigned char>& rgbRows,
                                       const std::string& name) {
    const PngImage golden = readPng(goldenFramePath(name), 3);
    FrameDifference result;
    result.readable = golden.width == static_cast<int>(FrameWidth) &&
                      golden.height == static_cast<int>(FrameHeight);
    const std::vector<unsigned char>& expected = golden.pixels;
    result.image.resize(expected.size());
    if (rgbRows.size() != expected.size()) {
        // a frame of another size differs everywhere
        result.differing = static_cast<int>(FrameWidth * FrameHeight);
        result.worst = 255;
        return result;
    }
    for (std::size_t p = 0; result.readable && p < rgbRows.size(); p += 3) {
        int channel = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            channel = std::max(channel, std::abs(rgbRows[p + c] - expected[p + c]));
        }
        result.worst = std::max(result.worst, channel);
        const bool off = channel > ChannelTolerance;
        result.differing += off;
        const int grey = (expected[p] + expected[p + 1] + expected[p + 2]) / 12;
        result.image[p] = static_cast<unsigned char>(off ? 255 : grey);
        result.image[p + 1] = result.image[p + 2] = static_cast<unsigned char>(off ? 0 : grey);
    }
    return result;
}

std::string keepMismatch(const std::vector<unsigned char>& rgbRows, const std::string& name,
                         const FrameDifference& difference) {
    namespace fs = std::filesystem;
    const fs::path out = fs::absolute("frame-mismatches");
    fs::create_directories(out);
    const fs::path actualFile = out / (name + "-actual.png");
    const fs::path diffFile = out / (name + "-diff.png");
    if (rgbRows.size() == difference.image.size()) {
        writePng(actualFile.string(), rgbRows, FrameWidth, FrameHeight);
    }
    if (difference.readable) {
        writePng(diffFile.string(), difference.image, FrameWidth, FrameHeight);
    }
    return "frame " + name + ": " +
           (difference.readable ? std::to_string(difference.differing) +
                                      " pixels differ, by up to " + std::to_string(difference.worst)
                                : "no readable reference " + goldenFramePath(name)) +
           "; see " + actualFile.string() + " and " + diffFile.string();
}

void expectGoldenFrame(const std::vector<unsigned char>& rgbRows, const std::string& name,
                       int pixelTolerance) {
    if (std::getenv("PELLUCANE_UPDATE_FRAMES") != nullptr) {
        EXPECT_TRUE(writePng(goldenFramePath(name), rgbRows, FrameWidth, FrameHeight)) << name;
        return;
    }
    const FrameDifference difference = compareWithGoldenFrame(rgbRows, name);
    if (!difference.matches(pixelTolerance)) {
        ADD_FAILURE() << keepMismatch(rgbRows, name, difference);
    }
}
