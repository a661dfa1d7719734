#pragma once

struct HeldKeys;

// What the game asks of the X server's keyboard, on the connection of the
// current GL context (the game's own window).

// Asks the server to repeat a held key as further presses and one real
// release at the end, instead of a release and a press for every repeat,
// which the game cannot tell from real ones when it handles them late.
void askForDetectableKeyRepeat();

// Lets go of the held keys that are up on the keyboard now: their release
// went to another window. Does nothing while events wait to be handled (a
// waiting repeat or release is older than what the keyboard says now).
void forgetKeysReleasedElsewhere(HeldKeys& held);
