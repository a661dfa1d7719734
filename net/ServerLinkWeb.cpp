#include "net/ServerLink.h"

// The browser's link: a page has no sockets of its own, and joining a room
// from it goes through the browser's WebSocket, which is not written yet.
// Every open fails and says so; the page plays the hot-seat game.

struct ServerLink::Socket {};

ServerLink::ServerLink() = default;

ServerLink::~ServerLink() = default;

bool ServerLink::open(const std::string& host, const std::string& port, int) {
    why = "cannot join " + host + ":" + port + ": the page cannot join a room yet";
    return false;
}

void ServerLink::send(const std::string&) {}

bool ServerLink::poll(const std::function<void(const std::string&)>&) { return false; }

bool ServerLink::wait(int, const std::function<void(const std::string&)>&) { return false; }

void ServerLink::close() {}
