#pragma once

// What the game needs of the system that differs between Linux, Windows and
// the browser, in one file for each that CMake picks: base/PlatformLinux.cpp,
// base/PlatformWindows.cpp or base/PlatformWeb.cpp. (The keyboard's
// differences: input/KeyboardPlatform.h.)

// The path of the file that swallows what is written to it.
extern const char* const NullDevice;

// Gives the pages that the heap holds free back to the system, where the
// system's allocator can.
void releaseFreeMemory();

// Whether the game draws at whatever 4:3 size its window has (the page's
// canvas, as many pixels as the screen shows it with), or at 1024 by 768
// alone, pushing other sizes back to 4:3 (a desktop window).
extern const bool DrawsAtAnySize;
