#include "base/Platform.h"

#include <GL/freeglut.h>
#include <malloc.h>

#include <cstdio>

const char* const NullDevice = "/dev/null";

void releaseFreeMemory() { malloc_trim(0); }

bool mayAskWindowSize() { return glutGet(GLUT_FULL_SCREEN) == 0; }

void toggleFullScreen() { glutFullScreenToggle(); }

void tellPlayer(const std::string& text) { std::fprintf(stderr, "pellucane: %s\n", text.c_str()); }
