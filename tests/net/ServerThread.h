#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "server/GameServer.h"

// The server on a thread of its own, on 127.0.0.1 (or the address given)
// at a free port, handing out the site's page if given one; the test asks
// it things on that thread.
struct ServerThread {
    boost::asio::io_context context;
    std::unique_ptr<GameServer> server;
    std::thread thread;
    // set once the thread's io_context has run out of work
    std::promise<void> ran;
    std::future<void> ranOut = ran.get_future();
    bool stopAsked = false;

    explicit ServerThread(const std::string& recordings, const std::string& site = "",
                          std::int64_t seatHoldMs = SeatHoldMs,
                          const std::vector<std::string>& trustedProxies = {},
                          const std::string& address = "127.0.0.1") {
        ServerOptions options;
        options.trustedProxies = trustedProxies;
        options.seatHoldMs = seatHoldMs;
        options.address = address;
        options.port = 0;
        options.recordings = recordings;
        options.site = site;
        server = std::make_unique<GameServer>(context, options);
        thread = std::thread([this] {
            context.run();
            ran.set_value();
        });
    }
    template <typename Question> auto ask(Question question) {
        std::promise<decltype(question())> answer;
        boost::asio::post(context, [&] { answer.set_value(question()); });
        return answer.get_future().get();
    }
    // Stops the server: true if its io_context then runs out within the bound.
    bool stopsWithin(std::chrono::milliseconds bound) {
        stopAsked = true;
        boost::asio::post(context, [this] { server->stop(); });
        return ranOut.wait_for(bound) == std::future_status::ready;
    }
    ~ServerThread() {
        if (!stopAsked) {
            ask([this] { return (server->stop(), 0); });
        }
        context.stop();
        thread.join();
    }
    const Room& room() const { return *server->rooms().at("TEST"); }
};
