// pellucane-linkemu: a wire between two TUN devices that behaves like a
// path over the internet: each way's delay with its jitter, lost packets,
// a cut for some seconds, and TCP connections reset from the middle. The
// settings change while it runs, by lines on a UNIX socket. It passes IPv4
// packets between addresses of 10.73.0.0/16 alone, the test network that
// scripts/netns-link.sh gives its ends; everything else is dropped.

#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "Impairment.h"
#include "TcpReset.h"

namespace {

struct Options {
    // the TUN devices' names, by side
    std::string devices[2];
    // the control socket's path
    std::string control;
    // seconds it runs at most
    double seconds = 3600;
    std::uint64_t seed = 1;
    // control lines applied before it starts
    std::vector<std::string> settings;
};

// A connection to the control socket, with what it has sent of its next line.
struct Client {
    int fd = -1;
    std::string input;
};

struct Link {
    // the TUN devices by side, the control socket's listener, the signals' descriptor
    int devices[2] = {-1, -1};
    int listener = -1;
    int signals = -1;
    std::vector<Client> clients;
    // by the side the packets leave from: ways[Far] is up, ways[Near] down
    Direction ways[2];
    Flows flows;
    std::mt19937_64 random;
    // packets dropped as not between two test addresses
    std::uint64_t refused = 0;
    bool stopping = false;
};

// connections to the control socket at once, at most; longest line, bytes
constexpr std::size_t ClientRoom = 16;
constexpr std::size_t LineRoom = 512;

void usage(FILE* to) {
    std::fprintf(to, "Usage: pellucane-linkemu --near DEV --far DEV --control PATH\n"
                     "                         [--seconds S] [--seed N] [--set LINE]...\n"
                     "       pellucane-linkemu --tell PATH LINE...\n"
                     "Makes TUN devices DEV (near) and DEV (far) and passes IPv4 packets\n"
                     "between them, each way delayed, lost or cut as the control lines say.\n"
                     "Prints \"ready\" once the devices and the control socket are there.\n"
                     "  --seconds S   stop after S seconds (default 3600)\n"
                     "  --seed N      the seed of the losses and jitter (default 1)\n"
                     "  --set LINE    a control line applied at the start\n"
                     "  --tell PATH   send the control lines, print the answers\n"
                     "Control lines: [up|down] delay MS [jitter PERCENT], [up|down] jitter\n"
                     "PERCENT, [up|down] loss PERCENT, [up|down] stall MS, [up|down] reorder\n"
                     "on|off, reset, clear, show, quit. Up is far to near, down near to far.\n");
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "pellucane-linkemu: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream split(line);
    std::vector<std::string> words;
    for (std::string word; split >> word;) {
        words.push_back(word);
    }
    return words;
}

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--near" || option == "--far") {
            options.devices[option == "--near" ? Near : Far] = value;
        } else if (option == "--control") {
            options.control = value;
        } else if (option == "--seconds") {
            options.seconds = std::atof(value.c_str());
        } else if (option == "--seed") {
            options.seed = std::strtoull(value.c_str(), nullptr, 10);
        } else if (option == "--set") {
            options.settings.push_back(value);
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !options.devices[Near].empty() && !options.devices[Far].empty() &&
           !options.control.empty() && options.seconds > 0;
}

int openTun(const std::string& name) {
    const int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail("/dev/net/tun");
    }
    ifreq request{};
    request.ifr_flags = static_cast<short>(IFF_TUN | IFF_NO_PI);
    std::strncpy(request.ifr_name, name.c_str(), IFNAMSIZ - 1);
    if (ioctl(fd, TUNSETIFF, &request) < 0) {
        fail("device " + name);
    }
    return fd;
}

sockaddr_un controlAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        fail(path);
    }
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

int connectTo(const std::string& path) {
    const sockaddr_un address = controlAddress(path);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return fd;
    }
    if (fd >= 0) {
        close(fd);
    }
    return -1;
}

// Listens on the control socket, for root alone; a socket left by an
// emulator that died is replaced, one in use is not.
int listenOn(const std::string& path) {
    const int running = connectTo(path);
    if (running >= 0) {
        close(running);
        errno = EADDRINUSE;
        fail(path);
    }
    unlink(path.c_str());
    const sockaddr_un address = controlAddress(path);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0 ||
        chmod(path.c_str(), 0600) < 0 || listen(fd, 8) < 0) {
        fail(path);
    }
    return fd;
}

int signalDescriptor() {
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stops, signal);
    }
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    const int fd = signalfd(-1, &stops, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0) {
        fail("signalfd");
    }
    return fd;
}

// Whether a packet runs between two addresses of 10.73.0.0/16.
bool betweenTestHosts(const Packet& packet) {
    const auto inTestNet = [&](std::size_t at) { return packet[at] == 10 && packet[at + 1] == 73; };
    return packet.size() >= 20 && packet[0] >> 4 == 4 && inTestNet(12) && inTestNet(16);
}

// Writes a packet out of a side's device: into the kernel of that side's namespace.
bool writeTo(Link& link, Side side, const Packet& packet) {
    return write(link.devices[side], packet.data(), packet.size()) ==
           static_cast<ssize_t>(packet.size());
}

std::string showCounts(const Direction& way, Clock::time_point now) {
    const Counts& counts = way.counts;
    return describe(way.impairment, now) + " passed " + std::to_string(counts.passed) + " lost " +
           std::to_string(counts.lost) + " in-stall " + std::to_string(counts.stalled) +
           " overflowed " + std::to_string(counts.overflowed);
}

std::string resetConnections(Link& link) {
    const auto resets = resetAll(link.flows);
    for (const auto& [side, packet] : resets) {
        writeTo(link, side, packet);
    }
    return "ok " + std::to_string(resets.size() / 2) + " connections reset";
}

// The answer to a control line, having carried it out.
std::string answer(Link& link, const std::string& line) {
    const std::vector<std::string> words = wordsOf(line);
    const Clock::time_point now = Clock::now();
    if (words.size() == 1 && words[0] == "reset") {
        return resetConnections(link);
    }
    if (words.size() == 1 && words[0] == "show") {
        return "ok up " + showCounts(link.ways[Far], now) + "; down " +
               showCounts(link.ways[Near], now);
    }
    if (words.size() == 1 && words[0] == "quit") {
        link.stopping = true;
        return "ok";
    }
    return applySetting(words, link.ways, now);
}

// Reads the packets waiting at a side's device and sends them on their way.
void takePackets(Link& link, Side from) {
    static std::uint8_t buffer[65536];
    for (int read = 0; read < 256; ++read) {
        const ssize_t size = ::read(link.devices[from], buffer, sizeof buffer);
        if (size <= 0) {
            return;
        }
        Packet packet(buffer, buffer + size);
        if (!betweenTestHosts(packet)) {
            ++link.refused;
            continue;
        }
        const Clock::time_point now = Clock::now();
        Verdict verdict = follow(link.flows, packet, from, now);
        for (const Packet& reply : verdict.replies) {
            writeTo(link, from, reply);
        }
        if (verdict.pass) {
            enter(link.ways[from], std::move(packet), now, link.random);
        }
    }
}

// Delivers the packets whose time has come, at the other side.
void deliver(Link& link, Clock::time_point now) {
    for (Side from : {Near, Far}) {
        Direction& way = link.ways[from];
        while (!way.onTheWay.empty() && way.onTheWay.begin()->first <= now) {
            const auto next = way.onTheWay.begin();
            if (stalledAt(way.impairment, next->first)) {
                ++way.counts.stalled;
            } else if (!ofResetFlow(link.flows, next->second, from)) {
                ++(writeTo(link, from == Near ? Far : Near, next->second) ? way.counts.passed
                                                                          : way.counts.overflowed);
            }
            way.onTheWay.erase(next);
        }
    }
}

void acceptClient(Link& link) {
    const int fd = accept4(link.listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    if (link.clients.size() >= ClientRoom) {
        close(fd);
        return;
    }
    link.clients.push_back({fd, ""});
}

// Answers the client's whole lines; false once it has gone or misbehaved.
bool serve(Link& link, Client& client) {
    char bytes[1024];
    const ssize_t size = recv(client.fd, bytes, sizeof bytes, 0);
    if (size <= 0) {
        return size < 0 && errno == EAGAIN;
    }
    client.input.append(bytes, static_cast<std::size_t>(size));
    for (std::size_t end; (end = client.input.find('\n')) != std::string::npos;) {
        const std::string reply = answer(link, client.input.substr(0, end)) + "\n";
        client.input.erase(0, end + 1);
        if (send(client.fd, reply.data(), reply.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(reply.size())) {
            return false;
        }
    }
    return client.input.size() <= LineRoom;
}

// ppoll's wait until the next packet is due or the end, whichever comes first.
timespec waitUntil(const Link& link, Clock::time_point end, Clock::time_point now) {
    Clock::time_point next = end;
    for (const Direction& way : link.ways) {
        if (!way.onTheWay.empty() && way.onTheWay.begin()->first < next) {
            next = way.onTheWay.begin()->first;
        }
    }
    const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::max(next - now, Clock::duration::zero()));
    return {static_cast<time_t>(wait.count() / 1000000000),
            static_cast<long>(wait.count() % 1000000000)};
}

// One wait and what it brought.
void step(Link& link, Clock::time_point end) {
    std::vector<pollfd> waits = {{link.signals, POLLIN, 0},
                                 {link.devices[Near], POLLIN, 0},
                                 {link.devices[Far], POLLIN, 0},
                                 {link.listener, POLLIN, 0}};
    for (const Client& client : link.clients) {
        waits.push_back({client.fd, POLLIN, 0});
    }
    const timespec wait = waitUntil(link, end, Clock::now());
    if (ppoll(waits.data(), waits.size(), &wait, nullptr) < 0 && errno != EINTR) {
        fail("ppoll");
    }
    link.stopping = link.stopping || waits[0].revents != 0;
    for (Side side : {Near, Far}) {
        if (waits[side == Near ? 1 : 2].revents & POLLIN) {
            takePackets(link, side);
        }
    }
    if (waits[3].revents & POLLIN) {
        acceptClient(link);
    }
    // the clients polled, by their place in the list before any was accepted
    for (std::size_t index = waits.size() - 4; index-- > 0;) {
        if (waits[4 + index].revents != 0 && !serve(link, link.clients[index])) {
            close(link.clients[index].fd);
            link.clients.erase(link.clients.begin() + static_cast<std::ptrdiff_t>(index));
        }
    }
    deliver(link, Clock::now());
}

int runWire(const Options& options) {
    Link link;
    link.random.seed(options.seed);
    link.signals = signalDescriptor();
    for (Side side : {Near, Far}) {
        link.devices[side] = openTun(options.devices[side]);
    }
    for (const std::string& setting : options.settings) {
        const std::string verdict = answer(link, setting);
        if (verdict.rfind("ok", 0) != 0) {
            std::fprintf(stderr, "pellucane-linkemu: --set %s: %s\n", setting.c_str(),
                         verdict.c_str());
            return 2;
        }
    }
    link.listener = listenOn(options.control);
    std::printf("ready\n");
    std::fflush(stdout);
    const Clock::time_point end =
        Clock::now() +
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
    while (!link.stopping && Clock::now() < end) {
        step(link, end);
    }
    unlink(options.control.c_str());
    const Clock::time_point now = Clock::now();
    std::fprintf(stderr, "pellucane-linkemu: up %s; down %s; refused %llu\n",
                 showCounts(link.ways[Far], now).c_str(), showCounts(link.ways[Near], now).c_str(),
                 static_cast<unsigned long long>(link.refused));
    // the devices go with their descriptors, wherever they are
    return 0;
}

// Sends control lines, prints the answers; fails on a refused one.
int tell(const std::string& path, const std::vector<std::string>& lines) {
    const int fd = connectTo(path);
    if (fd < 0) {
        fail(path);
    }
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    if (send(fd, text.data(), text.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(text.size())) {
        fail(path);
    }
    shutdown(fd, SHUT_WR);
    std::string answers;
    char bytes[1024];
    for (ssize_t size; (size = read(fd, bytes, sizeof bytes)) > 0;) {
        answers.append(bytes, static_cast<std::size_t>(size));
    }
    close(fd);
    std::fputs(answers.c_str(), stdout);
    const bool refused = answers.find("error") != std::string::npos;
    const auto answered =
        static_cast<std::size_t>(std::count(answers.begin(), answers.end(), '\n'));
    return refused || answered != lines.size() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--tell") == 0) {
        return tell(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    Options options;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        usage(stdout);
        return 0;
    }
    if (!parse(argc, argv, options)) {
        usage(stderr);
        return 2;
    }
    return runWire(options);
}
