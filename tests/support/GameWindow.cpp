#include "tests/support/GameWindow.h"

#include <regex.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/Pictures.h"

namespace {

// Runs a shell command and returns what it printed.
std::string capture(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, got);
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

// Stops a process with SIGTERM, and SIGKILL when it does not end within 2 s.
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

// How long a wait allows the game, seconds.
double answerSecondsFromEnvironment() {
    const char* set = std::getenv("PELLUCANE_ANSWER_SECONDS");
    return set == nullptr ? 60.0 : std::atof(set);
}

// A folder in the files folder for one game: several games may share it.
std::string gameFolder(const std::string& filesFolder) {
    std::string pattern = filesFolder + "/game-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder in " + filesFolder);
    }
    return pattern;
}

} // namespace

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

GameCommand gameCommand(const std::string& dataFolder) {
    const char* command = std::getenv("PELLUCANE_PLAY_COMMAND");
    if (command == nullptr || *command == '\0') {
        return {{PELLUCANE_BINARY}, dataFolder};
    }
    GameCommand other;
    std::istringstream words(command);
    for (std::string word; words >> word;) {
        other.arguments.push_back(word);
    }
    other.folder = scratchPath("");
    return other;
}

GameWindow::GameWindow(const VirtualDisplay& on, const GameCommand& command,
                       const std::string& filesFolder, const std::string& soundFile)
    : display(on.name), answerSeconds(answerSecondsFromEnvironment()) {
    const std::string files = gameFolder(filesFolder);
    outPath = files + "/stdout.txt";
    errPath = files + "/stderr.txt";
    game = fork();
    if (game == 0) {
        if (chdir(command.folder.c_str()) != 0) {
            _exit(126);
        }
        // As from a terminal, whatever the test runner ignores.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        setenv("SDL_AUDIODRIVER", soundFile.empty() ? "dummy" : "disk", 1);
        setenv("SDL_DISKAUDIOFILE", soundFile.c_str(), 1);
        if (freopen(outPath.c_str(), "w", stdout) == nullptr ||
            freopen(errPath.c_str(), "w", stderr) == nullptr) {
            _exit(125);
        }
        std::vector<char*> argv;
        for (const std::string& argument : command.arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    // The window opens at the screen's corner and then moves to its place,
    // partly off the screen until it does: wait until all of it shows.
    const bool shows = waitFor([&] {
        const std::string found =
            capture("DISPLAY=" + display +
                    " xdotool search --onlyvisible --name '^Pellucane$' 2>/dev/null");
        windowId = found.substr(0, found.find('\n'));
        const PngImage shot = windowId.empty() || !running() ? PngImage{} : screenshot();
        return shot.width == 1024 && shot.height == 768;
    });
    if (!shows) {
        windowId.clear();
        return;
    }
    takeFocus();
}

GameWindow::~GameWindow() { stop(game); }

bool GameWindow::showing() const { return !windowId.empty(); }

const std::string& GameWindow::window() const {
    if (windowId.empty()) {
        throw std::runtime_error("the game's window did not show: " + errors());
    }
    return windowId;
}

void GameWindow::xdotool(const std::string& arguments) const {
    window();
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

void GameWindow::key(const std::string& name) { xdotool("key " + name); }

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

void GameWindow::pause() {
    if (running()) {
        kill(game, SIGSTOP);
    }
}

void GameWindow::resume() {
    if (game > 0) {
        kill(game, SIGCONT);
    }
}

std::vector<std::string> GameWindow::traceLines() const {
    std::vector<std::string> lines;
    std::istringstream text(readWhole(outPath));
    std::string line;
    while (std::getline(text, line)) {
        // Windows ends its lines with a carriage return too
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

int GameWindow::countLines(const std::string& pattern) const {
    regex_t wanted;
    if (regcomp(&wanted, pattern.c_str(), REG_EXTENDED | REG_NOSUB) != 0) {
        throw std::runtime_error("not a pattern: " + pattern);
    }
    int count = 0;
    for (const std::string& line : traceLines()) {
        count += regexec(&wanted, line.c_str(), 0, nullptr, 0) == 0;
    }
    regfree(&wanted);
    return count;
}

std::string GameWindow::errors() const { return readWhole(errPath); }

bool GameWindow::waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int>(answerSeconds * 1000));
    while (!condition()) {
        if (!running()) {
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            unanswered = true;
            return false;
        }
        waitSeconds(0.05);
    }
    return true;
}

bool GameWindow::waitForLines(int count, const std::string& pattern) {
    return waitFor([&] { return countLines(pattern) >= count; });
}

PngImage GameWindow::screenshot() const {
    // The window's part of the screen, as a binary PPM: "P6", the width, the
    // height and 255, then the RGB rows. (Taken from the root window: import
    // taking the game's own would wait for a click on another window when
    // the game's goes as it reads it, as a game ending at start-up does.)
    const std::string ppm = capture(
        "DISPLAY=" + display + " sh -c 'eval \"$(xdotool getwindowgeometry --shell " + window() +
        ")\" && import -window root -crop \"${WIDTH}x${HEIGHT}+$X+$Y\" +repage -depth 8 "
        "ppm:-' 2>/dev/null");
    std::istringstream header(ppm);
    std::string magic;
    int width = 0;
    int height = 0;
    int maximum = 0;
    header >> magic >> width >> height >> maximum;
    const auto start = static_cast<size_t>(header.tellg()) + 1;
    PngImage shot;
    if (magic != "P6" || maximum != 255 || width <= 0 || height <= 0 ||
        ppm.size() != start + static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
        return shot;
    }
    shot.width = width;
    shot.height = height;
    shot.channels = 3;
    shot.pixels.assign(ppm.begin() + static_cast<std::ptrdiff_t>(start), ppm.end());
    return shot;
}

PngImage GameWindow::showsFrame(const std::string& name) {
    PngImage shot;
    FrameDifference difference;
    if (waitFor([&] {
            shot = screenshot();
            difference = compareWithGoldenFrame(shot.pixels, name);
            return difference.matches();
        })) {
        return shot;
    }
    throw std::runtime_error("the window never showed it: " +
                             keepMismatch(shot.pixels, name, difference) + "; " + errors());
}

long GameWindow::peakMemoryKb() const { return ::peakMemoryKb(game); }

bool GameWindow::running() {
    if (game > 0 && waitpid(game, &status, WNOHANG) == game) {
        game = -1;
    }
    return game > 0;
}

std::string GameWindow::end(int signal) {
    std::string sent;
    if (running()) {
        kill(game, signal);
        sent = std::string(" at SIG") + sigabbrev_np(signal);
        const bool ended = waitFor([&] { return !running(); }) || !running();
        if (!ended) {
            kill(game, SIGKILL);
            waitpid(game, &status, 0);
            game = -1;
            return "hung" + sent;
        }
    }
    std::string outcome;
    if (!sent.empty()) {
        const bool bySignal = WIFSIGNALED(status) && WTERMSIG(status) == signal;
        outcome = !bySignal ? "died" + sent : unanswered ? "no answer" : "ran";
    } else if (WIFSIGNALED(status)) {
        outcome = "signal " + std::to_string(WTERMSIG(status));
    } else {
        outcome = "exit " + std::to_string(WEXITSTATUS(status));
    }
    const std::string text = errors();
    if (text.find("Sanitizer") != std::string::npos ||
        text.find("runtime error") != std::string::npos) {
        outcome = "sanitizer";
    }
    return outcome;
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
