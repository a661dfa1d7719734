#pragma once

// The game's one random generator: the classic linear congruential
// generator (state * 214013 + 2531011), seeded from the calendar time by
// the first Market::randomBelow unless a test seeds it first.
struct RandomGenerator {
    // the generator's 32-bit state
    static unsigned int state;
    // false until the first Market::randomBelow or an explicit seed
    static bool seeded;

    // Seeds from the calendar time if nothing has seeded it yet.
    static void seedOnce();
    // Sets the state (tests: a fixed seed gives a repeatable game).
    static void seed(unsigned int value);
    // Next value, 0 to 32767; seeding is the caller's (Market::randomBelow).
    static int draw();
};
