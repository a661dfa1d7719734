#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "protocol/Room.h"

namespace boost::asio {
class io_context;
}

struct Session;

// What the server is started with.
struct ServerOptions {
    // the address and TCP port it listens on (port 0: any free one)
    std::string address = "0.0.0.0";
    unsigned short port = 7355;
    // the folder where a room that went out of step leaves its recording
    std::string recordings = ".";
    // rooms one address may make in a minute, at most
    std::size_t roomsMadePerMinute = 20;
    // the unzipped web site whose page and files plain HTTP requests get;
    // empty: no page, and such requests get a 404 that says so
    std::string site;
};

// How late the ticks were made, for the benchmark: a count for each
// tenth of a millisecond of lateness, the last counting everything later.
struct TickLateness {
    std::array<std::uint64_t, 1001> counts{};
    // Counts one tick made that many microseconds after it was due.
    void add(std::int64_t microseconds);
    // The lateness below which a share (0.99, say) of the ticks came, ms.
    double percentileMs(double share) const;
};

// The game server: WebSocket connections on one TCP port, any number of
// rooms, each ticking 60 times a second on the one thread that runs the
// io_context. Games are created by their first join and end a minute after
// their last player left. Plain HTTP requests on the same port get the web
// page and its files, so that a browser loads the game from where it joins.
struct GameServer {
    GameServer(boost::asio::io_context& context, const ServerOptions& options);
    ~GameServer();
    GameServer(const GameServer&) = delete;
    GameServer& operator=(const GameServer&) = delete;

    // the port it listens on
    unsigned short port() const;
    // Stops listening, closes every connection and the ticks.
    void stop();
    // the rooms being played, by code
    const std::map<std::string, std::unique_ptr<Room>>& rooms() const;
    // how late the ticks have been
    const TickLateness& lateness() const;

    struct State;

  private:
    std::unique_ptr<State> state;
};
