#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "net/Playout.h"
#include "net/ServerLink.h"
#include "protocol/Message.h"

// The server's port unless the address names another.
constexpr const char* DefaultPort = "7355";

// Where to join: HOST[:PORT]/ROOM.
struct JoinAddress {
    std::string host;
    std::string port = DefaultPort;
    std::string room;
};

// Reads HOST[:PORT]/ROOM (an IPv6 host in brackets); false with why.
bool readJoinAddress(const std::string& text, JoinAddress& address, std::string& why);
// Reads a list of seats, "mouse", "left" and "right" by commas, as a bit
// each; false with why.
bool readSeats(const std::string& text, std::uint8_t& seats, std::string& why);

// Whether the key is in the table of the seat (1 or 2).
bool keyOfSeat(int seat, unsigned char key);
// Plays one input of a room's tick on the street, as the hot-seat game's
// callbacks would: a key only for the seat whose table holds it.
void applySeatInput(const SeatInput& input);
// Plays one tick of a room's clock on the street: the clock set to the
// tick's time and the market stepped by the time since the tick before.
void playRoomTick(std::uint32_t tick);

// This machine's part in a networked game: the seats it plays, the ticks
// the server has sent and this machine has not yet played, and what the
// room has said. The street runs only from the server's ticks. A link that
// fails, or brings no tick for a second, is mended by itself: a fresh
// connection presents the seats' token and the ticks come on from where
// they stopped, while the player's inputs wait to go.
struct Lockstep {
    // a join asked of the server, its answer to come to poll
    bool asked = false;
    // joined to a room: the game is played over the network
    bool joined = false;
    // the seats this machine plays, a bit each, and their token
    std::uint8_t seats = 0;
    SeatToken token{};
    // the seats anyone in the room plays, and those kept for a machine
    // whose link is gone, as the server last said
    std::uint8_t roster = 0;
    std::uint8_t away = 0;
    // ticks the server has sent: every tick below is known
    std::uint32_t receivedTicks = 0;
    // ticks played on the street
    std::uint32_t playedTicks = 0;
    // inputs of received ticks not yet played, in order
    std::deque<TickInput> inputs;
    // when the received ticks are played
    Playout playout;
    // checkpoints' digests not yet sent, oldest first: tick and digest
    std::deque<std::pair<std::uint32_t, std::uint64_t>> digests;
    // the street at a checkpoint of a minute, not yet sent (empty: none)
    Message streetWaiting;
    // the welcome said a street comes next, for the ticks that follow it
    bool streetDue = false;
    // the server said this machine's street went its own way at this tick
    bool outOfStep = false;
    std::uint32_t outOfStepTick = 0;
    // what the players are told on the street, and the tick it shows until
    std::string notice;
    std::uint32_t noticeUntilTick = 0;
    // the link has ended (why says how): the street stands from here; or,
    // before the welcome, the join was refused or went unanswered
    bool ended = false;
    std::string why;
    // a test's hook: at this tick the street is nudged off its course (0: never)
    std::uint32_t nudgeTick = 0;
    // received ticks when a message was last sent, and the cursor: a sign
    // of life goes out each second of ticks, the cursor at most once a tick
    std::uint32_t lastSentTick = 0;
    std::uint32_t lastCursorTick = 0;
    // the cursor not yet sent, if it moved
    bool cursorWaiting = false;
    float cursorX = 0.0f;
    float cursorY = 0.0f;
    // the players' inputs given while the link is being mended, in order
    std::deque<SeatInput> unsent;
    // inputs sent to the room, on any connection, and the latest of them:
    // those a lost link did not deliver go again
    std::uint32_t inputsSent = 0;
    std::deque<SeatInput> recentlySent;
    // the link is being mended: since lostMs (wall ms), the attempt under
    // way began at attemptMs, and the next begins at nextAttemptMs
    bool mending = false;
    std::int64_t lostMs = 0;
    std::int64_t attemptMs = 0;
    std::int64_t nextAttemptMs = 0;
    // attempts made since the link was lost
    int attempts = 0;
    // the link could not be mended while the room kept the seats
    bool mendingFailed = false;
    // wall ms when the server was last heard from
    std::int64_t heardMs = 0;
    // wall ms of the last poll
    std::int64_t polledMs = 0;
    ServerLink link;
    // where the join went, HOST:PORT and the room, and when it was asked
    JoinAddress address;
    std::string server;
    std::chrono::steady_clock::time_point askedAt;

    static Lockstep& instance();

    // Connects and asks for the seats (0: the first free one); the answer
    // comes in hearAnswer. False with why when the server cannot be reached.
    bool ask(const JoinAddress& address, std::uint8_t wantedSeats, std::string& why);
    // Takes what the server has sent, waiting up to waitMs for it (the page
    // cannot wait): true once the join has its answer, the welcome (joined:
    // the street's generator is then seeded from the room) or a refusal
    // (ended, why in the server's own words), or when the server has not
    // answered within 10 s (ended).
    bool hearAnswer(int waitMs);
    // Takes what the server has sent and sends what waits, without waiting;
    // mends the link when it has failed or gone quiet.
    void poll();
    // Plays the received ticks that are due on the street.
    void playTicks();
    // An input of this machine's player, for the room: a key for the
    // seats this machine holds whose table has it, the mouse's inputs while
    // it holds the mouse's seat (a cursor move at most once a tick).
    void sendInput(const SeatInput& input);

  private:
    Lockstep() = default;
    void greet(std::uint8_t wantedSeats);
    void take(const std::string& bytes);
    void takeAnswer(const Message& answer);
    void takeStreet(const Message& street);
    void takeRoster(std::uint8_t seats, std::uint8_t awaySeats);
    void send(const Message& message);
    void sendNow(const SeatInput& input);
    void sendWaiting();
    void mend(std::int64_t nowMs);
    void lose(std::int64_t nowMs, const std::string& reason);
    void end(const std::string& reason);
    void tell(const std::string& text);
};
