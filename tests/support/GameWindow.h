#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/PngDecode.h"
#include "tests/support/TestSupport.h"

// The one driver of the game's real window, for every check that plays the
// whole program as a player would: the play-through tests, the picture
// budget test, the installed launcher, the Windows build under wine, and the
// shell scripts through the game-window command, and the web build in
// headless Chromium. It moves the mouse and presses keys on the X server
// (xdotool) or in the page (Chrome's DevTools protocol), grabs the window
// (ImageMagick) or the page, and waits for what it checks (a trace line, a
// changed screen), never for a fixed time.

// A virtual X server started for one test and stopped with it, its screen
// width by height pixels; managed, with a window manager that gives every
// window the whole screen, whatever size it asks for.
struct VirtualDisplay {
    explicit VirtualDisplay(int width = 1280, int height = 1024, bool managed = false);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N", the server's display name
    std::string name;

  private:
    // the Xvfb process, and its window manager's
    pid_t server = -1;
    pid_t manager = -1;
};

// How the page shows the game: the browser window's size, CSS pixels; the
// screen's device pixels to a CSS pixel; whether the page is framed in
// another, taller page (an iframe, as game sites show games); whether the
// browser has WebGL; whether the game's data is held back for good, the
// page loading all the while (the game never starts); and the page's
// address where another server hands the site out (a game server's room).
struct PageView {
    int width = 1024;
    int height = 768;
    int pixelRatio = 1;
    bool framed = false;
    bool webgl = true;
    bool loading = false;
    std::string address;
};

// How the game starts: a command and the folder it starts in, or the web
// build's page.
struct GameCommand {
    // the program and its arguments
    std::vector<std::string> arguments;
    // the working folder
    std::string folder;
    // the unzipped web build's folder (index.html) when set: the game plays
    // in headless Chromium, and the command is not used
    std::string page;
    // how the page shows it
    PageView view;
};

// The game to play: the web build in the folder PELLUCANE_PLAY_PAGE names;
// else the command in PELLUCANE_PLAY_COMMAND, split at spaces (the installed
// launcher, "wine .../pellucane.exe"), started in a folder of its own, which
// it must leave for its data; without either, the build's program in
// dataFolder.
GameCommand gameCommand(const std::string& dataFolder = dataPath());

// The game running on a display (XWindow.cpp) or in a page (PageWindow.cpp),
// and what it has written to standard output (the trace lines) and error.
// What the one cannot do that the other can throws, saying so.
struct GameWindow {
    virtual ~GameWindow() = default;

    // Whether the window showed.
    virtual bool showing() const = 0;

    // Mouse at game point (gx, gy): x -50..50, y 0..75.
    void moveToGame(float gx, float gy);
    // A finger's tap on a touch screen at game point (gx, gy), the mouse
    // left where it was.
    void tapGame(float gx, float gy);
    // Left button down / up / a quick click with button 1, 2 or 3.
    virtual void press() = 0;
    virtual void release() = 0;
    virtual void click(int button = 1) = 0;
    // Resizes the window to width by height pixels.
    virtual void resize(int width, int height);
    // The window's size now, pixels: width and height.
    virtual std::pair<int, int> size() const;
    // A key pressed and let go, pressed, or let go (xdotool's names: "a",
    // "comma", "8", "A", "space", "Down", "Next"); the X server repeats a
    // held key as a real one does. Keys reach the window with the focus,
    // which the game has from the start.
    virtual void key(const std::string& name) = 0;
    virtual void keyDown(const std::string& name) = 0;
    virtual void keyUp(const std::string& name) = 0;
    // One repeat of a held key, as the browser sends it: a press marked as
    // a repeat.
    virtual void keyRepeat(const std::string& name);
    // Gives the keyboard focus to the game's window, or to the root window
    // with the pointer off the game, where the game hears no key.
    virtual void takeFocus() = 0;
    virtual void loseFocus();

    // Stops the game's process where it is, and lets it go on.
    virtual void pause();
    virtual void resume();

    // What the game has written to standard output so far, line by line.
    std::vector<std::string> traceLines() const;
    // Trace lines so far that match an extended regular expression (all
    // lines for an empty one).
    int countLines(const std::string& pattern = "") const;
    // What it has written to standard error so far.
    virtual std::string errors() const = 0;
    // In the browser: the value of a script evaluated in the page, as text.
    virtual std::string evaluate(const std::string& script);

    // Waits until condition holds, the game has ended or the answer time
    // (PELLUCANE_ANSWER_SECONDS, 60 s unless set) is up; true in the first
    // case only. A wait that runs out while the game runs is remembered.
    bool waitFor(const std::function<bool()>& condition);
    // Waits for count trace lines in all, or count that match the pattern.
    bool waitForLines(int count, const std::string& pattern = "");

    // A screenshot of the game's view (1024 by 768, top row first, RGB),
    // scaled to that size from whatever size the window or the page's canvas
    // shows it at.
    virtual PngImage screenshot() const = 0;
    // Waits until the window shows the golden frame of that name whole
    // (tests/app/frames/NAME.png), and returns it; throws when it does not
    // come, leaving the last shot and its difference in frame-mismatches/.
    PngImage showsFrame(const std::string& name);
    // The title screen, once it is up: the game has loaded all it loads.
    PngImage titleScreen() { return showsFrame("title"); }
    // Waits until the window shows the golden frame of that name drawn at
    // another size (a page's canvas, scaled back to 1024 by 768): it differs
    // from it by little. False when it does not come.
    bool showsRoughly(const std::string& name);

    // The game's peak resident memory so far, KiB.
    virtual long peakMemoryKb() const;

    // Whether the game is still running.
    virtual bool running() = 0;

    // Ends the game with a signal (unless it has ended already) and tells how
    // it went: "ran" (it ran, answered every wait, and ended by the signal),
    // "no answer" (a wait ran out), "exit N", "signal N" (it ended before
    // the signal), "died at SIGNAL", "hung at SIGNAL" (killed after the
    // answer time), or "sanitizer" when standard error holds a sanitizer's
    // report.
    std::string end(int signal);

  protected:
    GameWindow();
    // how long each wait allows the game, seconds
    const double answerSeconds;
    // Mouse at window pixel (x, y), origin top left.
    virtual void moveTo(int x, int y) = 0;
    // A finger down and up at once at window pixel (x, y).
    virtual void tap(int x, int y);
    // what the game has written to standard output so far
    virtual std::string output() const = 0;
    // Ends the game with the signal: end's outcomes but the last two.
    virtual std::string stop(int signal);
    // Says that this window cannot do what.
    [[noreturn]] void cannot(const std::string& what) const;

  private:
    // whether a wait ran out while the game was running
    bool unanswered = false;
};

// Starts the command on the display, or opens the page, and waits until its
// window shows whole, or the game ends, or the answer time is up: what acts
// on the window then throws, with the game's standard error. Its files go
// to a folder of its own in filesFolder. With a sound file, the command's
// mixed sound goes there (SDL's disk device: 16-bit stereo at 44100 Hz, at
// a sound card's pace); without, and from the page, nowhere.
std::unique_ptr<GameWindow> startGame(const VirtualDisplay& display,
                                      const GameCommand& command = gameCommand(),
                                      const std::string& filesFolder = scratchPath(""),
                                      const std::string& soundFile = "");

// The two places a game runs in, started by startGame: the command in its
// folder on the X display of that name, and the web build's site in that
// folder served on 127.0.0.1 and opened in headless Chromium as the view
// says. A page without WebGL, or still loading, shows no game (showing is
// false) once its own script has run.
std::unique_ptr<GameWindow> openXWindow(const std::string& display, const GameCommand& command,
                                        const std::string& files, const std::string& soundFile);
std::unique_ptr<GameWindow> openPage(const std::string& site, const PageView& view,
                                     const std::string& files);

// A program to start: its arguments (the program looked up in the path),
// its working folder (the test's when empty), the variables set for it, the
// files its standard output and error go to (the test's standard error, and
// the same as error, when empty), and descriptors handed to it as 3, 4, ...
struct ProcessStart {
    std::vector<std::string> arguments;
    std::string folder;
    std::vector<std::pair<std::string, std::string>> environment;
    std::string outputFile;
    std::string errorFile;
    std::vector<int> descriptors;
};

// Starts the program in a process group of its own, with SIGINT and SIGTERM
// as from a terminal; with outputPipe, its standard output goes to a pipe
// instead, whose reading end is put there. It exits with 127 when it cannot
// start, 126 without its folder, 125 without its files.
pid_t startProcess(const ProcessStart& start, int* outputPipe = nullptr);

// Polls done every 50 ms until it holds (true) or seconds have passed (false).
bool waitUntil(const std::function<bool()>& done, double seconds);

// Stops a process with SIGTERM, and SIGKILL when it does not end within 2 s.
void stopProcess(pid_t pid);

// Pauses the test for seconds of real time (the game runs on its own clock).
void waitSeconds(double seconds);

// Colour of a screenshot's pixel at game point (gx, gy).
Rgb shotPixel(const PngImage& shot, float gx, float gy);

// Number of pixels in the game rectangle x0..x1, y0..y1 that satisfy test.
int countPixels(const PngImage& shot, float x0, float y0, float x1, float y1,
                const std::function<bool(const Rgb&)>& test);

// Mean absolute difference per channel between two shots over a game rectangle.
double difference(const PngImage& a, const PngImage& b, float x0, float y0, float x1, float y1);
