#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "server/GameServer.h"

// The server on a thread of its own, on 127.0.0.1 at a free port, handing
// out the site's page if given one; the test asks it things on that thread.
struct ServerThread {
    boost::asio::io_context context;
    std::unique_ptr<GameServer> server;
    std::thread thread;

    explicit ServerThread(const std::string& recordings, const std::string& site = "") {
        ServerOptions options;
        options.address = "127.0.0.1";
        options.port = 0;
        options.recordings = recordings;
        options.site = site;
        server = std::make_unique<GameServer>(context, options);
        thread = std::thread([this] { context.run(); });
    }
    template <typename Question> auto ask(Question question) {
        std::promise<decltype(question())> answer;
        boost::asio::post(context, [&] { answer.set_value(question()); });
        return answer.get_future().get();
    }
    ~ServerThread() {
        ask([this] { return (server->stop(), 0); });
        context.stop();
        thread.join();
    }
    const Room& room() const { return *server->rooms().at("TEST"); }
};
