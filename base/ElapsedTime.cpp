#include "base/ElapsedTime.h"

#include <GL/freeglut.h>

namespace {
// true once a test or a networked game has taken over the clock
bool clockSet = false;
// the set clock's reading, milliseconds
int setReadingMs = 0;
} // namespace

int elapsedMs() {
    if (clockSet) {
        return setReadingMs;
    }
    return glutGet(GLUT_ELAPSED_TIME);
}

void setClockMs(int ms) {
    clockSet = true;
    setReadingMs = ms;
}
