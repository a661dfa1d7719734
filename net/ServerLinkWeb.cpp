#include <emscripten.h>
#include <emscripten/websocket.h>

#include <chrono>
#include <memory>
#include <vector>

#include "net/ServerLink.h"

// The page's link: the browser's own WebSocket, which connects, reads and
// writes on its own, between the page's frames. Its events only queue what
// they bring; poll hands it to the game. A page cannot wait, so wait is poll.

namespace {
// Longest message a server may send, bytes: a tick log's part is well under it.
constexpr std::uint32_t MaxServerMessageBytes = 1u << 20;
// A server that has said nothing this long is gone, ms: it sends sixty
// ticks a second. (The browser's WebSocket has no pings of its own.)
constexpr int SilentServerMs = 10000;
} // namespace

struct ServerLink::Socket {
    EMSCRIPTEN_WEBSOCKET_T socket = 0;
    // where it goes, for what is said of it
    std::string server;
    bool opened = false;
    // messages waiting for the socket to open
    std::deque<std::string> outgoing;
    // messages come and not yet taken
    std::deque<std::string> received;
    std::chrono::steady_clock::time_point lastHeard;
    // when the game last polled, or the link last sent the game's sign of
    // life for it (keepAlive)
    std::chrono::steady_clock::time_point lastAwake;
    std::string alive;
    bool ended = false;
    std::string why;

    void end(const std::string& reason) {
        if (!ended) {
            ended = true;
            why = reason;
        }
    }

    void write(const std::string& bytes) {
        // the browser copies the bytes before it returns
        if (emscripten_websocket_send_binary(socket, const_cast<char*>(bytes.data()),
                                             static_cast<std::uint32_t>(bytes.size())) !=
            EMSCRIPTEN_RESULT_SUCCESS) {
            end("the browser could not send to " + server);
        }
    }

    static EM_BOOL onOpen(int, const EmscriptenWebSocketOpenEvent*, void* data) {
        Socket& s = *static_cast<Socket*>(data);
        s.opened = true;
        s.lastHeard = std::chrono::steady_clock::now();
        while (!s.outgoing.empty() && !s.ended) {
            s.write(s.outgoing.front());
            s.outgoing.pop_front();
        }
        return EM_TRUE;
    }

    static EM_BOOL onMessage(int, const EmscriptenWebSocketMessageEvent* event, void* data) {
        Socket& s = *static_cast<Socket*>(data);
        if (s.ended) {
            return EM_TRUE;
        }
        s.lastHeard = std::chrono::steady_clock::now();
        if (!s.alive.empty() && s.lastHeard - s.lastAwake >= std::chrono::seconds(1)) {
            s.lastAwake = s.lastHeard;
            s.write(s.alive);
        }
        if (event->isText || event->numBytes > MaxServerMessageBytes) {
            s.end("the server sent what is no message of the game");
            emscripten_websocket_close(s.socket, 1003, "no message of the game");
            return EM_TRUE;
        }
        s.received.emplace_back(reinterpret_cast<const char*>(event->data), event->numBytes);
        return EM_TRUE;
    }

    // The browser says no more of a failed connection than that it failed.
    static EM_BOOL onError(int, const EmscriptenWebSocketErrorEvent*, void* data) {
        Socket& s = *static_cast<Socket*>(data);
        s.end(s.opened ? "the connection to " + s.server + " failed" : "cannot reach " + s.server);
        return EM_TRUE;
    }

    static EM_BOOL onClose(int, const EmscriptenWebSocketCloseEvent* event, void* data) {
        Socket& s = *static_cast<Socket*>(data);
        if (!s.opened) {
            s.end("cannot reach " + s.server);
        }
        s.end(event->reason[0] != '\0'
                  ? std::string(event->reason)
                  : "the connection closed (" + std::to_string(event->code) + ")");
        return EM_TRUE;
    }
};

namespace {
// connections replaced by fresh ones, whose last events may yet come
std::vector<std::unique_ptr<ServerLink::Socket>> retired;
} // namespace

ServerLink::ServerLink() : socket(std::make_unique<Socket>()) {}

ServerLink::~ServerLink() {
    if (socket->socket > 0) {
        emscripten_websocket_delete(socket->socket);
    }
}

bool ServerLink::open(const std::string& host, const std::string& port, const std::string& path,
                      int) {
    // A fresh connection: the one before it, if any, is dropped at once. Its
    // events may still come, so it is kept, ended, for them to find.
    const std::string alive = socket->alive;
    if (socket->socket > 0) {
        socket->end("replaced");
        emscripten_websocket_close(socket->socket, 1000, "");
        retired.push_back(std::move(socket));
    }
    socket = std::make_unique<Socket>();
    why.clear();
    Socket& s = *socket;
    s.alive = alive;
    const std::string hostName = host.find(':') == std::string::npos ? host : "[" + host + "]";
    s.server = hostName + ":" + port;
    // A page that came over https may open only a secure WebSocket.
    const bool secure = EM_ASM_INT({ return location.protocol == 'https:'; }) != 0;
    const std::string url = (secure ? "wss://" : "ws://") + s.server + path;
    EmscriptenWebSocketCreateAttributes attributes;
    emscripten_websocket_init_create_attributes(&attributes);
    attributes.url = url.c_str();
    attributes.createOnMainThread = EM_TRUE;
    s.socket = emscripten_websocket_new(&attributes);
    if (s.socket <= 0) {
        why = "cannot reach " + s.server + ": the browser opens no WebSocket to it";
        s.end(why);
        return false;
    }
    emscripten_websocket_set_onopen_callback(s.socket, &s, Socket::onOpen);
    emscripten_websocket_set_onmessage_callback(s.socket, &s, Socket::onMessage);
    emscripten_websocket_set_onerror_callback(s.socket, &s, Socket::onError);
    emscripten_websocket_set_onclose_callback(s.socket, &s, Socket::onClose);
    s.lastHeard = std::chrono::steady_clock::now();
    return true;
}

void ServerLink::send(const std::string& bytes) {
    if (socket->ended) {
        return;
    }
    if (socket->opened) {
        socket->write(bytes);
    } else {
        socket->outgoing.push_back(bytes);
    }
}

void ServerLink::keepAlive(const std::string& bytes) { socket->alive = bytes; }

bool ServerLink::connected() const { return socket->opened && !socket->ended; }

bool ServerLink::poll(const std::function<void(const std::string&)>& take) {
    Socket& s = *socket;
    s.lastAwake = std::chrono::steady_clock::now();
    while (!s.received.empty()) {
        const std::string message = std::move(s.received.front());
        s.received.pop_front();
        take(message);
    }
    if (s.opened && !s.ended &&
        std::chrono::steady_clock::now() - s.lastHeard >=
            std::chrono::milliseconds(SilentServerMs)) {
        s.end(s.server + " has said nothing for 10 s");
        emscripten_websocket_close(s.socket, 1000, "");
    }
    why = s.why;
    return !s.ended;
}

bool ServerLink::wait(int, const std::function<void(const std::string&)>& take) {
    return poll(take);
}

void ServerLink::close() {
    Socket& s = *socket;
    if (s.ended) {
        return;
    }
    s.end("closed");
    emscripten_websocket_close(s.socket, 1000, "");
}
