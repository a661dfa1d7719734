#pragma once

// Waits for the server's answer to this machine's join (Lockstep::ask), then
// starts the game with start and returns its status: on the desktop before
// the window opens, so that a refused seat needs no window; in the page,
// which cannot wait, from the browser's frames, the window opening once the
// welcome has come. A refusal is told to the player (status 2) and the game
// does not start.
int startWhenJoined(int (*start)());
