#include "server/GameServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
// A request as the server reads it: it takes no body.
using Request = http::request<http::empty_body>;

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
// An HTTP request's header, at most, bytes (a request may have no body).
constexpr std::uint32_t MaxHttpHeaderBytes = 8192;
// Requests answered on one HTTP connection, at most.
constexpr std::size_t MaxHttpRequests = 32;
// An HTTP connection waiting this long for a request, or for the other end
// to take any more of a response, is closed.
constexpr auto HttpIdle = std::chrono::seconds(15);
// How long what the other end still sends is read and thrown away after the
// last response, so that the close does not reset the connection before
// the response has been read.
constexpr auto HttpLinger = std::chrono::seconds(2);

// What a plain HTTP request gets from a server started without a site.
constexpr const char* NoPageText =
    "This Pellucane game server hands out no page; the game joins it with\n"
    "  pellucane --join HOST[:PORT]/ROOM\n";

// The file of the site a request's target names: index.html for "/" and
// for a room's address, and a file directly in the site's folder by a plain
// name (letters, digits, '.', '-' and '_', not starting with '.'); empty
// for any other target. A query is not part of the name.
std::string siteFile(beast::string_view target) {
    const std::string path(target.substr(0, target.find('?')));
    if (path.empty() || path[0] != '/') {
        return "";
    }
    const std::string name = path.substr(1);
    if (name.empty() || isRoomCode(name)) {
        return "index.html";
    }
    if (name[0] == '.') {
        return "";
    }
    for (char ch : name) {
        const bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                           (ch >= '0' && ch <= '9') || ch == '.' || ch == '-' || ch == '_';
        if (!plain) {
            return "";
        }
    }
    return name;
}

// The content type of a site file, by its extension.
const char* contentType(const std::string& name) {
    static const std::pair<const char*, const char*> types[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript"},
        {".wasm", "application/wasm"},
        {".data", "application/octet-stream"},
        {".txt", "text/plain; charset=utf-8"},
        {".json", "application/json"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".css", "text/css"},
    };
    const std::size_t dot = name.rfind('.');
    for (const auto& [extension, type] : types) {
        if (dot != std::string::npos && name.compare(dot, std::string::npos, extension) == 0) {
            return type;
        }
    }
    return "application/octet-stream";
}

// A plain-text response.
http::response<http::string_body> textResponse(http::status status, std::string text) {
    http::response<http::string_body> response(status, 11, std::move(text));
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    return response;
}

// A response being written, with the serializer that writes it piece by piece.
template <typename Body> struct Reply {
    http::response<Body> response;
    http::response_serializer<Body> serializer{response};
    explicit Reply(http::response<Body> given) : response(std::move(given)) {}
};

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

    // Accepts the WebSocket the upgrade request asks for, then reads.
    void start(const Request& upgrade);
    void read();
    void send(std::shared_ptr<const std::string> bytes);
    void write();
    void close(const std::string& why, bool dropQueued = false);
};

// One connection read as HTTP. A WebSocket upgrade request, at any path,
// hands it over to a Session; any other request is answered from the site,
// a few on one connection, and the connection is closed once idle.
struct HttpSession : std::enable_shared_from_this<HttpSession> {
    GameServer::State& server;
    beast::tcp_stream stream;
    MemberId id;
    beast::flat_buffer incoming;
    std::optional<http::request_parser<http::empty_body>> parser;
    // requests answered so far
    std::size_t answered = 0;
    // server ms since which the request being read has been awaited
    std::int64_t awaitedMs = 0;

    HttpSession(GameServer::State& owner, tcp::socket socket, MemberId number)
        : server(owner), stream(std::move(socket)), id(number) {}

    void read();
    void answer(const Request& request);
    // Answers input that is no request it takes, and closes.
    void refuse(http::status status, const std::string& why);
    template <typename Body> void send(http::response<Body> response, bool headOnly);
    template <typename Body> void write(std::shared_ptr<Reply<Body>> reply);
    // Ends the connection once the last response has gone.
    void linger();
    void discard();
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
    // connections read as HTTP: those yet to ask for a WebSocket, and those
    // fetching the page
    std::map<MemberId, std::weak_ptr<HttpSession>> httpSessions;
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
                if (sessions.size() + httpSessions.size() >= MaxConnections) {
                    beast::error_code ignored;
                    socket.close(ignored);
                } else {
                    auto http = std::make_shared<HttpSession>(*this, std::move(socket), nextId++);
                    httpSessions[http->id] = http;
                    http->read();
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
            for (auto each = httpSessions.begin(); each != httpSessions.end();) {
                each = each->second.expired() ? httpSessions.erase(each) : std::next(each);
            }
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

    // An HTTP connection asked for a WebSocket: it becomes a player's
    // Session, whose greeting is due from when the request was awaited.
    void upgrade(HttpSession& http, const Request& request) {
        httpSessions.erase(http.id);
        auto session =
            std::make_shared<Session>(*this, http.stream.release_socket(), http.id, http.awaitedMs);
        sessions[session->id] = session;
        session->start(request);
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

void Session::start(const Request& upgrade) {
    beast::error_code ignored;
    address = stream.next_layer().socket().remote_endpoint(ignored).address().to_string();
    stream.next_layer().socket().set_option(tcp::no_delay(true), ignored);
    stream.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    stream.read_message_max(MaxClientMessageBytes);
    stream.binary(true);
    stream.async_accept(upgrade, [self = shared_from_this()](beast::error_code error) {
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

void HttpSession::read() {
    parser.emplace();
    parser->header_limit(MaxHttpHeaderBytes);
    parser->body_limit(0);
    awaitedMs = server.nowMs();
    stream.expires_after(HttpIdle);
    http::async_read(
        stream, incoming, *parser,
        [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (self->server.stopped) {
                return;
            }
            if (error == http::error::header_limit) {
                self->refuse(http::status::request_header_fields_too_large,
                             "an HTTP header too long");
            } else if (error == http::error::body_limit || error == http::error::unexpected_body) {
                self->refuse(http::status::payload_too_large, "an HTTP request with a body");
            } else if (error && error != http::error::end_of_stream &&
                       error != http::error::partial_message &&
                       error.category() == make_error_code(http::error::bad_target).category()) {
                self->refuse(http::status::bad_request, "what is no HTTP request");
            } else if (!error) {
                const Request& request = self->parser->get();
                if (websocket::is_upgrade(request)) {
                    self->server.upgrade(*self, request);
                } else {
                    self->answer(request);
                }
            }
            // Otherwise the other end went, or was idle: the connection ends here.
        });
}

void HttpSession::answer(const Request& request) {
    ++answered;
    const bool headOnly = request.method() == http::verb::head;
    const auto reply = [&](auto response) {
        response.version(request.version());
        response.keep_alive(request.keep_alive() && answered < MaxHttpRequests);
        send(std::move(response), headOnly);
    };
    if (!headOnly && request.method() != http::verb::get) {
        auto response = textResponse(http::status::method_not_allowed,
                                     "This server answers GET and HEAD alone.\n");
        response.set(http::field::allow, "GET, HEAD");
        reply(std::move(response));
        return;
    }
    if (server.options.site.empty()) {
        reply(textResponse(http::status::not_found, NoPageText));
        return;
    }
    const std::string name = siteFile(request.target());
    const std::string path = server.options.site + "/" + name;
    std::error_code ignored;
    if (name.empty() || !std::filesystem::is_regular_file(path, ignored)) {
        reply(textResponse(http::status::not_found, "There is no such page here.\n"));
        return;
    }
    http::response<http::file_body> response(http::status::ok, 11);
    beast::error_code error;
    response.body().open(path.c_str(), beast::file_mode::scan, error);
    if (error) {
        std::fprintf(stderr, "pellucane-server: cannot read %s: %s\n", path.c_str(),
                     error.message().c_str());
        reply(textResponse(http::status::internal_server_error, "The server cannot read that.\n"));
        return;
    }
    response.set(http::field::content_type, contentType(name));
    reply(std::move(response));
}

void HttpSession::refuse(http::status status, const std::string& why) {
    std::fprintf(stderr, "pellucane-server: connection %llu closed: %s\n",
                 static_cast<unsigned long long>(id), why.c_str());
    auto response = textResponse(status, "The server cannot take " + why + ".\n");
    response.keep_alive(false);
    send(std::move(response), false);
}

template <typename Body> void HttpSession::send(http::response<Body> response, bool headOnly) {
    response.prepare_payload();
    if (headOnly) {
        // the header alone, with the length the body would have
        write(std::make_shared<Reply<http::empty_body>>(
            http::response<http::empty_body>(std::move(response.base()))));
    } else {
        write(std::make_shared<Reply<Body>>(std::move(response)));
    }
}

// Writes a piece at a time, so that the idle timeout is for each piece: a
// large file to a slow link may take long as a whole.
template <typename Body> void HttpSession::write(std::shared_ptr<Reply<Body>> reply) {
    stream.expires_after(HttpIdle);
    http::async_write_some(
        stream, reply->serializer,
        [self = shared_from_this(), reply](beast::error_code error, std::size_t) {
            if (error || self->server.stopped) {
                return;
            }
            if (!reply->serializer.is_done()) {
                self->write(reply);
            } else if (reply->response.keep_alive()) {
                self->read();
            } else {
                self->linger();
            }
        });
}

void HttpSession::linger() {
    beast::error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream.expires_after(HttpLinger);
    discard();
}

void HttpSession::discard() {
    stream.async_read_some(incoming.prepare(4096),
                           [self = shared_from_this()](beast::error_code error, std::size_t) {
                               if (!error) {
                                   self->discard();
                               }
                           });
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
    for (auto& each : state->httpSessions) {
        if (auto http = each.second.lock()) {
            http->stream.close();
        }
    }
}

const std::map<std::string, std::unique_ptr<Room>>& GameServer::rooms() const {
    return state->rooms;
}

const TickLateness& GameServer::lateness() const { return state->lateness; }
