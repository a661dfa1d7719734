#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/signal_set.hpp>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

#include "server/GameServer.h"

namespace {

void usage(FILE* to) {
    std::fprintf(to,
                 "Usage: pellucane-server [--port PORT] [--address ADDRESS] [--recordings DIR]\n"
                 "                        [--site DIR] [--trusted-proxy ADDRESS]...\n"
                 "The game server of Pellucane: three players on three machines join one\n"
                 "room with  pellucane --join HOST[:PORT]/ROOM  and play one game, their\n"
                 "inputs ordered into 60 ticks a second.\n"
                 "\n"
                 "  --port PORT        the TCP port to listen on (default 7355)\n"
                 "  --address ADDRESS  the address to listen on (default 0.0.0.0: all)\n"
                 "  --recordings DIR   where a room whose players went out of step leaves\n"
                 "                     its game, for the tests' replay (default: here)\n"
                 "  --site DIR         the unzipped web build: its page and files go to\n"
                 "                     browsers over HTTP on the same port, at / and at\n"
                 "                     /ROOM (default: no page)\n"
                 "  --trusted-proxy ADDRESS\n"
                 "                     a proxy in front, whose connections name their client\n"
                 "                     by a PROXY header or X-Forwarded-For; the caps of one\n"
                 "                     address then count its clients (may be given again)\n"
                 "  --help             print this help and exit\n"
                 "  --version          print the version and exit\n"
                 "The manual page: man 6 pellucane-server\n");
}

// The value after an option, or a usage error.
const char* valueOf(int& i, int argc, char** argv) {
    if (i + 1 >= argc) {
        std::fprintf(stderr, "pellucane-server: %s needs a value\n", argv[i]);
        usage(stderr);
        std::exit(2);
    }
    return argv[++i];
}

} // namespace

int main(int argc, char** argv) {
    ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            usage(stdout);
            return 0;
        }
        if (option == "--version") {
            std::printf("pellucane-server %s\n", PELLUCANE_VERSION);
            return 0;
        }
        if (option == "--port") {
            char* end = nullptr;
            const char* text = valueOf(i, argc, argv);
            const unsigned long port = std::strtoul(text, &end, 10);
            if (*text == '\0' || *end != '\0' || port > 65535) {
                std::fprintf(stderr, "pellucane-server: \"%s\" is no port\n", text);
                return 2;
            }
            options.port = static_cast<unsigned short>(port);
        } else if (option == "--address") {
            options.address = valueOf(i, argc, argv);
        } else if (option == "--recordings") {
            options.recordings = valueOf(i, argc, argv);
        } else if (option == "--site") {
            options.site = valueOf(i, argc, argv);
        } else if (option == "--trusted-proxy") {
            const char* text = valueOf(i, argc, argv);
            boost::system::error_code error;
            boost::asio::ip::make_address(text, error);
            if (error) {
                std::fprintf(stderr, "pellucane-server: \"%s\" is no address\n", text);
                return 2;
            }
            options.trustedProxies.emplace_back(text);
        } else {
            std::fprintf(stderr, "pellucane-server: unknown option %s\n", option.c_str());
            usage(stderr);
            return 2;
        }
    }
    if (!options.site.empty()) {
        std::error_code error;
        const std::filesystem::path site = std::filesystem::absolute(options.site, error);
        if (error || !std::filesystem::is_regular_file(site / "index.html", error)) {
            std::fprintf(stderr,
                         "pellucane-server: %s holds no index.html: --site takes the folder "
                         "of the unzipped web build\n",
                         options.site.c_str());
            return 2;
        }
        options.site = site.lexically_normal().string();
    }
    try {
        boost::asio::io_context context;
        GameServer server(context, options);
        boost::asio::signal_set signals(context, SIGINT, SIGTERM);
        signals.async_wait([&](const boost::system::error_code&, int) {
            server.stop();
            signals.clear();
        });
        std::fprintf(stderr, "pellucane-server: listening on %s port %u\n", options.address.c_str(),
                     server.port());
        if (options.site.empty()) {
            std::fprintf(stderr, "pellucane-server: handing out no page (--site DIR gives one)\n");
        } else {
            std::fprintf(stderr,
                         "pellucane-server: handing out the page from %s at http://HOST:%u/\n",
                         options.site.c_str(), server.port());
        }
        context.run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pellucane-server: %s\n", error.what());
        return 1;
    }
    return 0;
}
