#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "tests/support/GameWindow.h"

// The web build in headless Chromium (the unzipped site in
// PELLUCANE_PLAY_PAGE; skipped without): how soon the title is drawn after
// the page opens, how many frames a second the page draws over 10 s while
// the street is busy, as it is and with the game's pixels cut away, and how
// sharp its text is, on a screen of device pixel ratio 1 and 2.
// tests/web/browser-check.sh --benchmark builds the site and runs it.

namespace {

// A script that counts, over 10 s in the page, the browser's animation
// frames and the game's own (the frames in which it drew), and times the
// game's frame callbacks (its code and its GL calls, on the page's thread;
// the drawing itself goes on in the browser's GPU process). It answers
// "[browser fps, game fps, game ms a frame]". Scissored, every pixel the
// game draws but a 16 by 16 corner is cut away: what is left of the frame's
// time is the browser's own (compositing, presenting) and the game's calls.
std::string countFrames(bool scissored) {
    return R"((scissored => new Promise(done => {
  const gl = Module.ctx, kept = {}, raf = window.requestAnimationFrame;
  let drew = false, game = 0, browser = 0, busy = 0, counting = true;
  for (const name of ['drawArrays', 'drawElements']) {
    kept[name] = gl[name];
    gl[name] = (...parts) => {
      drew = true;
      if (scissored) { gl.enable(gl.SCISSOR_TEST); gl.scissor(0, 0, 16, 16); }
      kept[name].apply(gl, parts);
      if (scissored) gl.disable(gl.SCISSOR_TEST);
    };
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
})))" + std::string(scissored ? "(true)" : "(false)");
}

// Runs the count in the page and keeps its figures as the state's counters,
// named with the suffix.
void count(GameWindow& game, bool scissored, benchmark::State& state, const std::string& suffix) {
    const std::string figures = game.evaluate(countFrames(scissored));
    std::istringstream read(figures.substr(1));
    char comma;
    double browserFps, gameFps, gameMs;
    read >> browserFps >> comma >> gameFps >> comma >> gameMs;
    state.counters["browser_fps" + suffix] = browserFps;
    state.counters["game_fps" + suffix] = gameFps;
    state.counters["game_ms_a_frame" + suffix] = gameMs;
}

// A script that reads, just after the game's next frame, the canvas's
// pixels over the HOTBEATS status box (game x -48 to -22, y 0.5 to 8: white
// text on black) and answers how steep its luminance steps between
// neighbouring pixels are, across and down: their squares' sum over their
// sum, the levels an edge crosses in one pixel. Text drawn at the screen's
// pixels steps as steeply at every device pixel ratio; text magnified from
// glyphs rasterised smaller steps less steeply, by about the magnification.
const char* const TextSteps = R"(new Promise(done => requestAnimationFrame(() => {
  const gl = Module.ctx, w = gl.drawingBufferWidth, h = gl.drawingBufferHeight;
  const x0 = Math.round(w * 0.02), y0 = Math.round(h * 0.5 / 75);
  const cw = Math.round(w * 0.28) - x0, ch = Math.round(h * 8 / 75) - y0;
  const px = new Uint8Array(cw * ch * 4);
  gl.readPixels(x0, y0, cw, ch, gl.RGBA, gl.UNSIGNED_BYTE, px);
  const lum = i => px[i] * 0.299 + px[i + 1] * 0.587 + px[i + 2] * 0.114;
  let steps = 0, squares = 0;
  for (let y = 0; y + 1 < ch; ++y) {
    for (let x = 0; x + 1 < cw; ++x) {
      const i = (y * cw + x) * 4;
      for (const step of [lum(i) - lum(i + 4), lum(i) - lum(i + cw * 4)]) {
        steps += Math.abs(step);
        squares += step * step;
      }
    }
  }
  done(squares / steps);
})))";

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
    GameCommand command = gameCommand();
    command.view.pixelRatio = static_cast<int>(state.range(0));
    for (auto _ : state) {
        VirtualDisplay display;
        const auto game = startGame(display, command);
        if (!game->showsRoughly("title")) {
            state.SkipWithError(("no title: " + game->errors()).c_str());
            return;
        }
        // ms from the page's opening, when the title was first seen drawn
        state.counters["title_s"] = std::stod(game->evaluate("performance.now()")) / 1000;
        game->click(1);
        game->showsRoughly("instructions");
        game->click(1);
        if (!busyStreet(*game)) {
            state.SkipWithError(("the shops did not buy: " + game->errors()).c_str());
            return;
        }
        state.counters["text_step"] = std::stod(game->evaluate(TextSteps));
        count(*game, false, state, "");
        count(*game, true, state, "_scissored");
    }
}
// on a screen of one device pixel a CSS pixel, and of two (the canvas then
// draws four times the pixels)
BENCHMARK(BM_PageInChromium)->Arg(1)->Arg(2)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
