#include "base/Platform.h"

#include <windows.h>

#include <GL/freeglut.h>
#include <malloc.h>

#include <cstdio>

const char* const NullDevice = "NUL";

void releaseFreeMemory() { _heapmin(); }

// Nor when maximized: no window manager holds a window on Windows, which
// would grow the maximized window to the size asked, past the screen's edge.
bool mayAskWindowSize() {
    return glutGet(GLUT_FULL_SCREEN) == 0 && IsZoomed(WindowFromDC(wglGetCurrentDC())) == 0;
}

void toggleFullScreen() { glutFullScreenToggle(); }

// Started with a double click, the game has no console: what it writes to
// standard error goes nowhere, and a message box says it instead.
void tellPlayer(const std::string& text) {
    std::fprintf(stderr, "pellucane: %s\n", text.c_str());
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (GetConsoleWindow() != nullptr || (error != nullptr && error != INVALID_HANDLE_VALUE &&
                                          GetFileType(error) != FILE_TYPE_UNKNOWN)) {
        return;
    }
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                                        static_cast<int>(text.size()), wide.data(),
                                                        static_cast<int>(wide.size()))));
    MessageBoxW(nullptr, wide.c_str(), L"Pellucane", MB_OK | MB_ICONINFORMATION);
}
