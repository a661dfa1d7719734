#include <gtest/gtest.h>

#include <algorithm>
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
    EXPECT_EQ(2, std::count_if(room.members.begin(), room.members.end(),
                               [](const RoomMember& each) { return each.id == 0; }))
        << "the silent machines' seats are kept for them";
}

} // namespace

namespace {

TEST_F(RoomTest,
       AMachineJoiningLateGetsWholeTicksWhateverTheInputsAndOnlyItsTokenTakesItsSeatsBack) {
    ASSERT_TRUE(room.join(1, 0b011, 0));
    // A busy mouse: a cursor move, a press and a release in each tick, past
    // what one message of ticks holds.
    for (std::uint32_t tick = 1; tick <= 1500; ++tick) {
        for (InputKind kind : {InputKind::Cursor, InputKind::Press, InputKind::Release}) {
            room.receive(1, input(0, kind), tickClockMs(tick));
        }
        room.advance(tick, tickClockMs(tick));
    }
    ASSERT_TRUE(room.join(2, 0, 1500));
    std::uint32_t next = 0;
    std::size_t inputs = 0;
    for (const Message& each : heard[2]) {
        if (each.kind == MessageKind::Ticks) {
            EXPECT_EQ(next, each.tick) << "a tick missed or sent twice";
            next += each.tickCount;
            inputs += each.inputs.size();
        }
    }
    EXPECT_EQ(room.nextTick, next);
    EXPECT_EQ(3u * 1500, inputs);

    // Its link gone, the machine's seats are kept for it: a machine without
    // its token is refused; with it, the ticks come on from where it was.
    const SeatToken token = heard[1].front().token;
    room.receive(2, Message(), 2000);
    room.leave(1, 2000);
    EXPECT_EQ(0b011, heard[2].back().away);
    EXPECT_FALSE(room.join(3, 0b010, 2001));
    EXPECT_EQ("in room R, HOTBEATS already has a player", closed[3]);
    Message back;
    back.kind = MessageKind::Hello;
    back.room = "R";
    back.token = token;
    back.tick = 1400;
    ASSERT_TRUE(room.join(4, back, 2002));
    EXPECT_EQ(0b011, heard[4].front().seats);
    EXPECT_EQ(1400u, heard[4].front().tick);
    EXPECT_EQ(4500u, heard[4].front().taken) << "what it sent again would act twice";
    EXPECT_EQ(1400u, heard[4][1].tick) << "the ticks since those it had";
    EXPECT_EQ(0, heard[2].back().away);

    // Gone past the hold, the seats stand free, and the token takes nothing.
    room.leave(4, 3000);
    room.receive(2, Message(), 3000 + SeatHoldMs - 1);
    room.advance(1501, 3000 + SeatHoldMs);
    EXPECT_EQ(0, heard[2].back().seats & 0b011);
    EXPECT_FALSE(room.join(5, back, 3001 + SeatHoldMs));
}

TEST_F(RoomTest, AStreetIsKeptOnlyOnceItsDigestIsTheOneMostAgreedAndALateDigestIsJudgedByThem) {
    for (MemberId id : {1u, 2u, 3u}) {
        ASSERT_TRUE(room.join(id, 0, 0));
    }
    const std::uint32_t checkpoint = SnapshotTicks - 1;
    room.advance(SnapshotTicks, 0);
    Message street;
    street.kind = MessageKind::Street;
    street.tick = checkpoint;
    street.digest = 0xd1;
    street.street = "the street";
    room.receive(1, street, 1);
    room.receive(1, digest(checkpoint, 0xd1), 1);
    room.advance(SnapshotTicks + DigestWaitTicks + 1, 2);
    EXPECT_FALSE(room.hasStreet) << "kept on one machine's word";
    EXPECT_EQ(0, room.outOfStepSeats) << "the others were blamed for being slow";
    room.receive(3, digest(checkpoint, 0xee), 3);
    room.receive(2, digest(checkpoint, 0xd1), 3);
    room.advance(SnapshotTicks + DigestWaitTicks + 2, 4);
    EXPECT_TRUE(room.hasStreet);
    EXPECT_EQ(0b100, room.outOfStepSeats) << "the late one that differs, whoever came first";
    EXPECT_FALSE(room.join(4, 0, 5));
    room.leave(3, 5);
    room.advance(SnapshotTicks + DigestWaitTicks + 3, 5 + SeatHoldMs);
    ASSERT_TRUE(room.join(6, 0, 6 + SeatHoldMs));
    EXPECT_EQ(SnapshotTicks, heard[6][0].tick);
    EXPECT_EQ(MessageKind::Street, heard[6][1].kind);
    EXPECT_EQ("the street", heard[6][1].street);
    EXPECT_EQ(SnapshotTicks, heard[6][2].tick);
}

} // namespace
