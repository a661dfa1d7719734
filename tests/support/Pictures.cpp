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

Picture readPng(const std::string& path, unsigned channels) {
    Picture picture;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str())) {
        image.format = channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
        picture.pixels.resize(PNG_IMAGE_SIZE(image));
        if (png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
            picture.width = image.width;
            picture.height = image.height;
            picture.channels = PNG_IMAGE_PIXEL_CHANNELS(image.format);
            return picture;
        }
    }
    png_image_free(&image);
    picture.pixels.clear();
    picture.error = path + ": " + image.message;
    return picture;
}

Picture readGamePicture(const std::string& name) {
    return readPng(dataPath("images/" + name + ".png"));
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

void expectGoldenFrame(const std::vector<unsigned char>& rgbRows, const std::string& name,
                       int pixelTolerance) {
    namespace fs = std::filesystem;
    const fs::path reference = fs::path(PELLUCANE_FRAMES_DIR) / (name + ".png");
    if (std::getenv("PELLUCANE_UPDATE_FRAMES") != nullptr) {
        EXPECT_TRUE(writePng(reference.string(), rgbRows, FrameWidth, FrameHeight)) << reference;
        return;
    }
    const Picture read = readPng(reference.string(), 3);
    const bool readable = read.width == FrameWidth && read.height == FrameHeight &&
                          read.pixels.size() == rgbRows.size();
    const std::vector<unsigned char>& expected = read.pixels;
    std::vector<unsigned char> diff(rgbRows.size());
    int differing = 0;
    int worst = 0;
    for (std::size_t p = 0; readable && p < rgbRows.size(); p += 3) {
        int channel = 0;
        for (std::size_t c = 0; c < 3; ++c) {
            channel = std::max(channel, std::abs(rgbRows[p + c] - expected[p + c]));
        }
        worst = std::max(worst, channel);
        const bool off = channel > ChannelTolerance;
        differing += off;
        const int grey = (expected[p] + expected[p + 1] + expected[p + 2]) / 12;
        diff[p] = static_cast<unsigned char>(off ? 255 : grey);
        diff[p + 1] = diff[p + 2] = static_cast<unsigned char>(off ? 0 : grey);
    }
    if (readable && differing <= pixelTolerance) {
        return;
    }
    const fs::path out = fs::absolute("frame-mismatches");
    fs::create_directories(out);
    const fs::path actualFile = out / (name + "-actual.png");
    const fs::path diffFile = out / (name + "-diff.png");
    writePng(actualFile.string(), rgbRows, FrameWidth, FrameHeight);
    writePng(diffFile.string(), diff, FrameWidth, FrameHeight);
    ADD_FAILURE() << "frame " << name << ": "
                  << (readable ? std::to_string(differing) + " pixels differ, by up to " +
                                     std::to_string(worst)
                               : "no readable reference " + reference.string())
                  << "; see " << actualFile << " and " << diffFile;
}
