#include "market/RandomGenerator.h"

#include <ctime>

unsigned int RandomGenerator::state = 0;
bool RandomGenerator::seeded = false;

void RandomGenerator::seedOnce() {
    if (!seeded) {
        seed(static_cast<unsigned int>(std::time(nullptr)));
    }
}

void RandomGenerator::seed(unsigned int value) {
    state = value;
    seeded = true;
}

int RandomGenerator::draw() {
    // unsigned arithmetic wraps modulo 2^32, as the generator wants
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7fffu);
}
