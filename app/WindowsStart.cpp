// Windows only, linked into the game itself, and run before main: what the
// Linux launcher does and what a GUI program lacks.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The game reads images/, fonts/ and sound/ from its working folder. A double
// click starts it in its own folder; a shortcut or a console elsewhere may
// not: like the Linux launcher, it enters the folder its files are in.
void enterOwnFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return;
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        SetCurrentDirectoryW(path.substr(0, slash + 1).c_str());
    }
}

// Whether a standard handle leads nowhere (neither file, pipe nor console).
bool unconnected(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE ||
           GetFileType(handle) == FILE_TYPE_UNKNOWN;
}

// The game is a GUI program, so no console window opens behind it when a
// player starts it with a double click. Such a program has standard output
// only when it is redirected (to a file or a pipe, as a test does), and then
// keeps it as it is. Started from a console (cmd, PowerShell) without
// redirection, it writes its trace lines and diagnostics to that console.
void connectToParentConsole() {
    const bool output = unconnected(STD_OUTPUT_HANDLE);
    const bool error = unconnected(STD_ERROR_HANDLE);
    if ((!output && !error) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    if (output) {
        std::freopen("CONOUT$", "w", stdout);
    }
    if (error) {
        std::freopen("CONOUT$", "w", stderr);
    }
}

const bool started = [] {
    connectToParentConsole();
    enterOwnFolder();
    return true;
}();

} // namespace
