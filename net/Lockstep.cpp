#include "net/Lockstep.h"

#include <cstdio>
#include <cstdlib>

#include "audio/SoundBank.h"
#include "base/ElapsedTime.h"
#include "base/Platform.h"
#include "market/Market.h"
#include "market/RandomGenerator.h"
#include "net/MarketDigest.h"
#include "net/StreetSnapshot.h"
#include "protocol/Room.h"
#include "shop/ShopCommands.h"

namespace {

// How long the server has to answer a join, ms.
constexpr int JoinTimeoutMs = 10000;
// Ticks come sixty a second: a link that brings none for this long is
// taken for dead and mended, ms.
constexpr std::int64_t QuietLinkMs = 1000;
// An attempt to mend it whose connection is not open by this long, ms, is
// made afresh at once: a fresh connection gets through as soon as the path
// is back, where TCP's own retries of a lost one wait ever longer.
constexpr std::int64_t ConnectMs = 1500;
// How long an open connection has to bring the welcome, ms.
constexpr int WelcomeMs = 5000;
// The pause after an attempt that failed (a server that refuses, say),
// doubling from the first to the longest, ms.
constexpr std::int64_t RetryPauseMs = 250;
constexpr std::int64_t MaxRetryPauseMs = 2000;
// Inputs kept after they are sent, to send again if the link lost them:
// more than a player gives in the seconds a link takes to be found dead.
constexpr std::size_t RecentInputs = 1024;
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

// Wall ms, for the link's own timing: the street's clock is the room's.
std::int64_t wallMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Where this session keeps a room's seat token: by server and room.
std::string tokenKey(const JoinAddress& address) {
    return "pellucane-seats " + address.host + ":" + address.port + "/" + address.room;
}

std::string writeToken(const SeatToken& token) {
    std::string text;
    for (std::uint8_t byte : token) {
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 15];
    }
    return text;
}

// A token as writeToken wrote it; none for anything else.
SeatToken readToken(const std::string& text) {
    SeatToken token{};
    if (text.size() != 2 * token.size() ||
        text.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return {};
    }
    for (std::size_t i = 0; i < token.size(); ++i) {
        token[i] = static_cast<std::uint8_t>(std::stoi(text.substr(2 * i, 2), nullptr, 16));
    }
    return token;
}

} // namespace

bool keyOfSeat(int seat, unsigned char key) {
    for (const ShopCommand& command : shopCommands) {
        if ((seat == 1 && command.shop1Key == key) || (seat == 2 && command.shop2Key == key)) {
            return true;
        }
    }
    return false;
}

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

bool Lockstep::ask(const JoinAddress& where, std::uint8_t wantedSeats, std::string& whyNot) {
    address = where;
    server = address.host + ":" + address.port;
    if (!link.open(address.host, address.port, "/" + address.room, JoinTimeoutMs)) {
        whyNot = link.why;
        return false;
    }
    asked = true;
    askedAt = std::chrono::steady_clock::now();
    // A page reloaded in its tab comes back for the seats it held.
    token = readToken(sessionValue(tokenKey(address)));
    greet(wantedSeats);
    return true;
}

// The greeting: the seats asked for, or, with a token, those it holds and
// the ticks this machine has already.
void Lockstep::greet(std::uint8_t wantedSeats) {
    Message hello;
    hello.kind = MessageKind::Hello;
    hello.room = address.room;
    hello.seats = wantedSeats;
    hello.token = token;
    hello.tick = receivedTicks;
    link.send(writeMessage(hello));
}

bool Lockstep::hearAnswer(int waitMs) {
    if (!link.wait(waitMs, [this](const std::string& bytes) { take(bytes); }) && !ended) {
        end(link.connected() || link.why.rfind("cannot reach", 0) != 0
                ? "the server ended the connection: " + link.why
                : link.why);
    }
    if (!joined && !ended &&
        std::chrono::steady_clock::now() - askedAt >= std::chrono::milliseconds(JoinTimeoutMs)) {
        end("the server at " + server + " did not answer");
        link.close();
    }
    return joined || ended;
}

// The server's answer to a greeting: the welcome, whose seed and seats make
// this machine's street the room's (or, coming back, say which ticks come),
// or a refusal in the server's words.
void Lockstep::takeAnswer(const Message& answer) {
    if (answer.kind == MessageKind::Refusal) {
        end(answer.reason);
    } else if (answer.version != ProtocolVersion) {
        end("the server speaks another version of the game");
    } else if (answer.tick > MaxRoomTicks) {
        end("the server sent a tick past a room's day");
    }
    if (ended) {
        link.close();
        return;
    }
    seats = answer.seats;
    token = answer.token;
    keepSessionValue(tokenKey(address), writeToken(token));
    if (!joined) {
        joined = true;
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
    // The ticks come on from where this machine's stopped; or the room's
    // street comes first, and the ticks after it.
    streetDue = answer.tick != receivedTicks;
    if (streetDue) {
        inputs.clear();
        digests.clear();
        receivedTicks = answer.tick;
    }
    heardMs = wallMs();
    // Inputs the room did not take go again, before those given since.
    const std::uint32_t lost = inputsSent - answer.taken;
    for (std::uint32_t i = 0; answer.taken < inputsSent && i < lost && !recentlySent.empty(); ++i) {
        unsent.push_front(recentlySent.back());
        recentlySent.pop_back();
    }
    inputsSent = answer.taken;
    if (mending) {
        mending = false;
        attempts = 0;
        std::fprintf(stderr, "pellucane: the link to room %s is mended\n", address.room.c_str());
        sendWaiting();
    }
}

// The room's street at a checkpoint, in place of the game before it.
void Lockstep::takeStreet(const Message& street) {
    std::string unreadable;
    if (!streetDue || street.tick + 1 != receivedTicks) {
        end("the server sent a street where none was due");
    } else if (!readStreet(street.street, market, unreadable)) {
        end("the server sent a street that is none (" + unreadable + ")");
    } else if (marketDigest(market) != street.digest) {
        end("the room's street is not the one its machines agreed on");
    }
    if (ended) {
        link.close();
        return;
    }
    streetDue = false;
    playedTicks = receivedTicks;
}

void Lockstep::poll() {
    if (!joined || ended) {
        return;
    }
    const std::int64_t now = wallMs();
    // Frames that stopped (a page loading its pictures, a hidden tab) say
    // nothing of the link: it has a second from now to bring a tick.
    if (now - polledMs >= QuietLinkMs) {
        heardMs = now;
    }
    polledMs = now;
    if (mending) {
        mend(now);
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
        sendNow(cursor);
    }
    while (!digests.empty()) {
        Message sent;
        sent.kind = MessageKind::Digest;
        sent.tick = digests.front().first;
        sent.digest = digests.front().second;
        digests.pop_front();
        send(sent);
    }
    if (!streetWaiting.street.empty()) {
        send(streetWaiting);
        streetWaiting.street.clear();
    }
    if (receivedTicks - lastSentTick >= TicksPerSecond) {
        Message alive;
        alive.kind = MessageKind::Alive;
        send(alive);
    }
    if (!link.poll([this](const std::string& bytes) { take(bytes); })) {
        lose(now, link.why);
    } else if (now - heardMs >= QuietLinkMs) {
        lose(now, "no tick for a second");
    }
}

// The link failed: the street stands, and a fresh connection is tried at once.
void Lockstep::lose(std::int64_t nowMs, const std::string& reason) {
    if (ended) {
        return;
    }
    mending = true;
    lostMs = nowMs;
    attempts = 0;
    nextAttemptMs = nowMs;
    attemptMs = nowMs;
    std::fprintf(stderr, "pellucane: the link to room %s failed (%s); reconnecting\n",
                 address.room.c_str(), reason.c_str());
}

// One step of mending the link: an attempt under way is polled and, if it
// took too long, made afresh, or, if it failed, made again after a growing
// pause; after as long as the room keeps the seats, the game is lost.
void Lockstep::mend(std::int64_t nowMs) {
    if (nowMs - lostMs >= SeatHoldMs) {
        mendingFailed = true;
        end("the room could not be reached for " + std::to_string(SeatHoldMs / 60000) +
            " minutes: the game is lost");
        link.close();
        return;
    }
    if (attempts > 0) {
        const bool open = link.poll([this](const std::string& bytes) { take(bytes); });
        if (!mending || ended) {
            return;
        }
        const std::int64_t taken = nowMs - attemptMs;
        if (open && taken < (link.connected() ? WelcomeMs : ConnectMs)) {
            return;
        }
        if (nextAttemptMs <= attemptMs) {
            nextAttemptMs =
                open ? nowMs
                     : nowMs + std::min(RetryPauseMs << std::min(attempts - 1, 3), MaxRetryPauseMs);
        }
    }
    if (nowMs < nextAttemptMs) {
        return;
    }
    ++attempts;
    attemptMs = nowMs;
    link.open(address.host, address.port, "/" + address.room, WelcomeMs);
    greet(seats);
}

void Lockstep::take(const std::string& bytes) {
    if (ended) {
        return;
    }
    Message message;
    std::string unreadable;
    if (!readServerMessage(bytes, message, unreadable)) {
        end((joined ? "the server sent what is no message of the game"
                    : "the server did not answer as a Pellucane server") +
            (unreadable.empty() ? std::string() : " (" + unreadable + ")"));
        link.close();
        return;
    }
    // a greeting's answer comes first, then the room's street and ticks
    const bool answers =
        message.kind == MessageKind::Welcome || message.kind == MessageKind::Refusal;
    if (answers != (!joined || mending)) {
        end(joined ? "the server sent what is no message of the game"
                   : "the server did not answer as a Pellucane server");
        link.close();
        return;
    }
    heardMs = wallMs();
    switch (message.kind) {
    case MessageKind::Welcome:
    case MessageKind::Refusal:
        takeAnswer(message);
        return;
    case MessageKind::Street:
        takeStreet(message);
        return;
    case MessageKind::Ticks:
        if (message.tick != receivedTicks || streetDue ||
            message.tickCount > MaxRoomTicks - receivedTicks) {
            end("the server sent tick " + std::to_string(message.tick) + " where " +
                std::to_string(receivedTicks) + " was due");
            link.close();
            return;
        }
        inputs.insert(inputs.end(), message.inputs.begin(), message.inputs.end());
        receivedTicks += message.tickCount;
        playout.arrived(receivedTicks, heardMs);
        return;
    case MessageKind::Roster:
        takeRoster(message.seats, message.away);
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

// Who came, went away, came back or left, of the seats other machines hold.
void Lockstep::takeRoster(std::uint8_t held, std::uint8_t awaySeats) {
    for (int seat = 0; seat < SeatCount; ++seat) {
        const std::uint8_t bit = static_cast<std::uint8_t>(1u << seat);
        const int was = (roster & bit) == 0 ? 0 : (away & bit) == 0 ? 1 : 2;
        const int is = (held & bit) == 0 ? 0 : (awaySeats & bit) == 0 ? 1 : 2;
        // by what the seat was (free, played, kept) and is now
        static const char* const changes[3][3] = {
            {nullptr, " JOINED", " AWAY"},
            {" LEFT", nullptr, " AWAY"},
            {" LEFT", " BACK", nullptr},
        };
        if (changes[was][is] != nullptr && (seats & bit) == 0) {
            tell(std::string(seatNames[seat]) + changes[was][is]);
        }
    }
    roster = held;
    away = awaySeats;
}

void Lockstep::playTicks() {
    SoundBank& sound = SoundBank::instance();
    const std::uint32_t due = streetDue ? 0 : playout.due(receivedTicks - playedTicks, wallMs());
    for (std::uint32_t played = 0; played < due; ++played) {
        const std::uint32_t tick = playedTicks++;
        // A frame that plays many ticks sounds only its last few.
        sound.silenced = due - played > AudibleTicks;
        while (!inputs.empty() && inputs.front().tick == tick) {
            applySeatInput(inputs.front().input);
            inputs.pop_front();
        }
        playRoomTick(tick);
        if (tick == nudgeTick && nudgeTick != 0) {
            market.shops[0].money += 1.0f;
        }
        if ((tick + 1) % TicksPerSecond == 0) {
            digests.emplace_back(tick, marketDigest(market));
        }
        // The room keeps a street a minute, from any machine playing in time.
        if ((tick + 1) % SnapshotTicks == 0 && receivedTicks - tick <= TicksPerSecond) {
            streetWaiting.kind = MessageKind::Street;
            streetWaiting.tick = tick;
            streetWaiting.digest = digests.back().second;
            streetWaiting.street = writeStreet(market);
        }
    }
    sound.silenced = false;
}

void Lockstep::sendInput(const SeatInput& input) {
    if (input.kind == InputKind::Key) {
        if ((seats & 1u << input.seat) != 0 && keyOfSeat(input.seat, input.key)) {
            sendNow(input);
        }
        return;
    }
    if ((seats & 1u) == 0) {
        return;
    }
    if (input.kind == InputKind::Cursor) {
        cursorWaiting = true;
        cursorX = input.x;
        cursorY = input.y;
        return;
    }
    // The press goes where it happened, with no cursor move left behind it.
    cursorWaiting = false;
    sendNow(input);
}

// An input goes now, or, while the link is mended, waits its turn; of
// cursor moves only the last waits.
void Lockstep::sendNow(const SeatInput& input) {
    if (ended) {
        return;
    }
    if (mending) {
        if (input.kind == InputKind::Cursor && !unsent.empty() &&
            unsent.back().kind == InputKind::Cursor) {
            unsent.back() = input;
        } else {
            unsent.push_back(input);
        }
        return;
    }
    Message message;
    message.kind = MessageKind::Input;
    message.input = input;
    send(message);
    ++inputsSent;
    recentlySent.push_back(input);
    if (recentlySent.size() > RecentInputs) {
        recentlySent.pop_front();
    }
}

// The inputs given while the link was mended go, in order.
void Lockstep::sendWaiting() {
    while (!unsent.empty()) {
        const SeatInput input = unsent.front();
        unsent.pop_front();
        sendNow(input);
    }
}

void Lockstep::send(const Message& message) {
    if (ended || mending) {
        return;
    }
    lastSentTick = receivedTicks;
    link.send(writeMessage(message));
}

void Lockstep::end(const std::string& reason) {
    ended = true;
    mending = false;
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
