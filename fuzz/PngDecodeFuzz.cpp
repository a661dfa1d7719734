// libFuzzer harness: any bytes as a PNG file through the picture decoder, its
// power-of-two rescale and the mipmap levels, as the game makes them (no GL).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "render/PngDecode.h"

namespace {

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
    std::vector<PngImage> levels;
    decodeTextureLevels(scratchPath().c_str(), PictureCap, levels);
    return 0;
}
