#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "Impairment.h"

// The TCP connections crossing the wire, followed closely enough to end
// them as a router that drops its state does: a reset forged to each end
// with the sequence number that end expects next, so that its kernel takes
// it ("connection reset by peer") rather than answering it.

// What a TCP segment says, from its IPv4 and TCP headers.
struct Segment {
    // source and destination: addresses (host order) and ports
    std::uint32_t addresses[2];
    std::uint16_t ports[2];
    std::uint32_t seq;
    std::uint32_t ack;
    std::uint8_t flags;
    // the sequence numbers it takes: its payload's bytes, and one each for SYN and FIN
    std::uint32_t span;
};

constexpr std::uint8_t FinFlag = 0x01, SynFlag = 0x02, RstFlag = 0x04, AckFlag = 0x10;

// The segment in an IPv4 packet, if it holds a whole one.
std::optional<Segment> tcpSegment(const Packet& packet);

// A connection's ends by side: near's address and port, then far's.
using FlowKey = std::tuple<std::uint32_t, std::uint16_t, std::uint32_t, std::uint16_t>;

// What the wire has seen of one connection, each field by the side of its end.
struct Flow {
    // the last acknowledgement the end sent: the next byte it expects
    std::uint32_t lastAck[2] = {};
    bool acked[2] = {};
    // the sequence number past the last the end sent
    std::uint32_t nextSeq[2] = {};
    // whether the wire has reset it: what either end sends is lost then
    bool reset = false;
    Clock::time_point seen{};
};

struct Flows {
    std::map<FlowKey, Flow> byKey;
};

// What to do with a packet leaving one side: pass it on, or lose it and
// send these resets back to the side it came from.
struct Verdict {
    bool pass = true;
    std::vector<Packet> replies;
};

// Follows a packet leaving that side. A reset connection's end that still
// sends (its last acknowledgement was late, or it answered a reset it took
// for an old one) gets a reset with the acknowledgement it has just sent.
Verdict follow(Flows& flows, const Packet& packet, Side from, Clock::time_point now);

// Resets every connection: the packets to write to each side's device.
std::vector<std::pair<Side, Packet>> resetAll(Flows& flows);

// Whether the packet, leaving that side, belongs to a connection reset since.
bool ofResetFlow(const Flows& flows, const Packet& packet, Side from);
