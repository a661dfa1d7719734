// libFuzzer harness: any bytes as a font file through the font loader's
// rasterising path, characters 0 to 127 at the game's two sizes (no GL).
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "render/GlyphRasteriser.h"

namespace {

// the sizes the game loads its font at, points
constexpr unsigned int Sizes[] = {30, 100};
// characters the game rasterises: codes 0 to 127
constexpr unsigned long GlyphCount = 128;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (unsigned int points : Sizes) {
        try {
            GlyphRasteriser rasteriser(data, size, points);
            for (unsigned long code = 0; code < GlyphCount; ++code) {
                rasteriser.rasterise(code, GlyphRasteriser::MaxSide);
            }
        } catch (const std::runtime_error&) {
            // a refused font is a clean outcome
        }
    }
    return 0;
}
