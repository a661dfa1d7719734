#include "net/Lockstep.h"

#include <cstdio>
#include <cstdlib>

#include "audio/SoundBank.h"
#include "base/ElapsedTime.h"
#include "base/Platform.h"
#include "market/Market.h"
#include "market/RandomGenerator.h"
#include "net/MarketDigest.h"
#include "shop/ShopCommands.h"

namespace {

// How long the server has to answer a join, ms.
constexpr int JoinTimeoutMs = 10000;
// Ticks that sound at the end of a frame's ticks; those before, while a
// machine catches up with its room, play silent.
constexpr std::uint32_t AudibleTicks = 6;
// Ticks a notice of who came or left stays up.
constexpr std::uint32_t NoticeTicks = 5 * TicksPerSecond;

// The seats by the names a player gives them.
const struct {
    const char* name;
    int seat;
} seatWords[] = {{"mouse", 0}, {"left", 1}, {"right", 2}};

bool keyOfSeat(int seat, unsigned char key) {
    for (const ShopCommand& command : shopCommands) {
        if ((seat == 1 && command.shop1Key == key) || (seat == 2 && command.shop2Key == key)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool readJoinAddress(const std::string& text, JoinAddress& address, std::string& why) {
    const std::size_t slash = text.rfind('/');
    std::string hostPort = text.substr(0, slash);
    address = JoinAddress();
    address.room = slash == std::string::npos ? "" : text.substr(slash + 1);
    std::size_t colon = hostPort.rfind(':');
    if (!hostPort.empty() && hostPort.front() == '[') {
        const std::size_t close = hostPort.find(']');
        colon = close == std::string::npos || close + 1 == hostPort.size() ? std::string::npos
                                                                           : close + 1;
        address.host = hostPort.substr(1, close == std::string::npos ? 0 : close - 1);
    } else {
        address.host = hostPort.substr(0, colon);
    }
    if (colon != std::string::npos && hostPort[colon] == ':') {
        address.port = hostPort.substr(colon + 1);
    }
    const bool portOk = !address.port.empty() && address.port.size() <= 5 &&
                        address.port.find_first_not_of("0123456789") == std::string::npos;
    if (address.host.empty() || !portOk || !isRoomCode(address.room)) {
        why = "\"" + text +
              "\" is no room to join: HOST[:PORT]/ROOM, the room's code of 1 to 12 letters "
              "and digits";
        return false;
    }
    return true;
}

bool readSeats(const std::string& text, std::uint8_t& seats, std::string& why) {
    seats = 0;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string word = text.substr(at, comma - at);
        bool known = false;
        for (const auto& each : seatWords) {
            if (word == each.name) {
                seats = static_cast<std::uint8_t>(seats | 1u << each.seat);
                known = true;
            }
        }
        if (!known) {
            why = "\"" + word + "\" is no seat: mouse, left or right, by commas";
            return false;
        }
        at = comma + 1;
    }
    return true;
}

void applySeatInput(const SeatInput& input) {
    switch (input.kind) {
    case InputKind::Key:
        if (keyOfSeat(input.seat, input.key)) {
            market.handleKey(input.key);
        }
        return;
    case InputKind::Cursor:
        market.setCursor(input.x, input.y);
        return;
    case InputKind::Press:
    case InputKind::Release:
        market.setCursor(input.x, input.y);
        market.setMouseDown(input.kind == InputKind::Press);
        return;
    }
}

void playRoomTick(std::uint32_t tick) {
    const int before = tick == 0 ? 0 : tickClockMs(tick - 1);
    const int now = tickClockMs(tick);
    setClockMs(now);
    market.update(static_cast<float>((now - before) / 1000.0));
}

Lockstep& Lockstep::instance() {
    static Lockstep* lockstep = new Lockstep();
    return *lockstep;
}

bool Lockstep::ask(const JoinAddress& address, std::uint8_t wantedSeats, std::string& whyNot) {
    server = address.host + ":" + address.port;
    if (!link.open(address.host, address.port, "/" + address.room, JoinTimeoutMs)) {
        whyNot = link.why;
        return false;
    }
    asked = true;
    askedAt = std::chrono::steady_clock::now();
    Message hello;
    hello.kind = MessageKind::Hello;
    hello.room = address.room;
    hello.seats = wantedSeats;
    link.send(writeMessage(hello));
    return true;
}

bool Lockstep::hearAnswer(int waitMs) {
    if (!link.wait(waitMs, [this](const std::string& bytes) { take(bytes); }) && !ended) {
        end("the server ended the connection: " + link.why);
    }
    if (!joined && !ended &&
        std::chrono::steady_clock::now() - askedAt >= std::chrono::milliseconds(JoinTimeoutMs)) {
        end("the server at " + server + " did not answer");
        link.close();
    }
    return joined || ended;
}

// The server's first answer: the welcome, whose seed and seats make this
// machine's street the room's, or a refusal in the server's words.
void Lockstep::takeAnswer(const std::string& bytes) {
    Message answer;
    std::string unreadable;
    if (!readServerMessage(bytes, answer, unreadable) ||
        (answer.kind != MessageKind::Welcome && answer.kind != MessageKind::Refusal)) {
        end("the server did not answer as a Pellucane server" +
            (unreadable.empty() ? std::string() : ": " + unreadable));
    } else if (answer.kind == MessageKind::Refusal) {
        end(answer.reason);
    } else if (answer.version != ProtocolVersion) {
        end("the server speaks another version of the game");
    }
    if (ended) {
        link.close();
        return;
    }
    joined = true;
    seats = answer.seats;
    Message alive;
    alive.kind = MessageKind::Alive;
    link.keepAlive(writeMessage(alive));
    // Every machine of the room draws the same numbers from the same seed,
    // with the street's clock at the room's first tick.
    RandomGenerator::seed(answer.seed);
    setClockMs(0);
    if (const char* nudge = std::getenv("PELLUCANE_NUDGE_TICK")) {
        nudgeTick = static_cast<std::uint32_t>(std::strtoul(nudge, nullptr, 10));
    }
}

void Lockstep::poll() {
    if (!joined || ended) {
        return;
    }
    if (cursorWaiting && receivedTicks != lastCursorTick) {
        cursorWaiting = false;
        lastCursorTick = receivedTicks;
        SeatInput cursor;
        cursor.seat = 0;
        cursor.kind = InputKind::Cursor;
        cursor.x = cursorX;
        cursor.y = cursorY;
        sendInput(cursor);
    }
    if (digestWaiting) {
        digestWaiting = false;
        Message sent;
        sent.kind = MessageKind::Digest;
        sent.tick = digestTick;
        sent.digest = digest;
        send(sent);
    }
    if (receivedTicks - lastSentTick >= TicksPerSecond) {
        Message alive;
        alive.kind = MessageKind::Alive;
        send(alive);
    }
    if (!link.poll([this](const std::string& bytes) { take(bytes); }) && !ended) {
        end("the server ended the game: " + link.why);
    }
}

void Lockstep::take(const std::string& bytes) {
    if (ended) {
        return;
    }
    // what follows a welcome is the room's log
    if (!joined) {
        takeAnswer(bytes);
        return;
    }
    Message message;
    std::string unreadable;
    if (!readServerMessage(bytes, message, unreadable)) {
        end("the server sent what is no message of the game (" + unreadable + ")");
        link.close();
        return;
    }
    switch (message.kind) {
    case MessageKind::Ticks:
        if (message.tick != receivedTicks) {
            end("the server sent tick " + std::to_string(message.tick) + " where " +
                std::to_string(receivedTicks) + " was due");
            link.close();
            return;
        }
        inputs.insert(inputs.end(), message.inputs.begin(), message.inputs.end());
        receivedTicks += message.tickCount;
        return;
    case MessageKind::Roster:
        for (int seat = 0; seat < SeatCount; ++seat) {
            const bool was = (roster & 1u << seat) != 0;
            const bool is = (message.seats & 1u << seat) != 0;
            if (was != is && (seats & 1u << seat) == 0) {
                tell(std::string(seatNames[seat]) + (is ? " JOINED" : " LEFT"));
            }
        }
        roster = message.seats;
        return;
    case MessageKind::OutOfStep:
        outOfStep = true;
        outOfStepTick = message.tick;
        std::fprintf(stderr, "pellucane: this street is out of step with the room's at tick %u\n",
                     message.tick);
        return;
    default:
        return;
    }
}

void Lockstep::playTicks() {
    SoundBank& sound = SoundBank::instance();
    while (playedTicks < receivedTicks) {
        const std::uint32_t tick = playedTicks++;
        // Catching up, the past plays silent: only the last ticks sound.
        sound.silenced = receivedTicks - tick > AudibleTicks;
        while (!inputs.empty() && inputs.front().tick == tick) {
            applySeatInput(inputs.front().input);
            inputs.pop_front();
        }
        playRoomTick(tick);
        if (tick == nudgeTick && nudgeTick != 0) {
            market.shops[0].money += 1.0f;
        }
        if ((tick + 1) % TicksPerSecond == 0) {
            digestWaiting = true;
            digestTick = tick;
            digest = marketDigest(market);
        }
    }
    sound.silenced = false;
}

void Lockstep::sendKey(unsigned char key) {
    for (int seat = 1; seat < SeatCount; ++seat) {
        if ((seats & 1u << seat) != 0 && keyOfSeat(seat, key)) {
            SeatInput input;
            input.seat = static_cast<std::uint8_t>(seat);
            input.kind = InputKind::Key;
            input.key = key;
            sendInput(input);
        }
    }
}

void Lockstep::sendCursor(float x, float y) {
    if ((seats & 1u) != 0) {
        cursorWaiting = true;
        cursorX = x;
        cursorY = y;
    }
}

void Lockstep::sendButton(bool down, float x, float y) {
    if ((seats & 1u) == 0) {
        return;
    }
    // The press goes where it happened, with no cursor move left behind it.
    cursorWaiting = false;
    SeatInput input;
    input.seat = 0;
    input.kind = down ? InputKind::Press : InputKind::Release;
    input.x = x;
    input.y = y;
    sendInput(input);
}

void Lockstep::sendInput(const SeatInput& input) {
    Message message;
    message.kind = MessageKind::Input;
    message.input = input;
    send(message);
}

void Lockstep::send(const Message& message) {
    if (ended) {
        return;
    }
    lastSentTick = receivedTicks;
    link.send(writeMessage(message));
}

void Lockstep::end(const std::string& reason) {
    ended = true;
    why = reason;
    // before the welcome, whoever asked says why
    if (joined) {
        tellPlayer(reason + "; the street stands");
    }
}

void Lockstep::tell(const std::string& text) {
    notice = text;
    noticeUntilTick = receivedTicks + NoticeTicks;
    std::fprintf(stderr, "pellucane: %s\n", text.c_str());
}
