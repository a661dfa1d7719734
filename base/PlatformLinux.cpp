#include "base/Platform.h"

#include <GL/freeglut.h>
#include <malloc.h>

const char* const NullDevice = "/dev/null";

void releaseFreeMemory() { malloc_trim(0); }

bool mayAskWindowSize() { return glutGet(GLUT_FULL_SCREEN) == 0; }

void toggleFullScreen() { glutFullScreenToggle(); }
