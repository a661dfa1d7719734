#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <memory>

#include "app/Backdrop.h"
#include "market/Market.h"
#include "tests/support/TestSupport.h"

namespace {

// Larger than any list or texture name one load of the game makes.
constexpr GLuint NameRange = 100000;

// Deletes every list and texture the previous loads made.
void deleteGlNames() {
    glDeleteLists(1, static_cast<GLsizei>(NameRange));
    for (GLuint name = 1; name < NameRange; name += 1000) {
        GLuint names[1000];
        for (GLuint i = 0; i < 1000; ++i) {
            names[i] = name + i;
        }
        glDeleteTextures(1000, names);
    }
}

} // namespace

// Every picture and font load of the game's start-up: the three screens, then
// a fresh street (shops, 69 customers, clock, sidebar) as Engine::initialise
// loads them; GL names are freed between rounds, outside the timing.
static void BM_LoadAllPictures(benchmark::State& state) {
    ensureGlContext();
    Backdrop& backdrop = Backdrop::instance();
    backdrop.setRect(75.0, 50.0, 0.0, -50.0);
    ScopedDirectory data(dataPath());
    for (auto _ : state) {
        backdrop.backgroundList = backdrop.titleList = backdrop.instructionsList = -1;
        auto street = std::make_unique<Market>();
        backdrop.loadImages();
        street->initialise();
        glFinish();
        state.PauseTiming();
        street.reset();
        deleteGlNames();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LoadAllPictures)->Unit(benchmark::kMillisecond)->MinTime(3.0);
