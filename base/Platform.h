#pragma once

// What the game needs of the system that differs between Linux, Windows and
// the browser, in one file for each that CMake picks: base/PlatformLinux.cpp,
// base/PlatformWindows.cpp or base/PlatformWeb.cpp. (The keyboard's
// differences: input/KeyboardPlatform.h.)

#include <string>

// The path of the file that swallows what is written to it.
extern const char* const NullDevice;

// Gives the pages that the heap holds free back to the system, where the
// system's allocator can.
void releaseFreeMemory();

// Whether the game may ask for its window's size now: a desktop window, but
// not in full screen; never the page's canvas, which the page sizes.
bool mayAskWindowSize();

// Turns the window's full screen on or off (F11), back to the window as it
// was; the page leaves full screen to the browser's own.
void toggleFullScreen();

// Tells the player why the game cannot join its room or go on with it: on
// standard error, and where a player sees it besides: in the page, and in a
// message box on Windows when the game has no console to write to.
void tellPlayer(const std::string& text);

// A value kept for this session of the player's: in the page, the tab's
// session storage, which a reload keeps and no other tab reads; elsewhere
// the game's process alone keeps it. Empty when none was kept.
std::string sessionValue(const std::string& key);
void keepSessionValue(const std::string& key, const std::string& value);
