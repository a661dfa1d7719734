// Windows only, linked into the game itself: the game is a GUI program, so no
// console window opens behind it when a player starts it with a double click.
// Such a program gets standard output only when it is redirected (to a file
// or a pipe, as a test does), and then keeps it as it is. Started from a
// console (cmd, PowerShell) without redirection, it writes its trace lines and
// diagnostics to that console instead; this runs before main.

#include <windows.h>

#include <cstdio>

namespace {

// Whether a standard handle leads nowhere (neither file, pipe nor console).
bool unconnected(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE ||
           GetFileType(handle) == FILE_TYPE_UNKNOWN;
}

const bool consoleConnected = [] {
    const bool output = unconnected(STD_OUTPUT_HANDLE);
    const bool error = unconnected(STD_ERROR_HANDLE);
    if ((!output && !error) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return false;
    }
    if (output) {
        std::freopen("CONOUT$", "w", stdout);
    }
    if (error) {
        std::freopen("CONOUT$", "w", stderr);
    }
    return true;
}();

} // namespace
