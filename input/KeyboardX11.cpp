#include "input/KeyboardPlatform.h"

#include <GL/glx.h>
#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include "input/HeldKeys.h"

// The X server's keyboard, on the connection of the current GL context (the
// game's own window).

namespace {

// The keysym of the key that types a character: Latin-1 characters are
// their own keysyms; Backspace, Tab, Return, Escape and Delete sit at 0xff00
// and up.
KeySym keysymOf(unsigned char character) {
    if (character < 0x20 || character == 0x7f) {
        return 0xff00 | character;
    }
    return character;
}

} // namespace

// Asks the X server for detectable auto-repeat: a held key's repeats come
// as presses, with its one release at the end.
void setUpKeyboard() {
    Display* display = glXGetCurrentDisplay();
    if (display != nullptr) {
        XkbSetDetectableAutoRepeat(display, True, nullptr);
    }
}

void forgetKeysReleasedElsewhere(HeldKeys& held) {
    Display* display = glXGetCurrentDisplay();
    if (display == nullptr || !held.anyDown()) {
        return;
    }
    // One bit a keycode, for every key down on the keyboard.
    char keys[32];
    XQueryKeymap(display, keys);
    // Events that came in while asking were sent before the answer.
    if (XEventsQueued(display, QueuedAlready) > 0) {
        return;
    }
    held.forgetReleased([&](unsigned char character) {
        const KeyCode code = XKeysymToKeycode(display, keysymOf(character));
        return code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0;
    });
}
