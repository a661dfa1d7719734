#include <GL/gl.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Backdrop.h"
#include "app/Engine.h"
#include "tests/support/ScriptedGame.h"
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
    for (size_t y = 0; y < Height; ++y) {
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

// The game as it starts, then a script of tests/games/ played on it, each
// "frame NAME" mark drawn and compared with its reference.
class GoldenFrames : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureGlContext();
        ScopedDirectory data(dataPath());
        // the game's own pictures, whatever an earlier test in this process loaded
        Backdrop& backdrop = Backdrop::instance();
        backdrop.backgroundList = backdrop.titleList = backdrop.instructionsList = -1;
        Engine::instance().initialise();
    }

    void play(const std::string& script) {
        ScriptedGame game;
        game.atMark = draw;
        game.play(readScript(script));
    }

    // Draws a frame, which must leave the matrix stack as it found it and
    // raise no GL error, and compares it with its reference.
    static void draw(const std::string& name) {
        GLint depthBefore = 0;
        GLint depthAfter = 0;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
        Engine::instance().drawScreen();
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
        EXPECT_EQ(depthBefore, depthAfter) << name;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << name;
        expectFrame(name);
    }
};

} // namespace

TEST_F(GoldenFrames, TitleAndInstructions) { play("golden-title.game"); }

TEST_F(GoldenFrames, FirstSignsSmallSalesFreeHatsAndZedodAzuWins) { play("golden-first.game"); }

TEST_F(GoldenFrames, SecondSignsDeepSalesPromotionsAfternoonAndTopTunesWins) {
    play("golden-second.game");
}

TEST_F(GoldenFrames, ThirdSignsSoldOutBankruptAndHotbeatsWins) { play("golden-third.game"); }
