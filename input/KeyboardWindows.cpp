#include "input/KeyboardPlatform.h"

#include <windows.h>

#include "input/HeldKeys.h"

// Windows repeats a held key as presses with no release between them, which
// the key callbacks pass over as presses of a key already down: there is
// nothing to ask for.
void setUpKeyboard() {}

void forgetKeysReleasedElsewhere(HeldKeys& held) {
    if (!held.anyDown()) {
        return;
    }
    // Key messages waiting in the queue are older than what the keyboard says now.
    if (HIWORD(GetQueueStatus(QS_KEY)) != 0) {
        return;
    }
    held.forgetReleased([](unsigned char character) {
        // the virtual key that types the character (low byte), -1 for none
        const SHORT key = VkKeyScanA(static_cast<CHAR>(character));
        return key != -1 && (GetAsyncKeyState(LOBYTE(key)) & 0x8000) != 0;
    });
}
