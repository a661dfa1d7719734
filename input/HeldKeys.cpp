#include "input/HeldKeys.h"

#include <algorithm>

bool HeldKeys::press(unsigned char key) {
    const bool repeat = down[key];
    down[key] = true;
    return !repeat;
}

void HeldKeys::release(unsigned char key) { down[key] = false; }

bool HeldKeys::anyDown() const { return std::find(down.begin(), down.end(), true) != down.end(); }

void HeldKeys::forgetReleased(const std::function<bool(unsigned char)>& stillDown) {
    for (int key = 0; key < 256; ++key) {
        if (down[key] && !stillDown(static_cast<unsigned char>(key))) {
            down[key] = false;
        }
    }
}
