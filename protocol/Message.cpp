#include "protocol/Message.h"

#include <cstring>

const char* const seatNames[SeatCount] = {"ZEDOD AZU", "HOTBEATS", "TOP TUNES"};

namespace {

// Bytes going out, little-endian.
struct Writer {
    std::string bytes;

    void u8(std::uint8_t value) { bytes.push_back(static_cast<char>(value)); }
    void u16(std::uint16_t value) {
        u8(static_cast<std::uint8_t>(value));
        u8(static_cast<std::uint8_t>(value >> 8));
    }
    void u32(std::uint32_t value) {
        u16(static_cast<std::uint16_t>(value));
        u16(static_cast<std::uint16_t>(value >> 16));
    }
    void u64(std::uint64_t value) {
        u32(static_cast<std::uint32_t>(value));
        u32(static_cast<std::uint32_t>(value >> 32));
    }
    // a float by its bits, so every machine reads the same value back
    void f32(float value) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        u32(bits);
    }
    void token(const SeatToken& value) { bytes.append(value.begin(), value.end()); }
    // four bytes of length, then the bytes
    void blob(const std::string& value) {
        u32(static_cast<std::uint32_t>(value.size()));
        bytes += value;
    }
    // a byte of length, then the text (cut to 255 bytes)
    void text(const std::string& value) {
        const std::size_t length = value.size() < 255 ? value.size() : 255;
        u8(static_cast<std::uint8_t>(length));
        bytes.append(value, 0, length);
    }
};

// Bytes coming in: each read fails, for good, past the end.
struct Reader {
    const std::string& bytes;
    std::size_t at = 0;
    bool ok = true;

    bool take(std::size_t count) {
        ok = ok && bytes.size() - at >= count;
        return ok;
    }
    std::uint8_t u8() {
        if (!take(1)) {
            return 0;
        }
        return static_cast<std::uint8_t>(bytes[at++]);
    }
    std::uint16_t u16() {
        const std::uint16_t low = u8();
        return static_cast<std::uint16_t>(low | u8() << 8);
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        return low | static_cast<std::uint32_t>(u16()) << 16;
    }
    std::uint64_t u64() {
        const std::uint64_t low = u32();
        return low | static_cast<std::uint64_t>(u32()) << 32;
    }
    float f32() {
        const std::uint32_t bits = u32();
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    std::string text() {
        const std::size_t length = u8();
        if (!take(length)) {
            return {};
        }
        std::string value = bytes.substr(at, length);
        at += length;
        return value;
    }
    SeatToken token() {
        SeatToken value{};
        for (std::uint8_t& each : value) {
            each = u8();
        }
        return value;
    }
    // at most limit bytes, else the read fails
    std::string blob(std::size_t limit) {
        const std::size_t length = u32();
        ok = ok && length <= limit;
        if (!take(length)) {
            return {};
        }
        std::string value = bytes.substr(at, length);
        at += length;
        return value;
    }
    bool atEnd() const { return ok && at == bytes.size(); }
};

// Input kinds that carry a game point.
bool hasPoint(InputKind kind) { return kind != InputKind::Key; }

void writeInput(Writer& out, const SeatInput& input) {
    out.u8(input.seat);
    out.u8(static_cast<std::uint8_t>(input.kind));
    if (hasPoint(input.kind)) {
        out.f32(input.x);
        out.f32(input.y);
    } else {
        out.u8(input.key);
    }
}

// A seat and kind the game knows; the mouse's inputs from the mouse's seat
// alone, and a key from a keyboard's seat alone.
bool readInput(Reader& in, SeatInput& input, std::string& why) {
    input.seat = in.u8();
    const std::uint8_t kind = in.u8();
    if (in.ok &&
        (input.seat >= SeatCount || kind > static_cast<std::uint8_t>(InputKind::Release))) {
        why = "an input of no seat or kind";
        return false;
    }
    input.kind = static_cast<InputKind>(kind);
    if (hasPoint(input.kind)) {
        input.x = in.f32();
        input.y = in.f32();
    } else {
        input.key = in.u8();
    }
    if (in.ok && hasPoint(input.kind) != (input.seat == 0)) {
        why = "an input its seat cannot give";
        return false;
    }
    return true;
}

} // namespace

std::string writeMessage(const Message& message) {
    Writer out;
    out.u8(static_cast<std::uint8_t>(message.kind));
    switch (message.kind) {
    case MessageKind::Hello:
        out.u8(message.version);
        out.u16(message.rules);
        out.u8(message.seats);
        out.u32(message.tick);
        out.token(message.token);
        out.text(message.room);
        break;
    case MessageKind::Input:
        writeInput(out, message.input);
        break;
    case MessageKind::Digest:
        out.u32(message.tick);
        out.u64(message.digest);
        break;
    case MessageKind::Alive:
        break;
    case MessageKind::Street:
        out.u32(message.tick);
        out.u64(message.digest);
        out.blob(message.street);
        break;
    case MessageKind::Welcome:
        out.u8(message.version);
        out.u8(message.seats);
        out.u32(message.seed);
        out.token(message.token);
        out.u32(message.tick);
        out.u32(message.taken);
        break;
    case MessageKind::Refusal:
        out.text(message.reason);
        break;
    case MessageKind::Ticks:
        out.u32(message.tick);
        out.u32(message.tickCount);
        out.u32(static_cast<std::uint32_t>(message.inputs.size()));
        for (const TickInput& each : message.inputs) {
            out.u32(each.tick - message.tick);
            writeInput(out, each.input);
        }
        break;
    case MessageKind::Roster:
        out.u8(message.seats);
        out.u8(message.away);
        break;
    case MessageKind::OutOfStep:
        out.u32(message.tick);
        break;
    }
    return out.bytes;
}

namespace {

bool readStreetFields(Reader& in, Message& message) {
    message.tick = in.u32();
    message.digest = in.u64();
    message.street = in.blob(MaxStreetBytes);
    return true;
}

// The fields of a client's message after its kind byte.
bool readClientFields(Reader& in, Message& message, std::string& why) {
    switch (message.kind) {
    case MessageKind::Hello:
        message.version = in.u8();
        message.rules = in.u16();
        message.seats = in.u8();
        message.tick = in.u32();
        message.token = in.token();
        message.room = in.text();
        if (in.atEnd() && (message.seats >= 1u << SeatCount || !isRoomCode(message.room))) {
            why = "a greeting with no room or seats";
            return false;
        }
        return true;
    case MessageKind::Input:
        return readInput(in, message.input, why);
    case MessageKind::Digest:
        message.tick = in.u32();
        message.digest = in.u64();
        return true;
    case MessageKind::Alive:
        return true;
    case MessageKind::Street:
        return readStreetFields(in, message);
    default:
        why = "a message of a kind no client sends";
        return false;
    }
}

// The fields of a server's message after its kind byte.
bool readServerFields(Reader& in, Message& message, std::string& why) {
    switch (message.kind) {
    case MessageKind::Welcome:
        message.version = in.u8();
        message.seats = in.u8();
        message.seed = in.u32();
        message.token = in.token();
        message.tick = in.u32();
        message.taken = in.u32();
        return true;
    case MessageKind::Street:
        return readStreetFields(in, message);
    case MessageKind::Refusal:
        message.reason = in.text();
        return true;
    case MessageKind::Ticks: {
        message.tick = in.u32();
        message.tickCount = in.u32();
        const std::uint32_t count = in.u32();
        if (message.tickCount > MaxTicksPerMessage || count > MaxInputsPerMessage) {
            why = "ticks beyond a message's bounds";
            return false;
        }
        message.inputs.clear();
        std::uint32_t last = 0;
        for (std::uint32_t i = 0; i < count && in.ok; ++i) {
            TickInput each;
            const std::uint32_t offset = in.u32();
            if (in.ok && (offset >= message.tickCount || offset < last)) {
                why = "an input out of its ticks' order";
                return false;
            }
            last = offset;
            each.tick = message.tick + offset;
            if (!readInput(in, each.input, why)) {
                return false;
            }
            message.inputs.push_back(each);
        }
        return true;
    }
    case MessageKind::Roster:
        message.seats = in.u8();
        message.away = in.u8();
        return true;
    case MessageKind::OutOfStep:
        message.tick = in.u32();
        return true;
    default:
        why = "a message of a kind no server sends";
        return false;
    }
}

bool readMessage(const std::string& bytes, Message& message, std::string& why,
                 bool (*readFields)(Reader&, Message&, std::string&)) {
    Reader in{bytes};
    message = Message();
    message.kind = static_cast<MessageKind>(in.u8());
    if (!in.ok) {
        why = "an empty message";
        return false;
    }
    if (!readFields(in, message, why)) {
        return false;
    }
    if (!in.atEnd()) {
        why = in.ok ? "a message longer than its kind" : "a message cut short";
        return false;
    }
    return true;
}

} // namespace

bool readClientMessage(const std::string& bytes, Message& message, std::string& why) {
    const bool street = !bytes.empty() && bytes[0] == static_cast<char>(MessageKind::Street);
    if (bytes.size() > (street ? MaxStreetMessageBytes : MaxClientMessageBytes)) {
        why = "a message too long";
        return false;
    }
    return readMessage(bytes, message, why, readClientFields);
}

bool readServerMessage(const std::string& bytes, Message& message, std::string& why) {
    return readMessage(bytes, message, why, readServerFields);
}

bool isRoomCode(const std::string& code) {
    if (code.empty() || code.size() > MaxRoomCodeLength) {
        return false;
    }
    for (char ch : code) {
        const bool letterOrDigit =
            (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9');
        if (!letterOrDigit) {
            return false;
        }
    }
    return true;
}

int tickClockMs(std::uint32_t tick) {
    return static_cast<int>(static_cast<std::uint64_t>(tick) * 1000u / TicksPerSecond);
}
