// Pictures that share the street with the texts: the front row of walkers goes
// by just above the status boxes, the sale balloon grows towards the clock, and
// the status lines are read against their panel.  These tests check the
// pictures against the places the game draws them at.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "tests/support/Pictures.h"

namespace {

// The first row from the bottom (step -1) or from the top (step 1) holding
// a pixel that is not fully clear; -1 or the height when there is none.
int firstInkedRow(const PngImage& picture, int step) {
    const int height = picture.height;
    for (int row = step < 0 ? height - 1 : 0; row >= 0 && row < height; row += step) {
        for (int x = 0; x < picture.width; ++x) {
            if (pixelBytes(picture, static_cast<std::size_t>(x),
                           static_cast<std::size_t>(row))[3] != 0)
                return row;
        }
    }
    return step < 0 ? -1 : height;
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
        const PngImage picture = readGamePicture(name);
        ASSERT_FALSE(picture.pixels.empty());
        const int row = firstInkedRow(picture, -1);
        const double bottomY = 22.5 - 15.0 * (row + 1) / picture.height;
        EXPECT_GE(bottomY, LowestY) << name << ": row " << row << " of " << picture.height;
    }
}

TEST(PictureFit, TheBiggestSaleBalloonStaysInTheWindow) {
    // A 60% sale grows the balloon's square to 25 / 0.7 units and one frame's
    // growth more (10 units a second, frames of at most 0.12 s); the square
    // stands 2 units into the roof at y 50, and the window's top is y 75.
    const double biggest = 25.0 / 0.7 + 10.0 * 0.12;
    const PngImage balloon = readGamePicture("balloonmonster");
    ASSERT_FALSE(balloon.pixels.empty());
    const double topY =
        48.0 + biggest * (1.0 - static_cast<double>(firstInkedRow(balloon, 1)) / balloon.height);
    EXPECT_LT(topY, 75.0);
    // and it still fills most of its square: a balloon, not a speck
    EXPECT_GT(topY, 48.0 + biggest * 0.5);
}

TEST(PictureFit, StatusLinesReadOnTheirPanel) {
    // The box is 25 units square centred 30 below the shop (y -5..20); the
    // lines start 1 unit in, the price line runs to 24.4 and their ink spans
    // y 0.8 to 8.4.  Behind them, at least 4.5:1 for the red of a bankrupt or
    // sold-out shop; a pixel that is not opaque is taken over white pavement.
    const PngImage box = readGamePicture("statbox");
    ASSERT_FALSE(box.pixels.empty());
    const double white = luminance(255, 255, 255);
    const double red = luminance(255, 0, 0);
    double worstRed = 100.0;
    double worstWhite = 100.0;
    auto column = [&](double x) { return static_cast<std::size_t>(x / 25.0 * box.width); };
    auto row = [&](double y) { return static_cast<std::size_t>((20.0 - y) / 25.0 * box.height); };
    for (std::size_t r = row(8.4); r <= row(0.8); ++r) {
        for (std::size_t c = column(1.0); c <= column(24.4); ++c) {
            const std::uint8_t* p = pixelBytes(box, c, r);
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
