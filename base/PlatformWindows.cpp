#include "base/Platform.h"

#include <windows.h>

#include <GL/freeglut.h>
#include <malloc.h>

const char* const NullDevice = "NUL";

void releaseFreeMemory() { _heapmin(); }

// Nor when maximized: no window manager holds a window on Windows, which
// would grow the maximized window to the size asked, past the screen's edge.
bool mayAskWindowSize() {
    return glutGet(GLUT_FULL_SCREEN) == 0 && IsZoomed(WindowFromDC(wglGetCurrentDC())) == 0;
}

void toggleFullScreen() { glutFullScreenToggle(); }
