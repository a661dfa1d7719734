#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "render/Camera.h"
#include "tests/support/GameWindow.h"
#include "tests/support/TestSupport.h"

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

// The game's window on an X server: xdotool moves the mouse and presses
// keys there, ImageMagick grabs the window.
class XWindow : public GameWindow {
  public:
    XWindow(const std::string& displayName, const GameCommand& command, const std::string& files,
            const std::string& soundFile)
        : display(displayName), outPath(files + "/stdout.txt"), errPath(files + "/stderr.txt") {
        game = startProcess({command.arguments,
                             command.folder,
                             {{"DISPLAY", display},
                              {"LIBGL_ALWAYS_SOFTWARE", "1"},
                              {"SDL_AUDIODRIVER", soundFile.empty() ? "dummy" : "disk"},
                              {"SDL_DISKAUDIOFILE", soundFile}},
                             outPath,
                             errPath,
                             {}});
        waitFor([this] { return lookForWindow(); });
    }
    ~XWindow() override { stopProcess(game); }

    bool showing() const override { return !windowId.empty(); }

    // A pixel of the game's 1024 by 768 frame is where the view shows it in
    // the window, whatever the window's size.
    void moveTo(int x, int y) override {
        const Camera view = viewNow();
        xdotool("mousemove --window " + windowId + " " +
                std::to_string(view.viewportLeft + x * view.viewportWidth / 1024) + " " +
                std::to_string(view.viewportTop() + y * view.viewportHeight / 768));
    }
    void press() override { xdotool("mousedown 1"); }
    void release() override { xdotool("mouseup 1"); }
    void click(int button) override { xdotool("click " + std::to_string(button)); }

    void resize(int width, int height) override {
        xdotool("windowsize " + windowId + " " + std::to_string(width) + " " +
                std::to_string(height));
    }

    std::pair<int, int> size() const override {
        const std::string shell =
            capture("DISPLAY=" + display + " xdotool getwindowgeometry --shell " + windowId);
        const auto field = [&shell](const std::string& name) {
            const size_t at = shell.find(name + "=");
            return at == std::string::npos ? -1 : std::atoi(shell.c_str() + at + name.size() + 1);
        };
        return {field("WIDTH"), field("HEIGHT")};
    }

    void key(const std::string& name) override { xdotool("key " + name); }
    void keyDown(const std::string& name) override { xdotool("keydown " + name); }
    void keyUp(const std::string& name) override { xdotool("keyup " + name); }

    void takeFocus() override {
        xdotool("mousemove --window " + windowId + " 512 384");
        xdotool("windowfocus --sync " + windowId);
    }

    void loseFocus() override {
        // The screen is 1280 by 1024 and the window 1024 by 768 at (100, 100).
        xdotool("mousemove 1270 1014");
        const std::string root = capture("DISPLAY=" + display + " xwininfo -root");
        const std::string marker = "Window id: ";
        const size_t at = root.find(marker);
        if (at == std::string::npos) {
            throw std::runtime_error("no root window");
        }
        xdotool("windowfocus " +
                root.substr(at + marker.size(),
                            root.find(' ', at + marker.size()) - (at + marker.size())));
    }

    void pause() override {
        if (running()) {
            kill(game, SIGSTOP);
        }
    }
    void resume() override {
        if (game > 0) {
            kill(game, SIGCONT);
        }
    }

    std::string output() const override { return readWhole(outPath); }
    std::string errors() const override { return readWhole(errPath); }

    PngImage screenshot() const override { return grab(window(), true); }

    long peakMemoryKb() const override { return ::peakMemoryKb(game); }

    bool running() override {
        if (game > 0 && waitpid(game, &status, WNOHANG) == game) {
            game = -1;
        }
        return game > 0;
    }

    std::string stop(int signal) override {
        if (!running()) {
            return WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                       : "exit " + std::to_string(WEXITSTATUS(status));
        }
        kill(game, signal);
        const std::string sent = std::string(" at SIG") + sigabbrev_np(signal);
        if (!waitUntil([&] { return !running(); }, answerSeconds) && running()) {
            kill(game, SIGKILL);
            waitpid(game, &status, 0);
            game = -1;
            return "hung" + sent;
        }
        return WIFSIGNALED(status) && WTERMSIG(status) == signal ? "ran" : "died" + sent;
    }

  private:
    // Looks once whether the game's window shows whole, and remembers it.
    bool lookForWindow() {
        // The window opens at the screen's corner and then moves to its place,
        // partly off the screen until it does: it shows once all of it does,
        // at whatever size it has.
        const std::string listed =
            capture("DISPLAY=" + display +
                    " xdotool search --onlyvisible --name '^Pellucane$' 2>/dev/null");
        const std::string found = listed.substr(0, listed.find('\n'));
        windowId = found.empty() || !running() ? "" : found;
        const PngImage shot = showing() ? grab(found, false) : PngImage{};
        if (shot.width <= 0 || std::pair(shot.width, shot.height) != size()) {
            windowId.clear();
        }
        return showing();
    }
    // The window's part of the screen; or its view's, scaled to the game's
    // 1024 by 768 frame (left alone at that size).
    PngImage grab(const std::string& id, bool view) const {
        std::string crop = "${WIDTH}x${HEIGHT}+$X+$Y";
        if (view) {
            const Camera camera = viewNow();
            crop = std::to_string(camera.viewportWidth) + "x" +
                   std::to_string(camera.viewportHeight) + "+$((X+" +
                   std::to_string(camera.viewportLeft) + "))+$((Y+" +
                   std::to_string(camera.viewportTop()) + "))\" -resize \"1024x768!";
        }
        // That part of the screen, as a binary PPM: "P6", the width, the height and 255,
        // then the RGB rows. (Taken from the root window: import taking the game's own would wait
        // for a click on another window when the game's goes as it reads it, as a game ending at
        // start-up does.)
        const std::string ppm =
            capture("DISPLAY=" + display + " sh -c 'eval \"$(xdotool getwindowgeometry --shell " +
                    id + ")\" && import -window root -crop \"" + crop +
                    "\" +repage -depth 8 ppm:-' 2>/dev/null");
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

    // The camera as the game lays it out in its window now.
    Camera viewNow() const {
        const auto [width, height] = size();
        return cameraIn(width, height);
    }

    // the window's id; throws when it did not show
    const std::string& window() const {
        if (windowId.empty()) {
            throw std::runtime_error("the game's window did not show: " + errors());
        }
        return windowId;
    }

    // runs an xdotool command on this display
    void xdotool(const std::string& arguments) const {
        window();
        std::string command = "DISPLAY=" + display + " xdotool " + arguments + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("xdotool failed: " + arguments);
        }
    }

    // the display's name, for the tools
    std::string display;
    // files that capture standard output and error
    std::string outPath;
    std::string errPath;
    // the game process and its window
    pid_t game = -1;
    std::string windowId;
    // how the game ended, once it has (waitpid's status)
    int status = 0;
};

} // namespace

std::unique_ptr<GameWindow> openXWindow(const std::string& display, const GameCommand& command,
                                        const std::string& files, const std::string& soundFile) {
    return std::make_unique<XWindow>(display, command, files, soundFile);
}
