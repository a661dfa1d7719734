#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "tests/support/GameWindow.h"
#include "tests/support/Pictures.h"

namespace {

using nlohmann::json;

// The game's frame, pixels: what a screenshot holds and moveTo's window.
constexpr int FrameWidth = 1024;
constexpr int FrameHeight = 768;

// A key as DevTools sends it, from xdotool's name for it.
struct KeyStroke {
    std::string key;
    std::string code;
    // what the key types, empty for keys that type nothing
    std::string text;
    int keyCode = 0;
    // 8 with shift held
    int modifiers = 0;
};

// The keys that type nothing or type what their name does not say, by
// xdotool's name.
const std::map<std::string, KeyStroke> NamedKeys = {
    {"comma", {",", "Comma", ",", 188, 0}},        {"Return", {"Enter", "Enter", "\r", 13, 0}},
    {"space", {" ", "Space", " ", 32, 0}},         {"Down", {"ArrowDown", "ArrowDown", "", 40, 0}},
    {"Next", {"PageDown", "PageDown", "", 34, 0}},
};

KeyStroke strokeOf(const std::string& name) {
    const bool shifted = name.rfind("shift+", 0) == 0;
    const std::string bare = shifted ? name.substr(6) : name;
    const int modifiers = shifted ? 8 : 0;
    const unsigned char first = bare.empty() ? '\0' : static_cast<unsigned char>(bare[0]);
    if (bare.size() == 1 && std::isalpha(first)) {
        const bool upper = shifted || std::isupper(first);
        const auto capital = static_cast<char>(std::toupper(first));
        const std::string shown(1, upper ? capital : static_cast<char>(std::tolower(first)));
        return {shown, std::string("Key") + capital, shown, capital, upper ? 8 : 0};
    }
    if (bare.size() == 1 && std::isdigit(first)) {
        return {bare, "Digit" + bare, bare, first, modifiers};
    }
    const auto named = NamedKeys.find(bare);
    if (named != NamedKeys.end()) {
        KeyStroke stroke = named->second;
        stroke.modifiers = modifiers;
        return stroke;
    }
    if (bare.size() >= 2 && bare[0] == 'F' && std::isdigit(static_cast<unsigned char>(bare[1]))) {
        return {bare, bare, "", 111 + std::stoi(bare.substr(1)), modifiers};
    }
    throw std::runtime_error("no key of that name in the browser: " + name);
}

// The page that frames the game as game sites do: the game in an iframe the
// window's size, atop a page taller than the window, which the keys that
// scroll would move.
const char* const HostPage = R"(<!doctype html>
<html style="scrollbar-width: none">
<body style="margin: 0">
<iframe src="site/" style="display: block; border: 0; width: 100vw; height: 100vh"></iframe>
<div style="height: 300vh"></div>
</body>)";

// The web build's page in headless Chromium, driven through Chrome's
// DevTools protocol on a pipe (JSON messages ended by a NUL byte: Chromium
// reads them from its descriptor 3 and answers on 4). The game's standard
// output reaches the console a line a message (console.log), its standard
// error through console.error; they are read as they come, whenever the
// driver asks Chromium anything or looks at what the game wrote. WebGL
// through SwiftShader draws the title and instructions screens within a
// channel step of Mesa's llvmpipe (worst difference 1 in 77452 and 70831
// pixels, measured): the golden frames' tolerances hold as they are.
class PageWindow : public GameWindow {
  public:
    PageWindow(const std::string& site, const PageView& shownAs, const std::string& files)
        : view(shownAs), shotPath(files + "/shot.png") {
        // A write to a Chromium that has gone fails instead of ending the test.
        signal(SIGPIPE, SIG_IGN);
        // Whatever throws from here ends what has been started.
        try {
            const std::string url = view.address.empty() ? serveSite(site, files) : view.address;

            int commands[2];
            int replies[2];
            if (pipe2(commands, O_CLOEXEC) != 0 || pipe2(replies, O_CLOEXEC) != 0) {
                throw std::runtime_error("cannot make a pipe");
            }
            std::vector<std::string> arguments = {"/usr/bin/chromium",
                                                  "--headless=new",
                                                  "--use-angle=swiftshader",
                                                  "--enable-unsafe-swiftshader",
                                                  "--no-sandbox",
                                                  "--no-first-run",
                                                  "--disable-background-networking",
                                                  "--disable-component-update",
                                                  "--disable-sync",
                                                  "--window-size=" + std::to_string(view.width) +
                                                      "," + std::to_string(view.height),
                                                  "--user-data-dir=" + files + "/chromium",
                                                  "--remote-debugging-pipe"};
            if (!view.webgl) {
                arguments.push_back("--disable-3d-apis");
            }
            arguments.push_back("about:blank");
            browser = startProcess(
                {arguments, "", {}, "", files + "/chromium.txt", {commands[0], replies[1]}});
            close(commands[0]);
            close(replies[1]);
            toBrowser = commands[1];
            fromBrowser = replies[0];
            openSite(url);
            // The page has settled once the game's main function has run, or
            // once it has loaded without starting the game (no WebGL), or
            // without its data.
            const std::string settled =
                "typeof Module === 'object' && (Module.calledRun === true || "
                "document.readyState === 'complete' && (" +
                std::string(view.loading ? "true" : "false") +
                " || !document.querySelector('script[src=\"pellucane.js\"]')))";
            waitFor([this, &settled] {
                try {
                    return evaluate(settled) == "true";
                } catch (const std::runtime_error&) {
                    // the page is still loading
                    return false;
                }
            });
            shown = evaluate("Module.calledRun === true") == "true";
            if (shown || view.loading) {
                findCanvas();
            }
        } catch (...) {
            shutDown();
            throw;
        }
    }

    ~PageWindow() override { shutDown(); }

    bool showing() const override { return shown; }

    // A pixel of the game's frame is where the canvas shows it on the page.
    double pageX(int x) const { return canvasLeft + x * canvasWidth / FrameWidth; }
    double pageY(int y) const { return canvasTop + y * canvasHeight / FrameHeight; }
    void moveTo(int x, int y) override {
        mouseX = pageX(x);
        mouseY = pageY(y);
        mouse("mouseMoved", "none");
    }
    // A touch screen's finger: the page takes it for the first button, where it touches.
    void tap(int x, int y) override {
        const json finger = {{"x", pageX(x)}, {"y", pageY(y)}};
        command("Input.dispatchTouchEvent",
                {{"type", "touchStart"}, {"touchPoints", json::array({finger})}});
        command("Input.dispatchTouchEvent", {{"type", "touchEnd"}, {"touchPoints", json::array()}});
    }
    void press() override { mouse("mousePressed", "left"); }
    void release() override { mouse("mouseReleased", "left"); }
    void click(int button) override {
        const char* name = button == 2 ? "middle" : button == 3 ? "right" : "left";
        mouse("mousePressed", name);
        mouse("mouseReleased", name);
    }

    void key(const std::string& name) override {
        keyDown(name);
        keyUp(name);
    }
    // Keys pressed or let go while the page has lost the keyboard go to
    // whatever has it, not to the page.
    void keyDown(const std::string& name) override { press(name, false); }
    void keyRepeat(const std::string& name) override { press(name, true); }
    void keyUp(const std::string& name) override {
        const KeyStroke stroke = strokeOf(name);
        if (!focused) {
            return;
        }
        command("Input.dispatchKeyEvent", {{"type", "keyUp"},
                                           {"modifiers", stroke.modifiers},
                                           {"key", stroke.key},
                                           {"code", stroke.code},
                                           {"windowsVirtualKeyCode", stroke.keyCode}});
    }

    // The page has the keyboard as if its window were in front, or loses it
    // as to another window: the browser tells it so (a blur event).
    void takeFocus() override {
        command("Emulation.setFocusEmulationEnabled", {{"enabled", true}});
        focused = true;
    }
    void loseFocus() override {
        evaluate("window.dispatchEvent(new FocusEvent('blur'))");
        focused = false;
    }

    std::string output() const override {
        readMessages(0);
        return out;
    }
    std::string errors() const override {
        readMessages(0);
        return err;
    }

    PngImage screenshot() const override {
        // the PNG comes as base64 text
        // the canvas, scaled to the game's frame
        const json clip = {{"x", canvasLeft},
                           {"y", canvasTop},
                           {"width", canvasWidth},
                           {"height", canvasHeight},
                           {"scale", FrameWidth / canvasWidth / view.pixelRatio}};
        const std::string png =
            command("Page.captureScreenshot", {{"format", "png"}, {"clip", clip}})
                .at("data")
                .get<std::string>();
        FILE* decoder = popen(("base64 -d >'" + shotPath + "'").c_str(), "w");
        const bool written = decoder != nullptr &&
                             std::fwrite(png.data(), 1, png.size(), decoder) == png.size() &&
                             pclose(decoder) == 0;
        return written ? readPng(shotPath, 3) : PngImage{};
    }

    bool running() override {
        if (browser > 0 && browserExited()) {
            endBrowser();
        }
        readMessages(0);
        return browser > 0 && !crashed;
    }

    // In the game's page, framed or not.
    std::string evaluate(const std::string& script) override {
        const std::string inGame =
            view.framed ? "frames[0].eval(" + json(script).dump() + ")" : script;
        const json value =
            command("Runtime.evaluate",
                    {{"expression", inGame}, {"returnByValue", true}, {"awaitPromise", true}})
                .at("result")
                .value("value", json());
        return value.is_string() ? value.get<std::string>() : value.dump();
    }

  private:
    // A key pressed, or its repeat.
    void press(const std::string& name, bool repeat) {
        const KeyStroke stroke = strokeOf(name);
        if (!focused) {
            return;
        }
        command("Input.dispatchKeyEvent", {{"type", stroke.text.empty() ? "rawKeyDown" : "keyDown"},
                                           {"modifiers", stroke.modifiers},
                                           {"key", stroke.key},
                                           {"code", stroke.code},
                                           {"windowsVirtualKeyCode", stroke.keyCode},
                                           {"text", stroke.text},
                                           {"unmodifiedText", stroke.text},
                                           {"autoRepeat", repeat}});
    }

    // Serves the game's folder as site/ beside the page that frames it, on
    // 127.0.0.1; the page's address.
    std::string serveSite(const std::string& site, const std::string& files) {
        std::filesystem::create_directory_symlink(std::filesystem::absolute(site), files + "/site");
        std::ofstream(files + "/host.html") << HostPage;
        int serverOutput = -1;
        server = startProcess({{"/usr/bin/python3", "-u", "-m", "http.server", "0", "--bind",
                                "127.0.0.1", "--directory", files},
                               "",
                               {},
                               "",
                               files + "/server.txt",
                               {}},
                              &serverOutput);
        // "Serving HTTP on 127.0.0.1 port 40123 (http://127.0.0.1:40123/) ..."
        std::string line;
        char c;
        while (read(serverOutput, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(serverOutput);
        const size_t at = line.find(" port ");
        if (at == std::string::npos) {
            throw std::runtime_error("the page's server did not start: " + line);
        }
        return "http://127.0.0.1:" + std::to_string(std::atoi(&line[at + 6])) +
               (view.framed ? "/host.html" : "/site/");
    }

    // Where the canvas stands in the window, CSS pixels, through any frame.
    void findCanvas() {
        const json box = json::parse(evaluate(R"((() => {
  const shown = Module.canvas.getBoundingClientRect();
  const frame = window.frameElement ? frameElement.getBoundingClientRect() : {left: 0, top: 0};
  return JSON.stringify([frame.left + shown.left, frame.top + shown.top, shown.width, shown.height]);
})())"));
        canvasLeft = box.at(0);
        canvasTop = box.at(1);
        canvasWidth = box.at(2);
        canvasHeight = box.at(3);
    }

    // Opens the page at the url on the browser's first tab, in the view's size,
    // on a touch screen.
    void openSite(const std::string& url) {
        const json targets = command("Target.getTargets", json::object(), false);
        std::string target;
        for (const json& info : targets.at("targetInfos")) {
            if (info.at("type") == "page") {
                target = info.at("targetId");
            }
        }
        session = command("Target.attachToTarget", {{"targetId", target}, {"flatten", true}}, false)
                      .at("sessionId");
        command("Emulation.setDeviceMetricsOverride", {{"width", view.width},
                                                       {"height", view.height},
                                                       {"deviceScaleFactor", view.pixelRatio},
                                                       {"mobile", false}});
        // a screen that can be touched as well as clicked, as a tablet's or a laptop's
        command("Emulation.setTouchEmulationEnabled", {{"enabled", true}, {"maxTouchPoints", 1}});
        command("Runtime.enable", json::object());
        command("Inspector.enable", json::object());
        if (view.loading) {
            // the request for the game's data waits for an answer that never comes
            command("Fetch.enable", {{"patterns", {{{"urlPattern", "*pellucane.data"}}}}});
        }
        command("Page.navigate", {{"url", url}});
    }

    // Ends Chromium (with what is left of its own processes, in its group) and the server.
    void shutDown() {
        if (browser > 0) {
            // SIGTERM, and SIGKILL with the group when Chromium has not exited within 2 s
            kill(browser, SIGTERM);
            waitUntil([this] { return browserExited(); }, 2);
            endBrowser();
        }
        close(toBrowser);
        close(fromBrowser);
        stopProcess(server);
    }

    // Whether Chromium has exited; it is left unreaped, so that its pid
    // still names its group and no other process can take it.
    bool browserExited() const {
        siginfo_t info{};
        return waitid(P_PID, static_cast<id_t>(browser), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == browser;
    }

    // Ends what is left in Chromium's group, Chromium too, and then reaps it.
    void endBrowser() {
        kill(-browser, SIGKILL);
        waitpid(browser, nullptr, 0);
        browser = -1;
    }

    void mouse(const std::string& type, const std::string& button) {
        command("Input.dispatchMouseEvent", {{"type", type},
                                             {"x", mouseX},
                                             {"y", mouseY},
                                             {"button", button},
                                             {"clickCount", type == "mouseMoved" ? 0 : 1}});
    }

    // Sends a command (to the page, or to the browser) and waits for its
    // answer; throws on an error or when none comes within the answer time.
    json command(const std::string& method, const json& parameters, bool toPage = true) const {
        const int id = ++lastId;
        json message = {{"id", id}, {"method", method}, {"params", parameters}};
        if (toPage) {
            message["sessionId"] = session;
        }
        const std::string text = message.dump() + '\0';
        for (size_t sent = 0; sent < text.size();) {
            const ssize_t wrote = write(toBrowser, text.data() + sent, text.size() - sent);
            if (wrote <= 0) {
                throw std::runtime_error("Chromium has gone: " + method);
            }
            sent += static_cast<size_t>(wrote);
        }
        answer = json();
        answerId = id;
        if (!readMessages(static_cast<int>(answerSeconds * 1000))) {
            throw std::runtime_error("Chromium did not answer " + method);
        }
        if (answer.contains("error")) {
            throw std::runtime_error(method + ": " + answer["error"].value("message", ""));
        }
        return answer.value("result", json::object());
    }

    // Reads Chromium's messages until the answer awaited has come (true), or
    // until nothing has come for waitMs or Chromium has gone (false); with
    // no answer awaited, until there is nothing more to read now.
    bool readMessages(int waitMs) const {
        const bool awaiting = answerId != 0;
        pollfd from = {fromBrowser, POLLIN, 0};
        while (!(awaiting && answerId == 0) && poll(&from, 1, awaiting ? waitMs : 0) > 0) {
            char buffer[65536];
            const ssize_t got = read(fromBrowser, buffer, sizeof buffer);
            if (got <= 0) {
                return false;
            }
            pending.append(buffer, static_cast<size_t>(got));
            for (size_t end; (end = pending.find('\0')) != std::string::npos;) {
                const json message = json::parse(pending.substr(0, end), nullptr, false);
                pending.erase(0, end + 1);
                if (message.is_object()) {
                    take(message);
                }
            }
        }
        return answerId == 0;
    }

    void take(const json& message) const {
        if (message.value("id", 0) == answerId && answerId != 0) {
            answer = message;
            answerId = 0;
            return;
        }
        const std::string method = message.value("method", "");
        const json parameters = message.value("params", json::object());
        if (method == "Runtime.consoleAPICalled") {
            std::string line;
            for (const json& argument : parameters.value("args", json::array())) {
                const json value = argument.value("value", json());
                line += (line.empty() ? "" : " ") +
                        (value.is_string() ? value.get<std::string>() : value.dump());
            }
            (parameters.value("type", "") == "log" ? out : err) += line + "\n";
        } else if (method == "Runtime.exceptionThrown") {
            err += parameters.value("exceptionDetails", json::object()).dump() + "\n";
        } else if (method == "Inspector.targetCrashed") {
            crashed = true;
        }
    }

    // how the page shows the game
    PageView view;
    // where a screenshot's PNG goes to be read
    std::string shotPath;
    // the HTTP server and Chromium (-1 once ended), the leader of its processes' group
    pid_t server = -1;
    pid_t browser = -1;
    // the pipe's two ends: commands to Chromium, its answers and events
    int toBrowser = -1;
    int fromBrowser = -1;
    // the page's session with the browser
    std::string session;
    // whether the game has started, and whether the page has the keyboard
    bool shown = false;
    bool focused = false;
    // where the canvas stands in the window, CSS pixels
    double canvasLeft = 0;
    double canvasTop = 0;
    double canvasWidth = FrameWidth;
    double canvasHeight = FrameHeight;
    // the mouse's place, CSS pixels
    double mouseX = FrameWidth / 2;
    double mouseY = FrameHeight / 2;

    // What Chromium has sent, read whenever the driver asks or looks: the
    // last command's id (0 once answered) and its answer, a message read in
    // part, the console's lines (standard output; standard error with the
    // page's exceptions) and whether the page's renderer crashed.
    mutable int lastId = 0;
    mutable int answerId = 0;
    mutable json answer;
    mutable std::string pending;
    mutable std::string out;
    mutable std::string err;
    mutable bool crashed = false;
};

} // namespace

std::unique_ptr<GameWindow> openPage(const std::string& site, const PageView& view,
                                     const std::string& files) {
    return std::make_unique<PageWindow>(site, view, files);
}
