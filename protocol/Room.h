#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "protocol/Message.h"

// A connection to the server, by the number the server gave it.
using MemberId = std::uint64_t;

// A player silent this long is dropped and their seats stand, ms.
constexpr std::int64_t SilentDropMs = 10000;
// Messages a connection may send in one second.
constexpr int MaxMessagesPerSecond = 200;
// Digests of a tick are compared once every member has sent one, or this
// many ticks after it at the latest.
constexpr std::uint32_t DigestWaitTicks = 2 * TicksPerSecond;
// A room nobody is in ends after this long, ms: time enough to come back.
constexpr std::int64_t EmptyRoomMs = 60000;
// Seats whose machine's link is gone are kept for it this long, ms: only
// the machine's token takes them back meanwhile.
constexpr std::int64_t SeatHoldMs = 120000;
// The room keeps a street every this many ticks (a minute), at a
// checkpoint its machines agreed on: a machine joining late loads it and
// replays only the ticks since.
constexpr std::uint32_t SnapshotTicks = 60 * TicksPerSecond;
// Inputs the room keeps since its street, at most: with a street a minute
// three players at their messages' limit stay under a tenth of it; a room
// past it (its machines never agreeing on a street) ends.
constexpr std::size_t MaxLogInputs = 200000;

// The longest game a room plays, ticks: a day.
constexpr std::uint32_t MaxRoomTicks = 24 * 3600 * TicksPerSecond;

// Where a room's words go: the server's connections, or a test's lists.
struct RoomLink {
    // sends a message's bytes to one member
    std::function<void(MemberId, const std::string&)> send;
    // closes one member's connection, telling them why
    std::function<void(MemberId, const std::string&)> close;
    // the room found the member playing these seats out of step at a tick:
    // its recording is worth keeping
    std::function<void(std::uint8_t, std::uint32_t)> outOfStep;
};

// One machine in a room, by its connection, or away: its link gone and
// its seats kept for it.
struct RoomMember {
    // its connection; 0 while away
    MemberId id = 0;
    // the seats it plays, a bit each
    std::uint8_t seats = 0;
    // the secret that takes its seats back
    SeatToken token{};
    // server ms since which it has been away
    std::int64_t awaySinceMs = 0;
    // inputs taken from it, on any of its connections
    std::uint32_t inputsTaken = 0;
    // server ms of its last message
    std::int64_t lastHeardMs = 0;
    // messages in the second that began at windowStartMs
    int windowMessages = 0;
    std::int64_t windowStartMs = 0;
    // already told that its market went its own way
    bool toldOutOfStep = false;
};

// One game of the server: its seats, its clock of ticks, its log of every
// input and the digests its clients send. It runs no game code: it orders
// inputs into ticks and compares what the clients say their markets are.
struct Room {
    // the code its players share
    std::string code;
    // the seed of every client's random generator
    std::uint32_t seed = 0;
    // ticks made so far: the next tick's number
    std::uint32_t nextTick = 0;
    // how long the seats of a machine whose link is gone are kept for it, ms
    std::int64_t holdMs = SeatHoldMs;
    // the version of the rules its machines play (its first machine's)
    std::uint16_t rules = RulesVersion;
    // the street the room keeps, after the update of streetTick (none before
    // the first: hasStreet false), with its agreed digest
    bool hasStreet = false;
    std::uint32_t streetTick = 0;
    std::uint64_t streetDigest = 0;
    std::string street;
    // a street sent for a checkpoint not yet agreed, kept until it is
    std::uint32_t offeredTick = 0;
    std::uint64_t offeredDigest = 0;
    std::string offered;
    // every input since the street (since tick 0 without one), in tick order
    std::vector<TickInput> log;
    // inputs made into ticks since tick 0, by kind, and the last one's tick
    std::array<std::uint64_t, 4> inputsMade{};
    std::uint32_t lastInputTick = 0;
    // inputs taken since the last tick, in the order they came
    std::vector<SeatInput> pending;
    std::vector<RoomMember> members;
    // server ms since which no one is in the room
    std::int64_t emptySinceMs = 0;
    // digests sent for each checkpoint tick not yet compared, by member
    std::map<std::uint32_t, std::map<MemberId, std::uint64_t>> votes;
    // the digest most members agreed on, by checkpoint tick
    std::map<std::uint32_t, std::uint64_t> agreed;
    // the first tick at which a member went its own way, if any, and the
    // seats of the members told so
    bool outOfStep = false;
    std::uint32_t outOfStepTick = 0;
    std::uint8_t outOfStepSeats = 0;
    RoomLink link;

    Room(std::string roomCode, std::uint32_t roomSeed, std::int64_t nowMs, RoomLink roomLink);

    // Seats a new connection by its greeting: the seats asked for (a bit
    // each), the first free one for none, or, with a token, the seats it
    // holds (taken from its old connection at once). Sends the welcome, the
    // room's street if the machine needs it, and the ticks it lacks; or
    // refuses (and closes) with a reason the player reads. True if seated.
    bool join(MemberId id, const Message& hello, std::int64_t nowMs);
    // The same for a new machine asking for seats.
    bool join(MemberId id, std::uint8_t wantedSeats, std::int64_t nowMs);
    // A seated member's message: an input of its own seats, a digest or a
    // sign of life; anything else closes its connection.
    void receive(MemberId id, const Message& message, std::int64_t nowMs);
    // A member's connection has ended: its seats are kept for it.
    void leave(MemberId id, std::int64_t nowMs);
    // Makes ticks until ticksDue have been made, compares the digests that
    // are due, and drops the members silent for too long at nowMs.
    void advance(std::uint32_t ticksDue, std::int64_t nowMs);
    // The first tick whose inputs the room still has.
    std::uint32_t firstLoggedTick() const;
    // Whether the room has been empty long enough to end.
    bool finished(std::int64_t nowMs) const;
    // The seats in words ("HOTBEATS and TOP TUNES").
    static std::string seatList(std::uint8_t seats);
    // The room's game so far as a script the tests' replay plays: its seed,
    // every tick and input, and the digests the clients agreed on.
    std::string recording() const;

  private:
    RoomMember* member(MemberId id);
    RoomMember* memberByToken(const SeatToken& token);
    std::string refusal(const Message& hello, std::uint8_t seats) const;
    void refuse(MemberId id, const std::string& why);
    void welcome(RoomMember& member, std::uint32_t hasTicks);
    void sendTicks(MemberId id, std::uint32_t from);
    void makeTick();
    void sendRoster();
    // The machines present, whose digests count.
    std::size_t present() const;
    bool compareDigests(std::uint32_t tick, bool closing);
    void takeStreet(const Message& offer);
    void keepStreet(std::uint32_t tick, std::uint64_t digest, std::string bytes);
    void tellOutOfStep(RoomMember& member, std::uint32_t tick);
    // Drops a member's connection with why: its seats are kept for it when
    // its link failed, and stand at once when it broke the room's rules.
    void drop(MemberId id, const std::string& why, bool keepSeats, std::int64_t nowMs);
    void dropAway(std::int64_t nowMs);
};
