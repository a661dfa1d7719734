#include "TcpReset.h"

namespace {

// connections followed at once, at most; past that the longest unseen goes
constexpr std::size_t FlowRoom = 4096;

std::uint16_t read16(const Packet& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

std::uint32_t read32(const Packet& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(read16(bytes, at)) << 16 | read16(bytes, at + 2);
}

void write16(Packet& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

void write32(Packet& bytes, std::size_t at, std::uint32_t value) {
    write16(bytes, at, value >> 16);
    write16(bytes, at + 2, value & 0xffff);
}

// The Internet checksum's running sum over bytes [from, to).
std::uint32_t sum16(const Packet& bytes, std::size_t from, std::size_t to, std::uint32_t sum) {
    for (std::size_t at = from; at < to; at += 2) {
        sum += read16(bytes, at);
    }
    return sum;
}

std::uint16_t folded(std::uint32_t sum) {
    while (sum > 0xffff) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

// Whether sequence number a comes after b, in TCP's wrapping order.
bool after(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) > 0; }

// A bare reset (no ACK) to the end on side `to` from its peer, with that sequence number.
Packet forgeReset(const FlowKey& key, Side to, std::uint32_t seq) {
    const std::uint32_t address[2] = {std::get<0>(key), std::get<2>(key)};
    const std::uint16_t port[2] = {std::get<1>(key), std::get<3>(key)};
    const int from = to == Near ? Far : Near;
    Packet bytes(40, 0);
    bytes[0] = 0x45;           // IPv4, a 20-byte header
    write16(bytes, 2, 40);     // total length
    write16(bytes, 6, 0x4000); // don't fragment
    bytes[8] = 64;             // time to live
    bytes[9] = 6;              // TCP
    write32(bytes, 12, address[from]);
    write32(bytes, 16, address[to]);
    write16(bytes, 10, folded(sum16(bytes, 0, 20, 0)));
    write16(bytes, 20, port[from]);
    write16(bytes, 22, port[to]);
    write32(bytes, 24, seq);
    bytes[32] = 5 << 4; // a 20-byte header
    bytes[33] = RstFlag;
    // over the pseudo-header: addresses, protocol, TCP length
    const std::uint32_t pseudo = sum16(bytes, 12, 20, 6 + 20);
    write16(bytes, 36, folded(sum16(bytes, 20, 40, pseudo)));
    return bytes;
}

FlowKey keyOf(const Segment& segment, Side from) {
    const int near = from == Near ? 0 : 1;
    return {segment.addresses[near], segment.ports[near], segment.addresses[1 - near],
            segment.ports[1 - near]};
}

// Makes room for one more connection.
void makeRoom(Flows& flows) {
    if (flows.byKey.size() < FlowRoom) {
        return;
    }
    auto oldest = flows.byKey.begin();
    for (auto flow = flows.byKey.begin(); flow != flows.byKey.end(); ++flow) {
        oldest = flow->second.seen < oldest->second.seen ? flow : oldest;
    }
    flows.byKey.erase(oldest);
}

// Notes what the segment says of its end's state.
void note(Flow& flow, const Segment& segment, Side from) {
    if (segment.flags & AckFlag) {
        flow.lastAck[from] = segment.ack;
        flow.acked[from] = true;
    }
    const std::uint32_t next = segment.seq + segment.span;
    if (segment.flags & SynFlag || after(next, flow.nextSeq[from])) {
        flow.nextSeq[from] = next;
    }
}

} // namespace

std::optional<Segment> tcpSegment(const Packet& packet) {
    if (packet.size() < 20 || packet[0] >> 4 != 4 || packet[9] != 6) {
        return std::nullopt;
    }
    const std::size_t ipLength = (packet[0] & 0x0fu) * 4u;
    const std::size_t total = read16(packet, 2);
    // a fragment past the first has no TCP header
    const bool laterFragment = (read16(packet, 6) & 0x1fff) != 0;
    if (ipLength < 20 || total > packet.size() || total < ipLength + 20 || laterFragment) {
        return std::nullopt;
    }
    const std::size_t tcpLength = (packet[ipLength + 12] >> 4) * 4u;
    if (tcpLength < 20 || ipLength + tcpLength > total) {
        return std::nullopt;
    }
    Segment segment{};
    segment.addresses[0] = read32(packet, 12);
    segment.addresses[1] = read32(packet, 16);
    segment.ports[0] = read16(packet, ipLength);
    segment.ports[1] = read16(packet, ipLength + 2);
    segment.seq = read32(packet, ipLength + 4);
    segment.ack = read32(packet, ipLength + 8);
    segment.flags = packet[ipLength + 13];
    segment.span = static_cast<std::uint32_t>(total - ipLength - tcpLength) +
                   (segment.flags & SynFlag ? 1u : 0u) + (segment.flags & FinFlag ? 1u : 0u);
    return segment;
}

Verdict follow(Flows& flows, const Packet& packet, Side from, Clock::time_point now) {
    const std::optional<Segment> segment = tcpSegment(packet);
    if (!segment) {
        return {};
    }
    const FlowKey key = keyOf(*segment, from);
    auto flow = flows.byKey.find(key);
    const bool opening = segment->flags & SynFlag;
    if (flow != flows.byKey.end() && flow->second.reset && !opening) {
        Verdict lost{false, {}};
        if (segment->flags & AckFlag && !(segment->flags & RstFlag)) {
            lost.replies.push_back(forgeReset(key, from, segment->ack));
        }
        return lost;
    }
    if (flow == flows.byKey.end() || (opening && !(segment->flags & AckFlag))) {
        makeRoom(flows);
        flow = flows.byKey.insert_or_assign(key, Flow{}).first;
    }
    if (segment->flags & RstFlag) {
        flows.byKey.erase(flow);
        return {};
    }
    flow->second.seen = now;
    note(flow->second, *segment, from);
    return {};
}

std::vector<std::pair<Side, Packet>> resetAll(Flows& flows) {
    std::vector<std::pair<Side, Packet>> resets;
    for (auto& [key, flow] : flows.byKey) {
        if (flow.reset) {
            continue;
        }
        for (Side to : {Near, Far}) {
            // what the end last acknowledged; failing that, what its peer sends next
            const std::uint32_t seq = flow.acked[to] ? flow.lastAck[to] : flow.nextSeq[1 - to];
            resets.emplace_back(to, forgeReset(key, to, seq));
        }
        flow.reset = true;
    }
    return resets;
}

bool ofResetFlow(const Flows& flows, const Packet& packet, Side from) {
    const std::optional<Segment> segment = tcpSegment(packet);
    if (!segment) {
        return false;
    }
    const auto flow = flows.byKey.find(keyOf(*segment, from));
    return flow != flows.byKey.end() && flow->second.reset;
}
