#include "server/GameServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <random>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// Messages waiting to go to one connection, at most: one that holds more is
// not reading, and is closed.
constexpr std::size_t MaxQueuedMessages = 4096;
// Connections at once, at most.
constexpr std::size_t MaxConnections = 4096;
// How long a new connection has to greet, ms.
constexpr std::int64_t GreetingMs = 10000;
// Rooms at once, at most (an empty one lasts a minute).
constexpr std::size_t MaxRooms = 10000;

} // namespace

// One WebSocket connection: what it reads goes to its room; what its room
// says is queued and written in order.
struct Session : std::enable_shared_from_this<Session> {
    GameServer::State& server;
    websocket::stream<beast::tcp_stream> stream;
    MemberId id;
    // the room it joined, empty until it greets
    std::string room;
    std::int64_t connectedMs;
    // the address it comes from
    std::string address;
    beast::flat_buffer incoming;
    // messages waiting to go, the first one being written, with the server
    // ms at which each was queued
    std::deque<std::pair<std::int64_t, std::shared_ptr<const std::string>>> outgoing;
    bool writing = false;
    // closing once the queue has gone, with this reason
    bool closing = false;
    std::string closeReason;

    Session(GameServer::State& owner, tcp::socket socket, MemberId number, std::int64_t nowMs)
        : server(owner), stream(std::move(socket)), id(number), connectedMs(nowMs) {}

    void start();
    void read();
    void send(std::shared_ptr<const std::string> bytes);
    void write();
    void close(const std::string& why, bool dropQueued = false);
};

struct GameServer::State {
    asio::io_context& context;
    ServerOptions options;
    tcp::acceptor acceptor;
    asio::steady_timer timer;
    Clock::time_point started = Clock::now();
    // ticks of the server's own clock made so far: rooms tick in step with it
    std::uint32_t serverTicks = 0;
    std::map<std::string, std::unique_ptr<Room>> rooms;
    // the server tick each room began at
    std::map<std::string, std::uint32_t> roomStart;
    std::map<MemberId, std::weak_ptr<Session>> sessions;
    MemberId nextId = 1;
    std::mt19937 seeds{std::random_device{}()};
    TickLateness lateness;
    // server ms of the rooms each address made in the last minute
    std::map<std::string, std::deque<std::int64_t>> roomsMadeBy;
    bool stopped = false;

    State(asio::io_context& io, const ServerOptions& given)
        : context(io), options(given), acceptor(io), timer(io) {}

    std::int64_t nowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started)
            .count();
    }
    Clock::time_point tickDue(std::uint32_t tick) const {
        return started + std::chrono::microseconds(static_cast<std::int64_t>(tick) * 1000000 /
                                                   TicksPerSecond);
    }

    void accept() {
        acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
            if (stopped) {
                return;
            }
            if (!error) {
                if (sessions.size() >= MaxConnections) {
                    beast::error_code ignored;
                    socket.close(ignored);
                } else {
                    auto session =
                        std::make_shared<Session>(*this, std::move(socket), nextId++, nowMs());
                    sessions[session->id] = session;
                    session->start();
                }
            }
            accept();
        });
    }

    // The server's clock: every room makes the ticks due, together.
    void tick() {
        timer.expires_at(tickDue(serverTicks + 1));
        timer.async_wait([this](beast::error_code error) {
            if (error || stopped) {
                return;
            }
            const Clock::time_point now = Clock::now();
            // Each tick made now counts how late it is: a wake-up that
            // makes two was a tick late for the first.
            while (tickDue(serverTicks + 1) <= now) {
                ++serverTicks;
                lateness.add(std::chrono::duration_cast<std::chrono::microseconds>(
                                 now - tickDue(serverTicks))
                                 .count());
            }
            const std::int64_t ms = nowMs();
            for (auto room = rooms.begin(); room != rooms.end();) {
                room->second->advance(serverTicks - roomStart[room->first], ms);
                if (room->second->finished(ms)) {
                    roomStart.erase(room->first);
                    room = rooms.erase(room);
                } else {
                    ++room;
                }
            }
            closeSilentGreeters(ms);
            forgetOldRoomMakers(ms);
            tick();
        });
    }

    void closeSilentGreeters(std::int64_t ms) {
        for (auto each = sessions.begin(); each != sessions.end();) {
            std::shared_ptr<Session> session = each->second.lock();
            if (!session) {
                each = sessions.erase(each);
                continue;
            }
            if (session->room.empty() && ms - session->connectedMs >= GreetingMs) {
                session->close("no greeting within " + std::to_string(GreetingMs / 1000) + " s");
            }
            ++each;
        }
    }

    void forgetOldRoomMakers(std::int64_t ms) {
        for (auto each = roomsMadeBy.begin(); each != roomsMadeBy.end();) {
            const bool old = each->second.empty() || ms - each->second.back() >= 60000;
            each = old ? roomsMadeBy.erase(each) : std::next(each);
        }
    }

    Session* session(MemberId id) {
        const auto found = sessions.find(id);
        if (found == sessions.end()) {
            return nullptr;
        }
        return found->second.lock().get();
    }

    Room& roomFor(const std::string& code) {
        std::unique_ptr<Room>& room = rooms[code];
        if (!room) {
            RoomLink link;
            link.send = [this](MemberId to, const std::string& bytes) {
                if (Session* s = session(to)) {
                    s->send(std::make_shared<const std::string>(bytes));
                }
            };
            link.close = [this](MemberId to, const std::string& why) {
                if (Session* s = session(to)) {
                    s->close(why);
                }
            };
            link.outOfStep = [this, code](std::uint8_t seats, std::uint32_t tick) {
                keepRecording(code, seats, tick);
            };
            room = std::make_unique<Room>(code, static_cast<std::uint32_t>(seeds()), nowMs(),
                                          std::move(link));
            roomStart[code] = serverTicks;
        }
        return *room;
    }

    // A room out of step leaves its game for the tests' replay to take
    // apart, from its start to now, named by the first tick found out.
    void keepRecording(const std::string& code, std::uint8_t seats, std::uint32_t tick) {
        const Room& room = *rooms[code];
        const std::string path = options.recordings + "/room-" + code + "-tick-" +
                                 std::to_string(room.outOfStepTick) + ".game";
        std::ofstream file(path);
        file << room.recording();
        std::fprintf(stderr, "pellucane-server: room %s: %s out of step at tick %u; %s %s\n",
                     code.c_str(), Room::seatList(seats).c_str(), tick,
                     file ? "its game is in" : "cannot write its game to", path.c_str());
    }

    // Whether a new room may be made for a connection from the address:
    // the server and each address make only so many.
    bool mayMakeRoom(const std::string& address) {
        std::deque<std::int64_t>& made = roomsMadeBy[address];
        const std::int64_t ms = nowMs();
        while (!made.empty() && ms - made.front() >= 60000) {
            made.pop_front();
        }
        if (rooms.size() >= MaxRooms || made.size() >= options.roomsMadePerMinute) {
            return false;
        }
        made.push_back(ms);
        return true;
    }

    void received(Session& from, const std::string& bytes) {
        Message message;
        std::string why;
        if (!readClientMessage(bytes, message, why)) {
            from.close(why);
            return;
        }
        if (from.room.empty()) {
            if (message.kind != MessageKind::Hello) {
                from.close("a message before the greeting");
                return;
            }
            if (message.version != ProtocolVersion) {
                from.close("a client of another version of the game");
                return;
            }
            if (rooms.count(message.room) == 0 && !mayMakeRoom(from.address)) {
                from.close("the server makes no more rooms now: join one, or try in a minute");
                return;
            }
            Room& room = roomFor(message.room);
            from.room = message.room;
            if (!room.join(from.id, message.seats, nowMs())) {
                from.room.clear();
            }
            return;
        }
        const auto room = rooms.find(from.room);
        if (room != rooms.end()) {
            room->second->receive(from.id, message, nowMs());
        }
    }

    void ended(Session& gone) {
        const auto room = rooms.find(gone.room);
        if (room != rooms.end()) {
            room->second->leave(gone.id);
        }
        gone.room.clear();
    }
};

void Session::start() {
    beast::error_code ignored;
    address = stream.next_layer().socket().remote_endpoint(ignored).address().to_string();
    stream.next_layer().socket().set_option(tcp::no_delay(true), ignored);
    stream.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    stream.read_message_max(MaxClientMessageBytes);
    stream.binary(true);
    stream.async_accept([self = shared_from_this()](beast::error_code error) {
        if (!error) {
            self->read();
        }
    });
}

void Session::read() {
    stream.async_read(incoming, [self = shared_from_this()](beast::error_code error, std::size_t) {
        if (error) {
            if (error == websocket::error::message_too_big) {
                self->close("a message too long");
            }
            self->server.ended(*self);
            return;
        }
        const std::string bytes = beast::buffers_to_string(self->incoming.data());
        self->incoming.consume(self->incoming.size());
        if (!self->closing) {
            self->server.received(*self, bytes);
        }
        self->read();
    });
}

void Session::send(std::shared_ptr<const std::string> bytes) {
    if (closing) {
        return;
    }
    // A player ten seconds behind the room, or with more waiting than that
    // could be, is dropped rather than kept ever further behind.
    const std::int64_t ms = server.nowMs();
    if (outgoing.size() >= MaxQueuedMessages ||
        (!outgoing.empty() && ms - outgoing.front().first >= SilentDropMs)) {
        close("not reading what the room sends", true);
        return;
    }
    outgoing.emplace_back(ms, std::move(bytes));
    write();
}

void Session::write() {
    if (writing) {
        return;
    }
    if (outgoing.empty()) {
        if (closing) {
            // Whatever was queued before the close (a refusal) has gone.
            websocket::close_reason reason(websocket::close_code::policy_error,
                                           closeReason.substr(0, MaxReasonBytes));
            stream.async_close(reason, [self = shared_from_this()](beast::error_code) {});
        }
        return;
    }
    writing = true;
    stream.async_write(asio::buffer(*outgoing.front().second),
                       [self = shared_from_this()](beast::error_code error, std::size_t) {
                           self->writing = false;
                           if (error) {
                               self->outgoing.clear();
                               return;
                           }
                           self->outgoing.pop_front();
                           self->write();
                       });
}

// Closes with a reason the other end reads, once. The room forgets it
// after the handler that called this, which may be going through its members.
void Session::close(const std::string& why, bool dropQueued) {
    if (closing) {
        return;
    }
    closing = true;
    closeReason = why;
    std::fprintf(stderr, "pellucane-server: connection %llu closed: %s\n",
                 static_cast<unsigned long long>(id), why.c_str());
    while (dropQueued && outgoing.size() > (writing ? 1u : 0u)) {
        outgoing.pop_back();
    }
    asio::post(stream.get_executor(), [self = shared_from_this()] { self->server.ended(*self); });
    write();
}

void TickLateness::add(std::int64_t microseconds) {
    const auto tenths = static_cast<std::size_t>(std::max<std::int64_t>(microseconds, 0) / 100);
    ++counts[std::min(tenths, counts.size() - 1)];
}

double TickLateness::percentileMs(double share) const {
    std::uint64_t total = 0;
    for (std::uint64_t count : counts) {
        total += count;
    }
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        seen += counts[i];
        if (static_cast<double>(seen) >= share * static_cast<double>(total)) {
            return static_cast<double>(i + 1) / 10.0;
        }
    }
    return static_cast<double>(counts.size()) / 10.0;
}

GameServer::GameServer(asio::io_context& context, const ServerOptions& options)
    : state(std::make_unique<State>(context, options)) {
    const tcp::endpoint endpoint(asio::ip::make_address(options.address), options.port);
    state->acceptor.open(endpoint.protocol());
    state->acceptor.set_option(asio::socket_base::reuse_address(true));
    state->acceptor.bind(endpoint);
    state->acceptor.listen();
    state->accept();
    state->tick();
}

GameServer::~GameServer() { stop(); }

unsigned short GameServer::port() const { return state->acceptor.local_endpoint().port(); }

void GameServer::stop() {
    if (state->stopped) {
        return;
    }
    state->stopped = true;
    beast::error_code ignored;
    state->acceptor.close(ignored);
    state->timer.cancel();
    for (auto& each : state->sessions) {
        if (auto session = each.second.lock()) {
            session->close("the server is stopping");
        }
    }
}

const std::map<std::string, std::unique_ptr<Room>>& GameServer::rooms() const {
    return state->rooms;
}

const TickLateness& GameServer::lateness() const { return state->lateness; }
