#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

// A client's WebSocket connection to the game server, run from the game's
// own thread: nothing happens on it but inside open, poll and wait.
struct ServerLink {
    // why the link ended, once it has
    std::string why;

    ServerLink();
    ~ServerLink();

    // Connects to host:port and opens the WebSocket at the path (a room's,
    // /ROOM, which a proxy in front of several servers may route by), in a
    // fresh connection that replaces any before it: the connection goes on
    // in poll and wait, and the link ends with why when it fails or takes
    // longer than timeoutMs. Messages sent meanwhile wait for it. False with
    // why when it cannot even start.
    bool open(const std::string& host, const std::string& port, const std::string& path,
              int timeoutMs);
    // Queues a message's bytes for the server.
    void send(const std::string& bytes);
    // A sign of life the link sends by itself, once a second while messages
    // come but the game has stopped polling: a page's frames stop in a
    // hidden tab, and the server drops a player silent for 10 s. (A desktop
    // game's frames never stop, so there the link needs none.)
    void keepAlive(const std::string& bytes);
    // Hands every message that has come to take, and sends what is queued,
    // without waiting. False once the link has ended.
    bool poll(const std::function<void(const std::string&)>& take);
    // The same, waiting up to timeoutMs for a message to come.
    bool wait(int timeoutMs, const std::function<void(const std::string&)>& take);
    // Whether the WebSocket is open and has not ended.
    bool connected() const;
    // Closes the connection, telling the server why (a normal end).
    void close();

    // the platform's connection: Beast's, or the browser's WebSocket
    struct Socket;

  private:
    std::unique_ptr<Socket> socket;
};
