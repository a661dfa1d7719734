#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "protocol/Room.h"

namespace boost::asio {
class io_context;
}

struct Session;

// Connections one address may hold at once: a household's machines, each
// with a page or two loading, fit in it, and a flood from one machine fills
// only its own share of the server's 4096.
constexpr std::size_t MaxConnectionsPerAddress = 32;
// Live rooms one address may hold that it made, on an empty server. As the
// server fills the share shrinks with the rooms still free (rounded up, so
// at least one while any is free): 500 addresses hold about 5700 of the
// 10000 rooms at most, and filling them all takes about 2100.
constexpr std::size_t RoomsPerAddress = 16;
// Joins one address may make in a minute: a machine that comes back after
// a drop joins again, but one address cannot keep more than this many empty
// rooms alive by visiting each once a minute.
constexpr std::size_t JoinsPerMinute = 30;

// What the server is started with.
struct ServerOptions {
    // the address and TCP port it listens on (port 0: any free one)
    std::string address = "0.0.0.0";
    unsigned short port = 7355;
    // the folder where a room that went out of step leaves its recording
    std::string recordings = ".";
    // rooms one address may make in a minute, at most
    std::size_t roomsMadePerMinute = 20;
    // how long a machine's seats are kept for it after its link goes, ms
    std::int64_t seatHoldMs = SeatHoldMs;
    // connections one address may hold at once, rooms it made it may hold
    // on an empty server, and joins it may make in a minute
    std::size_t connectionsPerAddress = MaxConnectionsPerAddress;
    std::size_t roomsPerAddress = RoomsPerAddress;
    std::size_t joinsPerMinute = JoinsPerMinute;
    // the addresses of proxies whose connections name their client: by a
    // PROXY header before the first request, or else by the last entry of
    // each request's X-Forwarded-For; from any other address neither is read
    std::vector<std::string> trustedProxies;
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
    // Stops listening, closes every connection and the ticks. A connection
    // whose peer does not take its close within 2 s is then dropped, so that
    // the io_context runs out.
    void stop();
    // the rooms being played, by code
    const std::map<std::string, std::unique_ptr<Room>>& rooms() const;
    // how late the ticks have been
    const TickLateness& lateness() const;

    struct State;

  private:
    std::unique_ptr<State> state;
};
