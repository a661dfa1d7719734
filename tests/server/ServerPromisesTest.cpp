// What the game server promises every player whatever another sends or
// holds: a connection it refuses is told why, one address cannot crowd out
// the others, and its stop is not held by a peer that never reads.

#include <gtest/gtest.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include "protocol/Message.h"
#include "tests/net/ServerThread.h"
#include "tests/support/TestSupport.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using Socket = beast::websocket::stream<tcp::socket>;

// Connections to the server from loopback addresses of their own (Linux
// takes all of 127.0.0.0/8 as the loopback's).
struct Wire {
    asio::io_context io;
    unsigned short port = 0;

    tcp::socket connect(const std::string& from) {
        tcp::socket socket(io);
        socket.open(tcp::v4());
        socket.bind({asio::ip::make_address(from), 0});
        socket.connect({asio::ip::make_address("127.0.0.1"), port});
        return socket;
    }
    // A WebSocket after what is sent before its request, or none when the
    // server does not take it.
    std::unique_ptr<Socket> open(const std::string& from, const std::string& before = "") {
        auto ws = std::make_unique<Socket>(connect(from));
        beast::error_code error;
        asio::write(ws->next_layer(), asio::buffer(before), error);
        ws->handshake("127.0.0.1", "/", error);
        ws->binary(true);
        return error ? nullptr : std::move(ws);
    }
    // What the server says next: "welcome", another kind's number, or
    // "closed CODE: REASON"; "silence" when nothing comes within 5 s.
    std::string next(Socket& ws) {
        beast::flat_buffer buffer;
        std::string said = "silence";
        bool done = false;
        ws.async_read(buffer, [&](beast::error_code error, std::size_t) {
            Message message;
            std::string why;
            done = true;
            if (error) {
                said = "closed " + std::to_string(ws.reason().code) + ": " +
                       ws.reason().reason.c_str();
            } else if (readServerMessage(beast::buffers_to_string(buffer.data()), message, why)) {
                const auto kind = static_cast<int>(message.kind);
                said = message.kind == MessageKind::Welcome ? "welcome" : std::to_string(kind);
            }
        });
        io.restart();
        io.run_for(std::chrono::seconds(5));
        if (!done) {
            ws.next_layer().close();
            io.run();
            return "silence";
        }
        return said;
    }
    // The server's first answer to a message.
    std::string answer(Socket& ws, const Message& message) {
        ws.write(asio::buffer(writeMessage(message)));
        return next(ws);
    }
    // The server's last answer to a message: the reason it closes with.
    std::string last(Socket& ws, const std::string& bytes) {
        ws.write(asio::buffer(bytes));
        std::string said;
        while ((said = next(ws)).rfind("closed", 0) != 0 && said != "silence") {
        }
        return said;
    }
};

Message greeting(const std::string& room, std::uint8_t seats = 0) {
    Message hello;
    hello.kind = MessageKind::Hello;
    hello.room = room;
    hello.seats = seats;
    return hello;
}

bool says(const std::string& said, const std::string& words) {
    return said.find(words) != std::string::npos;
}

TEST(ServerPromises, RefusesWithAReasonAndKeepsEachAddressToItsShare) {
    ServerThread server(scratchPath("recordings"), "", SeatHoldMs, {"127.0.0.9"});
    Wire wire;
    wire.port = server.server->port();
    // After each refusal a machine of another address joins a room of its own.
    int honest = 0;
    const auto honestJoins = [&] {
        auto ws = wire.open("127.0.0.3");
        return ws && wire.answer(*ws, greeting("HONEST" + std::to_string(++honest))) == "welcome";
    };

    // What no game sends closes that connection alone, saying why.
    Message alive;
    alive.kind = MessageKind::Alive;
    Message mouseKey;
    mouseKey.kind = MessageKind::Input;
    mouseKey.input.kind = InputKind::Key;
    const std::pair<std::string, std::string> wrongs[] = {
        {std::string(MaxStreetMessageBytes + 1, 'x'), "closed 1009: "},
        {writeMessage(alive), "closed 1008: a message before the greeting"},
        {writeMessage(greeting(std::string(MaxRoomCodeLength + 1, 'A'))), "closed 1008: a "},
    };
    for (const auto& [bytes, reason] : wrongs) {
        EXPECT_EQ(0u, wire.last(*wire.open("127.0.0.2"), bytes).rfind(reason, 0)) << reason;
    }
    auto ws = wire.open("127.0.0.2");
    EXPECT_EQ("welcome", wire.answer(*ws, greeting(std::string(MaxRoomCodeLength, 'A'), 1)));
    EXPECT_TRUE(says(wire.last(*ws, writeMessage(mouseKey)), "an input its seat cannot give"));
    EXPECT_TRUE(honestJoins());

    // An address holds so many connections, a plain HTTP one among them; its
    // next is closed at once while another joins, until one of its own ends.
    tcp::socket page = wire.connect("127.0.0.4");
    std::vector<std::unique_ptr<Socket>> held;
    while (held.size() + 1 < MaxConnectionsPerAddress) {
        held.push_back(wire.open("127.0.0.4"));
        ASSERT_NE(nullptr, held.back());
    }
    EXPECT_EQ(nullptr, wire.open("127.0.0.4"));
    EXPECT_TRUE(honestJoins());
    page.close();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!wire.open("127.0.0.4") && std::chrono::steady_clock::now() < deadline) {
    }
    EXPECT_LT(std::chrono::steady_clock::now(), deadline);

    // An address makes its share of rooms on an empty server and no more,
    // then only joins, so many a minute.
    const auto roomsMade = [&](const std::string& from, const std::string& before, char name) {
        std::size_t made = 0;
        for (held.clear(); made <= RoomsPerAddress; ++made) {
            held.push_back(wire.open(from, before));
            if (wire.answer(*held.back(), greeting(name + std::to_string(made))) != "welcome") {
                break;
            }
        }
        return made;
    };
    EXPECT_EQ(RoomsPerAddress, roomsMade("127.0.0.5", "", 'A'));
    EXPECT_TRUE(says(wire.next(*held.back()), "rooms that are still open"));
    while (held.size() < JoinsPerMinute) {
        held.push_back(wire.open("127.0.0.5"));
        const std::string room = "A" + std::to_string(held.size() % RoomsPerAddress);
        EXPECT_EQ("welcome", wire.answer(*held.back(), greeting(room)));
    }
    held.push_back(wire.open("127.0.0.5"));
    EXPECT_TRUE(says(wire.last(*held.back(), writeMessage(greeting("A1"))), "joins a minute"));
    EXPECT_TRUE(honestJoins());

    // Behind the trusted proxy the caps count its clients, as its PROXY
    // header (text or binary) names them; a garbled one, or one from
    // elsewhere, is refused.
    const std::string proxied = "PROXY TCP4 10.1.2.3 127.0.0.1 5000 7355\r\n";
    EXPECT_EQ(RoomsPerAddress, roomsMade("127.0.0.9", proxied, 'B'));
    const std::string binary(
        "\r\n\r\n\0\r\nQUIT\n\x21\x11\0\x0c\x0a\x01\x02\x04\x7f\0\0\x01\x13\x88\x1c\xbb", 28);
    EXPECT_EQ("welcome", wire.answer(*wire.open("127.0.0.9", binary), greeting("C")));
    EXPECT_EQ(nullptr, wire.open("127.0.0.9", "PROXY TCP4 10.1.2 127.0.0.1 5000 7355\r\n"));
    EXPECT_EQ(nullptr, wire.open("127.0.0.6", proxied));
    EXPECT_TRUE(honestJoins());

    // Every peer above has stopped reading: none holds the server's stop.
    EXPECT_TRUE(server.stopsWithin(std::chrono::seconds(5)));
}

} // namespace
