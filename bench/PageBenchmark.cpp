#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "tests/support/GameWindow.h"

// The web build in headless Chromium (the unzipped site in
// PELLUCANE_PLAY_PAGE; skipped without): how soon the title is drawn after
// the page opens, and how many frames a second the page draws over 10 s
// while the street is busy. tests/web/browser-check.sh --benchmark builds
// the site and runs it.

namespace {

// Counts, over 10 s in the page, the browser's animation frames and the
// game's own (the frames in which it drew), and times the game's frame
// callbacks (its code and its GL calls, on the page's thread; the drawing
// itself goes on in the browser's GPU process). Answers frames a second,
// both, and the game's milliseconds a frame.
const char* CountFrames = R"(new Promise(done => {
  const gl = Module.ctx, kept = {}, raf = window.requestAnimationFrame;
  let drew = false, game = 0, browser = 0, busy = 0, counting = true;
  for (const name of ['drawArrays', 'drawElements']) {
    kept[name] = gl[name];
    gl[name] = (...parts) => { drew = true; return kept[name].apply(gl, parts); };
  }
  window.requestAnimationFrame = f => raf(t => {
    const start = performance.now(); f(t); busy += performance.now() - start; });
  const tick = () => {
    browser += 1; game += drew; drew = false;
    if (counting) raf(tick);
  };
  raf(tick);
  setTimeout(() => { counting = false; Object.assign(gl, kept);
                     window.requestAnimationFrame = raf;
                     done(JSON.stringify([browser / 10, game / 10, busy / game])); }, 10000);
}))";

// Both keyboard shops buy what shows on the street and their starting
// money pays for: a medium sign, a sale, a window display, a handout guy.
bool busyStreet(GameWindow& game) {
    for (const char* key : {"s", "q", "z", "x", "k", "i", "n", "m"}) {
        game.key(key);
    }
    return game.waitForLines(8);
}

void BM_PageInChromium(benchmark::State& state) {
    const char* site = std::getenv("PELLUCANE_PLAY_PAGE");
    if (site == nullptr) {
        state.SkipWithError("set PELLUCANE_PLAY_PAGE to an unzipped web build");
        return;
    }
    for (auto _ : state) {
        VirtualDisplay display;
        const auto game = startGame(display);
        game->titleScreen();
        // ms from the page's opening, when the title was first seen drawn
        state.counters["title_s"] = std::stod(game->evaluate("performance.now()")) / 1000;
        game->click(1);
        game->showsFrame("instructions");
        game->click(1);
        if (!busyStreet(*game)) {
            state.SkipWithError(("the shops did not buy: " + game->errors()).c_str());
            return;
        }
        const std::string rates = game->evaluate(CountFrames);
        std::istringstream figures(rates.substr(1));
        char comma;
        double browserFps, gameFps, gameMs;
        figures >> browserFps >> comma >> gameFps >> comma >> gameMs;
        state.counters["browser_fps"] = browserFps;
        state.counters["game_fps"] = gameFps;
        state.counters["game_ms_a_frame"] = gameMs;
    }
}
BENCHMARK(BM_PageInChromium)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
