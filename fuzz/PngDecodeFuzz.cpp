// libFuzzer harness: any bytes as a PNG file through the picture decoder and
// the power-of-two rescale that follows it in the game (no GL).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "render/PngBind.h"

namespace {

// largest texture side the rescale may use, pixels (llvmpipe's limit)
constexpr int MaxTextureSize = 16384;

// This process's scratch file: the decoder reads from a path.
const std::string& scratchPath() {
    static const std::string path = "/tmp/pellucane-fuzz-png-" + std::to_string(getpid()) + ".png";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(scratchPath().c_str(), "wb");
    if (file == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    PngImage image;
    if (decodePng(scratchPath().c_str(), image)) {
        toPowerOfTwo(image, MaxTextureSize);
    }
    return 0;
}
