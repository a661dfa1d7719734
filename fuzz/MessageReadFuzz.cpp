// libFuzzer harness: any bytes as a message from a client and as one from a
// server, through the readers the server and the game use. A message either
// reader takes must be written back to the same bytes: reader and writer
// agree on every field.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/Message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (auto read : {readClientMessage, readServerMessage}) {
        Message message;
        std::string why;
        if (read(bytes, message, why) && writeMessage(message) != bytes) {
            std::abort();
        }
    }
    return 0;
}
