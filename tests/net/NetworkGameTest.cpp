// Three real games and the server on 127.0.0.1: each machine plays its own
// seats, and every street must come out the same. The game under test
// (gameCommand: the page, handed out by the server, or the Windows build
// under wine) plays the mouse's seat; the other machines run this build's
// program (without either, all three do). HOTBEATS' machine stalls and
// mends its link by itself; TOP TUNES' dies, and another takes its seat.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sys/wait.h>
#include <thread>

#include "market/Market.h"
#include "shop/ShopCommands.h"
#include "tests/net/ServerThread.h"
#include "tests/support/GameWindow.h"
#include "tests/support/ScriptedGame.h"

namespace {

// The xdotool name of a key.
std::string keyName(char key) { return key == ',' ? "comma" : std::string(1, key); }

// The keys of the recorded game's "type" lines that seat 1 or 2 plays, each line once.
std::string recordedKeys(int seat) {
    std::string keys;
    for (const ScriptStep& step : readScript("trajectory.game")) {
        for (char key : step.kind == ScriptStep::Type ? step.text : "") {
            for (const ShopCommand& command : shopCommands) {
                if (static_cast<unsigned char>(key) ==
                    (seat == 1 ? command.shop1Key : command.shop2Key)) {
                    keys += key;
                }
            }
        }
    }
    return keys;
}

struct NetworkGame : ::testing::Test {
    std::mt19937 random{std::random_device{}()};
    std::string recordings = scratchPath("recordings");
    // the game under test, and whether it is the page
    const GameCommand guest = gameCommand();
    const bool onPage = !guest.page.empty();
    std::unique_ptr<ServerThread> server;
    std::unique_ptr<VirtualDisplay> displays[3];
    std::unique_ptr<GameWindow> games[3];
    // whether each seat's machine is another build's game than this one's
    bool guests[3] = {};
    // the inputs the test sent whose tick it waits for: keys and presses
    std::size_t sent = 0;

    void SetUp() override {
        std::filesystem::create_directories(recordings);
        // seats kept 3 s for a machine whose link went, for the test's sake
        server = std::make_unique<ServerThread>(recordings, guest.page, 3000);
        for (auto& display : displays) {
            display = std::make_unique<VirtualDisplay>();
        }
        // the street's own sidebar, for where its buttons are
        newStreet(1);
    }

    // A machine playing one seat joins the room and goes to the street: the
    // game under test, or this build's program.
    void join(int seat, bool asGuest) {
        static const char* const words[3] = {"mouse", "left", "right"};
        GameCommand command = asGuest ? guest : GameCommand{{PELLUCANE_BINARY}, dataPath(), "", {}};
        const std::string room = "127.0.0.1:" + std::to_string(server->server->port()) + "/TEST";
        if (asGuest && onPage) {
            command.view.address = "http://" + room + "?seats=" + words[seat];
        } else {
            command.arguments.insert(command.arguments.end(),
                                     {"--join", room, "--seats", words[seat]});
        }
        guests[seat] = asGuest && (onPage || command.arguments.front() != PELLUCANE_BINARY);
        games[seat] = startGame(*displays[seat], command);
        games[seat]->titleScreen();
        games[seat]->click();
        games[seat]->showsFrame("instructions");
        games[seat]->click();
    }

    void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(random() % 120)); }

    // The recorded game's keys at the two keyboard machines and clicks on the
    // stock button at the mouse's, in a random order with random gaps; the
    // mouse rests on each menu's band on its way.
    void play(int clicks) {
        std::string keys[3] = {"", recordedKeys(1), recordedKeys(2)};
        const Sidebar& bar = market.sidebar;
        const float bands[3] = {bar.signMenuButtonY, bar.saleBandY, bar.promotionBandY};
        while (clicks > 0 || !keys[1].empty() || !keys[2].empty()) {
            const int seat = static_cast<int>(random() % 3);
            if (seat == 0 && clicks > 0) {
                games[0]->moveToGame(bar.signMenuButtonX + 2.0f, bands[clicks-- % 3]);
                pause();
                if (guests[0] && onPage) {
                    games[0]->tapGame(bar.productButtonX, bar.productButtonY);
                } else {
                    games[0]->moveToGame(bar.productButtonX, bar.productButtonY);
                    games[0]->click();
                }
            } else if (seat != 0 && !keys[seat].empty()) {
                games[seat]->key(keyName(keys[seat].front()));
                keys[seat].erase(0, 1);
            } else {
                continue;
            }
            ++sent;
            pause();
        }
    }

    // Waits until the server has every input sent and each machine's digest
    // of a second after the last has been compared; then every machine has
    // written the same trace lines.
    void expectTheSameStreets() {
        // the keys and presses the room has, and its last input's tick
        const auto ordered = [&] {
            return server->ask([&] {
                const Room& room = server->room();
                return std::pair(room.inputsMade[static_cast<std::size_t>(InputKind::Key)] +
                                     room.inputsMade[static_cast<std::size_t>(InputKind::Press)],
                                 room.lastInputTick);
            });
        };
        ASSERT_TRUE(games[0]->waitFor([&] { return ordered().first == sent; }))
            << "inputs lost: the room has " << ordered().first << " of " << sent << "\n"
            << games[0]->errors() << games[1]->errors() << games[2]->errors();
        const std::uint32_t last = ordered().second;
        ASSERT_TRUE(games[0]->waitFor([&] {
            return server->ask([&] {
                const Room& room = server->room();
                return !room.agreed.empty() && room.agreed.rbegin()->first > last + TicksPerSecond;
            });
        })) << "no digests compared after the last input";
        const auto same = [&] {
            return games[0]->traceLines() == games[1]->traceLines() &&
                   games[0]->traceLines() == games[2]->traceLines();
        };
        EXPECT_TRUE(games[0]->waitFor(same))
            << "trace lines: " << games[0]->countLines() << ", " << games[1]->countLines() << ", "
            << games[2]->countLines();
    }
};

TEST_F(NetworkGame, ThreeMachinesPlayOneStreetAndOneWhoseLinkStallsComesBackByItself) {
    for (int seat = 0; seat < 3; ++seat) {
        join(seat, seat == 0);
    }
    play(4);
    expectTheSameStreets();
    EXPECT_GE(games[0]->traceLines().size(), sent / 2) << "the inputs did little";

    // HOTBEATS' machine stops where it is, past the server's 10 s rule: its
    // seat is kept for it, and a machine that asks for it meanwhile is refused.
    games[1]->pause();
    EXPECT_TRUE(games[2]->waitFor(
        [&] { return games[2]->errors().find("HOTBEATS AWAY") != std::string::npos; }));
    const std::string stranger = PELLUCANE_BINARY + std::string(" --join 127.0.0.1:") +
                                 std::to_string(server->server->port()) + "/TEST --seats left 2>&1";
    std::string refusal;
    FILE* asked = popen(stranger.c_str(), "r");
    for (char buffer[256]; std::fgets(buffer, sizeof buffer, asked) != nullptr;) {
        refusal += buffer;
    }
    EXPECT_EQ(2, WEXITSTATUS(pclose(asked)));
    EXPECT_NE(std::string::npos, refusal.find("HOTBEATS already has a player")) << refusal;
    // Going on, it finds its link ended and mends it by itself, with no
    // command, and plays on with its seat.
    games[1]->resume();
    EXPECT_TRUE(games[1]->waitFor([&] {
        return games[1]->errors().find("is mended") != std::string::npos;
    })) << games[1]->errors();
    EXPECT_TRUE(games[2]->waitFor(
        [&] { return games[2]->errors().find("HOTBEATS BACK") != std::string::npos; }));
    play(2);
    expectTheSameStreets();

    // TOP TUNES' machine dies: its seat is kept for it, then stands free,
    // and another machine takes it with its street nudged off its course:
    // it alone is told, and the room keeps its game.
    games[2]->end(SIGKILL);
    for (const char* change : {"TOP TUNES AWAY", "TOP TUNES LEFT"}) {
        EXPECT_TRUE(games[0]->waitFor([&] {
            return games[1]->errors().find(change) != std::string::npos;
        })) << change;
    }
    setenv("PELLUCANE_NUDGE_TICK", "1", 1);
    join(2, false);
    unsetenv("PELLUCANE_NUDGE_TICK");
    EXPECT_TRUE(games[2]->waitFor(
        [&] { return games[2]->errors().find("out of step") != std::string::npos; }));
    EXPECT_EQ(1u << 2, server->ask([&] { return server->room().outOfStepSeats; }));
    for (int seat : {0, 1}) {
        EXPECT_EQ(std::string::npos, games[seat]->errors().find("out of step"));
    }
    // the recording is written beside the room's ticks, soon after
    std::string kept;
    EXPECT_TRUE(games[0]->waitFor([&] {
        for (const auto& file : std::filesystem::directory_iterator(recordings)) {
            kept = file.path().extension() == ".game" ? file.path().string() : kept;
        }
        return !kept.empty();
    }));
    std::ifstream keptFile(kept);
    EXPECT_NE(std::string::npos,
              std::string(std::istreambuf_iterator<char>(keptFile), {}).find("TOP TUNES"));

    // The room's whole game replayed here, at one computer, passes every
    // digest the machines agreed on.
    const std::string path = scratchPath("room.game");
    std::ofstream(path) << server->ask([&] { return server->room().recording(); });
    const std::vector<ScriptStep> steps = readScriptFile(path);
    const auto digests = std::count_if(steps.begin(), steps.end(), [](const ScriptStep& step) {
        return step.kind == ScriptStep::Digest;
    });
    EXPECT_GT(digests, 10);
    std::string failure;
    {
        const CapturedStdout traceLines;
        try {
            ScriptedGame().play(steps);
        } catch (const std::exception& error) {
            failure = error.what();
        }
    }
    EXPECT_EQ("", failure);
    // A page has no process to end; wine's process does not end by SIGTERM.
    for (int seat = 0; seat < 3; ++seat) {
        if (!(guests[seat] && onPage)) {
            EXPECT_EQ("ran", games[seat]->end(guests[seat] ? SIGKILL : SIGTERM));
        }
    }
}

} // namespace
