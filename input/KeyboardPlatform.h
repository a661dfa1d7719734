#pragma once

struct HeldKeys;

// What the game asks of the system's keyboard, in the one file a system
// that CMake picks: input/KeyboardX11.cpp (X server),
// input/KeyboardWindows.cpp or input/KeyboardWeb.cpp (the browser).

// Sets the keyboard up for the game, once its window is there: a held key is
// to repeat as further presses and one real release at the end, instead of
// a release and a press for every repeat, which the game cannot tell from
// real ones when it handles them late (asked for of the X server; Windows
// and the browser do so by themselves); and the browser is to say when the
// page loses the keyboard, for forgetKeysReleasedElsewhere.
void setUpKeyboard();

// Lets go of the held keys that are up on the keyboard now: their release
// went to another window. Does nothing while events wait to be handled (a
// waiting repeat or release is older than what the keyboard says now).
void forgetKeysReleasedElsewhere(HeldKeys& held);
