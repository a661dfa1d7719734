// The clock and the status lines are printed at fixed places (the minutes 9
// units right of "TIME", the units digit 2 further, AM/PM 3 after that; the
// status lines 1 unit inside their box): only the font's widths decide whether
// the texts overlap or run out of the box.  These tests lay the texts out from
// the shipped font the way the game's font does (glyph bitmaps placed at the
// pen, the pen moved on by each glyph's whole-pixel advance, size 30, printed
// at scale 0.06) and check the room between them.

#include "render/GlyphRasteriser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "tests/support/TestSupport.h"

namespace {

// the size every text of the street is loaded at, and the scale it is printed at
constexpr unsigned FontSize = 30;
constexpr double TextScale = 0.06;
// the smallest gap that shows as a gap on a 1024-pixel window: 3 pixels
constexpr double VisibleGap = 0.3;
// how far the minutes' tens digit may reach past the place of the units digit
constexpr double TensOverhang = 0.25;

// Where a text's ink lies, game units from the point it is printed at.
struct InkSpan {
    double start = 0.0;
    double end = 0.0;
};

class FontFit : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        rasteriser =
            std::make_unique<GlyphRasteriser>(dataPath("fonts/ERASDEMI.ttf").c_str(), FontSize);
    }
    static void TearDownTestSuite() { rasteriser.reset(); }

    // The text's ink from its first to its last coloured column, as printed.
    static InkSpan ink(const std::string& text) {
        long pen = 0;
        long first = 0;
        long last = 0;
        bool inked = false;
        for (const char c : text) {
            const GlyphRasteriser::Glyph& glyph = glyphOf(c);
            if (glyph.width > 0) {
                if (!inked) {
                    first = pen + glyph.left;
                }
                last = pen + glyph.left + glyph.width;
                inked = true;
            }
            pen += glyph.advance;
        }
        return InkSpan{static_cast<double>(first) * TextScale,
                       static_cast<double>(last) * TextScale};
    }

    // The digit whose ink reaches furthest right, for the widest numbers.
    static char widestDigit() {
        char widest = '0';
        for (char d = '0'; d <= '9'; ++d) {
            if (ink(std::string(1, d)).end > ink(std::string(1, widest)).end) {
                widest = d;
            }
        }
        return widest;
    }

  private:
    static const GlyphRasteriser::Glyph& glyphOf(char c) {
        auto found = glyphs.find(c);
        if (found == glyphs.end()) {
            found = glyphs
                        .emplace(c, rasteriser->rasterise(static_cast<unsigned char>(c),
                                                          GlyphRasteriser::MaxSide))
                        .first;
        }
        return found->second;
    }

    static std::unique_ptr<GlyphRasteriser> rasteriser;
    static std::map<char, GlyphRasteriser::Glyph> glyphs;
};

std::unique_ptr<GlyphRasteriser> FontFit::rasteriser;
std::map<char, GlyphRasteriser::Glyph> FontFit::glyphs;

TEST_F(FontFit, TheClockTextsKeepApartAtEveryTime) {
    // "TIME h" at 0, ":t" at 9, "u" at 11, "AM" or "PM" at 14
    for (int hour = 1; hour <= 12; ++hour) {
        const std::string time = "TIME " + std::to_string(hour);
        for (int tens = 0; tens <= 5; ++tens) {
            const std::string colon = ":" + std::to_string(tens);
            EXPECT_LE(ink(time).end + VisibleGap, 9.0 + ink(colon).start)
                << time << " and " << colon;
        }
    }
    for (int tens = 0; tens <= 5; ++tens) {
        // the tens digit ends about where the units digit is printed: at most
        // a quarter unit (two or three window pixels) on, where the bar of a
        // rounded 4 meets the next digit's edge
        const std::string colon = ":" + std::to_string(tens);
        EXPECT_LE(9.0 + ink(colon).end, 11.0 + TensOverhang) << colon;
    }
    for (int units = 0; units <= 9; ++units) {
        const std::string digit = std::to_string(units);
        for (const char* mark : {"AM", "PM"}) {
            EXPECT_LE(11.0 + ink(digit).end + VisibleGap, 14.0 + ink(mark).start)
                << digit << " and " << mark;
        }
    }
}

TEST_F(FontFit, TheWidestStatusLinesEndInsideTheBox) {
    // The lines start 1 unit inside the 25-unit box; its edge is 24 units on,
    // and its border takes the last tenth.
    constexpr double Room = 23.9;
    const std::string five(5, widestDigit());
    const std::string three(3, widestDigit());
    const std::string lines[] = {
        "MONEY $ " + five,       // up to the 20000 that wins
        "cash/customer $ 40",    // the full price, the widest one
        "Product Left " + three, // stock can be bought past 100
        "BANKRUPT -" + std::string(4, widestDigit()),
    };
    for (const std::string& line : lines) {
        EXPECT_LE(ink(line).end, Room) << line;
    }
    for (int price : {16, 20, 24, 28, 32, 36}) {
        const std::string line = "cash/customer $ " + std::to_string(price);
        EXPECT_LE(ink(line).end, Room) << line;
    }
}

} // namespace
