#include "protocol/Room.h"

#include <algorithm>
#include <cstdio>
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
        if (each.id == id) {
            return &each;
        }
    }
    return nullptr;
}

bool Room::join(MemberId id, std::uint8_t wantedSeats, std::int64_t nowMs) {
    std::uint8_t held = 0;
    for (const RoomMember& each : members) {
        held = static_cast<std::uint8_t>(held | each.seats);
    }
    std::uint8_t seats = wantedSeats;
    for (int seat = 0; seat < SeatCount && seats == 0; ++seat) {
        seats = static_cast<std::uint8_t>((held & 1u << seat) == 0 ? 1u << seat : 0u);
    }
    std::string refusal;
    if (seats == 0) {
        refusal = "room " + code + " is full: all three shops have players";
    } else if ((seats & held) != 0) {
        refusal = "in room " + code + ", " + seatList(seats & held) + " already has a player";
    }
    if (!refusal.empty()) {
        Message no;
        no.kind = MessageKind::Refusal;
        no.reason = refusal;
        link.send(id, writeMessage(no));
        link.close(id, refusal);
        return false;
    }
    RoomMember joined;
    joined.id = id;
    joined.seats = seats;
    joined.lastHeardMs = nowMs;
    joined.windowStartMs = nowMs;
    members.push_back(joined);

    Message welcome;
    welcome.kind = MessageKind::Welcome;
    welcome.seats = seats;
    welcome.seed = seed;
    link.send(id, writeMessage(welcome));
    // The log so far, for the client to replay before it draws.
    std::size_t next = 0;
    for (std::uint32_t first = 0; first < nextTick;) {
        Message ticks;
        ticks.kind = MessageKind::Ticks;
        ticks.tick = first;
        std::uint32_t end = std::min(nextTick, first + MaxTicksPerMessage);
        while (next < log.size() && log[next].tick < end) {
            if (ticks.inputs.size() == MaxInputsPerMessage) {
                end = log[next].tick;
                break;
            }
            ticks.inputs.push_back(log[next++]);
        }
        ticks.tickCount = end - first;
        link.send(id, writeMessage(ticks));
        first = end;
    }
    sendRoster();
    return true;
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
        drop(id, "more than " + std::to_string(MaxMessagesPerSecond) + " messages a second");
        return;
    }
    switch (message.kind) {
    case MessageKind::Input:
        if ((from->seats & 1u << message.input.seat) == 0) {
            drop(id, "an input for " + std::string(seatNames[message.input.seat]) +
                         ", a seat this connection does not hold");
            return;
        }
        pending.push_back(message.input);
        return;
    case MessageKind::Digest:
        if (!isCheckpoint(message.tick) || message.tick >= nextTick) {
            drop(id, "a digest of tick " + std::to_string(message.tick) +
                         ", which is no checkpoint made yet");
            return;
        }
        if (message.tick + LateDigestTicks < nextTick) {
            // a client catching up: too late to tell it anything it can use
            return;
        }
        if (agreed.count(message.tick) != 0) {
            // a late client: compared with what the others agreed on
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
        drop(id, "a second greeting");
        return;
    }
}

void Room::leave(MemberId id) {
    const auto gone = std::remove_if(members.begin(), members.end(),
                                     [id](const RoomMember& each) { return each.id == id; });
    if (gone == members.end()) {
        return;
    }
    members.erase(gone, members.end());
    for (auto& each : votes) {
        each.second.erase(id);
    }
    sendRoster();
}

void Room::drop(MemberId id, const std::string& why) {
    link.close(id, why);
    leave(id);
}

void Room::advance(std::uint32_t ticksDue, std::int64_t nowMs) {
    if (members.empty() && pending.empty()) {
        // Nobody to tell: the clock moves on alone, and a player who comes
        // back replays the quiet ticks with the rest.
        nextTick = std::max(nextTick, std::min(ticksDue, MaxRoomTicks));
    }
    while (nextTick < std::min(ticksDue, MaxRoomTicks)) {
        makeTick();
    }
    if (nextTick == MaxRoomTicks) {
        // The street's clock, in ms, would soon run past what it counts.
        while (!members.empty()) {
            drop(members.front().id, "the room has played for a day: start another");
        }
    }
    while (!votes.empty()) {
        const auto oldest = votes.begin();
        const bool everyone = oldest->second.size() >= members.size();
        if (!everyone && oldest->first + DigestWaitTicks >= nextTick) {
            break;
        }
        compareDigests(oldest->first);
    }
    std::vector<MemberId> silent;
    for (const RoomMember& each : members) {
        if (nowMs - each.lastHeardMs >= SilentDropMs) {
            silent.push_back(each.id);
        }
    }
    for (MemberId id : silent) {
        drop(id, "silent for " + std::to_string(SilentDropMs / 1000) + " s");
    }
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

void Room::makeTick() {
    Message ticks;
    ticks.kind = MessageKind::Ticks;
    ticks.tick = nextTick;
    ticks.tickCount = 1;
    for (const SeatInput& input : pending) {
        ticks.inputs.push_back(TickInput{nextTick, input});
    }
    pending.clear();
    log.insert(log.end(), ticks.inputs.begin(), ticks.inputs.end());
    ++nextTick;
    const std::string bytes = writeMessage(ticks);
    for (const RoomMember& each : members) {
        link.send(each.id, bytes);
    }
}

void Room::sendRoster() {
    Message roster;
    roster.kind = MessageKind::Roster;
    for (const RoomMember& each : members) {
        roster.seats = static_cast<std::uint8_t>(roster.seats | each.seats);
    }
    const std::string bytes = writeMessage(roster);
    for (const RoomMember& each : members) {
        link.send(each.id, bytes);
    }
}

// The digest most members sent is the room's; a member that sent another
// is told. With no digest of a strict majority, every member that sent one
// is told, as nobody can say which market went its own way.
void Room::compareDigests(std::uint32_t tick) {
    const std::map<MemberId, std::uint64_t> sent = votes[tick];
    votes.erase(tick);
    std::map<std::uint64_t, std::size_t> counts;
    for (const auto& each : sent) {
        ++counts[each.second];
    }
    if (counts.size() <= 1) {
        if (!counts.empty()) {
            agreed[tick] = counts.begin()->first;
        }
        return;
    }
    const auto most =
        std::max_element(counts.begin(), counts.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    const bool majority = most->second * 2 > sent.size();
    if (majority) {
        agreed[tick] = most->first;
    }
    for (const auto& each : sent) {
        RoomMember* voter = member(each.first);
        if (voter != nullptr && (!majority || each.second != most->first)) {
            tellOutOfStep(*voter, tick);
        }
    }
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
