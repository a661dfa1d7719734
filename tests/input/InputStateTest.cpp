#include "input/InputState.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include "app/GameState.h"
#include "market/Market.h"
#include "render/Camera.h"
#include "tests/support/TestSupport.h"

namespace {

// Maps window pixel (x, y) and checks the cursor in game units.
void expectCursor(double x, double y, float gameX, float gameY) {
    InputState::instance().mapCursor(x, y);
    EXPECT_NEAR(InputState::instance().cursorX, gameX, 1e-5) << x << ", " << y;
    EXPECT_NEAR(InputState::instance().cursorY, gameY, 1e-5) << x << ", " << y;
}

// Presses or releases a button at window pixel (x, y) with the Market's
// cursor at (999, 999) and its flag the other way, so they show whether the
// event reached it.
void click(int button, int state, int x = 0, int y = 0) {
    market.setCursor(999.0f, 999.0f);
    market.setMouseDown(state == GLUT_UP);
    onMouse(button, state, x, y);
}

} // namespace

TEST(CursorMapping, CornersCentreOutsideAndBeforeAnyWindowSize) {
    ensureGlContext();
    expectCursor(0, 0, -50.0f, 75.0f);
    expectCursor(1024, 768, 50.0f, 0.0f);
    expectCursor(513, 383, 0.09765625f, 37.59765625f);
    expectCursor(-20, 900, -50.0f, 0.0f);
    expectCursor(3000, -4, 50.0f, 75.0f);
    onPassiveMotion(512, 384);
    EXPECT_EQ(std::make_pair(market.mouseX, market.mouseY), std::make_pair(0.0f, 37.5f));

    Camera::instance().viewportWidth = Camera::instance().viewportHeight = 0;
    expectCursor(300, 300, 0.0f, 37.5f);
    Camera::instance().reshape(1024, 768);
}

TEST(MouseButtons, PressesTurnTheStillScreensWithoutReachingTheMarket) {
    ensureGlContext();
    onMotion(0, 0);
    for (int button : {GLUT_LEFT_BUTTON, GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON}) {
        GameState = Title;
        click(button, GLUT_DOWN);
        EXPECT_EQ(std::make_pair(GameState, market.mouseX), std::make_pair(1, 999.0f));
        click(button, GLUT_UP);
        EXPECT_EQ(std::make_pair(market.mouseX, market.mouseDown), std::make_pair(-50.0f, false));
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glClearColor(0, 0, 1, 1);
        click(button, GLUT_DOWN);
        EXPECT_EQ(std::make_pair(GameState, market.mouseX), std::make_pair(2, 999.0f));
        EXPECT_TRUE(near(pixelAt(5, 5), Rgb{0, 0, 255}, 0));
    }
    // While playing only a left press holds the flag, at the press's own
    // position (a tap brings no motion before it), and waits to fire there.
    market.pressCount = 0;
    click(GLUT_LEFT_BUTTON, GLUT_DOWN, 512, 384);
    EXPECT_EQ(std::make_pair(market.mouseY, market.mouseDown), std::make_pair(37.5f, true));
    EXPECT_EQ(std::make_pair(market.pressCount, market.pressesWaiting[0].y),
              std::make_pair(1, 37.5f));
    for (int button : {GLUT_MIDDLE_BUTTON, GLUT_RIGHT_BUTTON, GLUT_LEFT_BUTTON}) {
        click(button, GLUT_DOWN);
        EXPECT_EQ(market.mouseDown, button == GLUT_LEFT_BUTTON);
        click(button, GLUT_UP);
        EXPECT_FALSE(market.mouseDown);
    }
    EXPECT_EQ(GameState, Playing);
}

TEST(Keys, AHeldKeyActsOnceUntilItsReleaseOrAReleaseElsewhere) {
    const auto handoutOn = [] { return market.shops[1].handout; };
    const bool was = handoutOn();
    // The server repeats a held key as further presses: only the first acts.
    for (int press = 0; press < 5; ++press) {
        onKeyboard('x', 0, 0);
    }
    EXPECT_NE(handoutOn(), was);
    // The release (even typed as another character, with shift down) ends
    // the hold only for its own key.
    onKeyboardUp('X', 0, 0);
    onKeyboard('x', 0, 0);
    EXPECT_NE(handoutOn(), was);
    onKeyboardUp('x', 0, 0);
    onKeyboard('x', 0, 0);
    EXPECT_EQ(handoutOn(), was);
    // Released while another window had the keyboard: the keyboard says so
    // and the next press acts again; a key still down stays held.
    HeldKeys& held = InputState::instance().heldKeys;
    held.forgetReleased([](unsigned char key) { return key == 'm'; });
    onKeyboard('x', 0, 0);
    EXPECT_NE(handoutOn(), was);
    onKeyboardUp('x', 0, 0);
    EXPECT_FALSE(held.anyDown());
}
