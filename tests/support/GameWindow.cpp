#include "tests/support/GameWindow.h"

#include <fcntl.h>
#include <regex.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/Pictures.h"

namespace {

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

pid_t startProcess(const ProcessStart& start, int* outputPipe) {
    int fds[2] = {-1, -1};
    if (outputPipe != nullptr && pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        // Ends with the test: a test killed by its runner (a timeout, a
        // stop at the first failure) leaves no game or X server behind.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(124);
        }
        // whatever the test runner ignores
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        // Moved above 63 first: placing one at 3 then overwrites no other.
        std::vector<int> moved;
        for (const int fd : start.descriptors) {
            moved.push_back(fcntl(fd, F_DUPFD_CLOEXEC, 64));
        }
        for (size_t i = 0; i < moved.size(); ++i) {
            dup2(moved[i], 3 + static_cast<int>(i));
        }
        if (!start.folder.empty() && chdir(start.folder.c_str()) != 0) {
            _exit(126);
        }
        for (const auto& [name, value] : start.environment) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        // a file written afresh, or the descriptor given for none
        const auto opened = [](const std::string& path, int none) {
            return path.empty() ? none : open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        };
        const int error = opened(start.errorFile, 2);
        const int output = outputPipe != nullptr ? fds[1] : opened(start.outputFile, error);
        if (error < 0 || output < 0 || dup2(output, 1) < 0 || dup2(error, 2) < 0) {
            _exit(125);
        }
        std::vector<char*> argv;
        for (const std::string& argument : start.arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (outputPipe != nullptr) {
        close(fds[1]);
        *outputPipe = fds[0];
    }
    return pid;
}

void stopProcess(pid_t pid) {
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

bool waitUntil(const std::function<bool()>& done, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        waitSeconds(0.05);
    }
    return true;
}

void waitSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
}

VirtualDisplay::VirtualDisplay(int width, int height, bool managed) {
    // Xvfb says its display's number on its standard output (descriptor 1)
    int numbers = -1;
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    server = startProcess(
        {{"Xvfb", "-displayfd", "1", "-noreset", "-screen", "0", screen, "-nolisten", "tcp"},
         "",
         {},
         "",
         "",
         {}},
        &numbers);
    std::string number;
    char c;
    while (read(numbers, &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(numbers);
    if (number.empty()) {
        throw std::runtime_error("Xvfb did not start");
    }
    name = ":" + number;
    if (managed) {
        ProcessStart windowManager;
        windowManager.arguments = {"matchbox-window-manager", "-use_titlebar", "no"};
        windowManager.environment = {{"DISPLAY", name}};
        manager = startProcess(windowManager);
    }
}

VirtualDisplay::~VirtualDisplay() {
    stopProcess(manager);
    stopProcess(server);
}

GameCommand gameCommand(const std::string& dataFolder) {
    const char* page = std::getenv("PELLUCANE_PLAY_PAGE");
    if (page != nullptr && *page != '\0') {
        return {{}, "", page, {}};
    }
    const char* command = std::getenv("PELLUCANE_PLAY_COMMAND");
    if (command == nullptr || *command == '\0') {
        return {{PELLUCANE_BINARY}, dataFolder, "", {}};
    }
    GameCommand other;
    std::istringstream words(command);
    for (std::string word; words >> word;) {
        other.arguments.push_back(word);
    }
    other.folder = scratchPath("");
    return other;
}

GameWindow::GameWindow() : answerSeconds(answerSecondsFromEnvironment()) {}

std::unique_ptr<GameWindow> startGame(const VirtualDisplay& display, const GameCommand& command,
                                      const std::string& filesFolder,
                                      const std::string& soundFile) {
    const std::string files = gameFolder(filesFolder);
    std::unique_ptr<GameWindow> game = command.page.empty()
                                           ? openXWindow(display.name, command, files, soundFile)
                                           : openPage(command.page, command.view, files);
    if (game->showing()) {
        game->takeFocus();
    }
    return game;
}

void GameWindow::moveToGame(float gx, float gy) {
    const WindowPixel pixel = windowPixelOf(gx, gy);
    moveTo(pixel.x, pixel.y);
}

void GameWindow::tapGame(float gx, float gy) {
    const WindowPixel pixel = windowPixelOf(gx, gy);
    tap(pixel.x, pixel.y);
}

void GameWindow::cannot(const std::string& what) const {
    throw std::runtime_error("this window cannot " + what);
}
void GameWindow::tap(int, int) { cannot("be touched"); }
void GameWindow::resize(int, int) { cannot("resize"); }
std::pair<int, int> GameWindow::size() const { cannot("tell its size"); }
void GameWindow::loseFocus() { cannot("lose the focus"); }
void GameWindow::keyRepeat(const std::string&) { cannot("send a key's repeat"); }
void GameWindow::pause() { cannot("pause"); }
void GameWindow::resume() { cannot("resume"); }
std::string GameWindow::evaluate(const std::string&) { cannot("evaluate a script"); }
long GameWindow::peakMemoryKb() const { cannot("tell its memory"); }
std::string GameWindow::stop(int) { cannot("be sent a signal"); }

std::vector<std::string> GameWindow::traceLines() const {
    std::vector<std::string> lines;
    std::istringstream text(output());
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

bool GameWindow::showsRoughly(const std::string& name) {
    const PngImage golden = readPng(goldenFramePath(name), 3);
    return waitFor([&] { return difference(golden, screenshot(), -50, 0, 50, 75) < 6.0; });
}

std::string GameWindow::end(int signal) {
    std::string outcome = stop(signal);
    if (outcome == "ran" && unanswered) {
        outcome = "no answer";
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
