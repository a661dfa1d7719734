#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "protocol/Room.h"

namespace {

// A room whose words to its members are kept here, by member.
struct RoomTest : ::testing::Test {
    std::map<MemberId, std::vector<Message>> heard;
    std::map<MemberId, std::string> closed;
    Room room{"R", 7, 0,
              RoomLink{[this](MemberId to, const std::string& bytes) {
                           std::string why;
                           ASSERT_TRUE(readServerMessage(bytes, heard[to].emplace_back(), why))
                               << why;
                       },
                       [this](MemberId to, const std::string& why) { closed[to] = why; }, nullptr}};

    Message input(std::uint8_t seat, InputKind kind, std::uint8_t key = 0) {
        Message message;
        message.kind = MessageKind::Input;
        message.input.seat = seat;
        message.input.kind = kind;
        message.input.key = key;
        return message;
    }
    Message digest(std::uint32_t tick, std::uint64_t value) {
        Message message;
        message.kind = MessageKind::Digest;
        message.tick = tick;
        message.digest = value;
        return message;
    }
};

TEST_F(RoomTest, OrdersInputsIntoTicksAsTheyCameAndTakesNoneForAnotherSeat) {
    ASSERT_TRUE(room.join(1, 0b010, 0));
    ASSERT_TRUE(room.join(2, 0, 0));
    EXPECT_FALSE(room.join(3, 0b110, 0));
    EXPECT_EQ("in room R, HOTBEATS already has a player", closed[3]);
    EXPECT_EQ(MessageKind::Welcome, heard[2].front().kind);
    EXPECT_EQ(0b001, heard[2].front().seats) << "the first free seat";

    room.receive(1, input(1, InputKind::Key, 'a'), 5);
    room.receive(2, input(0, InputKind::Press), 6);
    room.receive(1, input(1, InputKind::Key, '1'), 7);
    room.advance(1, 8);
    for (MemberId id : {1u, 2u}) {
        const Message& tick = heard[id].back();
        ASSERT_EQ(3u, tick.inputs.size());
        EXPECT_EQ('a', tick.inputs[0].input.key);
        EXPECT_EQ(InputKind::Press, tick.inputs[1].input.kind);
        EXPECT_EQ('1', tick.inputs[2].input.key);
    }
    room.receive(2, input(1, InputKind::Key, 'a'), 9);
    EXPECT_NE(std::string::npos, closed[2].find("a seat this connection does not hold"));
    room.advance(2, 10);
    EXPECT_TRUE(heard[1].back().inputs.empty()) << "the refused input reached a tick";
    EXPECT_EQ(0b010, heard[1][heard[1].size() - 2].seats) << "the mouse's seat stands";
}

TEST_F(RoomTest, DropsTheSilentAndTellsTheOneWhoseStreetDiffers) {
    for (MemberId id : {1u, 2u, 3u}) {
        ASSERT_TRUE(room.join(id, 0, 0));
    }
    room.advance(TicksPerSecond, SilentDropMs - 1);
    room.receive(1, digest(59, 0xd1), SilentDropMs - 1);
    room.receive(2, digest(59, 0xd1), SilentDropMs - 1);
    room.receive(3, digest(59, 0xee), SilentDropMs - 1);
    room.advance(TicksPerSecond + 1, SilentDropMs - 1);
    EXPECT_EQ(0b100, room.outOfStepSeats);
    EXPECT_EQ(MessageKind::OutOfStep, heard[3].back().kind);
    EXPECT_EQ(59u, heard[3].back().tick);
    EXPECT_EQ(MessageKind::Ticks, heard[1].back().kind) << "a member that agreed was told";
    EXPECT_TRUE(closed.empty());

    room.receive(1, Message(), SilentDropMs);
    room.advance(TicksPerSecond + 2, SilentDropMs + SilentDropMs - 2);
    EXPECT_TRUE(closed.empty()) << "dropped before its time";
    room.advance(TicksPerSecond + 3, SilentDropMs + SilentDropMs - 1);
    EXPECT_EQ(0u, closed.count(1));
    EXPECT_EQ("silent for 10 s", closed[2]);
    EXPECT_EQ(1u, room.members.size());
}

} // namespace
