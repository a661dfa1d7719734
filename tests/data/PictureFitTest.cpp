// Pictures that share the street with the texts: the front row of walkers goes
// by just above the status boxes, the sale balloon grows towards the clock, and
// the status lines are read against their panel.  These tests check the
// pictures against the places the game draws them at.

#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#ifndef PELLUCANE_DATA_DIR
#define PELLUCANE_DATA_DIR "data"
#endif

namespace {

struct Rgba {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;

    const std::uint8_t* at(int x, int row) const {
        const std::size_t pixel = static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                                  static_cast<std::size_t>(x);
        return &pixels[pixel * 4];
    }
    // The lowest row (0 at the top) holding a pixel that is not fully clear, or -1.
    int lowestInkedRow() const {
        for (int row = height - 1; row >= 0; --row) {
            for (int x = 0; x < width; ++x) {
                if (at(x, row)[3] != 0)
                    return row;
            }
        }
        return -1;
    }
    int highestInkedRow() const {
        for (int row = 0; row < height; ++row) {
            for (int x = 0; x < width; ++x) {
                if (at(x, row)[3] != 0)
                    return row;
            }
        }
        return height;
    }
};

Rgba readRgba(const std::string& name) {
    Rgba picture;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    const std::string path = std::string(PELLUCANE_DATA_DIR) + "/images/" + name + ".png";
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return picture;
    }
    image.format = PNG_FORMAT_RGBA;
    picture.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr)) {
        ADD_FAILURE() << path << ": " << image.message;
        png_image_free(&image);
        return picture;
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    return picture;
}

// WCAG 2 relative luminance of an 8-bit sRGB colour.
double luminance(double r, double g, double b) {
    auto linear = [](double c) {
        c /= 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
}

double contrast(double a, double b) { return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05); }

TEST(PictureFit, WalkersStayAboveTheStatusBoxes) {
    // The front row walks at y 15 in a 15-unit square (y 7.5..22.5); the status
    // panel's border reaches y 9.15 and the MONEY line's capitals y 8.4, and the
    // walkers are drawn after the shops.  Every body, hat and bag ends above y 9.3.
    constexpr double LowestY = 9.3;
    const char* const walkers[] = {
        "malecustomer1",    "malecustomer2", "femalecustomer1", "femalecustomer2", "topHat",
        "jesterhat",        "visor",         "malehotbeatbag",  "maletopbag",      "malemusicbag",
        "femalehotbeatbag", "femaletopbag",  "femalemusicbag",
    };
    for (const char* name : walkers) {
        const Rgba picture = readRgba(name);
        ASSERT_GT(picture.height, 0) << name;
        const int row = picture.lowestInkedRow();
        const double bottomY = 22.5 - 15.0 * (row + 1) / picture.height;
        EXPECT_GE(bottomY, LowestY) << name << ": row " << row << " of " << picture.height;
    }
}

TEST(PictureFit, TheBiggestSaleBalloonStaysInTheWindow) {
    // A 60% sale grows the balloon's square to 25 / 0.7 units and one frame's
    // growth more (10 units a second, frames of at most 0.12 s); the square
    // stands 2 units into the roof at y 50, and the window's top is y 75.
    const double biggest = 25.0 / 0.7 + 10.0 * 0.12;
    const Rgba balloon = readRgba("balloonmonster");
    ASSERT_GT(balloon.height, 0);
    const double topY =
        48.0 + biggest * (1.0 - static_cast<double>(balloon.highestInkedRow()) / balloon.height);
    EXPECT_LT(topY, 75.0);
    // and it still fills most of its square: a balloon, not a speck
    EXPECT_GT(topY, 48.0 + biggest * 0.5);
}

TEST(PictureFit, StatusLinesReadOnTheirPanel) {
    // The box is 25 units square centred 30 below the shop (y -5..20); the
    // lines start 1 unit in, the price line runs to 24.4 and their ink spans
    // y 0.8 to 8.4.  Behind them, at least 4.5:1 for the red of a bankrupt or
    // sold-out shop; a pixel that is not opaque is taken over white pavement.
    const Rgba box = readRgba("statbox");
    ASSERT_GT(box.height, 0);
    const double white = luminance(255, 255, 255);
    const double red = luminance(255, 0, 0);
    double worstRed = 100.0;
    double worstWhite = 100.0;
    auto column = [&](double x) { return static_cast<int>(x / 25.0 * box.width); };
    auto row = [&](double y) { return static_cast<int>((20.0 - y) / 25.0 * box.height); };
    for (int r = row(8.4); r <= row(0.8); ++r) {
        for (int c = column(1.0); c <= column(24.4); ++c) {
            const std::uint8_t* p = box.at(c, r);
            const double a = p[3] / 255.0;
            const double panel = luminance(p[0] * a + 255 * (1 - a), p[1] * a + 255 * (1 - a),
                                           p[2] * a + 255 * (1 - a));
            worstRed = std::min(worstRed, contrast(red, panel));
            worstWhite = std::min(worstWhite, contrast(white, panel));
        }
    }
    EXPECT_GE(worstRed, 4.5);
    EXPECT_GE(worstWhite, 7.0);
}

} // namespace
