#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

// What the emulated path does to the packets going one way: how late they
// come, how many never do, and whether the path is cut for a while.

using Clock = std::chrono::steady_clock;
using Packet = std::vector<std::uint8_t>;

// The two ends of the wire: the near device stays in the namespace the
// emulator started in (the server's), the far one is moved into a player's.
enum Side { Near = 0, Far = 1 };

// One way's settings.
struct Impairment {
    // one-way delay, ms
    double delayMs = 0;
    // each packet's delay is drawn evenly within delay times 1 +- this share
    double jitterShare = 0;
    // share of packets lost, 0..1
    double lossShare = 0;
    // whether a packet may overtake an earlier one whose delay came out longer;
    // otherwise a packet leaves no earlier than the one before it, as on most paths
    bool reorder = false;
    // everything that enters or would leave in [stallFrom, stallUntil) is lost
    Clock::time_point stallFrom{};
    Clock::time_point stallUntil{};
};

// What one way has done with its packets, for "show" and the exit report.
struct Counts {
    std::uint64_t passed = 0;
    std::uint64_t lost = 0;
    std::uint64_t stalled = 0;
    // past the queue's room, or refused by the device
    std::uint64_t overflowed = 0;
};

// One way through the wire: its settings, the packets on their way (by the
// time each leaves) and its counts.
struct Direction {
    Impairment impairment;
    std::multimap<Clock::time_point, Packet> onTheWay;
    // when the last packet queued leaves, for keeping them in order
    Clock::time_point lastDue{};
    Counts counts;
};

// packets on their way one way, at most: a router's buffer
constexpr std::size_t QueueRoom = 8192;

// Whether the way is cut at that time.
bool stalledAt(const Impairment& impairment, Clock::time_point time);

// Takes a packet entering the way now: queues it for its time, or counts it
// lost. The generator draws its fate.
void enter(Direction& way, Packet packet, Clock::time_point now, std::mt19937_64& random);

// The way's settings in words, as a control line would give them.
std::string describe(const Impairment& impairment, Clock::time_point now);

// A control line's verdict on the settings: "ok", or "error: " and why.
// Changes the ways it names: "up" (far to near: a player to the server),
// "down" (near to far) or, without either word, both:
//   [up|down] delay MS [jitter PERCENT]   one-way delay, jitter a share of it (none unless given)
//   [up|down] jitter PERCENT
//   [up|down] loss PERCENT                share of packets lost (0.5, 5, ...)
//   [up|down] stall MS                    everything lost for that long, from now: a cable
//                                         pulled, a dead spot, or, to the connections open
//                                         then, a change of address
//   [up|down] reorder on|off
//   clear                                 no delay, loss or stall either way
std::string applySetting(const std::vector<std::string>& words, Direction ways[2],
                         Clock::time_point now);
