#include "tests/support/ScriptedGame.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/Engine.h"
#include "app/GameState.h"
#include "base/ElapsedTime.h"
#include "input/InputState.h"
#include "market/Market.h"
#include "net/MarketDigest.h"
#include "net/StreetSnapshot.h"
#include "protocol/Message.h"
#include "shop/ShopCommands.h"
#include "tests/support/TestSupport.h"

namespace {

// The words that begin a step.
const struct {
    const char* word;
    ScriptStep::Kind kind;
} stepWords[] = {
    {"street", ScriptStep::Street},   {"frames", ScriptStep::Frames},
    {"type", ScriptStep::Type},       {"hover", ScriptStep::Hover},
    {"point", ScriptStep::Point},     {"move", ScriptStep::Move},
    {"down", ScriptStep::Down},       {"up", ScriptStep::Up},
    {"click", ScriptStep::Click},     {"money", ScriptStep::Money},
    {"product", ScriptStep::Product}, {"frame", ScriptStep::Mark},
    {"ticks", ScriptStep::Ticks},     {"key", ScriptStep::SeatKey},
    {"cursor", ScriptStep::Cursor},   {"press", ScriptStep::Press},
    {"release", ScriptStep::Release}, {"digest", ScriptStep::Digest},
    {"state", ScriptStep::State},
};

// A float written exactly ("%a"), or any other way strtof reads.
bool readExact(std::istringstream& words, float& value) {
    std::string text;
    if (!(words >> text)) {
        return false;
    }
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return *end == '\0';
}

// The menus' bands, by the name a script gives them.
const struct {
    const char* name;
    float Sidebar::*bandY;
} menuBands[] = {
    {"signs", &Sidebar::signMenuButtonY},
    {"sales", &Sidebar::saleBandY},
    {"promotions", &Sidebar::promotionBandY},
};

// How far right of the menu buttons' centre the cursor rests on a band, game units.
constexpr float BandRestX = 2.0f;

// A duration such as "16ms" or "3us", in seconds; false if it is not one.
bool readDuration(const std::string& text, double& seconds) {
    std::size_t used = 0;
    long value = 0;
    try {
        value = std::stol(text, &used);
    } catch (const std::exception&) {
        return false;
    }
    const std::string unit = text.substr(used);
    if (value < 0 || (unit != "ms" && unit != "us")) {
        return false;
    }
    seconds = static_cast<double>(value) / (unit == "ms" ? 1e3 : 1e6);
    return true;
}

// The step one line gives, or false when the line is not a step.
bool readStep(std::istringstream& words, ScriptStep& step) {
    std::string clock;
    std::string forced;
    double clockSeconds = 0.0;
    switch (step.kind) {
    case ScriptStep::Street:
        return static_cast<bool>(words >> step.code);
    case ScriptStep::Frames:
        if (!(words >> step.count >> clock) || !readDuration(clock, clockSeconds)) {
            return false;
        }
        step.clockMs = static_cast<int>(clockSeconds * 1e3 + 0.5);
        return !(words >> forced) || readDuration(forced, step.stepSeconds);
    case ScriptStep::Type:
        if (!(words >> step.text)) {
            return false;
        }
        return !(words >> step.count) || step.count > 0;
    case ScriptStep::Hover:
    case ScriptStep::Mark:
        return static_cast<bool>(words >> step.text);
    case ScriptStep::Point:
        std::getline(words >> std::ws, step.text);
        return !step.text.empty();
    case ScriptStep::Move:
        return static_cast<bool>(words >> step.x >> step.y);
    case ScriptStep::Money:
    case ScriptStep::Product:
        return words >> step.count >> step.x && step.count >= 0 && step.count < 3;
    case ScriptStep::Ticks:
        return words >> step.count && step.count >= 0;
    case ScriptStep::SeatKey:
        return words >> step.count >> step.code && step.count >= 1 && step.count < 3 &&
               step.code < 256;
    case ScriptStep::Cursor:
    case ScriptStep::Press:
    case ScriptStep::Release:
        return readExact(words, step.x) && readExact(words, step.y);
    case ScriptStep::Digest:
        return static_cast<bool>(words >> step.count >> std::hex >> step.digest);
    case ScriptStep::State:
        return words >> step.count >> step.text && step.count >= 0;
    default:
        return true;
    }
}

} // namespace

ScriptStep scriptStep(const std::string& line) {
    std::istringstream words(line);
    std::string word;
    words >> word;
    ScriptStep step{};
    bool known = false;
    for (const auto& each : stepWords) {
        known = known || word == each.word;
        step.kind = word == each.word ? each.kind : step.kind;
    }
    std::string rest;
    if (!known || !readStep(words, step) || words >> rest) {
        throw std::runtime_error("cannot read \"" + line + "\"");
    }
    return step;
}

std::vector<ScriptStep> readScript(const std::string& name) {
    return readScriptFile(std::string(PELLUCANE_GAMES_DIR) + "/" + name);
}

std::vector<ScriptStep> readScriptFile(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("cannot open the script " + path);
    }
    std::vector<ScriptStep> steps;
    int number = 0;
    for (std::string line; std::getline(file, line);) {
        ++number;
        line = line.substr(0, line.find('#'));
        if (line.find_first_not_of(" \t\r") == std::string::npos) {
            continue;
        }
        try {
            steps.push_back(scriptStep(line));
        } catch (const std::runtime_error& error) {
            throw std::runtime_error(name + ":" + std::to_string(number) + ": " + error.what());
        }
    }
    return steps;
}

void ScriptedGame::play(const std::vector<ScriptStep>& steps) {
    for (const ScriptStep& step : steps) {
        if (!playing) {
            return;
        }
        play(step);
    }
}

void ScriptedGame::play(const ScriptStep& step) {
    const Sidebar& bar = market.sidebar;
    switch (step.kind) {
    case ScriptStep::Street:
        newStreet(step.code);
        GameState = Title;
        restartClock();
        roomTicksPlayed = 0;
        // a player's hands off the keys, the cursor where the game starts it
        InputState::instance().heldKeys = HeldKeys();
        InputState::instance().cursorX = InputState::instance().cursorY = 0.0f;
        pointerX = pointerY = 0.0f;
        break;
    case ScriptStep::Frames:
        frames(step);
        break;
    case ScriptStep::Type:
        for (int run = 0; run < step.count; ++run) {
            for (char key : step.text) {
                onKeyboard(static_cast<unsigned char>(key), 0, 0);
                onKeyboardUp(static_cast<unsigned char>(key), 0, 0);
            }
        }
        break;
    case ScriptStep::Hover:
        for (const auto& band : menuBands) {
            if (step.text == band.name) {
                cursorTo(bar.signMenuButtonX + BandRestX, bar.*band.bandY);
                return;
            }
        }
        throw std::runtime_error("no menu called " + step.text);
    case ScriptStep::Point:
        for (const ShopCommand& command : shopCommands) {
            if (step.text == command.mouseLabel) {
                float x = 0.0f;
                float y = 0.0f;
                bar.buttonCentre(command.button, x, y);
                cursorTo(x, y);
                return;
            }
        }
        throw std::runtime_error("no button called " + step.text);
    case ScriptStep::Move:
        cursorTo(step.x, step.y);
        break;
    case ScriptStep::Down:
    case ScriptStep::Up:
    case ScriptStep::Click: {
        buttonDown = step.kind == ScriptStep::Down;
        const WindowPixel pixel = windowPixelOf(pointerX, pointerY);
        onMouse(GLUT_LEFT_BUTTON, step.kind == ScriptStep::Up ? GLUT_UP : GLUT_DOWN, pixel.x,
                pixel.y);
        if (step.kind == ScriptStep::Click) {
            onMouse(GLUT_LEFT_BUTTON, GLUT_UP, pixel.x, pixel.y);
        }
        break;
    }
    case ScriptStep::Money:
        market.shops[step.count].money = step.x;
        break;
    case ScriptStep::Product:
        market.shops[step.count].product = step.x;
        break;
    case ScriptStep::Mark:
        atMark(step.text);
        break;
    case ScriptStep::Ticks:
        roomTicks(step.count);
        break;
    case ScriptStep::SeatKey:
        market.handleKey(static_cast<unsigned char>(step.code));
        break;
    case ScriptStep::Cursor:
        market.setCursor(step.x, step.y);
        break;
    case ScriptStep::Press:
    case ScriptStep::Release:
        market.setCursor(step.x, step.y);
        market.setMouseDown(step.kind == ScriptStep::Press);
        break;
    case ScriptStep::State: {
        std::string bytes;
        for (std::size_t at = 0; at + 1 < step.text.size(); at += 2) {
            bytes += static_cast<char>(std::stoi(step.text.substr(at, 2), nullptr, 16));
        }
        std::string why;
        if (!readStreet(bytes, market, why)) {
            throw std::runtime_error("the kept street is none: " + why);
        }
        roomTicksPlayed = static_cast<std::uint32_t>(step.count) + 1;
        break;
    }
    case ScriptStep::Digest:
        if (marketDigest(market) != step.digest) {
            char said[96];
            std::snprintf(said, sizeof said,
                          "tick %d: the street's digest is %016llx, the room's %016llx", step.count,
                          static_cast<unsigned long long>(marketDigest(market)),
                          static_cast<unsigned long long>(step.digest));
            throw std::runtime_error(said);
        }
        break;
    }
}

void ScriptedGame::restartClock() {
    nowMs = 0;
    setClockMs(nowMs);
    Engine::instance().tick();
}

// Each frame as the game runs one: the clock moves, the engine measures the
// step, and the street is updated while the game is being played.
void ScriptedGame::frames(const ScriptStep& step) {
    Engine& engine = Engine::instance();
    for (int frame = 0; frame < step.count && playing; ++frame) {
        nowMs += step.clockMs;
        setClockMs(nowMs);
        engine.tick();
        if (step.stepSeconds >= 0.0) {
            engine.deltaSeconds = step.stepSeconds;
        }
        if (GameState == Playing) {
            engine.update();
            playing = afterUpdate();
        }
    }
}

// A room's ticks as the hot-seat game would play them: its clock moves to
// each tick's time and the engine measures the step; whatever the screen,
// as a networked street runs from its room's first tick.
void ScriptedGame::roomTicks(int count) {
    Engine& engine = Engine::instance();
    for (int tick = 0; tick < count && playing; ++tick) {
        nowMs = tickClockMs(roomTicksPlayed++);
        setClockMs(nowMs);
        engine.tick();
        engine.update();
        playing = afterUpdate();
    }
}

// A cursor move as the window reports it: a drag while the button is down.
void ScriptedGame::cursorTo(float gx, float gy) {
    pointerX = gx;
    pointerY = gy;
    const WindowPixel pixel = windowPixelOf(gx, gy);
    (buttonDown ? onMotion : onPassiveMotion)(pixel.x, pixel.y);
}
