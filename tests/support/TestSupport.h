#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

struct Camera;
struct Market;

// Helpers shared by the test programs.

// Opens (once per process) a real 1024 by 768 double-buffered GLUT window
// with a depth buffer, accepts its size through the Camera so the game's
// projection and view are in place, and reads pixels from the back buffer.
void ensureGlContext();

// An RGB colour read back from the frame buffer, 0..255 a channel.
struct Rgb {
    int r;
    int g;
    int b;
};

// The back buffer's pixel at window pixel (x, y), origin bottom left.
Rgb pixelAt(int x, int y);

// A window pixel, origin top left, as the window system counts them.
struct WindowPixel {
    int x;
    int y;
};

// The game's camera laid out in a window of that size (no GL).
Camera cameraIn(int width, int height);

// The window pixel under game point (gx, gy) in the game's 1024 by 768
// window, under the camera's view: the pixel to read for that point, and
// where a pointer stands to give it (the game reads the pixel's corner,
// less than a pixel away).
WindowPixel windowPixelOf(float gx, float gy);

// The side of a window pixel, game units (about 0.098).
float gameUnitsPerPixel();

// The back buffer's pixel at game point (gx, gy).
Rgb pixelAtGamePoint(float gx, float gy);

// Whether two colours are within tolerance on every channel.
bool near(const Rgb& a, const Rgb& b, int tolerance);

// The game's one street (`market`) afresh: the screen rectangle the game
// sets, the test clock at 0, the random generator seeded, then initialised
// with the game's data. Returns the street.
Market& newStreet(unsigned int seed);

// Standard output sent into an unnamed file while it lives: the trace lines
// the game writes, for a test to read.
struct CapturedStdout {
    CapturedStdout();
    ~CapturedStdout();
    CapturedStdout(const CapturedStdout&) = delete;
    CapturedStdout& operator=(const CapturedStdout&) = delete;
    // What has been written since the last take.
    std::string take();

  private:
    // where the lines go
    std::FILE* file;
    // the real standard output, back when the capture ends
    int realStdout;
    // bytes of the file taken so far
    long taken = 0;
};

// Absolute paths of the game's data folder and the tests' own fixtures.
std::string dataPath(const std::string& relative = "");
std::string fixturePath(const std::string& relative = "");

// Enters a folder for the scope (the game reads "./images/..." relative to
// its working directory) and returns to the previous one afterwards.
struct ScopedDirectory {
    explicit ScopedDirectory(const std::string& path);
    ~ScopedDirectory();
    ScopedDirectory(const ScopedDirectory&) = delete;
    ScopedDirectory& operator=(const ScopedDirectory&) = delete;

  private:
    // where to come back to
    std::string previous;
};

// A path in the running test's own scratch folder, which is made on first
// use, unique to the test and the process, and removed with all it holds when
// the test ends. Tests write nowhere else.
std::string scratchPath(const std::string& name);

// Writes bytes to a file (fixtures made by a test, in its scratch folder).
void writeFile(const std::string& path, const std::vector<unsigned char>& bytes);

// Writes a BDF bitmap font (BDF is text) with one glyph, 'A', side by side
// pixels: a one-pixel diagonal from the top left corner. Returns path.
std::string writeDiagonalBdf(const std::string& path, std::size_t side);

// Peak resident memory of process pid so far, KiB (VmHWM in its
// /proc/PID/status); pid 0 is this process. 0 when it cannot be read.
long peakMemoryKb(pid_t pid = 0);
