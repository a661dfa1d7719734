// The game server hands out the web page over plain HTTP on the players'
// port, and nothing else of the disk.

#include <gtest/gtest.h>

#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <filesystem>
#include <fstream>

#include "net/ServerLink.h"
#include "protocol/Message.h"
#include "tests/net/ServerThread.h"
#include "tests/support/TestSupport.h"

namespace {

namespace beast = boost::beast;
namespace http = beast::http;

// The response to one request on a connection of its own: status 0 when
// the server closed without one, or gave none within 5 s.
http::response<http::string_body> fetch(unsigned short port, const std::string& request) {
    boost::asio::io_context io;
    beast::tcp_stream stream(io);
    stream.connect({boost::asio::ip::make_address("127.0.0.1"), port});
    beast::error_code ignored;
    boost::asio::write(stream, boost::asio::buffer(request), ignored);
    beast::flat_buffer buffer;
    http::response<http::string_body> response;
    response.result(0);
    stream.expires_after(std::chrono::seconds(5));
    http::async_read(stream, buffer, response, [](beast::error_code, std::size_t) {});
    io.run();
    return response;
}

TEST(ServerHttp, HandsOutThePageAndItsFilesAloneAndStillSeatsPlayers) {
    const std::string site = scratchPath("site");
    std::filesystem::create_directories(site);
    std::ofstream(site + "/index.html") << "<title>Pellucane</title>";
    std::ofstream(site + "/x.wasm") << "wasm";
    // what a server going up from the site, or decoding %2e%2e, would hand out
    std::filesystem::create_directories(scratchPath("etc"));
    for (const char* outside : {"etc/passwd", "x"}) {
        std::ofstream(scratchPath(outside)) << "outside";
    }
    ServerThread server(scratchPath("recordings"), site);
    const unsigned short port = server.server->port();
    const auto get = [&](const std::string& target, const std::string& header = "") {
        return fetch(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + header + "\r\n");
    };

    for (const char* page : {"/", "/ABC"}) {
        const auto answer = get(page);
        EXPECT_EQ(200u, answer.result_int()) << page;
        EXPECT_EQ("text/html; charset=utf-8", std::string(answer[http::field::content_type]))
            << page;
        EXPECT_EQ("<title>Pellucane</title>", answer.body()) << page;
    }
    EXPECT_EQ("application/wasm", std::string(get("/x.wasm")[http::field::content_type]));
    EXPECT_EQ(404u, get("/../etc/passwd").result_int());
    EXPECT_EQ(404u, get("/%2e%2e/x").result_int());
    // Beast's parser stops at the 8 KiB limit, and the server says why.
    EXPECT_EQ(431u, get("/", "X-Long: " + std::string(20480, 'a') + "\r\n").result_int());
    EXPECT_EQ(405u, fetch(port, "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").result_int());

    ServerLink link;
    ASSERT_TRUE(link.open("127.0.0.1", std::to_string(port), "/ABC", 5000)) << link.why;
    Message hello;
    hello.kind = MessageKind::Hello;
    hello.room = "ABC";
    link.send(writeMessage(hello));
    bool welcomed = false;
    for (int wait = 0; wait < 50 && !welcomed; ++wait) {
        link.wait(100, [&](const std::string& bytes) {
            Message message;
            std::string why;
            welcomed |=
                readServerMessage(bytes, message, why) && message.kind == MessageKind::Welcome;
        });
    }
    EXPECT_TRUE(welcomed) << link.why;
}

} // namespace
