#pragma once

#include <array>
#include <functional>

// The character keys the players hold down, as far as the key callbacks
// tell, so that a held key acts once however late its repeated presses are
// handled: a press of a key that is already down is a repeat.
struct HeldKeys {
    // whether each character code has been pressed and not yet released
    std::array<bool, 256> down{};

    // A key press: true for a new press (the key is held from now on), false
    // for a repeat of a key already held.
    bool press(unsigned char key);
    // A key release: the next press of the key is a new one.
    void release(unsigned char key);
    // Whether any key is held.
    bool anyDown() const;
    // Lets go of every held key that stillDown denies: a key released while
    // another window had the keyboard never sends the game its release.
    void forgetReleased(const std::function<bool(unsigned char)>& stillDown);
};
