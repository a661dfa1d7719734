// The browser build's GL/freeglut.h: emscripten's GLUT brings freeglut's
// standard header alone, which holds every GLUT call the game makes.
#pragma once
#include <GL/freeglut_std.h>
