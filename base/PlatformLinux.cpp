#include "base/Platform.h"

#include <map>

#include <GL/freeglut.h>
#include <malloc.h>

#include <cstdio>

const char* const NullDevice = "/dev/null";

void releaseFreeMemory() { malloc_trim(0); }

bool mayAskWindowSize() { return glutGet(GLUT_FULL_SCREEN) == 0; }

void toggleFullScreen() { glutFullScreenToggle(); }

void tellPlayer(const std::string& text) { std::fprintf(stderr, "pellucane: %s\n", text.c_str()); }

namespace {
// the session's values: the process's own
std::map<std::string, std::string>& sessionValues() {
    static std::map<std::string, std::string> values;
    return values;
}
} // namespace

std::string sessionValue(const std::string& key) { return sessionValues()[key]; }

void keepSessionValue(const std::string& key, const std::string& value) {
    sessionValues()[key] = value;
}
