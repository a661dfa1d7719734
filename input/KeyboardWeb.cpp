#include "input/KeyboardPlatform.h"

#include <emscripten/html5.h>

#include "input/HeldKeys.h"

// The browser's keyboard, through the page's events.

namespace {

// Set when the page loses the keyboard (another window or tab takes it), up
// to the next frame's look.
bool keyboardLost = false;

EM_BOOL onBlur(int, const EmscriptenFocusEvent*, void*) {
    keyboardLost = true;
    return EM_FALSE;
}

EM_BOOL onVisibilityChange(int, const EmscriptenVisibilityChangeEvent* event, void*) {
    if (event->hidden) {
        keyboardLost = true;
    }
    return EM_FALSE;
}

} // namespace

// The browser marks a held key's repeats as such and sends them as presses
// with no release between them: there is nothing to ask for. Listens, once,
// for the page losing the keyboard.
void setUpKeyboard() {
    emscripten_set_blur_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onBlur);
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, onVisibilityChange);
}

// The browser sends a page no release of a key let go while another window
// or tab has the keyboard, and cannot be asked which keys are down: every
// held key is let go when the page loses the keyboard. A key still held when
// it comes back repeats, and its next repeat acts as a press.
void forgetKeysReleasedElsewhere(HeldKeys& held) {
    if (!keyboardLost) {
        return;
    }
    keyboardLost = false;
    held.forgetReleased([](unsigned char) { return false; });
}
