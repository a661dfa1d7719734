#include "server/GameServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string_view>
#include <thread>
#ifndef _WIN32
#include <sys/resource.h>
#endif

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
// Connections at once, at most, when the process may open the descriptors
// they need (it raises its limit to that at start-up); fewer otherwise.
constexpr std::size_t MaxConnections = 4096;
// Descriptors kept aside from the connections: the listener, the event
// loop's own, the standard streams and the recordings being written.
constexpr std::size_t SpareDescriptors = 64;
// How long the accept loop waits after a failed accept (out of
// descriptors, most likely) before it accepts again, rather than spin.
constexpr auto AcceptPause = std::chrono::milliseconds(100);
// How long a connection being closed has to take its close: then it is
// dropped, so that a peer that never reads holds neither its slot nor the
// server's stop.
constexpr auto CloseBound = std::chrono::seconds(2);
// The counts of addresses are by the minute, ms.
constexpr std::int64_t MinuteMs = 60000;
// A PROXY header at most, bytes: the text one's line, and the binary one's
// 16 bytes with its addresses and extensions.
constexpr std::size_t MaxProxyTextBytes = 107;
constexpr std::size_t MaxProxyBinaryBytes = 536;
// What a PROXY header starts with: text, or binary.
constexpr std::string_view ProxyTextSignature = "PROXY ";
constexpr std::string_view ProxyBinarySignature("\r\n\r\n\0\r\nQUIT\n", 12);
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

// Closes a connection over a cap at once, with a 429 that an HTTP client
// reads if its request came already: nothing waits on it.
void closeAtOnce(tcp::socket& socket) {
    static const std::string tooMany = [] {
        auto response = textResponse(http::status::too_many_requests,
                                     "The server takes no more connections from here.\n");
        response.keep_alive(false);
        response.prepare_payload();
        std::ostringstream text;
        text << response;
        return text.str();
    }();
    beast::error_code ignored;
    socket.non_blocking(true, ignored);
    std::array<char, 4096> request;
    socket.read_some(asio::buffer(request), ignored);
    socket.write_some(asio::buffer(tooMany), ignored);
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

// An address as the server writes it: an IPv4 one that came over IPv6
// (::ffff:a.b.c.d) as itself.
std::string plainAddress(const asio::ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6()).to_string();
    }
    return address.to_string();
}

// What the caps of one address count by: an IPv4 address, or the /64 of an
// IPv6 one, the least one machine is given.
std::string addressKey(const std::string& address) {
    beast::error_code error;
    const asio::ip::address parsed = asio::ip::make_address(address, error);
    if (error || !parsed.is_v6()) {
        return address;
    }
    asio::ip::address_v6::bytes_type bytes = parsed.to_v6().to_bytes();
    std::fill(bytes.begin() + 8, bytes.end(), std::uint8_t{0});
    return asio::ip::address_v6(bytes).to_string() + "/64";
}

// What the start of a connection from a trusted proxy says of its client.
struct ProxyHeader {
    enum Outcome { Partial, None, Malformed, Read } outcome = None;
    // Read: the header's bytes, and the client's address ("": the proxy's own)
    std::size_t length = 0;
    std::string client;
};

// "PROXY TCP4 SOURCE DESTINATION SPORT DPORT\r\n" (TCP6 alike), or
// "PROXY UNKNOWN ...\r\n" for a connection of the proxy's own.
ProxyHeader proxyTextHeader(std::string_view bytes) {
    const std::size_t end = bytes.substr(0, MaxProxyTextBytes).find("\r\n");
    if (end == std::string_view::npos) {
        return {bytes.size() < MaxProxyTextBytes ? ProxyHeader::Partial : ProxyHeader::Malformed, 0,
                ""};
    }
    std::istringstream line{std::string(bytes.substr(0, end))};
    std::string words[7];
    for (std::string& word : words) {
        line >> word;
    }
    if (words[1] == "UNKNOWN") {
        return {ProxyHeader::Read, end + 2, ""};
    }
    beast::error_code sourceError;
    beast::error_code destinationError;
    const asio::ip::address source = asio::ip::make_address(words[2], sourceError);
    const asio::ip::address destination = asio::ip::make_address(words[3], destinationError);
    const bool known = !sourceError && !destinationError && source.is_v4() == destination.is_v4() &&
                       words[1] == (source.is_v4() ? "TCP4" : "TCP6");
    if (!known || words[5].empty() || !words[6].empty()) {
        return {ProxyHeader::Malformed, 0, ""};
    }
    return {ProxyHeader::Read, end + 2, plainAddress(source)};
}

// The signature, the version (2) and command (0 LOCAL, 1 PROXY), the
// family, the length of the rest (big-endian) and the addresses, the
// source's first.
ProxyHeader proxyBinaryHeader(std::string_view bytes) {
    if (bytes.size() < 16) {
        return {ProxyHeader::Partial, 0, ""};
    }
    const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(bytes[at]); };
    const std::size_t length = 16u + (std::size_t{byte(14)} << 8 | byte(15));
    const int command = byte(12) & 15;
    if (byte(12) >> 4 != 2 || command > 1 || length > MaxProxyBinaryBytes) {
        return {ProxyHeader::Malformed, 0, ""};
    }
    if (bytes.size() < length) {
        return {ProxyHeader::Partial, 0, ""};
    }
    if (command == 0 || byte(13) == 0) {
        return {ProxyHeader::Read, length, ""};
    }
    if (byte(13) == 0x11 && length >= 16 + 12) {
        asio::ip::address_v4::bytes_type source;
        std::copy_n(bytes.begin() + 16, source.size(), source.begin());
        return {ProxyHeader::Read, length, asio::ip::address_v4(source).to_string()};
    }
    if (byte(13) == 0x21 && length >= 16 + 36) {
        asio::ip::address_v6::bytes_type source;
        std::copy_n(bytes.begin() + 16, source.size(), source.begin());
        return {ProxyHeader::Read, length, plainAddress(asio::ip::address_v6(source))};
    }
    return {ProxyHeader::Malformed, 0, ""};
}

// Reads a PROXY header (text or binary) at the start of the bytes.
ProxyHeader proxyHeader(std::string_view bytes) {
    for (std::string_view signature : {ProxyTextSignature, ProxyBinarySignature}) {
        if (bytes.size() < signature.size() && signature.substr(0, bytes.size()) == bytes) {
            return {ProxyHeader::Partial, 0, ""};
        }
    }
    if (bytes.substr(0, ProxyTextSignature.size()) == ProxyTextSignature) {
        return proxyTextHeader(bytes);
    }
    if (bytes.substr(0, ProxyBinarySignature.size()) == ProxyBinarySignature) {
        return proxyBinaryHeader(bytes);
    }
    return {ProxyHeader::None, 0, ""};
}

// Reads the client's address from the last entry of a request's
// X-Forwarded-For, the one the proxy added: false when that entry is no
// address. Without the field, client is left as it is.
bool forwardedFor(const Request& request, std::string& client) {
    const auto fields = request.equal_range("X-Forwarded-For");
    if (fields.first == fields.second) {
        return true;
    }
    const std::string list(std::prev(fields.second)->value());
    std::string entry = list.substr(list.rfind(',') + 1);
    entry.erase(0, entry.find_first_not_of(" \t"));
    entry.erase(entry.find_last_not_of(" \t") + 1);
    beast::error_code error;
    const asio::ip::address address = asio::ip::make_address(entry, error);
    if (!error) {
        client = plainAddress(address);
    }
    return !error;
}

// Raises the process's limit of open descriptors towards wanted, as far as
// its hard limit lets it, and returns what it may open, wanted at most.
// Windows' sockets are no descriptors of this kind.
std::size_t openableDescriptors(std::size_t wanted) {
#ifdef _WIN32
    return wanted;
#else
    rlimit limit{};
    const auto want = static_cast<rlim_t>(wanted);
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return wanted;
    }
    if (limit.rlim_cur < want) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? want : std::min(want, limit.rlim_max);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    return static_cast<std::size_t>(std::min(want, limit.rlim_cur));
#endif
}

// Writes the recordings of rooms out of step on a thread of its own, so
// that a long game's file holds up no room's ticks. Each is written under a
// name of its own and then renamed, so that nothing reads half of one; those
// still queued when the server ends are written before it has.
struct RecordingWriter {
    struct Job {
        std::string path;
        std::string text;
        // what the line on standard error says first
        std::string what;
    };
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool ending = false;
    // last: it starts once the rest is made
    std::thread thread{[this] { run(); }};

    RecordingWriter() = default;
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;
    ~RecordingWriter() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ending = true;
        }
        wake.notify_one();
        thread.join();
    }

    void write(Job job) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }

    void run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return ending || !jobs.empty(); });
            if (jobs.empty()) {
                return;
            }
            const Job job = std::move(jobs.front());
            jobs.pop_front();
            lock.unlock();
            save(job);
            lock.lock();
        }
    }

    static void save(const Job& job) {
        const std::string partial = job.path + ".part";
        std::ofstream file(partial);
        file << job.text;
        file.close();
        std::error_code error;
        if (file) {
            std::filesystem::rename(partial, job.path, error);
        }
        const bool written = file && !error;
        if (!written) {
            std::filesystem::remove(partial, error);
        }
        std::fprintf(stderr, "pellucane-server: %s; %s %s\n", job.what.c_str(),
                     written ? "its game is in" : "cannot write its game to", job.path.c_str());
    }
};

// What the server keeps of one client address (behind a trusted proxy, the
// client's as the proxy names it), for its caps.
struct AddressUse {
    // held by each of its connections: their number is its use count
    std::weak_ptr<const std::string> connections;
    // live rooms it made
    std::size_t rooms = 0;
    // server ms of its joins and of the rooms it made, in the last minute
    std::deque<std::int64_t> joins;
    std::deque<std::int64_t> roomsMade;
};

// How many of the times are in the minute up to ms; older ones are forgotten.
std::size_t inLastMinute(std::deque<std::int64_t>& times, std::int64_t ms) {
    while (!times.empty() && ms - times.front() >= MinuteMs) {
        times.pop_front();
    }
    return times.size();
}

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
    // the address it comes from (behind a trusted proxy, its client's), and
    // its hold on that address's count of connections
    std::string address;
    std::shared_ptr<const std::string> hold;
    beast::flat_buffer incoming;
    // messages waiting to go, the first one being written, with the server
    // ms at which each was queued
    std::deque<std::pair<std::int64_t, std::shared_ptr<const std::string>>> outgoing;
    bool writing = false;
    // closing once the queue has gone, with this reason
    bool closing = false;
    std::string closeReason;
    // drops the connection once closing has taken too long
    asio::steady_timer teardown;

    Session(GameServer::State& owner, tcp::socket socket, MemberId number, std::int64_t nowMs)
        : server(owner), stream(std::move(socket)), id(number), connectedMs(nowMs),
          teardown(stream.get_executor()) {}

    // Accepts the WebSocket the upgrade request asks for, then reads.
    void start(const Request& upgrade);
    void read();
    void send(std::shared_ptr<const std::string> bytes);
    void write();
    void close(const std::string& why, bool dropQueued = false);
    // Ends the connection at once, whatever is under way on it.
    void drop();
};

// One connection read as HTTP. A WebSocket upgrade request, at any path,
// hands it over to a Session; any other request is answered from the site,
// a few on one connection, and the connection is closed once idle.
struct HttpSession : std::enable_shared_from_this<HttpSession> {
    GameServer::State& server;
    beast::tcp_stream stream;
    MemberId id;
    // the address it comes from, and its client's (the same unless it is a
    // trusted proxy's), with its hold on the client's count of connections
    std::string peer;
    std::string address;
    std::shared_ptr<const std::string> hold;
    // a trusted proxy's that sent no PROXY header: each request names its client
    bool forwarded = false;
    beast::flat_buffer incoming;
    std::optional<http::request_parser<http::empty_body>> parser;
    // requests answered so far
    std::size_t answered = 0;
    // server ms since which the request being read has been awaited
    std::int64_t awaitedMs = 0;

    HttpSession(GameServer::State& owner, tcp::socket socket, MemberId number, std::string from)
        : server(owner), stream(std::move(socket)), id(number), peer(from),
          address(std::move(from)) {}

    // Reads the requests; a trusted proxy's connection may name its client first.
    void start(bool trusted);
    void readProxyHeader();
    // Takes the client's address: false, and the connection closed, when
    // that address holds as many connections as it may already.
    bool claim(const std::string& client);
    // A trusted proxy's request names its client, or is refused.
    bool claimForwarded(const Request& request);
    void read();
    void answer(const Request& request);
    // Answers input that is no request it takes, and closes.
    void refuse(http::status status, const std::string& why);
    // The same, without a line on standard error.
    void turnAway(http::status status, const std::string& why);
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
    // connections at once, at most: as many as the descriptors allow
    std::size_t maxConnections;
    // the trusted proxies, by address
    std::set<std::string> trustedProxies;
    // waits after a failed accept
    asio::steady_timer acceptPause;
    // the caps' counts of each client address, by addressKey
    std::map<std::string, AddressUse> addresses;
    // the address key that made each room
    std::map<std::string, std::string> roomMakers;
    // server ms at which a line said at most once a minute was last said, by what it is of
    std::map<std::string, std::int64_t> saidMs;
    // server ms of the last look for addresses to forget
    std::int64_t sweptMs = 0;
    RecordingWriter writer;
    bool stopped = false;

    State(asio::io_context& io, const ServerOptions& given)
        : context(io), options(given), acceptor(io), timer(io),
          maxConnections(connectionCap(given)), acceptPause(io) {
        for (const std::string& proxy : options.trustedProxies) {
            trustedProxies.insert(plainAddress(asio::ip::make_address(proxy)));
        }
    }

    // The connections the process's descriptors leave room for: one each,
    // and one more while it hands out a file of the site.
    static std::size_t connectionCap(const ServerOptions& options) {
        const std::size_t each = options.site.empty() ? 1 : 2;
        const std::size_t wanted = MaxConnections * each + SpareDescriptors;
        const std::size_t openable = openableDescriptors(wanted);
        if (openable >= wanted) {
            return MaxConnections;
        }
        const std::size_t cap = (openable - std::min(SpareDescriptors, openable / 2)) / each;
        std::fprintf(stderr,
                     "pellucane-server: may open %s files at once, not the %s that %s connections "
                     "need: takes %s connections\n",
                     std::to_string(openable).c_str(), std::to_string(wanted).c_str(),
                     std::to_string(MaxConnections).c_str(), std::to_string(cap).c_str());
        return cap;
    }

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
            if (error) {
                // Out of descriptors, most likely: accepting again at once
                // would fail again at once, for as long as they last.
                sayOnceAMinute("accept", "cannot accept connections: " + error.message() +
                                             "; trying again every " +
                                             std::to_string(AcceptPause.count()) + " ms");
                acceptPause.expires_after(AcceptPause);
                acceptPause.async_wait([this](beast::error_code cancelled) {
                    if (!cancelled && !stopped) {
                        accept();
                    }
                });
                return;
            }
            admit(std::move(socket));
            accept();
        });
    }

    // A new connection, read as HTTP; one over a cap is closed at once. One
    // from a trusted proxy counts against its client's address once the
    // proxy has named it, and against none before.
    void admit(tcp::socket socket) {
        beast::error_code error;
        const tcp::endpoint from = socket.remote_endpoint(error);
        if (error) {
            return;
        }
        const std::string address = plainAddress(from.address());
        const bool trusted = trustedProxies.count(address) != 0;
        std::shared_ptr<const std::string> held;
        if (sessions.size() + httpSessions.size() >= maxConnections) {
            sayOnceAMinute("full", "the server holds " + std::to_string(maxConnections) +
                                       " connections, all it takes: closing new ones at once");
            closeAtOnce(socket);
            return;
        }
        if (!trusted && !(held = hold(address))) {
            closeAtOnce(socket);
            return;
        }
        auto http = std::make_shared<HttpSession>(*this, std::move(socket), nextId++, address);
        http->hold = std::move(held);
        httpSessions[http->id] = http;
        http->start(trusted);
    }

    // A connection's hold on its client's address, which counts it; none
    // when the address holds as many as it may already (said once a minute).
    std::shared_ptr<const std::string> hold(const std::string& address) {
        const std::string key = addressKey(address);
        std::weak_ptr<const std::string>& connections = addresses[key].connections;
        std::shared_ptr<const std::string> held = connections.lock();
        if (!held) {
            held = std::make_shared<const std::string>(key);
            connections = held;
        } else if (static_cast<std::size_t>(held.use_count()) > options.connectionsPerAddress) {
            sayOnceAMinute(key, address + " holds " +
                                    std::to_string(options.connectionsPerAddress) +
                                    " connections: closing its new ones at once");
            return nullptr;
        }
        return held;
    }

    // Says a line on standard error unless one about the same thing was said
    // in the last minute, so that a flood does not flood the log.
    void sayOnceAMinute(const std::string& about, const std::string& line) {
        const std::int64_t ms = nowMs();
        const auto said = saidMs.find(about);
        if (said != saidMs.end() && ms - said->second < MinuteMs) {
            return;
        }
        saidMs[about] = ms;
        std::fprintf(stderr, "pellucane-server: %s (said once a minute)\n", line.c_str());
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
                    roomEnded(room->first);
                    room = rooms.erase(room);
                } else {
                    ++room;
                }
            }
            closeSilentGreeters(ms);
            if (ms - sweptMs >= 1000) {
                sweptMs = ms;
                forgetIdleAddresses(ms);
            }
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

    // Forgets the addresses with nothing left to count, and what was said
    // over a minute ago: once a second, as there may be many.
    void forgetIdleAddresses(std::int64_t ms) {
        for (auto each = addresses.begin(); each != addresses.end();) {
            AddressUse& use = each->second;
            const bool idle = use.connections.expired() && use.rooms == 0 &&
                              inLastMinute(use.joins, ms) == 0 &&
                              inLastMinute(use.roomsMade, ms) == 0;
            each = idle ? addresses.erase(each) : std::next(each);
        }
        for (auto each = saidMs.begin(); each != saidMs.end();) {
            each = ms - each->second >= MinuteMs ? saidMs.erase(each) : std::next(each);
        }
    }

    // A room has ended: its maker holds one fewer.
    void roomEnded(const std::string& code) {
        roomStart.erase(code);
        const auto maker = roomMakers.find(code);
        if (maker != roomMakers.end()) {
            --addresses[maker->second].rooms;
            roomMakers.erase(maker);
        }
    }

    // An HTTP connection asked for a WebSocket: it becomes a player's
    // Session, whose greeting is due from when the request was awaited.
    void upgrade(HttpSession& http, const Request& request) {
        httpSessions.erase(http.id);
        auto session =
            std::make_shared<Session>(*this, http.stream.release_socket(), http.id, http.awaitedMs);
        session->address = http.address;
        session->hold = std::move(http.hold);
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
            room->holdMs = options.seatHoldMs;
            roomStart[code] = serverTicks;
        }
        return *room;
    }

    // A room out of step leaves its game for the tests' replay to take
    // apart, from its start to now, named by the first tick found out.
    void keepRecording(const std::string& code, std::uint8_t seats, std::uint32_t tick) {
        const Room& room = *rooms[code];
        writer.write({options.recordings + "/room-" + code + "-tick-" +
                          std::to_string(room.outOfStepTick) + ".game",
                      room.recording(),
                      "room " + code + ": " + Room::seatList(seats) + " out of step at tick " +
                          std::to_string(tick)});
    }

    // Why a greeting from the address is refused, or "": an address joins
    // only so often, and makes only so many rooms, a minute and at once,
    // while the server holds only so many. A room it may make counts as
    // made: the greeting makes it next.
    std::string greetingRefusal(const std::string& key, const std::string& code) {
        AddressUse& use = addresses[key];
        const std::int64_t ms = nowMs();
        if (inLastMinute(use.joins, ms) >= options.joinsPerMinute) {
            return "more than " + std::to_string(options.joinsPerMinute) +
                   " joins a minute from one address: try in a minute";
        }
        use.joins.push_back(ms);
        if (rooms.count(code) != 0) {
            return "";
        }
        if (rooms.size() >= MaxRooms ||
            inLastMinute(use.roomsMade, ms) >= options.roomsMadePerMinute) {
            return "the server makes no more rooms now: join one, or try in a minute";
        }
        // the address's share: all of roomsPerAddress while every room is
        // free, and that much of it as are free, rounded up
        const std::size_t share =
            (options.roomsPerAddress * (MaxRooms - rooms.size()) + MaxRooms - 1) / MaxRooms;
        if (use.rooms >= share) {
            return "this address has made " + std::to_string(use.rooms) +
                   " rooms that are still open, its share now: join one of them";
        }
        use.roomsMade.push_back(ms);
        ++use.rooms;
        roomMakers[code] = key;
        return "";
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
                // (a refusal reads the same in every version)
                refuse(from, "this server plays another version of Pellucane: both need the same");
                return;
            }
            if (rooms.count(message.room) == 0 && message.token != SeatToken{} &&
                message.tick != 0) {
                refuse(from, "room " + message.room + " is gone: the server has no such room now");
                return;
            }
            if (const std::string refusal = greetingRefusal(*from.hold, message.room);
                !refusal.empty()) {
                refuse(from, refusal);
                return;
            }
            Room& room = roomFor(message.room);
            from.room = message.room;
            if (!room.join(from.id, message, nowMs())) {
                from.room.clear();
            }
            return;
        }
        const auto room = rooms.find(from.room);
        if (room != rooms.end()) {
            room->second->receive(from.id, message, nowMs());
        }
    }

    // A refusal the player reads, and the connection's end.
    static void refuse(Session& from, const std::string& why) {
        Message no;
        no.kind = MessageKind::Refusal;
        no.reason = why;
        from.send(std::make_shared<const std::string>(writeMessage(no)));
        from.close(why);
    }

    void ended(Session& gone) {
        const auto room = rooms.find(gone.room);
        if (room != rooms.end()) {
            room->second->leave(gone.id, nowMs());
        }
        gone.room.clear();
    }
};

void Session::start(const Request& upgrade) {
    beast::error_code ignored;
    stream.next_layer().socket().set_option(tcp::no_delay(true), ignored);
    stream.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    stream.read_message_max(MaxStreetMessageBytes);
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
            // The connection is over: nothing still under way on it matters.
            self->drop();
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
    std::fprintf(stderr, "pellucane-server: connection %llu from %s closed: %s\n",
                 static_cast<unsigned long long>(id), address.c_str(), why.c_str());
    while (dropQueued && outgoing.size() > (writing ? 1u : 0u)) {
        outgoing.pop_back();
    }
    asio::post(stream.get_executor(), [self = shared_from_this()] { self->server.ended(*self); });
    // A peer that never reads would hold its close, and its slot, for ever.
    if (beast::get_lowest_layer(stream).socket().is_open()) {
        teardown.expires_after(CloseBound);
        teardown.async_wait([self = shared_from_this()](beast::error_code error) {
            if (!error) {
                self->drop();
            }
        });
    }
    write();
}

void Session::drop() {
    beast::get_lowest_layer(stream).close();
    teardown.cancel();
}

void HttpSession::start(bool trusted) {
    if (trusted) {
        readProxyHeader();
    } else {
        read();
    }
}

// Reads until the start says whether it is a PROXY header, and the whole
// header if it is; what follows is read as HTTP.
void HttpSession::readProxyHeader() {
    stream.expires_after(HttpIdle);
    stream.async_read_some(
        incoming.prepare(MaxProxyBinaryBytes - incoming.size()),
        [self = shared_from_this()](beast::error_code error, std::size_t length) {
            if (error || self->server.stopped) {
                return;
            }
            self->incoming.commit(length);
            const ProxyHeader header = proxyHeader(std::string_view(
                static_cast<const char*>(self->incoming.cdata().data()), self->incoming.size()));
            if (header.outcome == ProxyHeader::Partial) {
                self->readProxyHeader();
            } else if (header.outcome == ProxyHeader::Malformed) {
                self->refuse(http::status::bad_request, "a malformed PROXY header");
            } else {
                self->incoming.consume(header.length);
                self->forwarded = header.outcome == ProxyHeader::None;
                if (self->forwarded ||
                    self->claim(header.client.empty() ? self->peer : header.client)) {
                    self->read();
                }
            }
        });
}

bool HttpSession::claim(const std::string& client) {
    address = client;
    hold.reset();
    hold = server.hold(client);
    if (!hold) {
        turnAway(http::status::too_many_requests, "more connections from one address");
    }
    return hold != nullptr;
}

// A trusted proxy that sent no PROXY header names each request's client as
// the last entry of its X-Forwarded-For, and itself without one.
bool HttpSession::claimForwarded(const Request& request) {
    std::string client = peer;
    if (!forwardedFor(request, client)) {
        refuse(http::status::bad_request, "an X-Forwarded-For whose last entry is no address");
        return false;
    }
    return claim(client);
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
                if (self->forwarded && !self->claimForwarded(request)) {
                    return;
                }
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
    std::fprintf(stderr, "pellucane-server: connection %llu from %s closed: %s\n",
                 static_cast<unsigned long long>(id), address.c_str(), why.c_str());
    turnAway(status, why);
}

void HttpSession::turnAway(http::status status, const std::string& why) {
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
    state->acceptPause.cancel();
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
