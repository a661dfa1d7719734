#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the game server and its clients say to each other, one WebSocket
// binary message each, little-endian: a kind byte and the kind's fields.
// Every reader checks a message whole and takes nothing it does not know.

// The protocol's version: a client and a server of different ones refuse.
constexpr std::uint8_t ProtocolVersion = 1;
// Ticks a second of the room's clock.
constexpr std::uint32_t TicksPerSecond = 60;
// Seats of a room: 0 ZEDOD AZU (the mouse), 1 HOTBEATS, 2 TOP TUNES.
constexpr int SeatCount = 3;
// Longest room code, letters and digits.
constexpr std::size_t MaxRoomCodeLength = 12;
// Longest message a client may send, bytes.
constexpr std::size_t MaxClientMessageBytes = 32;
// Longest refusal or reason, bytes.
constexpr std::size_t MaxReasonBytes = 120;
// Most ticks one Ticks message spans, and most inputs it holds.
constexpr std::uint32_t MaxTicksPerMessage = 1u << 20;
constexpr std::uint32_t MaxInputsPerMessage = 4096;

enum class MessageKind : std::uint8_t {
    // client to server
    Hello = 1,
    Input = 2,
    Digest = 3,
    Alive = 4,
    // server to client
    Welcome = 16,
    Refusal = 17,
    Ticks = 18,
    Roster = 19,
    OutOfStep = 20,
};

// What a player did, as one seat's input.
enum class InputKind : std::uint8_t {
    // a key of a keyboard shop's table
    Key = 0,
    // the mouse player's cursor moved to (x, y)
    Cursor = 1,
    // the mouse player's left button went down at (x, y)
    Press = 2,
    // and came up at (x, y)
    Release = 3,
};

struct SeatInput {
    // the seat whose player gave it
    std::uint8_t seat = 0;
    InputKind kind = InputKind::Key;
    // Key: the character code
    std::uint8_t key = 0;
    // Cursor, Press, Release: game units
    float x = 0.0f;
    float y = 0.0f;
};

// An input of a tick log: it acts just before the tick's update.
struct TickInput {
    std::uint32_t tick = 0;
    SeatInput input;
};

// One message, whichever its kind; the fields a kind does not use stay as they are.
struct Message {
    MessageKind kind = MessageKind::Alive;
    // Hello, Welcome: the protocol's version
    std::uint8_t version = ProtocolVersion;
    // Hello: the room's code
    std::string room;
    // Hello: the seats asked for (0: the first free one); Welcome: the seats
    // given; Roster: the seats held by anyone
    std::uint8_t seats = 0;
    // Welcome: the room's seed
    std::uint32_t seed = 0;
    // Input
    SeatInput input;
    // Digest, OutOfStep: the tick after whose update it was taken;
    // Ticks: the first tick
    std::uint32_t tick = 0;
    // Digest: the market's digest
    std::uint64_t digest = 0;
    // Ticks: how many ticks from `tick` on
    std::uint32_t tickCount = 0;
    // Ticks: their inputs, in tick order
    std::vector<TickInput> inputs;
    // Refusal: why, for the player to read
    std::string reason;
};

// The bytes of a message (any kind).
std::string writeMessage(const Message& message);

// Reads what a client sent: true with message filled, or false with why
// the bytes are not a client's message.
bool readClientMessage(const std::string& bytes, Message& message, std::string& why);
// Reads what a server sent, the same way.
bool readServerMessage(const std::string& bytes, Message& message, std::string& why);

// Whether code names a room: 1 to 12 letters and digits.
bool isRoomCode(const std::string& code);

// The room's clock at a tick, ms from its first tick: the tick's share of
// the second, rounded down (16, 17, 17 ms apart).
int tickClockMs(std::uint32_t tick);

// The shop names of the seats, as the game writes them.
extern const char* const seatNames[SeatCount];
