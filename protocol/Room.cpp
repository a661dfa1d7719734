#include "protocol/Room.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <utility>

namespace {

// How old a checkpoint may be for a client's digest of it to be compared.
constexpr std::uint32_t LateDigestTicks = 10 * TicksPerSecond;

bool isCheckpoint(std::uint32_t tick) { return (tick + 1) % TicksPerSecond == 0; }

} // namespace

std::string Room::seatList(std::uint8_t seats) {
    std::string names;
    for (int seat = 0; seat < SeatCount; ++seat) {
        if ((seats & 1u << seat) != 0) {
            names += (names.empty() ? "" : " and ") + std::string(seatNames[seat]);
        }
    }
    return names;
}

namespace {

// A float as the recording writes it: its exact bits, in hexadecimal.
std::string exact(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%a", static_cast<double>(value));
    return text;
}

std::string scriptLine(const SeatInput& input) {
    switch (input.kind) {
    case InputKind::Key:
        return "key " + std::to_string(input.seat) + " " + std::to_string(input.key);
    case InputKind::Cursor:
        return "cursor " + exact(input.x) + " " + exact(input.y);
    case InputKind::Press:
        return "press " + exact(input.x) + " " + exact(input.y);
    case InputKind::Release:
        return "release " + exact(input.x) + " " + exact(input.y);
    }
    return {};
}

} // namespace

Room::Room(std::string roomCode, std::uint32_t roomSeed, std::int64_t nowMs, RoomLink roomLink)
    : code(std::move(roomCode)), seed(roomSeed), emptySinceMs(nowMs), link(std::move(roomLink)) {}

RoomMember* Room::member(MemberId id) {
    for (RoomMember& each : members) {
        if (each.id == id && id != 0) {
            return &each;
        }
    }
    return nullptr;
}

RoomMember* Room::memberByToken(const SeatToken& token) {
    for (RoomMember& each : members) {
        if (each.token == token) {
            return &each;
        }
    }
    return nullptr;
}

std::uint32_t Room::firstLoggedTick() const { return hasStreet ? streetTick + 1 : 0; }

bool Room::join(MemberId id, std::uint8_t wantedSeats, std::int64_t nowMs) {
    Message hello;
    hello.kind = MessageKind::Hello;
    hello.room = code;
    hello.seats = wantedSeats;
    return join(id, hello, nowMs);
}

// Why a greeting for these seats (0: the first free one) is refused, or
// nothing. A token that is no member's, and seats another machine holds,
// present or away, are refused.
std::string Room::refusal(const Message& hello, std::uint8_t seats) const {
    std::uint8_t held = 0;
    for (const RoomMember& each : members) {
        held = static_cast<std::uint8_t>(held | each.seats);
    }
    if (hello.rules != rules) {
        return "room " + code + " plays another version of the game's rules: " +
               "everyone in it needs the same version of Pellucane";
    }
    if (hello.token != SeatToken{} && hello.tick != 0) {
        return "your seats in room " + code + " were not kept: they stood free too long";
    }
    if (seats == 0) {
        return "room " + code + " is full: all three shops have players";
    }
    if ((seats & held) != 0) {
        return "in room " + code + ", " + seatList(seats & held) + " already has a player";
    }
    return "";
}

void Room::refuse(MemberId id, const std::string& why) {
    Message no;
    no.kind = MessageKind::Refusal;
    no.reason = why;
    link.send(id, writeMessage(no));
    link.close(id, why);
}

bool Room::join(MemberId id, const Message& hello, std::int64_t nowMs) {
    if (members.empty()) {
        rules = hello.rules;
    }
    RoomMember* back = hello.token == SeatToken{} ? nullptr : memberByToken(hello.token);
    if (back != nullptr && hello.rules == rules) {
        // The same machine on a new connection: the old one, if the server
        // has not yet seen it die, is ended now.
        if (back->id != 0) {
            const MemberId old = back->id;
            back->id = 0;
            link.close(old, "the same machine came back on a new connection");
        }
        back->id = id;
        back->lastHeardMs = nowMs;
        back->windowStartMs = nowMs;
        back->windowMessages = 0;
        welcome(*back, hello.tick);
        sendRoster();
        return true;
    }
    std::uint8_t held = 0;
    for (const RoomMember& each : members) {
        held = static_cast<std::uint8_t>(held | each.seats);
    }
    std::uint8_t seats = hello.seats;
    for (int seat = 0; seat < SeatCount && seats == 0; ++seat) {
        seats = static_cast<std::uint8_t>((held & 1u << seat) == 0 ? 1u << seat : 0u);
    }
    const std::string why = refusal(hello, seats);
    if (!why.empty()) {
        refuse(id, why);
        return false;
    }
    RoomMember joined;
    joined.id = id;
    joined.seats = seats;
    joined.lastHeardMs = nowMs;
    joined.windowStartMs = nowMs;
    std::random_device entropy;
    for (std::uint8_t& each : joined.token) {
        each = static_cast<std::uint8_t>(entropy());
    }
    members.push_back(joined);
    welcome(members.back(), 0);
    sendRoster();
    return true;
}

// The welcome, then what the machine lacks: the ticks since those it has,
// when the room still has their inputs; else the room's street and the
// ticks since it.
void Room::welcome(RoomMember& joined, std::uint32_t hasTicks) {
    const bool resumes = hasTicks >= firstLoggedTick() && hasTicks <= nextTick && hasTicks != 0;
    Message welcome;
    welcome.kind = MessageKind::Welcome;
    welcome.seats = joined.seats;
    welcome.seed = seed;
    welcome.token = joined.token;
    welcome.taken = joined.inputsTaken;
    welcome.tick = resumes ? hasTicks : firstLoggedTick();
    link.send(joined.id, writeMessage(welcome));
    if (!resumes && hasStreet) {
        Message kept;
        kept.kind = MessageKind::Street;
        kept.tick = streetTick;
        kept.digest = streetDigest;
        kept.street = street;
        link.send(joined.id, writeMessage(kept));
    }
    sendTicks(joined.id, welcome.tick);
}

// The ticks from `from` to now, in messages of whole ticks: a message ends
// before a tick whose inputs would take it past what a reader takes.
void Room::sendTicks(MemberId id, std::uint32_t from) {
    auto next = std::lower_bound(
        log.begin(), log.end(), from,
        [](const TickInput& each, std::uint32_t tick) { return each.tick < tick; });
    for (std::uint32_t first = from; first < nextTick;) {
        Message ticks;
        ticks.kind = MessageKind::Ticks;
        ticks.tick = first;
        std::uint32_t end = std::min(nextTick, first + MaxTicksPerMessage);
        while (next != log.end() && next->tick < end) {
            const auto tickEnd = std::find_if(
                next, log.end(), [&](const TickInput& each) { return each.tick != next->tick; });
            const auto count = static_cast<std::size_t>(tickEnd - next);
            if (ticks.inputs.size() + count > MaxInputsPerMessage && next->tick > first) {
                end = next->tick;
                break;
            }
            ticks.inputs.insert(ticks.inputs.end(), next, tickEnd);
            next = tickEnd;
        }
        ticks.tickCount = end - first;
        link.send(id, writeMessage(ticks));
        first = end;
    }
}

void Room::receive(MemberId id, const Message& message, std::int64_t nowMs) {
    RoomMember* from = member(id);
    if (from == nullptr) {
        return;
    }
    from->lastHeardMs = nowMs;
    if (nowMs - from->windowStartMs >= 1000) {
        from->windowStartMs = nowMs;
        from->windowMessages = 0;
    }
    if (++from->windowMessages > MaxMessagesPerSecond) {
        drop(id, "more than " + std::to_string(MaxMessagesPerSecond) + " messages a second", false,
             nowMs);
        return;
    }
    switch (message.kind) {
    case MessageKind::Input:
        if ((from->seats & 1u << message.input.seat) == 0) {
            drop(id,
                 "an input for " + std::string(seatNames[message.input.seat]) +
                     ", a seat this connection does not hold",
                 false, nowMs);
            return;
        }
        pending.push_back(message.input);
        ++from->inputsTaken;
        return;
    case MessageKind::Digest:
    case MessageKind::Street:
        if (!isCheckpoint(message.tick) || message.tick >= nextTick) {
            drop(id,
                 "a digest of tick " + std::to_string(message.tick) +
                     ", which is no checkpoint made yet",
                 false, nowMs);
            return;
        }
        if (message.kind == MessageKind::Street) {
            takeStreet(message);
            return;
        }
        if (message.tick + LateDigestTicks < nextTick) {
            // a client catching up: too late to tell it anything it can use
            return;
        }
        if (agreed.count(message.tick) != 0) {
            // a late client: compared with what most agreed on
            if (agreed[message.tick] != message.digest) {
                tellOutOfStep(*from, message.tick);
            }
        } else {
            votes[message.tick][id] = message.digest;
        }
        return;
    case MessageKind::Alive:
        return;
    default:
        drop(id, "a second greeting", false, nowMs);
        return;
    }
}

// A machine's street at a checkpoint of a minute, kept once the room agrees
// that checkpoint's digest and the street's own is that one.
void Room::takeStreet(const Message& offer) {
    if ((offer.tick + 1) % SnapshotTicks != 0 || (hasStreet && offer.tick <= streetTick) ||
        offer.street.empty()) {
        return;
    }
    const auto agreement = agreed.find(offer.tick);
    if (agreement != agreed.end()) {
        if (agreement->second == offer.digest) {
            keepStreet(offer.tick, offer.digest, offer.street);
        }
    } else if (offeredTick != offer.tick || offered.empty()) {
        offeredTick = offer.tick;
        offeredDigest = offer.digest;
        offered = offer.street;
    }
}

// The room's street from now on: the inputs before it, and the agreements
// before it, are no longer needed.
void Room::keepStreet(std::uint32_t tick, std::uint64_t digest, std::string bytes) {
    hasStreet = true;
    streetTick = tick;
    streetDigest = digest;
    street = std::move(bytes);
    log.erase(log.begin(), std::find_if(log.begin(), log.end(), [tick](const TickInput& each) {
                  return each.tick > tick;
              }));
    agreed.erase(agreed.begin(), agreed.lower_bound(tick));
    if (offeredTick <= tick) {
        offered.clear();
    }
}

void Room::leave(MemberId id, std::int64_t nowMs) {
    RoomMember* gone = member(id);
    if (gone == nullptr) {
        return;
    }
    gone->id = 0;
    gone->awaySinceMs = nowMs;
    for (auto& each : votes) {
        each.second.erase(id);
    }
    sendRoster();
}

void Room::drop(MemberId id, const std::string& why, bool keepSeats, std::int64_t nowMs) {
    link.close(id, why);
    if (keepSeats) {
        leave(id, nowMs);
        return;
    }
    for (auto& each : votes) {
        each.second.erase(id);
    }
    members.erase(std::remove_if(members.begin(), members.end(),
                                 [id](const RoomMember& each) { return each.id == id; }),
                  members.end());
    sendRoster();
}

// Seats kept past their time stand free.
void Room::dropAway(std::int64_t nowMs) {
    const auto expired = [this, nowMs](const RoomMember& each) {
        return each.id == 0 && nowMs - each.awaySinceMs >= holdMs;
    };
    if (std::any_of(members.begin(), members.end(), expired)) {
        members.erase(std::remove_if(members.begin(), members.end(), expired), members.end());
        sendRoster();
    }
}

void Room::advance(std::uint32_t ticksDue, std::int64_t nowMs) {
    if (present() == 0 && pending.empty()) {
        // Nobody to tell: the clock moves on alone, and a player who comes
        // back replays the quiet ticks with the rest.
        nextTick = std::max(nextTick, std::min(ticksDue, MaxRoomTicks));
    }
    while (nextTick < std::min(ticksDue, MaxRoomTicks)) {
        makeTick();
    }
    if (nextTick == MaxRoomTicks || log.size() > MaxLogInputs) {
        // The street's clock, in ms, would soon run past what it counts; or
        // the room's machines never agree on a street to keep.
        const std::string why = nextTick == MaxRoomTicks
                                    ? "the room has played for a day: start another"
                                    : "the room's machines never agree: start another";
        while (!members.empty()) {
            if (members.front().id != 0) {
                link.close(members.front().id, why);
            }
            members.erase(members.begin());
        }
        log.clear();
    }
    while (!votes.empty()) {
        const auto oldest = votes.begin();
        const bool everyone = oldest->second.size() >= present();
        const bool closing = oldest->first + LateDigestTicks < nextTick;
        if (!everyone && !closing && oldest->first + DigestWaitTicks >= nextTick) {
            break;
        }
        if (!compareDigests(oldest->first, everyone || closing) && !closing) {
            break;
        }
    }
    std::vector<MemberId> silent;
    for (const RoomMember& each : members) {
        if (each.id != 0 && nowMs - each.lastHeardMs >= SilentDropMs) {
            silent.push_back(each.id);
        }
    }
    for (MemberId id : silent) {
        drop(id, "silent for " + std::to_string(SilentDropMs / 1000) + " s", true, nowMs);
    }
    dropAway(nowMs);
    if (members.empty() && emptySinceMs < 0) {
        emptySinceMs = nowMs;
    } else if (!members.empty()) {
        emptySinceMs = -1;
    }
}

bool Room::finished(std::int64_t nowMs) const {
    return members.empty() &&
           (nextTick == MaxRoomTicks || (emptySinceMs >= 0 && nowMs - emptySinceMs >= EmptyRoomMs));
}

std::size_t Room::present() const {
    return static_cast<std::size_t>(std::count_if(
        members.begin(), members.end(), [](const RoomMember& each) { return each.id != 0; }));
}

void Room::makeTick() {
    Message ticks;
    ticks.kind = MessageKind::Ticks;
    ticks.tick = nextTick;
    ticks.tickCount = 1;
    // Three players at their messages' limit give far fewer than a message
    // holds; whatever is past it waits for the next tick.
    const std::size_t taken = std::min(pending.size(), std::size_t{MaxInputsPerMessage});
    for (std::size_t i = 0; i < taken; ++i) {
        ticks.inputs.push_back(TickInput{nextTick, pending[i]});
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(taken));
    log.insert(log.end(), ticks.inputs.begin(), ticks.inputs.end());
    for (const TickInput& each : ticks.inputs) {
        ++inputsMade[static_cast<std::size_t>(each.input.kind)];
        lastInputTick = nextTick;
    }
    ++nextTick;
    const std::string bytes = writeMessage(ticks);
    for (const RoomMember& each : members) {
        if (each.id != 0) {
            link.send(each.id, bytes);
        }
    }
}

void Room::sendRoster() {
    Message roster;
    roster.kind = MessageKind::Roster;
    for (const RoomMember& each : members) {
        roster.seats = static_cast<std::uint8_t>(roster.seats | each.seats);
        if (each.id == 0) {
            roster.away = static_cast<std::uint8_t>(roster.away | each.seats);
        }
    }
    const std::string bytes = writeMessage(roster);
    for (const RoomMember& each : members) {
        if (each.id != 0) {
            link.send(each.id, bytes);
        }
    }
}

// The digest a strict majority of the machines present sent is the room's,
// and a member that sent another is told, whenever its digest came: the
// first to answer is no judge of the others. Once every machine present has
// sent one, or the vote closes, and no digest has a majority, every member
// that sent one is told, as nobody can say which market went its own way.
// True when the vote is over.
bool Room::compareDigests(std::uint32_t tick, bool closing) {
    const std::map<MemberId, std::uint64_t>& sent = votes[tick];
    std::map<std::uint64_t, std::size_t> counts;
    for (const auto& each : sent) {
        ++counts[each.second];
    }
    const auto most =
        std::max_element(counts.begin(), counts.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    // A vote that closes with one digest and none against is agreed too: a
    // machine behind (a hidden page) would otherwise keep the room from
    // ever keeping a street.
    const bool majority =
        most != counts.end() &&
        (most->second * 2 > std::max(present(), sent.size()) || (closing && counts.size() == 1));
    if (!majority && !closing) {
        return false;
    }
    if (majority) {
        agreed[tick] = most->first;
        if (offeredTick == tick && offeredDigest == most->first && !offered.empty()) {
            keepStreet(tick, offeredDigest, std::move(offered));
        }
    }
    for (const auto& each : sent) {
        RoomMember* voter = member(each.first);
        if (voter != nullptr && counts.size() > 1 && (!majority || each.second != most->first)) {
            tellOutOfStep(*voter, tick);
        }
    }
    votes.erase(tick);
    return true;
}

void Room::tellOutOfStep(RoomMember& out, std::uint32_t tick) {
    if (out.toldOutOfStep) {
        return;
    }
    outOfStepSeats = static_cast<std::uint8_t>(outOfStepSeats | out.seats);
    if (!outOfStep) {
        outOfStep = true;
        outOfStepTick = tick;
    }
    if (link.outOfStep) {
        link.outOfStep(out.seats, tick);
    }
    out.toldOutOfStep = true;
    Message told;
    told.kind = MessageKind::OutOfStep;
    told.tick = tick;
    link.send(out.id, writeMessage(told));
}

std::string Room::recording() const {
    std::string script = "# room " + code + ": its game as the server ordered it, " +
                         std::to_string(nextTick) + " ticks\n";
    if (outOfStep) {
        script += "# " + seatList(outOfStepSeats) + " went its own way by tick " +
                  std::to_string(outOfStepTick) + "\n";
    }
    script += "street " + std::to_string(seed) + "\n";
    // Inputs act before their tick; an agreed digest is the state after its tick.
    std::uint32_t played = 0;
    if (hasStreet) {
        // the game before the kept street is no longer kept: from it on
        script += "state " + std::to_string(streetTick) + " ";
        for (char byte : street) {
            script += "0123456789abcdef"[static_cast<unsigned char>(byte) >> 4];
            script += "0123456789abcdef"[static_cast<unsigned char>(byte) & 15];
        }
        script += "\n";
        played = streetTick + 1;
    }
    auto runTo = [&](std::uint32_t tick) {
        if (tick > played) {
            script += "ticks " + std::to_string(tick - played) + "\n";
            played = tick;
        }
    };
    auto agreement = agreed.begin();
    auto agreementsBefore = [&](std::uint32_t tick) {
        for (; agreement != agreed.end() && agreement->first < tick; ++agreement) {
            runTo(agreement->first + 1);
            char line[64];
            std::snprintf(line, sizeof line, "digest %u %016llx\n", agreement->first,
                          static_cast<unsigned long long>(agreement->second));
            script += line;
        }
    };
    for (const TickInput& each : log) {
        agreementsBefore(each.tick);
        runTo(each.tick);
        script += scriptLine(each.input) + "\n";
    }
    agreementsBefore(nextTick);
    runTo(nextTick);
    return script;
}
