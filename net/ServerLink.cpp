#include "net/ServerLink.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {
// Longest message a server may send, bytes: a tick log's part is well under it.
constexpr std::size_t MaxServerMessageBytes = 1u << 20;
} // namespace

struct ServerLink::Socket {
    asio::io_context context;
    websocket::stream<beast::tcp_stream> stream{context};
    beast::flat_buffer incoming;
    // messages waiting to go, the first one being written
    std::deque<std::string> outgoing;
    bool writing = false;
    bool reading = false;
    // messages read and not yet taken
    std::deque<std::string> received;
    // the WebSocket's handshake is done: messages go and come
    bool opened = false;
    bool ended = false;
    std::string why;

    void end(const std::string& reason) {
        if (!ended) {
            ended = true;
            why = reason;
        }
    }

    void read() {
        if (reading || ended || !opened) {
            return;
        }
        reading = true;
        stream.async_read(incoming, [this](beast::error_code error, std::size_t) {
            reading = false;
            if (error) {
                const websocket::close_reason said = stream.reason();
                end(said.reason.empty() ? error.message() : std::string(said.reason.c_str()));
                return;
            }
            received.push_back(beast::buffers_to_string(incoming.data()));
            incoming.consume(incoming.size());
            read();
        });
    }

    void write() {
        if (writing || ended || !opened || outgoing.empty()) {
            return;
        }
        writing = true;
        stream.binary(true);
        stream.async_write(asio::buffer(outgoing.front()),
                           [this](beast::error_code error, std::size_t) {
                               writing = false;
                               if (error) {
                                   end(error.message());
                                   return;
                               }
                               outgoing.pop_front();
                               write();
                           });
    }

    // The WebSocket is open: what waited goes, and reading starts.
    void handshaken() {
        beast::get_lowest_layer(stream).expires_never();
        stream.read_message_max(MaxServerMessageBytes);
        // A server gone silent (its machine unplugged, say) ends the link: pings
        // go out after 5 s without a word, and 10 s without one ends it.
        websocket::stream_base::timeout timeouts{};
        timeouts.handshake_timeout = std::chrono::seconds(10);
        timeouts.idle_timeout = std::chrono::seconds(10);
        timeouts.keep_alive_pings = true;
        stream.set_option(timeouts);
        opened = true;
        read();
        write();
    }

    bool hand(const std::function<void(const std::string&)>& take) {
        while (!received.empty()) {
            const std::string message = std::move(received.front());
            received.pop_front();
            take(message);
        }
        return !ended;
    }
};

ServerLink::ServerLink() : socket(std::make_unique<Socket>()) {}

ServerLink::~ServerLink() = default;

// Starts a fresh connection, dropping any before it at once (a link being
// mended does not wait on a dead one's close): resolving, connecting and
// the handshake go on in poll and wait, and end the link with why when they
// fail or take longer than timeoutMs.
bool ServerLink::open(const std::string& host, const std::string& port, const std::string& path,
                      int timeoutMs) {
    socket = std::make_unique<Socket>();
    why.clear();
    Socket& s = *socket;
    const std::string server = host + ":" + port;
    const auto fail = [&s, server](const beast::error_code& error) {
        s.end("cannot reach " + server + ": " +
              (error == beast::error::timeout ? std::string("no answer") : error.message()));
    };
    auto resolver = std::make_shared<tcp::resolver>(s.context);
    beast::get_lowest_layer(s.stream).expires_after(std::chrono::milliseconds(timeoutMs));
    resolver->async_resolve(
        host, port,
        [&s, fail, host, path, resolver](beast::error_code error,
                                         tcp::resolver::results_type found) {
            if (error) {
                fail(error);
                return;
            }
            beast::get_lowest_layer(s.stream).async_connect(
                found,
                [&s, fail, host, path](beast::error_code connectError, const tcp::endpoint&) {
                    if (connectError) {
                        fail(connectError);
                        return;
                    }
                    // A press must reach the server at once, not wait to fill a packet.
                    beast::get_lowest_layer(s.stream).socket().set_option(tcp::no_delay(true));
                    s.stream.async_handshake(host, path,
                                             [&s, fail](beast::error_code handshakeError) {
                                                 if (handshakeError) {
                                                     fail(handshakeError);
                                                     return;
                                                 }
                                                 s.handshaken();
                                             });
                });
        });
    return true;
}

void ServerLink::send(const std::string& bytes) {
    socket->outgoing.push_back(bytes);
    socket->write();
}

void ServerLink::keepAlive(const std::string&) {}

bool ServerLink::connected() const { return socket->opened && !socket->ended; }

bool ServerLink::poll(const std::function<void(const std::string&)>& take) {
    socket->write();
    socket->read();
    socket->context.poll();
    socket->context.restart();
    const bool open = socket->hand(take);
    why = socket->why;
    return open;
}

bool ServerLink::wait(int timeoutMs, const std::function<void(const std::string&)>& take) {
    socket->write();
    socket->read();
    if (socket->received.empty() && !socket->ended) {
        socket->context.run_one_for(std::chrono::milliseconds(timeoutMs));
        socket->context.restart();
    }
    return poll(take);
}

void ServerLink::close() {
    Socket& s = *socket;
    if (s.ended || !s.opened) {
        s.end("closed");
        return;
    }
    s.end("closed");
    beast::get_lowest_layer(s.stream).expires_after(std::chrono::seconds(1));
    s.stream.async_close(websocket::close_code::normal, [](beast::error_code) {});
    s.context.run_for(std::chrono::seconds(1));
    s.context.restart();
}
