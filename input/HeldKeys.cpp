#include "input/HeldKeys.h"

#include <algorithm>
#include <cstddef>

bool HeldKeys::press(unsigned char key) {
    const bool repeat = down[key];
    down[key] = true;
    return !repeat;
}

void HeldKeys::release(unsigned char key) { down[key] = false; }

bool HeldKeys::anyDown() const { return std::find(down.begin(), down.end(), true) != down.end(); }

void HeldKeys::forgetReleased(const std::function<bool(unsigned char)>& stillDown) {
    for (std::size_t key = 0; key < down.size(); ++key) {
        if (down[key] && !stillDown(static_cast<unsigned char>(key))) {
            down[key] = false;
        }
    }
}
