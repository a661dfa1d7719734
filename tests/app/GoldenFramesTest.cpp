#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Backdrop.h"
#include "app/Engine.h"
#include "app/GameState.h"
#include "base/ElapsedTime.h"
#include "market/Market.h"
#include "market/RandomGenerator.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The frame's size, pixels.
constexpr int Width = 1024;
constexpr int Height = 768;
// Mesa's software renderer draws these frames bit for bit alike from run to
// run, process to process, with one rendering thread or many and with 128-bit
// vectors; the margins below only absorb a last-bit rounding change in a
// blended texel or a few edge pixels. The smallest fault they must show, a
// money text left up, changes hundreds of pixels by more than 100.
// A pixel matches when no channel differs from the reference by more than this.
constexpr int ChannelTolerance = 2;
// A frame matches when no more than this many pixels differ.
constexpr int PixelTolerance = 16;

using Pixels = std::vector<unsigned char>;

// The back buffer as RGB rows, top row first.
Pixels readFrame() {
    Pixels rows(Width * Height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, Width, Height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    Pixels flipped(rows.size());
    for (int y = 0; y < Height; ++y) {
        std::copy_n(&rows[(Height - 1 - y) * Width * 3], Width * 3, &flipped[y * Width * 3]);
    }
    return flipped;
}

void writePng(const fs::path& path, const Pixels& pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = Width;
    image.height = Height;
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) {
        ADD_FAILURE() << "cannot write " << path << ": " << image.message;
    }
}

// The picture at path as RGB rows, or nothing when it is missing or not Width by Height.
Pixels readPng(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        return {};
    }
    image.format = PNG_FORMAT_RGB;
    Pixels pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) ||
        image.width != Width || image.height != Height) {
        return {};
    }
    return pixels;
}

// Compares the back buffer with frames/<name>.png; with PELLUCANE_UPDATE_FRAMES
// set it writes the reference instead. On a mismatch it writes the actual
// frame and a difference image (differing pixels red on the greyed reference)
// under the working directory and names them.
void expectFrame(const std::string& name) {
    const Pixels actual = readFrame();
    const fs::path reference = fs::path(PELLUCANE_FRAMES_DIR) / (name + ".png");
    if (std::getenv("PELLUCANE_UPDATE_FRAMES") != nullptr) {
        writePng(reference, actual);
        return;
    }
    const Pixels expected = readPng(reference);
    Pixels diff(actual.size());
    int differing = 0;
    int worst = 0;
    for (size_t p = 0; p < actual.size() && expected.size() == actual.size(); p += 3) {
        int channel = 0;
        for (size_t c = 0; c < 3; ++c) {
            channel = std::max(channel, std::abs(actual[p + c] - expected[p + c]));
        }
        worst = std::max(worst, channel);
        const bool off = channel > ChannelTolerance;
        differing += off;
        const int grey = (expected[p] + expected[p + 1] + expected[p + 2]) / 12;
        diff[p] = static_cast<unsigned char>(off ? 255 : grey);
        diff[p + 1] = diff[p + 2] = static_cast<unsigned char>(off ? 0 : grey);
    }
    if (!expected.empty() && differing <= PixelTolerance) {
        return;
    }
    const fs::path out = fs::absolute("frame-mismatches");
    fs::create_directories(out);
    writePng(out / (name + "-actual.png"), actual);
    writePng(out / (name + "-diff.png"), diff);
    ADD_FAILURE() << "frame " << name << ": "
                  << (expected.empty() ? "no readable reference " + reference.string()
                                       : std::to_string(differing) + " pixels differ, by up to " +
                                             std::to_string(worst))
                  << "; see " << (out / (name + "-actual.png")) << " and "
                  << (out / (name + "-diff.png"));
}

// The game as it starts, then a new street from a fixed seed at test time 0,
// played by scripted input under the test clock.
class GoldenFrames : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureGlContext();
        ScopedDirectory data(dataPath());
        // the game's own pictures, whatever an earlier test in this process loaded
        Backdrop& backdrop = Backdrop::instance();
        backdrop.backgroundList = backdrop.titleList = backdrop.instructionsList = -1;
        Engine::instance().initialise();
        setTestClockMs(0);
        RandomGenerator::seed(20240611u);
        market = Market();
        market.initialise();
        GameState = Playing;
    }

    // updates of dt seconds each, ms of test clock apart.
    void play(int updates, int ms = 20, float dt = 0.02f) {
        for (int i = 0; i < updates; ++i) {
            nowMs += ms;
            setTestClockMs(nowMs);
            market.update(dt);
        }
    }

    // Rests the cursor on a band until its strip is out.
    void hover(float y) {
        market.setCursor(-10.0f, y);
        play(50);
    }

    // Presses the mouse on (x, y) for one repeat and lets go.
    void click(float x, float y) {
        market.setCursor(x, y);
        market.setMouseDown(true);
        play(1, 120);
        market.setMouseDown(false);
    }

    // The keyboard players' presses, in order.
    void keys(const char* pressed) {
        for (const char* key = pressed; *key != '\0'; ++key) {
            market.handleKey(static_cast<unsigned char>(*key));
        }
    }

    // Draws a frame, which must leave the matrix stack as it found it and
    // raise no GL error, and compares it with its reference.
    void draw(const std::string& name) {
        GLint depthBefore = 0;
        GLint depthAfter = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
        Engine::instance().drawScreen();
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
        EXPECT_EQ(depthBefore, depthAfter) << name;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << name;
        expectFrame(name);
    }

    // the test clock, ms
    int nowMs = 0;
};

} // namespace

TEST_F(GoldenFrames, TitleAndInstructions) {
    GameState = Title;
    draw("title");
    GameState = Instructions;
    draw("instructions");
}

// Signs big, medium, small; sales 20, 10, 30%; free hats everywhere; the
// sign strip out; then ZEDOD AZU's win.
TEST_F(GoldenFrames, FirstSignsSmallSalesFreeHatsAndZedodAzuWins) {
    const Sidebar& bar = market.sidebar;
    hover(bar.signMenuButtonY);
    click(bar.signButtonX[0], bar.signMenuButtonY);
    hover(bar.saleBandY);
    click(bar.saleButtonX[1], bar.saleBandY);
    hover(bar.promotionBandY);
    click(bar.promotionButtonX[2], bar.promotionBandY);
    keys("s1cl0,");
    play(150);
    // the second wave of shoppers leaves with hats and bags, while two charges rise
    hover(bar.signMenuButtonY);
    play(51);
    keys("vb");
    play(45);
    draw("signs-big-medium-small");
    market.shops[0].money = WinningMoney;
    play(10);
    draw("zedod-azu-wins");
}

// Signs medium, small, big; sales 50, 40, 60%; window displays and handout
// guys; the sale strip out in the afternoon, with the hour's profit rising;
// then TOP TUNES's win.
TEST_F(GoldenFrames, SecondSignsDeepSalesPromotionsAfternoonAndTopTunesWins) {
    const Sidebar& bar = market.sidebar;
    keys("dqzxjpm");
    hover(bar.signMenuButtonY);
    click(bar.signButtonX[1], bar.signMenuButtonY);
    hover(bar.promotionBandY);
    click(bar.promotionButtonX[0], bar.promotionBandY);
    click(bar.promotionButtonX[1], bar.promotionBandY);
    hover(bar.saleBandY);
    click(bar.saleButtonX[4], bar.saleBandY);
    // a minute an update, until the clock reads 1 PM
    play(293, 1000);
    play(60);
    draw("signs-medium-small-big-afternoon");
    market.shops[2].money = WinningMoney;
    play(10);
    draw("top-tunes-wins");
}

// Signs small, big, medium; HOTBEATS sold out to 0, TOP TUNES bankrupt at 0; the
// promotion strip out; then ZEDOD AZU goes bankrupt too and HOTBEATS wins.
TEST_F(GoldenFrames, ThirdSignsSoldOutBankruptAndHotbeatsWins) {
    const Sidebar& bar = market.sidebar;
    market.shops[1].product = 3.0f;
    // TOP TUNES spends its 1000 to the last dollar
    keys("aknmmmbbbbbb");
    hover(bar.signMenuButtonY);
    click(bar.signButtonX[2], bar.signMenuButtonY);
    hover(bar.promotionBandY);
    click(bar.promotionButtonX[0], bar.promotionBandY);
    click(bar.promotionButtonX[1], bar.promotionBandY);
    play(100);
    draw("signs-small-big-medium-bankrupt");
    click(bar.promotionButtonX[2], bar.promotionBandY);
    hover(bar.signMenuButtonY);
    click(bar.signButtonX[0], bar.signMenuButtonY);
    play(10);
    draw("hotbeats-wins");
}
