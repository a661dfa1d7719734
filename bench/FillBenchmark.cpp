#define GL_GLEXT_PROTOTYPES
#include <GL/freeglut.h>
#include <GL/glext.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include "app/Backdrop.h"
#include "app/Engine.h"
#include "render/Camera.h"
#include "render/SpriteQuad.h"
#include "tests/support/ScriptedGame.h"
#include "tests/support/TestSupport.h"

// The busy street drawn natively (Mesa's llvmpipe under Xvfb) into a frame
// of the given width at 4:3, with the pictures scissored to what they show
// and whole, side by side: frames a second, the screens of fragments a frame
// shades (text included), and how many pixels of the frame differ between
// the two. The CPU column is the process's, the renderer's threads
// included: the figure a busy machine changes least. Scissored runs first: the
// whole run's street, the process's second, shares textures among copies of
// a file (the texture budget), if anything a help to it.

namespace {

// All three shops buy what shows on the street: ZEDOD AZU a big sign, a
// sale and free hats, the keyboard shops a medium sign, a sale, a window
// display and a handout guy; the shoppers then walk for 6 s.
const char* const BusyStreet[] = {
    "street 20240611",
    "click",
    "click",
    "hover signs",
    "frames 50 20ms",
    "point BIG SIGN BUTTON",
    "down",
    "frames 1 120ms 20ms",
    "up",
    "hover sales",
    "frames 50 20ms",
    "point 20% BUTTON",
    "down",
    "frames 1 120ms 20ms",
    "up",
    "hover promotions",
    "frames 50 20ms",
    "point FREE HAT BUTTON",
    "down",
    "frames 1 120ms 20ms",
    "up",
    "type sqzxkinm",
    "frames 300 20ms",
    "frame busy",
};

// A framebuffer of its own with colour and depth, bound while it lives.
struct Frame {
    GLsizei width;
    GLsizei height;
    GLuint framebuffer = 0;
    GLuint buffers[2] = {0, 0};

    Frame(GLsizei frameWidth, GLsizei frameHeight) : width(frameWidth), height(frameHeight) {
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glGenRenderbuffers(2, buffers);
        const GLenum formats[2] = {GL_RGBA8, GL_DEPTH_COMPONENT24};
        const GLenum attachments[2] = {GL_COLOR_ATTACHMENT0, GL_DEPTH_ATTACHMENT};
        for (int i = 0; i < 2; ++i) {
            glBindRenderbuffer(GL_RENDERBUFFER, buffers[i]);
            glRenderbufferStorage(GL_RENDERBUFFER, formats[i], width, height);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachments[i], GL_RENDERBUFFER, buffers[i]);
        }
        Camera::instance().reshape(width, height);
    }
    ~Frame() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteRenderbuffers(2, buffers);
        glDeleteFramebuffers(1, &framebuffer);
        Camera::instance().reshape(1024, 768);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

    // The frame's pixels, RGB rows.
    std::vector<unsigned char> pixels() const {
        std::vector<unsigned char> rgb(static_cast<size_t>(width * height * 3));
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
        return rgb;
    }
};

// Builds every picture, scissored or whole, and plays the busy street to its mark.
void playBusyStreet(bool scissored) {
    scissorSpriteQuads(scissored);
    ScopedDirectory data(dataPath());
    Backdrop& backdrop = Backdrop::instance();
    backdrop.backgroundList = backdrop.titleList = backdrop.instructionsList = -1;
    Engine::instance().initialise();
    std::vector<ScriptStep> steps;
    for (const char* line : BusyStreet) {
        steps.push_back(scriptStep(line));
    }
    ScriptedGame game;
    game.play(steps);
}

// Screens of fragments one frame of the street fills: the fragments GL
// shades (its count of fragment shader invocations, which the alpha test
// then keeps or discards).
double screensFilled(const Frame& frame) {
    GLuint query = 0;
    glGenQueries(1, &query);
    glBeginQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB, query);
    Engine::instance().drawScreen();
    glEndQuery(GL_FRAGMENT_SHADER_INVOCATIONS_ARB);
    GLuint64 fragments = 0;
    glGetQueryObjectui64v(query, GL_QUERY_RESULT, &fragments);
    glDeleteQueries(1, &query);
    return static_cast<double>(fragments) / (static_cast<double>(frame.width) * frame.height);
}

// The scissored frame of each width, for the whole one to be compared with.
std::map<GLsizei, std::vector<unsigned char>> scissoredFrames;

// How two frames differ: pixels that differ at all, and the largest
// difference of a channel.
std::pair<long, int> difference(const std::vector<unsigned char>& a,
                                const std::vector<unsigned char>& b) {
    long differing = 0;
    int largest = 0;
    for (size_t i = 0; i < a.size(); i += 3) {
        int pixel = 0;
        for (size_t c = i; c < i + 3; ++c) {
            pixel = std::max(pixel, std::abs(a[c] - b[c]));
        }
        differing += pixel > 0;
        largest = std::max(largest, pixel);
    }
    return {differing, largest};
}

void BM_StreetFill(benchmark::State& state) {
    ensureGlContext();
    const bool scissored = state.range(1) != 0;
    static int streetScissored = -1;
    if (streetScissored != state.range(1)) {
        playBusyStreet(scissored);
        streetScissored = static_cast<int>(state.range(1));
    }
    const Frame frame(static_cast<GLsizei>(state.range(0)),
                      static_cast<GLsizei>(state.range(0) * 3 / 4));
    state.counters["screens"] = screensFilled(frame);
    for (auto _ : state) {
        Engine::instance().drawScreen();
        glFinish();
    }
    // a rate over the real time (UseRealTime)
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    const std::vector<unsigned char> pixels = frame.pixels();
    if (scissored) {
        scissoredFrames[frame.width] = pixels;
    } else {
        const auto [differing, largest] = difference(scissoredFrames[frame.width], pixels);
        state.counters["pixels_differing"] = static_cast<double>(differing);
        state.counters["largest_difference"] = largest;
    }
}
// Width, scissored: each street built once (see the top).
BENCHMARK(BM_StreetFill)
    ->Args({1024, 1})
    ->Args({1920, 1})
    ->Args({1920, 0})
    ->Args({1024, 0})
    ->Iterations(100)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
