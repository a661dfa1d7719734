#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// What the game server and its clients say to each other, one WebSocket
// binary message each, little-endian: a kind byte and the kind's fields.
// Every reader checks a message whole and takes nothing it does not know.

// The protocol's version: a client and a server of different ones refuse.
constexpr std::uint8_t ProtocolVersion = 2;
// The version of the game's rules: raised with every change that plays a
// street differently (a price, a customer's choice, the update's order), so
// that a room never holds machines whose streets would part.
constexpr std::uint16_t RulesVersion = 1;
// Ticks a second of the room's clock.
constexpr std::uint32_t TicksPerSecond = 60;
// Seats of a room: 0 ZEDOD AZU (the mouse), 1 HOTBEATS, 2 TOP TUNES.
constexpr int SeatCount = 3;
// Longest room code, letters and digits.
constexpr std::size_t MaxRoomCodeLength = 12;
// Longest message a client may send but its street, bytes.
constexpr std::size_t MaxClientMessageBytes = 48;
// Longest street a snapshot may hold, bytes, and the longest Street message.
constexpr std::size_t MaxStreetBytes = 65536;
constexpr std::size_t MaxStreetMessageBytes = MaxStreetBytes + 32;
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
    // and both ways: a street at a checkpoint
    Street = 5,
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

// The secret a room hands a machine for its seats: whoever presents it
// takes them back. All zeros: none.
using SeatToken = std::array<std::uint8_t, 16>;

// One message, whichever its kind; the fields a kind does not use stay as they are.
struct Message {
    MessageKind kind = MessageKind::Alive;
    // Hello, Welcome: the protocol's version
    std::uint8_t version = ProtocolVersion;
    // Hello: the version of the rules the machine plays
    std::uint16_t rules = RulesVersion;
    // Hello: the token of the seats it comes back for; Welcome: the seats' token
    SeatToken token{};
    // Hello: the room's code
    std::string room;
    // Hello: the seats asked for (0: the first free one); Welcome: the seats
    // given; Roster: the seats held by anyone
    std::uint8_t seats = 0;
    // Welcome: the inputs the room has taken from the machine, for one coming
    // back to send again those its lost link did not deliver
    std::uint32_t taken = 0;
    // Roster: the seats kept for a machine whose link is gone
    std::uint8_t away = 0;
    // Welcome: the room's seed
    std::uint32_t seed = 0;
    // Input
    SeatInput input;
    // Digest, OutOfStep, Street: the tick after whose update it was taken;
    // Ticks: the first tick; Hello: the ticks the machine has already (0 for
    // a new one); Welcome: the first tick of those that follow it
    std::uint32_t tick = 0;
    // Digest, Street: the market's digest
    std::uint64_t digest = 0;
    // Ticks: how many ticks from `tick` on
    std::uint32_t tickCount = 0;
    // Ticks: their inputs, in tick order
    std::vector<TickInput> inputs;
    // Refusal: why, for the player to read
    std::string reason;
    // Street: the street's bytes
    std::string street;
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
