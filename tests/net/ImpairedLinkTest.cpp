// A room over an emulated internet path: HOTBEATS' machine plays behind a
// link of its own (scripts/netns-link.sh: a network namespace and the link
// emulator), TOP TUNES' on this machine. The link stalls, then resets, in
// the middle of the game: HOTBEATS' machine comes back by itself with its
// seat and the keys typed meanwhile, a machine that asks for its seat
// meanwhile is refused, and both streets stay the room's. As root alone,
// with /dev/net/tun and ip.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tests/net/ServerThread.h"
#include "tests/support/GameWindow.h"

namespace {

// What a command wrote, both streams, and its exit status.
std::pair<int, std::string> run(const std::string& command) {
    std::string said;
    FILE* out = popen((command + " 2>&1").c_str(), "r");
    for (char buffer[256]; std::fgets(buffer, sizeof buffer, out) != nullptr;) {
        said += buffer;
    }
    return {WEXITSTATUS(pclose(out)), said};
}

// How many times the text stands in the whole.
std::size_t count(const std::string& whole, const std::string& text) {
    std::size_t found = 0;
    for (std::size_t at = whole.find(text); at != std::string::npos;
         at = whole.find(text, at + 1)) {
        ++found;
    }
    return found;
}

TEST(ImpairedLink, AMachineWhoseLinkStallsOrResetsComesBackByItselfWithItsSeat) {
    if (geteuid() != 0 || !std::filesystem::exists("/dev/net/tun") ||
        run("command -v ip").first != 0) {
        GTEST_SKIP() << "it needs root, /dev/net/tun and ip for its network namespace";
    }
    setenv("PELLUCANE_LINKEMU", PELLUCANE_LINKEMU, 1);
    const std::string name = "pellucane-test-" + std::to_string(getpid());
    const std::string control = "/run/pellucane-netns-link/" + name + ".sock";
    const auto tell = [&](const std::string& line) {
        return run(std::string(PELLUCANE_LINKEMU) + " --tell " + control + " '" + line + "'");
    };
    ServerThread server(scratchPath("recordings"), "", SeatHoldMs, {}, "0.0.0.0");
    const std::string port = std::to_string(server.server->port());
    VirtualDisplay displays[2];
    std::unique_ptr<GameWindow> games[2];
    const GameCommand commands[2] = {
        {{PELLUCANE_NETNS_LINK, "--seconds", "600", "--set", "delay 25 jitter 20", name, "--",
          PELLUCANE_BINARY, "--join", "10.73.0.1:" + port + "/CUT", "--seats", "left"},
         dataPath(),
         "",
         {}},
        {{PELLUCANE_BINARY, "--join", "127.0.0.1:" + port + "/CUT", "--seats", "right"},
         dataPath(),
         "",
         {}}};
    for (int i = 0; i < 2; ++i) {
        games[i] = startGame(displays[i], commands[i]);
        games[i]->titleScreen();
        games[i]->click();
        games[i]->showsFrame("instructions");
        games[i]->click();
    }
    // HOTBEATS' keys, two at each step: a sale and a sign, each a trace line
    const char* const keys[] = {"1", "a", "2", "s", "3", "d"};
    std::size_t typed = 0;
    const auto type = [&](int count) {
        for (int i = 0; i < count; ++i) {
            games[0]->key(keys[typed++ % 6]);
        }
    };
    const auto bothHave = [&](std::size_t lines) {
        return games[1]->waitFor([&] {
            return games[0]->traceLines().size() >= lines &&
                   games[0]->traceLines() == games[1]->traceLines();
        });
    };
    type(2);
    ASSERT_TRUE(bothHave(2)) << games[0]->errors() << games[1]->errors();

    // The link stalls for 4 s, keys typed meanwhile: a machine that asks for
    // HOTBEATS then is refused, and the machine mends its link by itself.
    ASSERT_EQ(0, tell("stall 4000").first);
    type(2);
    const auto [status, said] =
        run(std::string(PELLUCANE_BINARY) + " --join 127.0.0.1:" + port + "/CUT --seats left");
    EXPECT_EQ(2, status);
    EXPECT_NE(std::string::npos, said.find("HOTBEATS already has a player")) << said;
    EXPECT_TRUE(games[0]->waitFor([&] { return count(games[0]->errors(), "is mended") == 1; }))
        << games[0]->errors();
    EXPECT_TRUE(bothHave(4)) << "keys typed while the link stalled were lost";

    // The link resets both its ends' connections: the same again.
    ASSERT_EQ(0, tell("reset").first);
    type(2);
    EXPECT_TRUE(games[0]->waitFor([&] { return count(games[0]->errors(), "is mended") == 2; }))
        << games[0]->errors();
    EXPECT_TRUE(bothHave(6)) << "keys typed as the link reset were lost";
    for (const auto& game : games) {
        EXPECT_EQ(std::string::npos, game->errors().find("out of step"));
    }
    // (the link's script, not the game, answers for the first)
    games[0]->end(SIGTERM);
    EXPECT_EQ("ran", games[1]->end(SIGTERM));
}

} // namespace
