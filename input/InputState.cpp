#include "input/InputState.h"

#include <GL/freeglut.h>

#include <algorithm>

#include "app/GameState.h"
#include "base/Platform.h"
#include "market/Market.h"
#include "net/Lockstep.h"
#include "render/Camera.h"

InputState::InputState() : cursorX(0.0f), cursorY(0.0f) {}

InputState& InputState::instance() {
    static InputState* input = new InputState();
    return *input;
}

void InputState::mapCursor(double x, double y) {
    const Camera& camera = Camera::instance();
    const int halfWidth = camera.getWidth() / 2;
    const int halfHeight = camera.getHeight() / 2;
    // No view yet: there is nothing to map onto, so the cursor stays where
    // it was rather than dividing by zero.
    if (halfHeight == 0) {
        return;
    }
    // Within the window; a point on a bar beside the view lies beyond the
    // street's edge, where no button is.
    x = std::clamp(x, 0.0, static_cast<double>(camera.windowWidth));
    y = std::clamp(y, 0.0, static_cast<double>(camera.windowHeight));
    const float centredX = static_cast<float>(x - camera.viewportLeft - halfWidth);
    const float centredY = static_cast<float>(y - camera.viewportTop() - halfHeight);
    // Both axes are divided by the half height so game units stay square.
    const double normalX = static_cast<double>(centredX) / static_cast<double>(halfHeight);
    const double normalY = static_cast<double>(-centredY) / static_cast<double>(halfHeight);
    cursorX = static_cast<float>(camera.getHalfViewHeight() * normalX - camera.getPosX());
    cursorY = static_cast<float>(camera.getHalfViewHeight() * normalY - camera.getPosY());
}

// Every input of this machine's players goes this one way: at one
// computer it acts now; in a room it goes to the room, whose tick brings it
// to every machine's street. The title and the instructions are this
// machine's own: in a room the mouse there (and the release of a press
// that turned their page) says nothing to the room.
void takeInput(const SeatInput& input, bool onStillScreen) {
    Lockstep& room = Lockstep::instance();
    if (!room.joined) {
        applySeatInput(input);
    } else if (input.kind == InputKind::Key || !onStillScreen) {
        room.sendInput(input);
    }
}

namespace {

// The mouse's input at the cursor.
SeatInput mouseInput(InputKind kind) {
    const InputState& state = InputState::instance();
    SeatInput input;
    input.seat = 0;
    input.kind = kind;
    input.x = state.cursorX;
    input.y = state.cursorY;
    return input;
}

} // namespace

void onMotion(int x, int y) {
    InputState::instance().mapCursor(x, y);
    takeInput(mouseInput(InputKind::Cursor), GameState != Playing);
}

void onPassiveMotion(int x, int y) { onMotion(x, y); }

void onMouse(int button, int state, int x, int y) {
    InputState& input = InputState::instance();
    // The event's own position: a tap on a touch screen, or a click after the
    // window came up under a still pointer, brings no motion before it.
    input.mapCursor(x, y);
    // A press on a still screen only turns the page; the Market never sees it.
    if (state == GLUT_DOWN && GameState != Playing) {
        input.turningPage = true;
        if (GameState == Title) {
            GameState = Instructions;
        } else {
            GameState = Playing;
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        }
        return;
    }
    const bool pageTurned = input.turningPage;
    input.turningPage = false;
    // The cursor goes with the button: a press fires where it happened.
    const bool leftDown = button == GLUT_LEFT_BUTTON && state == GLUT_DOWN;
    takeInput(mouseInput(leftDown ? InputKind::Press : InputKind::Release),
              pageTurned || GameState != Playing);
}

// A held key acts once: its repeats come as presses of a key already down.
// It acts for each keyboard shop whose table holds it.
void onKeyboard(unsigned char key, int /*x*/, int /*y*/) {
    if (!InputState::instance().heldKeys.press(key)) {
        return;
    }
    for (std::uint8_t seat = 1; seat < SeatCount; ++seat) {
        if (keyOfSeat(seat, key)) {
            SeatInput input;
            input.seat = seat;
            input.kind = InputKind::Key;
            input.key = key;
            takeInput(input, GameState != Playing);
        }
    }
}

// A release only ends the hold; it means nothing to the shops.
void onKeyboardUp(unsigned char key, int /*x*/, int /*y*/) {
    InputState::instance().heldKeys.release(key);
}

// Special keys (arrows, function keys) mean nothing to the shops; F11 turns
// full screen on and off.
void onSpecial(int key, int /*x*/, int /*y*/) {
    if (key == GLUT_KEY_F11) {
        toggleFullScreen();
    }
}

void onSpecialUp(int /*key*/, int /*x*/, int /*y*/) {}
