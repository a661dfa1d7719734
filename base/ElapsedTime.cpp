#include "base/ElapsedTime.h"

#include <GL/freeglut.h>

namespace {
// true once a test has taken over the clock
bool testClockOn = false;
// the test clock's reading, milliseconds
int testClockMs = 0;
} // namespace

int elapsedMs() {
    if (testClockOn) {
        return testClockMs;
    }
    return glutGet(GLUT_ELAPSED_TIME);
}

void setTestClockMs(int ms) {
    testClockOn = true;
    testClockMs = ms;
}
