#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "render/PngDecode.h"
#include "tests/support/TestSupport.h"

// Drives the real game in an X server of its own, as a player would: with
// xdotool for the mouse and keys, and ImageMagick for screenshots.

// A virtual X server started for one test and stopped with it.
struct VirtualDisplay {
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N", the server's display name
    std::string name;

  private:
    // the Xvfb process
    pid_t server = -1;
};

// The game binary running on a display with data/ (or another folder) as its
// working folder, its standard output and error captured in files.
struct GameWindow {
    explicit GameWindow(const VirtualDisplay& display, const std::string& folder = dataPath());
    ~GameWindow();
    GameWindow(const GameWindow&) = delete;
    GameWindow& operator=(const GameWindow&) = delete;

    // Mouse at window pixel (x, y), origin top left.
    void moveTo(int x, int y);
    // Mouse at game point (gx, gy): x -50..50, y 0..75.
    void moveToGame(float gx, float gy);
    // Left button down / up / a quick click with button 1, 2 or 3.
    void press();
    void release();
    void click(int button = 1);
    // Resizes the window to width by height pixels.
    void resize(int width, int height);
    // The window's size now, pixels: width and height.
    std::pair<int, int> size() const;
    // Key presses, xdotool key names ("a", "comma", "8", "A"), sent to the window.
    void key(const std::string& name);
    // A key pressed or released on the X server's own keyboard, which repeats
    // a held key as a real one does; it reaches the window with the focus.
    void keyDown(const std::string& name);
    void keyUp(const std::string& name);
    // Gives the keyboard focus to the game's window, or to the root window
    // with the pointer off the game, where the game hears no key.
    void takeFocus();
    void loseFocus();

    // Stops the game's process where it is, and lets it go on.
    void pause();
    void resume();

    // What the game has written to standard output so far, line by line.
    std::vector<std::string> traceLines() const;
    // What it has written to standard error so far.
    std::string errors() const;

    // A screenshot of the window (1024 by 768, top row first, RGB).
    PngImage screenshot() const;
    // The title screen, once it is up: the white of the first cleared frames
    // is covered. The game has loaded all it loads by then.
    PngImage titleScreen() const;

    // The game's peak resident memory so far, KiB (VmHWM).
    long peakMemoryKb() const;

    // Whether the game is still running.
    bool running();

    // Sends the game a signal; true when it ends by it within seconds.
    bool endsOnSignal(int signal, double seconds);

  private:
    // runs an xdotool command against this window
    void xdotool(const std::string& arguments) const;

    // the display's name, for the tools
    std::string display;
    // the game process and its window
    pid_t game = -1;
    std::string windowId;
    // files that capture standard output and error
    std::string outPath;
    std::string errPath;
};

// Waits up to seconds for condition, checking every 50 ms.
bool waitFor(const std::function<bool()>& condition, double seconds);

// Pauses the test for seconds of real time (the game runs on its own clock).
void waitSeconds(double seconds);

// Colour of a screenshot's pixel at game point (gx, gy).
Rgb shotPixel(const PngImage& shot, float gx, float gy);

// Number of pixels in the game rectangle x0..x1, y0..y1 that satisfy test.
int countPixels(const PngImage& shot, float x0, float y0, float x1, float y1,
                const std::function<bool(const Rgb&)>& test);

// Mean absolute difference per channel between two shots over a game rectangle.
double difference(const PngImage& a, const PngImage& b, float x0, float y0, float x1, float y1);
