// The game-window command: the driver of the game's window for shell
// scripts that play many games at once (tests/broken-data.sh, several
// cases side by side) or for long (tests/valgrind-play.sh). It starts an X
// server and the game in it, then reads steps from standard input, one a
// line, and answers each with one line:
//
//   game-window [--sound FILE] -- COMMAND [ARGUMENT...]   (in the game's folder;
//                     with a sound file, the game's mixed sound goes there)
//   window            "ok" once the window shows, "no" if the game ended first
//   frame NAME        "ok" once the window shows a golden frame whole
//                     (tests/app/frames/NAME.png: title, instructions)
//   key NAME...       keys pressed and let go (xdotool's names)
//   move GX GY        the mouse to a game point (x -50..50, y 0..75)
//   click | down | up the left button
//   lines N [REGEX]   "ok" once N trace lines (that match) are out, else "no"
//   count [REGEX]     how many trace lines (that match) are out
//   errors            what the game wrote to standard error, on one line
//   end               ends the game with SIGTERM and answers how it went
//
// Every wait ends when the game ends, or after PELLUCANE_ANSWER_SECONDS
// (60 unless set). A step that cannot be carried out answers "no".

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/GameWindow.h"

namespace {

using Words = std::vector<std::string>;

// "ok" or "no" for a step's success.
std::string okOrNo(bool done) { return done ? "ok" : "no"; }

// The pattern in a step's words from the given one on, spaces kept single.
std::string patternFrom(const Words& words, size_t first) {
    std::string pattern;
    for (size_t index = first; index < words.size(); ++index) {
        pattern += (pattern.empty() ? "" : " ") + words[index];
    }
    return pattern;
}

using Step = std::function<std::string(GameWindow&, const Words&)>;

// A step that acts and answers "ok".
Step acting(const std::function<void(GameWindow&, const Words&)>& act) {
    return [act](GameWindow& game, const Words& words) {
        act(game, words);
        return std::string("ok");
    };
}

// What each step does, by its first word.
std::map<std::string, Step> steps() {
    return {
        {"window", [](GameWindow& game, const Words&) { return okOrNo(game.showing()); }},
        {"frame", acting([](GameWindow& game, const Words& w) { game.showsFrame(w.at(1)); })},
        {"key", acting([](GameWindow& game, const Words& w) {
             std::for_each(w.begin() + 1, w.end(), [&](const std::string& k) { game.key(k); });
         })},
        {"move", acting([](GameWindow& game, const Words& w) {
             game.moveToGame(std::stof(w.at(1)), std::stof(w.at(2)));
         })},
        {"click", acting([](GameWindow& game, const Words&) { game.click(); })},
        {"down", acting([](GameWindow& game, const Words&) { game.press(); })},
        {"up", acting([](GameWindow& game, const Words&) { game.release(); })},
        {"lines",
         [](GameWindow& game, const Words& w) {
             return okOrNo(game.waitForLines(std::stoi(w.at(1)), patternFrom(w, 2)));
         }},
        {"count",
         [](GameWindow& game, const Words& w) {
             return std::to_string(game.countLines(patternFrom(w, 1)));
         }},
        {"errors",
         [](GameWindow& game, const Words&) {
             std::string text = game.errors();
             std::replace(text.begin(), text.end(), '\n', ' ');
             return text;
         }},
        {"end", [](GameWindow& game, const Words&) { return game.end(SIGTERM); }},
    };
}

} // namespace

int main(int argc, char** argv) {
    std::string sound;
    int first = 1;
    for (; first < argc && std::strcmp(argv[first], "--") != 0; ++first) {
        if (std::strcmp(argv[first], "--sound") == 0 && first + 1 < argc) {
            sound = argv[++first];
        }
    }
    char folder[4096];
    char files[] = "/tmp/pellucane-game-window-XXXXXX";
    if (first + 1 >= argc || getcwd(folder, sizeof folder) == nullptr ||
        mkdtemp(files) == nullptr) {
        std::cerr << "usage: game-window [--sound FILE] -- COMMAND [ARGUMENT...]\n";
        return 2;
    }
    const GameCommand command{Words(argv + first + 1, argv + argc), folder, "", {}};
    {
        VirtualDisplay display;
        const auto game = startGame(display, command, files, sound);
        const auto table = steps();
        for (std::string line; std::getline(std::cin, line);) {
            std::istringstream split(line);
            Words words;
            for (std::string word; split >> word;) {
                words.push_back(word);
            }
            const auto step = words.empty() ? table.end() : table.find(words[0]);
            std::string answer;
            try {
                answer = step == table.end() ? "no" : step->second(*game, words);
            } catch (const std::exception& error) {
                std::cerr << "game-window: " << line << ": " << error.what() << "\n";
                answer = "no";
            }
            std::cout << answer << std::endl;
        }
    }
    std::filesystem::remove_all(files);
    return 0;
}
