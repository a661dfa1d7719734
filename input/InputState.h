#pragma once

#include "input/HeldKeys.h"

// The cursor in game units, from the last motion event, and the keys held.
struct InputState {
    // cursor x, game units (-50 left edge to 50 right edge)
    float cursorX;
    // cursor y, game units (0 bottom edge to 75 top edge)
    float cursorY;
    // the character keys held down, so that a held key acts once
    HeldKeys heldKeys;
    // a press turned a still screen's page: in a room, its release is the
    // page's too
    bool turningPage = false;

    static InputState& instance();

    // Maps window pixels (origin top left) into game units.
    void mapCursor(double x, double y);

  private:
    InputState();
};

struct SeatInput;

// An input of this machine's players: acted on now at one computer, or sent
// to the room (the mouse's only from the street, not from a still screen).
void takeInput(const SeatInput& input, bool onStillScreen);

// GLUT input callbacks.
void onMotion(int x, int y);
void onPassiveMotion(int x, int y);
void onMouse(int button, int state, int x, int y);
void onKeyboard(unsigned char key, int x, int y);
void onKeyboardUp(unsigned char key, int x, int y);
void onSpecial(int key, int x, int y);
void onSpecialUp(int key, int x, int y);
