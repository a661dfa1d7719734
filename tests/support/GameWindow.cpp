#include "tests/support/GameWindow.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

// Runs a shell command and returns what it printed.
std::string capture(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    pclose(pipe);
    return output;
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A fresh name in the test's scratch folder: several games and many
// screenshots may come in one test.
std::string temporaryFile(const std::string& stem) {
    static int made = 0;
    return scratchPath(stem + "-" + std::to_string(++made));
}

void stop(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    kill(pid, SIGTERM);
    for (int i = 0; i < 40; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return;
        }
        waitSeconds(0.05);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

bool waitFor(const std::function<bool()>& condition, double seconds) {
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) {
            return true;
        }
        waitSeconds(0.05);
    }
    return condition();
}

void waitSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
}

VirtualDisplay::VirtualDisplay() {
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    server = fork();
    if (server == 0) {
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-screen", "0", "1280x1024x24",
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        throw std::runtime_error("Xvfb did not start");
    }
    name = ":" + number;
}

VirtualDisplay::~VirtualDisplay() { stop(server); }

GameWindow::GameWindow(const VirtualDisplay& on, const std::string& folder) : display(on.name) {
    outPath = temporaryFile("pellucane-out");
    errPath = temporaryFile("pellucane-err");
    game = fork();
    if (game == 0) {
        if (chdir(folder.c_str()) != 0) {
            _exit(126);
        }
        // As from a terminal, whatever the test runner ignores.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        if (freopen(outPath.c_str(), "w", stdout) == nullptr ||
            freopen(errPath.c_str(), "w", stderr) == nullptr) {
            _exit(125);
        }
        execl(PELLUCANE_BINARY, PELLUCANE_BINARY, static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string found =
        capture("DISPLAY=" + display +
                " timeout 30 xdotool search --sync --onlyvisible --name '^Pellucane$'"
                " 2>/dev/null");
    windowId = found.substr(0, found.find('\n'));
    if (windowId.empty()) {
        throw std::runtime_error("the game's window did not appear: " + errors());
    }
    // The window opens at the screen's corner and then moves to its place,
    // partly off the screen until it does: wait until all of it shows.
    waitFor(
        [&] {
            PngImage shot = screenshot();
            return shot.width == 1024 && shot.height == 768;
        },
        10.0);
}

GameWindow::~GameWindow() {
    stop(game);
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
}

void GameWindow::xdotool(const std::string& arguments) const {
    std::string command = "DISPLAY=" + display + " xdotool " + arguments + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("xdotool failed: " + arguments);
    }
}

void GameWindow::moveTo(int x, int y) {
    xdotool("mousemove --window " + windowId + " " + std::to_string(x) + " " + std::to_string(y));
}

void GameWindow::moveToGame(float gx, float gy) {
    const WindowPixel pixel = windowPixelOf(gx, gy);
    moveTo(pixel.x, pixel.y);
}

void GameWindow::press() { xdotool("mousedown 1"); }

void GameWindow::release() { xdotool("mouseup 1"); }

void GameWindow::click(int button) { xdotool("click " + std::to_string(button)); }

void GameWindow::resize(int width, int height) {
    xdotool("windowsize " + windowId + " " + std::to_string(width) + " " + std::to_string(height));
}

std::pair<int, int> GameWindow::size() const {
    const std::string shell =
        capture("DISPLAY=" + display + " xdotool getwindowgeometry --shell " + windowId);
    const auto field = [&shell](const std::string& name) {
        const size_t at = shell.find(name + "=");
        return at == std::string::npos ? -1 : std::atoi(shell.c_str() + at + name.size() + 1);
    };
    return {field("WIDTH"), field("HEIGHT")};
}

void GameWindow::key(const std::string& name) { xdotool("key --window " + windowId + " " + name); }

void GameWindow::keyDown(const std::string& name) { xdotool("keydown " + name); }

void GameWindow::keyUp(const std::string& name) { xdotool("keyup " + name); }

void GameWindow::takeFocus() {
    xdotool("mousemove --window " + windowId + " 512 384");
    xdotool("windowfocus --sync " + windowId);
}

void GameWindow::loseFocus() {
    // The screen is 1280 by 1024 and the window 1024 by 768 at (100, 100).
    xdotool("mousemove 1270 1014");
    const std::string root = capture("DISPLAY=" + display + " xwininfo -root");
    const std::string marker = "Window id: ";
    const size_t at = root.find(marker);
    if (at == std::string::npos) {
        throw std::runtime_error("no root window");
    }
    xdotool("windowfocus " + root.substr(at + marker.size(), root.find(' ', at + marker.size()) -
                                                                 (at + marker.size())));
}

void GameWindow::pause() { kill(game, SIGSTOP); }

void GameWindow::resume() { kill(game, SIGCONT); }

std::vector<std::string> GameWindow::traceLines() const {
    std::vector<std::string> lines;
    std::istringstream text(readWhole(outPath));
    std::string line;
    while (std::getline(text, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::string GameWindow::errors() const { return readWhole(errPath); }

PngImage GameWindow::screenshot() const {
    std::string path = temporaryFile("pellucane-shot") + ".png";
    std::string command =
        "DISPLAY=" + display + " import -window " + windowId + " " + path + " 2>/dev/null";
    PngImage shot;
    if (std::system(command.c_str()) != 0 || !decodePng(path.c_str(), shot)) {
        throw std::runtime_error("cannot take a screenshot");
    }
    if (const char* keep = std::getenv("PELLUCANE_KEEP_SHOTS")) {
        if (std::system(("cp " + path + " " + keep).c_str()) != 0) {
            std::fprintf(stderr, "cannot keep %s in %s\n", path.c_str(), keep);
        }
    }
    std::remove(path.c_str());
    return shot;
}

PngImage GameWindow::titleScreen() const {
    const auto notWhite = [](const Rgb& p) { return p.r + p.g + p.b < 600; };
    PngImage shot;
    if (!waitFor(
            [&] {
                shot = screenshot();
                return countPixels(shot, -50, 0, 50, 75, notWhite) > 100000;
            },
            30.0)) {
        throw std::runtime_error("no title screen: " + errors());
    }
    return shot;
}

long GameWindow::peakMemoryKb() const {
    std::ifstream status("/proc/" + std::to_string(game) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

bool GameWindow::running() { return waitpid(game, nullptr, WNOHANG) == 0; }

bool GameWindow::endsOnSignal(int signal, double seconds) {
    kill(game, signal);
    int status = 0;
    bool ended = waitFor([&] { return waitpid(game, &status, WNOHANG) == game; }, seconds);
    if (ended) {
        game = -1;
    }
    return ended && WIFSIGNALED(status) && WTERMSIG(status) == signal;
}

Rgb shotPixel(const PngImage& shot, float gx, float gy) {
    const WindowPixel pixel = windowPixelOf(gx, gy);
    if (pixel.x < 0 || pixel.y < 0 || pixel.x >= shot.width || pixel.y >= shot.height) {
        return Rgb{0, 0, 0};
    }
    // inside the shot: a pixel's place in its bytes
    const size_t at = static_cast<size_t>(pixel.y) * static_cast<size_t>(shot.width) +
                      static_cast<size_t>(pixel.x);
    const unsigned char* p = &shot.pixels[at * static_cast<size_t>(shot.channels)];
    return Rgb{p[0], p[1], p[2]};
}

int countPixels(const PngImage& shot, float x0, float y0, float x1, float y1,
                const std::function<bool(const Rgb&)>& test) {
    int count = 0;
    for (float gy = y0; gy <= y1; gy += gameUnitsPerPixel()) {
        for (float gx = x0; gx <= x1; gx += gameUnitsPerPixel()) {
            if (test(shotPixel(shot, gx, gy))) {
                ++count;
            }
        }
    }
    return count;
}

double difference(const PngImage& a, const PngImage& b, float x0, float y0, float x1, float y1) {
    double total = 0;
    int samples = 0;
    for (float gy = y0; gy <= y1; gy += gameUnitsPerPixel()) {
        for (float gx = x0; gx <= x1; gx += gameUnitsPerPixel()) {
            Rgb p = shotPixel(a, gx, gy);
            Rgb q = shotPixel(b, gx, gy);
            total += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
            samples += 3;
        }
    }
    return samples == 0 ? 0 : total / samples;
}
