#include "base/Platform.h"

// emscripten's file system has the usual null device.
const char* const NullDevice = "/dev/null";

// A WebAssembly page's memory only grows: nothing freed can be given back
// to the browser.
void releaseFreeMemory() {}

// The page sizes its canvas to the screen's pixels, in the browser's own
// full screen too.
bool mayAskWindowSize() { return false; }

void toggleFullScreen() {}
