#pragma once

// Read first by every test source of the Windows build (the tests that run
// under wine): what the test code takes from POSIX or would lose to
// <windows.h>, with the game's test sources left as they are.

#include <sys/types.h>
#include <windows.h>

// <windows.h> defines near and far away, and the tests have a near().
#undef near
#undef far

#ifdef __cplusplus
extern "C" {
#endif

// Makes a folder from a template ending in XXXXXX, as POSIX's does.
char* mkdtemp(char* pattern);

// Sets and removes environment variables, as POSIX's do.
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);

#ifdef __cplusplus
}
#endif
