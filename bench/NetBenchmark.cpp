#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "market/Market.h"
#include "net/Lockstep.h"
#include "net/StreetSnapshot.h"
#include "protocol/Message.h"
#include "protocol/Room.h"
#include "server/GameServer.h"
#include "shop/ShopCommands.h"
#include "tests/support/GameWindow.h"
#include "tests/support/ScriptedGame.h"
#include "tests/support/TestSupport.h"

// The game server under load, and a key's way from one real game to another
// through it. BM_ServerRooms fills a server with rooms of three bot players
// each and measures the server's CPU, how late the rooms' ticks reach the
// bots and the bytes each bot sends and receives; the server runs on a thread
// pinned to core 0, the bots on this thread pinned to core 1.
// BM_KeyToLine presses HOTBEATS's '1' in one real game and times the trace
// line in the other game of the room, and in its own.

namespace {

namespace asio = boost::asio;
namespace websocket = boost::beast::websocket;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr double TickMs = 1000.0 / TicksPerSecond;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::int64_t nanoseconds(const timespec& time) { return time.tv_sec * 1000000000LL + time.tv_nsec; }

std::int64_t nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return nanoseconds(now);
}

double clockSeconds(clockid_t clock) { return static_cast<double>(nanoseconds(clock)) * 1e-9; }

// Seconds a core has been busy so far, by /proc/stat: the time of every
// thread on it and what the kernel did there on nobody's account (the
// loopback's deliveries in soft interrupts among it).
double coreBusySeconds(int core) {
    std::ifstream stat("/proc/stat");
    const std::string name = "cpu" + std::to_string(core);
    for (std::string line; std::getline(stat, line);) {
        std::istringstream fields(line);
        std::string label;
        double user, nice, system, idle, iowait, irq, softirq, steal;
        fields >> label >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
        if (label == name) {
            return (user + nice + system + irq + softirq + steal) /
                   static_cast<double>(sysconf(_SC_CLK_TCK));
        }
    }
    return 0.0;
}

// The calling thread's processor cores: the one given, or the mask given.
cpu_set_t pinTo(int core, const cpu_set_t* mask = nullptr) {
    cpu_set_t was;
    pthread_getaffinity_np(pthread_self(), sizeof was, &was);
    cpu_set_t cores;
    CPU_ZERO(&cores);
    CPU_SET(static_cast<std::size_t>(core), &cores);
    pthread_setaffinity_np(pthread_self(), sizeof cores, mask != nullptr ? mask : &cores);
    return was;
}

// A number from the environment variable, or the default.
double numberFrom(const char* name, double fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atof(value) : fallback;
}

// The share-th value of samples (0.5: the median), which it reorders.
double percentile(std::vector<double>& samples, double share) {
    if (samples.empty()) {
        return 0.0;
    }
    const auto at = samples.begin() + static_cast<std::ptrdiff_t>(
                                          share * static_cast<double>(samples.size() - 1) + 0.5);
    std::nth_element(samples.begin(), at, samples.end());
    return *at;
}

// A game server on a thread of its own, on one core when core is not negative.
struct ServerThread {
    asio::io_context context;
    std::unique_ptr<GameServer> server;
    std::thread thread;

    explicit ServerThread(int core) {
        ServerOptions options;
        options.address = "127.0.0.1";
        options.port = 0;
        options.recordings = std::filesystem::temp_directory_path().string();
        // every bot comes from the one address: no cap of one address holds it back
        options.roomsMadePerMinute = 100000;
        options.connectionsPerAddress = 100000;
        options.roomsPerAddress = 100000;
        options.joinsPerMinute = 100000;
        server = std::make_unique<GameServer>(context, options);
        thread = std::thread([this, core] {
            // by this name in perf and top
            pthread_setname_np(pthread_self(), "game-server");
            if (core >= 0) {
                pinTo(core);
            }
            context.run();
        });
    }
    ~ServerThread() {
        asio::post(context, [this] {
            server->stop();
            context.stop();
        });
        thread.join();
    }
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    // Runs what on the server's thread, between its handlers, and returns its value.
    template <typename What> auto onServer(What what) {
        std::packaged_task<decltype(what())()> task(what);
        auto result = task.get_future();
        asio::post(context, [&task] { task(); });
        return result.get();
    }
    double cpuSeconds() {
        clockid_t clock;
        pthread_getcpuclockid(thread.native_handle(), &clock);
        return clockSeconds(clock);
    }
};

// What a server shows of itself at one moment: its tick lateness so far and
// each room's ticks made, by room number.
struct ServerView {
    TickLateness lateness;
    std::vector<std::uint32_t> ticks;
};

ServerView look(ServerThread& server, std::size_t rooms) {
    return server.onServer([&] {
        ServerView view{server.server->lateness(), std::vector<std::uint32_t>(rooms, 0)};
        for (std::size_t room = 0; room < rooms; ++room) {
            const auto found = server.server->rooms().find("r" + std::to_string(room));
            view.ticks[room] = found == server.server->rooms().end() ? 0 : found->second->nextTick;
        }
        return view;
    });
}

// What a bot has counted: WebSocket bytes (frame headers and payloads) and
// messages, each way.
struct Traffic {
    double bytesIn = 0, bytesOut = 0, messagesIn = 0, messagesOut = 0;
};

// One player of a room on a plain socket once Beast has made the handshake:
// it reads the server's frames itself, with the kernel's arrival time of
// each read, and writes its own frames, masked with a zero key.
struct Bot {
    tcp::socket socket;
    std::size_t room;
    int seat;
    // ticks received, and when it last sent (in ticks received)
    std::uint32_t ticks = 0;
    std::uint32_t lastSent = 0;
    // the room's ticks made when the server was looked at: its ticks' place
    // on the server's clock
    std::uint32_t ticksAtLook = 0;
    std::size_t nextKey = 0;
    float angle = 0.0f;
    // bytes of frames not whole yet, and of a message's frames so far
    std::string partial;
    std::string message;
    std::string why;

    Bot(tcp::socket connected, std::size_t roomNumber, int seatNumber)
        : socket(std::move(connected)), room(roomNumber), seat(seatNumber) {}
};

// A room of three bots plays the recorded game's inputs, made to take place
// in real time: each keyboard seat presses its shop's keys of the recording's
// `type` lines in turn, one every KeyTicks; the mouse seat moves its cursor
// every other tick, circling the sidebar, and presses and lets go, six
// ticks later, every two seconds; each sends a digest of every second of
// ticks, the same in the whole room, and a sign of life when it has sent
// nothing for a second of ticks, as the game does.
constexpr std::uint32_t KeyTicks = TicksPerSecond / 2;
constexpr std::uint32_t PressTicks = 2 * TicksPerSecond;

struct Bots {
    asio::io_context context;
    std::vector<std::unique_ptr<Bot>> bots;
    // the keys of each keyboard seat, in the recording's order
    std::vector<unsigned char> keys[SeatCount];
    // while measuring: each tick's arrival, ns, less its place on the server's clock
    bool measuring = false;
    std::vector<std::int64_t> arrivals;
    // what the mouse seats and the keyboard seats have sent and received, in all
    Traffic traffic[2];
    std::size_t failed = 0;
    // connections or handshakes that failed
    std::size_t unseated = 0;
    std::string firstWhy;

    Bots() {
        for (const ScriptStep& step : readScript("trajectory.game")) {
            for (int time = 0; step.kind == ScriptStep::Type && time < step.count; ++time) {
                for (char key : step.text) {
                    const auto code = static_cast<unsigned char>(key);
                    for (const ShopCommand& command : shopCommands) {
                        if (command.shop1Key == code || command.shop2Key == code) {
                            keys[command.shop1Key == code ? 1 : 2].push_back(code);
                        }
                    }
                }
            }
        }
    }

    // Connects and greets, all bots at once: the server hands out seats as
    // fast as it can.
    void join(unsigned short port, std::size_t room, int seat) {
        using Stream = websocket::stream<tcp::socket>;
        auto stream = std::make_shared<Stream>(context);
        const auto seated = [this, stream, room, seat](boost::system::error_code error) {
            if (error) {
                ++unseated;
                return;
            }
            bots.push_back(std::make_unique<Bot>(std::move(stream->next_layer()), room, seat));
            Bot& bot = *bots.back();
            bot.socket.set_option(tcp::no_delay(true));
            const int on = 1;
            setsockopt(bot.socket.native_handle(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
            bot.socket.non_blocking(true);
            Message hello;
            hello.kind = MessageKind::Hello;
            hello.room = "r" + std::to_string(room);
            hello.seats = static_cast<std::uint8_t>(1u << seat);
            send(bot, hello);
            await(bot);
        };
        const tcp::endpoint server(asio::ip::address_v4::loopback(), port);
        stream->next_layer().async_connect(server, [this, stream, seated](auto error) {
            if (error) {
                ++unseated;
                return;
            }
            stream->async_handshake("127.0.0.1", "/", seated);
        });
    }

    void fail(Bot& bot, const std::string& why) {
        if (bot.why.empty()) {
            bot.why = why;
            firstWhy = firstWhy.empty() ? why : firstWhy;
            ++failed;
        }
    }

    void send(Bot& bot, const Message& message) {
        const std::string payload = writeMessage(message);
        std::string frame = {'\x82', static_cast<char>(0x80 | payload.size()), 0, 0, 0, 0};
        frame += payload;
        const ssize_t sent = ::send(bot.socket.native_handle(), frame.data(), frame.size(),
                                    MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent != static_cast<ssize_t>(frame.size())) {
            fail(bot, "a message not sent whole");
        }
        traffic[bot.seat != 0].bytesOut += static_cast<double>(frame.size());
        ++traffic[bot.seat != 0].messagesOut;
        bot.lastSent = bot.ticks;
    }

    void await(Bot& bot) {
        bot.socket.async_wait(tcp::socket::wait_read, [this, &bot](auto error) {
            if (!error && receive(bot)) {
                await(bot);
            }
        });
    }

    // Reads what has come, frame by frame; false once the connection has ended.
    bool receive(Bot& bot) {
        char buffer[8192];
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
        for (;;) {
            iovec part{buffer, sizeof buffer};
            msghdr header{};
            header.msg_iov = &part;
            header.msg_iovlen = 1;
            header.msg_control = control;
            header.msg_controllen = sizeof control;
            const ssize_t got = recvmsg(bot.socket.native_handle(), &header, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return true;
            }
            if (got <= 0) {
                fail(bot, got == 0 ? "the server ended the connection" : std::strerror(errno));
                return false;
            }
            // the kernel's time of the last segment read, on the wall clock,
            // moved to the steady clock that the server's ticks keep
            timespec arrived{};
            for (cmsghdr* each = CMSG_FIRSTHDR(&header); each != nullptr;
                 each = CMSG_NXTHDR(&header, each)) {
                if (each->cmsg_level == SOL_SOCKET && each->cmsg_type == SCM_TIMESTAMPNS) {
                    std::memcpy(&arrived, CMSG_DATA(each), sizeof arrived);
                }
            }
            const std::int64_t arrivedNs =
                nanoseconds(arrived) - nanoseconds(CLOCK_REALTIME) + nanoseconds(CLOCK_MONOTONIC);
            traffic[bot.seat != 0].bytesIn += static_cast<double>(got);
            bot.partial.append(buffer, static_cast<std::size_t>(got));
            if (!frames(bot, arrivedNs)) {
                return false;
            }
        }
    }

    // Takes every whole frame of what has come.
    bool frames(Bot& bot, std::int64_t arrivedNs) {
        std::size_t at = 0;
        const std::string& bytes = bot.partial;
        const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[at + i]); };
        while (bytes.size() - at >= 2) {
            std::size_t length = byte(1) & 0x7fu;
            std::size_t head = length == 126 ? 4 : length == 127 ? 10 : 2;
            if (bytes.size() - at < head) {
                break;
            }
            if (head > 2) {
                length = 0;
                for (std::size_t i = 2; i < head; ++i) {
                    length = length << 8 | byte(i);
                }
            }
            if (bytes.size() - at < head + length) {
                break;
            }
            const unsigned opcode = byte(0) & 0x0fu;
            if (opcode == 8) {
                fail(bot, "closed: " + bytes.substr(at + head + std::min<std::size_t>(2, length),
                                                    length - std::min<std::size_t>(2, length)));
                return false;
            }
            if (opcode <= 2) {
                bot.message.append(bytes, at + head, length);
                if ((byte(0) & 0x80u) != 0) {
                    ++traffic[bot.seat != 0].messagesIn;
                    take(bot, arrivedNs);
                    bot.message.clear();
                }
            }
            at += head + length;
        }
        bot.partial.erase(0, at);
        return true;
    }

    void take(Bot& bot, std::int64_t arrivedNs) {
        Message message;
        std::string why;
        if (!readServerMessage(bot.message, message, why)) {
            fail(bot, "unreadable: " + why);
        } else if (message.kind == MessageKind::Refusal) {
            fail(bot, "refused: " + message.reason);
        } else if (message.kind == MessageKind::OutOfStep) {
            fail(bot, "told it is out of step");
        } else if (message.kind == MessageKind::Ticks) {
            if (message.tick != bot.ticks) {
                fail(bot, "tick " + std::to_string(message.tick) + " where " +
                              std::to_string(bot.ticks) + " was due");
            }
            if (measuring && message.tickCount == 1) {
                const double place =
                    static_cast<double>(message.tick) - static_cast<double>(bot.ticksAtLook);
                arrivals.push_back(arrivedNs - std::llround(place * TickMs * 1e6));
            }
            const std::uint32_t before = bot.ticks;
            bot.ticks = message.tick + message.tickCount;
            play(bot, before);
        }
    }

    // What the bot's player does at the tick just received.
    void play(Bot& bot, std::uint32_t before) {
        const std::uint32_t tick = bot.ticks - 1;
        const std::uint32_t phase =
            static_cast<std::uint32_t>(bot.room * 7 + static_cast<std::size_t>(bot.seat) * 11);
        Message message;
        message.kind = MessageKind::Input;
        message.input.seat = static_cast<std::uint8_t>(bot.seat);
        if (bot.seat == 0) {
            const std::uint32_t press = (tick + phase) % PressTicks;
            message.input.kind = press == 0   ? InputKind::Press
                                 : press == 6 ? InputKind::Release
                                              : InputKind::Cursor;
            if (tick % 2 == 0 || message.input.kind != InputKind::Cursor) {
                bot.angle += 0.05f;
                message.input.x = -45.0f + 4.0f * std::cos(bot.angle);
                message.input.y = 37.5f + 30.0f * std::sin(bot.angle);
                send(bot, message);
            }
        } else if ((tick + phase) % KeyTicks == 0) {
            const std::vector<unsigned char>& seatKeys = keys[bot.seat];
            message.input.key = seatKeys[bot.nextKey++ % seatKeys.size()];
            send(bot, message);
        }
        if (bot.ticks / TicksPerSecond > before / TicksPerSecond) {
            Message digest;
            digest.kind = MessageKind::Digest;
            digest.tick = bot.ticks / TicksPerSecond * TicksPerSecond - 1;
            digest.digest = (bot.room + 1) * 0x9e3779b97f4a7c15ull ^ digest.tick;
            send(bot, digest);
        }
        if (bot.ticks - bot.lastSent >= TicksPerSecond) {
            Message alive;
            alive.kind = MessageKind::Alive;
            send(bot, alive);
        }
    }
};

// Rooms of three bots on a server of one core, for PELLUCANE_NET_SECONDS
// (10 unless set) after two seconds of warming up.
void BM_ServerRooms(benchmark::State& state) {
    const auto rooms = static_cast<std::size_t>(state.range(0));
    const double window = numberFrom("PELLUCANE_NET_SECONDS", 10.0);
    const cpu_set_t cores = pinTo(1);
    for (auto _ : state) {
        ServerThread server(0);
        Bots bots;
        Clock::time_point start = Clock::now();
        for (std::size_t room = 0; room < rooms; ++room) {
            for (int seat = 0; seat < SeatCount; ++seat) {
                bots.join(server.server->port(), room, seat);
            }
        }
        const std::size_t players = rooms * SeatCount;
        while (bots.bots.size() + bots.unseated < players && secondsSince(start) < 60) {
            bots.context.run_one_for(std::chrono::milliseconds(100));
        }
        state.counters["join_s"] = secondsSince(start);
        bots.context.run_for(std::chrono::seconds(2));
        const ServerView before = look(server, rooms);
        for (auto& bot : bots.bots) {
            bot->ticksAtLook = before.ticks[bot->room];
        }
        const Traffic mouseBefore = bots.traffic[0], keysBefore = bots.traffic[1];
        const double serverCpu = server.cpuSeconds();
        const double botCpu = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        const double core0 = coreBusySeconds(0), core1 = coreBusySeconds(1);
        start = Clock::now();
        bots.measuring = true;
        bots.context.run_for(std::chrono::milliseconds(std::llround(window * 1000)));
        bots.measuring = false;
        const double seconds = secondsSince(start);
        const ServerView after = look(server, rooms);
        // The threads' own time, with the loopback's deliveries that ran on
        // their account; and what else kept their cores busy meanwhile.
        const double serverShare = (server.cpuSeconds() - serverCpu) / seconds;
        const double botShare = (clockSeconds(CLOCK_THREAD_CPUTIME_ID) - botCpu) / seconds;
        state.counters["server_cpu"] = serverShare;
        state.counters["cpu_ms_room_s"] = serverShare * 1000.0 / static_cast<double>(rooms);
        state.counters["bot_cpu"] = botShare;
        state.counters["others_core0"] = (coreBusySeconds(0) - core0) / seconds - serverShare;
        state.counters["others_core1"] = (coreBusySeconds(1) - core1) / seconds - botShare;

        // The server's own histogram: how late each tick was made after it
        // was due, and the share made a tick or more late.
        TickLateness sinceBefore;
        std::uint64_t made = 0;
        std::uint64_t aTickLate = 0;
        for (std::size_t i = 0; i < sinceBefore.counts.size(); ++i) {
            sinceBefore.counts[i] = after.lateness.counts[i] - before.lateness.counts[i];
            made += sinceBefore.counts[i];
            aTickLate += static_cast<double>(i) / 10.0 >= TickMs ? sinceBefore.counts[i] : 0;
        }
        state.counters["tick_p99_ms"] = sinceBefore.percentileMs(0.99);
        state.counters["ticks_a_tick_late"] =
            static_cast<double>(aTickLate) / static_cast<double>(std::max<std::uint64_t>(made, 1));

        // The bots' view: each tick's arrival after its due time on the
        // server's clock, taken as the earliest arrival of all.
        if (bots.arrivals.empty()) {
            state.SkipWithError(("no tick came: " + bots.firstWhy).c_str());
            return;
        }
        const std::int64_t earliest = *std::min_element(bots.arrivals.begin(), bots.arrivals.end());
        std::vector<double> late;
        late.reserve(bots.arrivals.size());
        for (std::int64_t arrival : bots.arrivals) {
            late.push_back(static_cast<double>(arrival - earliest) / 1e6);
        }
        const double p99 = percentile(late, 0.99);
        state.counters["arrival_p50_ms"] = percentile(late, 0.5);
        state.counters["arrival_p99_ms"] = p99;
        state.counters["arrival_max_ms"] = percentile(late, 1.0);
        const std::size_t failed = bots.failed + players - bots.bots.size();
        state.counters["bots_failed"] = static_cast<double>(failed);
        state.counters["held"] = p99 < TickMs && failed == 0 ? 1.0 : 0.0;

        const Traffic mouse = bots.traffic[0], keys = bots.traffic[1];
        const double mice = static_cast<double>(rooms) * seconds;
        const double keyboards = 2 * mice;
        state.counters["in_B_s"] = (mouse.bytesIn - mouseBefore.bytesIn) / mice;
        state.counters["in_msg_s"] = (mouse.messagesIn - mouseBefore.messagesIn) / mice;
        state.counters["mouse_out_B_s"] = (mouse.bytesOut - mouseBefore.bytesOut) / mice;
        state.counters["mouse_out_msg_s"] = (mouse.messagesOut - mouseBefore.messagesOut) / mice;
        state.counters["keys_out_B_s"] = (keys.bytesOut - keysBefore.bytesOut) / keyboards;
        state.counters["keys_out_msg_s"] = (keys.messagesOut - keysBefore.messagesOut) / keyboards;
        if (failed != 0) {
            state.SetLabel(std::to_string(failed) + " bots failed, first: " + bots.firstWhy);
        }
        // the bots leave before the server stops, which would say so for each
        bots.bots.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    pinTo(0, &cores);
}
BENCHMARK(BM_ServerRooms)
    ->Arg(100)
    ->Arg(200)
    ->Arg(300)
    ->Arg(400)
    ->Arg(500)
    ->Arg(600)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

// Lines equal to line in a game's trace.
int linesOf(const GameWindow& game, const std::string& line) {
    const std::vector<std::string> lines = game.traceLines();
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// Two real games in one room on a local server: the left keyboard's in one,
// the right's in the other. Each press of '1' in the first (PELLUCANE_NET_PRESSES
// of them, 100 unless set) turns HOTBEATS's 10% sale on or off, and both
// write its line once their street has played the tick it came in. The
// trace lines are read every millisecond: the driver's own waits look every
// 50 ms, which would add 0 to 50 ms to each figure.
void BM_KeyToLine(benchmark::State& state) {
    const int presses = static_cast<int>(numberFrom("PELLUCANE_NET_PRESSES", 100));
    const std::string line = "10% BUTTON";
    for (auto _ : state) {
        ServerThread server(-1);
        const std::string room = "127.0.0.1:" + std::to_string(server.server->port()) + "/lag";
        VirtualDisplay presserDisplay, watcherDisplay;
        GameCommand pressing = gameCommand(), watches = pressing;
        pressing.arguments.insert(pressing.arguments.end(), {"--join", room, "--seats", "left"});
        watches.arguments.insert(watches.arguments.end(), {"--join", room, "--seats", "right"});
        const auto presser = startGame(presserDisplay, pressing);
        const auto watcher = startGame(watcherDisplay, watches);
        for (GameWindow* game : {presser.get(), watcher.get()}) {
            game->titleScreen();
            game->click(1);
            game->showsFrame("instructions");
            game->click(1);
        }
        presser->key("1");
        if (!presser->waitForLines(1, line) || !watcher->waitForLines(1, line)) {
            state.SkipWithError(("no line: " + presser->errors() + watcher->errors()).c_str());
            return;
        }
        std::mt19937 pause(7);
        // ms from the key() call to each game's line ("own", "other"), the
        // same from the call's return, and the call itself ("key_call")
        std::map<std::string, std::vector<double>> figures;
        double looks = 0, lookingMs = 0;
        for (int press = 2; press <= presses + 1; ++press) {
            const Clock::time_point start = Clock::now();
            presser->key("1");
            const double calledMs = secondsSince(start) * 1000;
            figures["key_call"].push_back(calledMs);
            std::map<std::string, GameWindow*> waiting = {{"own", presser.get()},
                                                          {"other", watcher.get()}};
            while (!waiting.empty() && secondsSince(start) < 10) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                ++looks;
                for (auto game = waiting.begin(); game != waiting.end();) {
                    if (linesOf(*game->second, line) < press) {
                        ++game;
                        continue;
                    }
                    figures[game->first].push_back(secondsSince(start) * 1000);
                    figures[game->first + "_from_return"].push_back(figures[game->first].back() -
                                                                    calledMs);
                    game = waiting.erase(game);
                }
            }
            if (!waiting.empty()) {
                state.SkipWithError("a press's line did not come within 10 s");
                return;
            }
            lookingMs += secondsSince(start) * 1000 - calledMs;
            // presses fall anywhere in the ticks' and frames' phases
            std::this_thread::sleep_for(std::chrono::microseconds(pause() % 40000));
        }
        for (auto& figure : figures) {
            state.counters[figure.first + "_p50_ms"] = percentile(figure.second, 0.5);
            state.counters[figure.first + "_p99_ms"] = percentile(figure.second, 0.99);
        }
        for (const char* name : {"own_p50", "own_p99", "other_p50", "other_p99"}) {
            state.counters[name + std::string("_ticks")] =
                state.counters[name + std::string("_ms")] / TickMs;
        }
        state.counters["look_every_ms"] = lookingMs / looks;
        state.counters["presses"] = presses;
    }
}
BENCHMARK(BM_KeyToLine)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The snapshot of a street a minute into its game, with signs, sales and a
// handout guy, that a machine joining its room loads: written (argument 0)
// and read back into the street (1).
void BM_StreetSnapshot(benchmark::State& state) {
    Market& street = newStreet(1);
    {
        const CapturedStdout traceLines;
        for (char key : {'1', 'x', 'j', 'p'}) {
            street.handleKey(static_cast<unsigned char>(key));
        }
        for (std::uint32_t tick = 1; tick <= 60 * TicksPerSecond; ++tick) {
            playRoomTick(tick);
        }
    }
    const std::string bytes = writeStreet(street);
    const bool reading = state.range(0) == 1;
    std::string why;
    for (auto _ : state) {
        if (reading) {
            benchmark::DoNotOptimize(readStreet(bytes, street, why));
        } else {
            benchmark::DoNotOptimize(writeStreet(street));
        }
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
    state.SetLabel(reading ? "read" : "write");
}
BENCHMARK(BM_StreetSnapshot)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A machine joining a room after an hour of a busy mouse (216000 ticks, a
// cursor move, a press and a release each tick): the bytes the room sends
// it, their time on a 10 Mbit/s link, the CPU time to make the street
// present from them (the kept street loaded and the ticks since it
// played), and the room's memory for its street and log.
// The machine sends its street each minute, as the game does.
void BM_LateJoinAfterAnHour(benchmark::State& state) {
    const std::string street = writeStreet(newStreet(1));
    for (auto _ : state) {
        std::size_t joinerBytes = 0;
        std::vector<Message> joinerHeard;
        RoomLink link;
        link.send = [&](MemberId to, const std::string& bytes) {
            if (to == 2) {
                joinerBytes += bytes.size();
                std::string why;
                readServerMessage(bytes, joinerHeard.emplace_back(), why);
            }
        };
        link.close = [](MemberId, const std::string&) {};
        Room room("HOUR", 1, 0, link);
        room.join(1, 0b001, 0);
        for (std::uint32_t tick = 1; tick <= 216000; ++tick) {
            const std::int64_t nowMs = tickClockMs(tick);
            Message input;
            input.kind = MessageKind::Input;
            for (InputKind kind : {InputKind::Cursor, InputKind::Press, InputKind::Release}) {
                input.input.kind = kind;
                room.receive(1, input, nowMs);
            }
            room.advance(tick, nowMs);
            const std::uint32_t made = tick - 1;
            if ((made + 1) % TicksPerSecond == 0) {
                Message sent;
                sent.kind = MessageKind::Digest;
                sent.tick = made;
                sent.digest = 7;
                room.receive(1, sent, nowMs);
                if ((made + 1) % SnapshotTicks == 0) {
                    sent.kind = MessageKind::Street;
                    sent.street = street;
                    room.receive(1, sent, nowMs);
                }
            }
        }
        const auto joinStart = Clock::now();
        room.join(2, 0b010, tickClockMs(216000));
        // the joiner's side: the street loaded, then every tick played
        std::uint32_t played = 0;
        {
            const CapturedStdout traceLines;
            for (const Message& each : joinerHeard) {
                std::string why;
                if (each.kind == MessageKind::Street) {
                    readStreet(each.street, market, why);
                    played = each.tick + 1;
                }
                for (; each.kind == MessageKind::Ticks && played < each.tick + each.tickCount;
                     ++played) {
                    playRoomTick(played);
                }
            }
        }
        const double cpuSeconds = secondsSince(joinStart);
        std::size_t memory = room.street.size() + room.offered.size() +
                             room.log.capacity() * sizeof(TickInput) + room.agreed.size() * 48;
        state.counters["joinerKB"] = static_cast<double>(joinerBytes) / 1024.0;
        state.counters["linkS"] = static_cast<double>(joinerBytes) * 8.0 / 10e6;
        state.counters["catchUpS"] = cpuSeconds;
        state.counters["roomKB"] = static_cast<double>(memory) / 1024.0;
        state.counters["ticksPlayed"] = static_cast<double>(played);
    }
}
BENCHMARK(BM_LateJoinAfterAnHour)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
