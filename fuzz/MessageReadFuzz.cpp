// libFuzzer harness for the network's messages, both ways.
// - Any bytes as a message from a client and as one from a server, through
//   the readers the server and the game use: a message either reader takes
//   must be written back to the same bytes.
// - The same bytes as the fields of a message that the server or a client
//   may write (a kind, a room's code, seats, ticks and their inputs in
//   order, a reason, a street): the reader on the other end must take what
//   the writer wrote, and read back the same message.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/Message.h"

namespace {

// Every kind, with whether a client (true) or the server writes it.
const struct {
    MessageKind kind;
    bool fromClient;
} kinds[] = {
    {MessageKind::Hello, true},      {MessageKind::Input, true},   {MessageKind::Digest, true},
    {MessageKind::Alive, true},      {MessageKind::Street, true},  {MessageKind::Welcome, false},
    {MessageKind::Refusal, false},   {MessageKind::Ticks, false},  {MessageKind::Roster, false},
    {MessageKind::OutOfStep, false}, {MessageKind::Street, false},
};

SeatInput anInput(FuzzedDataProvider& data) {
    SeatInput input;
    input.kind = static_cast<InputKind>(data.ConsumeIntegralInRange<int>(0, 3));
    if (input.kind == InputKind::Key) {
        input.seat = data.ConsumeIntegralInRange<std::uint8_t>(1, 2);
        input.key = data.ConsumeIntegral<std::uint8_t>();
    } else {
        input.x = data.ConsumeFloatingPoint<float>();
        input.y = data.ConsumeFloatingPoint<float>();
    }
    return input;
}

std::string aRoomCode(FuzzedDataProvider& data) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string code(data.ConsumeIntegralInRange<std::size_t>(1, MaxRoomCodeLength), 'A');
    for (char& ch : code) {
        ch = letters[data.ConsumeIntegralInRange<std::size_t>(0, sizeof letters - 2)];
    }
    return code;
}

// A message of the kind, its fields within what the writers write.
Message aMessage(FuzzedDataProvider& data, MessageKind kind) {
    Message message;
    message.kind = kind;
    message.rules = data.ConsumeIntegral<std::uint16_t>();
    message.seats = data.ConsumeIntegralInRange<std::uint8_t>(0, 7);
    message.away = data.ConsumeIntegralInRange<std::uint8_t>(0, 7);
    message.seed = data.ConsumeIntegral<std::uint32_t>();
    message.taken = data.ConsumeIntegral<std::uint32_t>();
    message.tick = data.ConsumeIntegral<std::uint32_t>();
    message.digest = data.ConsumeIntegral<std::uint64_t>();
    for (std::uint8_t& byte : message.token) {
        byte = data.ConsumeIntegral<std::uint8_t>();
    }
    message.room = aRoomCode(data);
    message.input = anInput(data);
    message.reason = data.ConsumeRandomLengthString(MaxReasonBytes);
    message.street = data.ConsumeRandomLengthString(MaxStreetBytes);
    if (kind == MessageKind::Ticks) {
        message.tick = data.ConsumeIntegralInRange<std::uint32_t>(0, 1u << 30);
        message.tickCount = data.ConsumeIntegralInRange<std::uint32_t>(1, MaxTicksPerMessage);
        std::uint32_t offset = 0;
        const auto count = data.ConsumeIntegralInRange<std::uint32_t>(0, MaxInputsPerMessage);
        for (std::uint32_t i = 0; i < count && data.remaining_bytes() > 0; ++i) {
            offset = data.ConsumeIntegralInRange<std::uint32_t>(offset, message.tickCount - 1);
            message.inputs.push_back(TickInput{message.tick + offset, anInput(data)});
        }
    }
    return message;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (auto read : {readClientMessage, readServerMessage}) {
        Message message;
        std::string why;
        if (read(bytes, message, why) && writeMessage(message) != bytes) {
            std::abort();
        }
    }
    FuzzedDataProvider fields(data, size);
    const auto& pick = kinds[fields.ConsumeIntegralInRange<std::size_t>(0, std::size(kinds) - 1)];
    const std::string written = writeMessage(aMessage(fields, pick.kind));
    Message read;
    std::string why;
    if (!(pick.fromClient ? readClientMessage : readServerMessage)(written, read, why) ||
        writeMessage(read) != written) {
        std::abort();
    }
    return 0;
}
