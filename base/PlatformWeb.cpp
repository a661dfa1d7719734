#include "base/Platform.h"

#include <emscripten.h>

#include <cstdio>

// emscripten's file system has the usual null device.
const char* const NullDevice = "/dev/null";

// A WebAssembly page's memory only grows: nothing freed can be given back
// to the browser.
void releaseFreeMemory() {}

// The page sizes its canvas to the screen's pixels, in the browser's own
// full screen too.
bool mayAskWindowSize() { return false; }

void toggleFullScreen() {}

// The page shows it over the game (index.html's Module.tellPlayer): a
// player does not read the console.
void tellPlayer(const std::string& text) {
    std::fprintf(stderr, "pellucane: %s\n", text.c_str());
    EM_ASM(
        {
            if (Module.tellPlayer)
                Module.tellPlayer(UTF8ToString($0));
        },
        text.c_str());
}
