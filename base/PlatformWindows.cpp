#include "base/Platform.h"

#include <GL/freeglut.h>
#include <malloc.h>

const char* const NullDevice = "NUL";

void releaseFreeMemory() { _heapmin(); }

bool mayAskWindowSize() { return glutGet(GLUT_FULL_SCREEN) == 0; }

void toggleFullScreen() { glutFullScreenToggle(); }
