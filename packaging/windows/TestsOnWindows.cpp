#include "packaging/windows/TestsOnWindows.h"

#include <direct.h>
#include <errno.h>
#include <stdio.h>

#include <cstdlib>
#include <cstring>
#include <random>

char* mkdtemp(char* pattern) {
    const size_t length = std::strlen(pattern);
    if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0) {
        errno = EINVAL;
        return nullptr;
    }
    static std::mt19937 generator{std::random_device{}() ^ GetCurrentProcessId()};
    const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (size_t i = length - 6; i < length; ++i) {
            pattern[i] = letters[generator() % (sizeof letters - 1)];
        }
        if (_mkdir(pattern) == 0) {
            return pattern;
        }
        if (errno != EEXIST) {
            return nullptr;
        }
    }
    return nullptr;
}

int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && std::getenv(name) != nullptr) {
        return 0;
    }
    return _putenv_s(name, value) == 0 ? 0 : -1;
}

int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
