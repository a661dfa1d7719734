#pragma once

// The one clock every timing rule of the game reads.

// Milliseconds since GLUT started; once the clock has been set, the set
// value instead.
int elapsedMs();

// From now on elapsedMs() returns ms, until the next call: the tests' clock,
// and a networked game's, which the room's ticks set.
void setClockMs(int ms);
