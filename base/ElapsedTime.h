#pragma once

// The one clock every timing rule of the game reads.

// Milliseconds since GLUT started; once a test has set the test clock,
// the test clock's value instead.
int elapsedMs();

// Test hook, never called by the game: from now on elapsedMs() returns ms,
// until the next call.
void setTestClockMs(int ms);
