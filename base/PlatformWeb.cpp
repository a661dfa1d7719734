#include "base/Platform.h"

#include <emscripten.h>

#include <cstdio>
#include <string>

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

// The tab's session storage, which a reload keeps and no other tab reads;
// a value is read up to 255 bytes.
std::string sessionValue(const std::string& key) {
    char value[256] = "";
    EM_ASM(
        {
            try {
                var kept = sessionStorage.getItem(UTF8ToString($0));
                if (kept)
                    stringToUTF8(kept, $1, $2);
            } catch (e) {
            }
        },
        key.c_str(), value, sizeof value);
    return value;
}

void keepSessionValue(const std::string& key, const std::string& value) {
    EM_ASM(
        {
            try {
                sessionStorage.setItem(UTF8ToString($0), UTF8ToString($1));
            } catch (e) {
            }
        },
        key.c_str(), value.c_str());
}
