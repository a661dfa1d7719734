#pragma once

#include <string>
#include <vector>

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

// The back buffer's pixel under game point (gx, gy), with the camera's
// fixed view (x -50..50, y 0..75 across 1024 by 768).
Rgb pixelAtGamePoint(float gx, float gy);

// Whether two colours are within tolerance on every channel.
bool near(const Rgb& a, const Rgb& b, int tolerance);

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
std::string writeDiagonalBdf(const std::string& path, int side);
