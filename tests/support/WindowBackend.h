#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "render/PngDecode.h"

// What GameWindow asks of the place the game runs in: a window on an X
// server of the test's own (XWindow.cpp), or the web build's page in
// headless Chromium (PageWindow.cpp). GameWindow holds one, chosen when it
// starts the game, and keeps the waits, the trace lines and the golden
// frames to itself. What a place cannot do throws, saying so.
struct WindowBackend {
    virtual ~WindowBackend() = default;

    // Looks once whether the game's window (the page's game) shows whole,
    // and remembers it; whether it has shown.
    virtual bool lookForWindow() = 0;
    virtual bool showing() const = 0;
    // Mouse at window pixel (x, y), origin top left; the left button down
    // and up; a click with button 1, 2 or 3.
    virtual void moveTo(int x, int y) = 0;
    virtual void press() = 0;
    virtual void release() = 0;
    virtual void click(int button) = 0;
    virtual void resize(int width, int height) = 0;
    virtual std::pair<int, int> size() const = 0;
    // Keys by xdotool's names ("a", "comma", "A", "shift+j", "Return", "F1").
    virtual void key(const std::string& name) = 0;
    virtual void keyDown(const std::string& name) = 0;
    virtual void keyUp(const std::string& name) = 0;
    virtual void takeFocus() = 0;
    virtual void loseFocus() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // What the game has written to standard output and standard error so far.
    virtual std::string output() const = 0;
    virtual std::string errors() const = 0;
    // The window's pixels, RGB rows, top row first; empty when it cannot be had.
    virtual PngImage screenshot() const = 0;
    virtual long peakMemoryKb() const = 0;
    virtual bool running() = 0;
    // Ends the game with a signal: GameWindow::end's outcomes but "no answer"
    // and "sanitizer", which GameWindow tells.
    virtual std::string end(int signal) = 0;
    // The result of a script evaluated in the page, as text.
    virtual std::string evaluate(const std::string& script) = 0;
};

// The game from its command in its folder, on the X display of that name.
std::unique_ptr<WindowBackend> openXWindow(const std::string& display,
                                           const std::vector<std::string>& arguments,
                                           const std::string& folder, const std::string& files,
                                           const std::string& soundFile, double answerSeconds);

// The web build's site in that folder, served on 127.0.0.1 and opened at
// 1024 by 768 in headless Chromium.
std::unique_ptr<WindowBackend> openPage(const std::string& site, const std::string& files,
                                        double answerSeconds);

// Polls done every 50 ms until it holds (true) or seconds have passed (false).
bool waitUntil(const std::function<bool()>& done, double seconds);

// Stops a process with SIGTERM, and SIGKILL when it does not end within 2 s.
void stopProcess(pid_t pid);
