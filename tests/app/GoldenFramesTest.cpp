#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Backdrop.h"
#include "app/Engine.h"
#include "tests/support/Pictures.h"
#include "tests/support/ScriptedGame.h"
#include "tests/support/TestSupport.h"

namespace {

// The frame's size, pixels.
constexpr size_t Width = 1024;
constexpr size_t Height = 768;

// The back buffer as RGB rows, top row first.
std::vector<unsigned char> readFrame() {
    std::vector<unsigned char> rows(Width * Height * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, Width, Height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    std::vector<unsigned char> flipped(rows.size());
    for (size_t y = 0; y < Height; ++y) {
        std::copy_n(&rows[(Height - 1 - y) * Width * 3], Width * 3, &flipped[y * Width * 3]);
    }
    return flipped;
}

// The game as it starts, then a script of tests/games/ played on it, each
// "frame NAME" mark drawn and compared with its reference; the marks must be
// the frames the test names, so that a script losing one cannot pass.
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

    void play(const std::string& script, const std::vector<std::string>& frames) {
        std::vector<std::string> drawn;
        ScriptedGame game;
        game.atMark = [&drawn](const std::string& name) {
            draw(name);
            drawn.push_back(name);
        };
        game.play(readScript(script));
        EXPECT_EQ(drawn, frames) << script;
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
        expectGoldenFrame(readFrame(), name);
    }
};

} // namespace

TEST_F(GoldenFrames, TitleAndInstructions) { play("golden-title.game", {"title", "instructions"}); }

TEST_F(GoldenFrames, FirstSignsSmallSalesFreeHatsAndZedodAzuWins) {
    play("golden-first.game", {"signs-big-medium-small", "zedod-azu-wins"});
}

TEST_F(GoldenFrames, SecondSignsDeepSalesPromotionsAfternoonAndTopTunesWins) {
    play("golden-second.game", {"signs-medium-small-big-afternoon", "top-tunes-wins"});
}

TEST_F(GoldenFrames, ThirdSignsSoldOutBankruptAndHotbeatsWins) {
    play("golden-third.game", {"signs-small-big-medium-bankrupt", "hotbeats-wins"});
}
