// The real game in a window of its own, driven as a player would drive it.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <tuple>

#include "tests/support/GameWindow.h"
#include "tests/support/Pictures.h"

namespace {

// Centres of a few places on the street, game units.
constexpr float ShopX[3] = {0.0f, -30.0f, 30.0f};
// y of the roof edge, where the brand sign hangs
constexpr float RoofY = 50.0f;
// Lowest y above the roof that a shop's rising sale text never reaches
// (it vanishes at y 50, with letters 1.7 units tall).
constexpr float AboveSaleTexts = 52.0f;

int countOf(const std::vector<std::string>& lines, const std::string& text) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

bool isBannerGreen(const Rgb& p) { return p.g > 200 && p.r < 60 && p.b < 60; }

bool isRed(const Rgb& p) { return p.r > 200 && p.g < 60 && p.b < 60; }

// The price figure at the end of a shop's price line, clear of the walkers above it.
double priceLineDifference(const PngImage& shot, int a, int b) {
    double total = 0;
    int samples = 0;
    for (float dy = 4.4f; dy <= 6.2f; dy += gameUnitsPerPixel()) {
        for (float dx = 6.0f; dx <= 14.0f; dx += gameUnitsPerPixel()) {
            Rgb p = shotPixel(shot, ShopX[a] + dx, dy);
            Rgb q = shotPixel(shot, ShopX[b] + dx, dy);
            total += std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b);
            samples += 3;
        }
    }
    return total / samples;
}

// Whether a region of the window comes to differ from a shot within seconds.
bool changes(GameWindow& game, const PngImage& from, float x0, float y0, float x1, float y1) {
    return game.waitFor([&] { return difference(from, game.screenshot(), x0, y0, x1, y1) > 10.0; });
}

// The shot after a press that turns the page, once the new page is up.
PngImage nextScreen(GameWindow& game, const PngImage& from) {
    PngImage shot;
    EXPECT_TRUE(game.waitFor([&] {
        shot = game.screenshot();
        return difference(from, shot, -50, 0, 50, 75) > 10.0;
    })) << "the press showed no new screen";
    return shot;
}

// Starts play from the title screen with two presses, and waits for the street.
PngImage startPlay(GameWindow& game) {
    game.titleScreen();
    game.click(1);
    const PngImage instructions = game.showsFrame("instructions");
    game.click(3);
    return nextScreen(game, instructions);
}

// The loudest of the first samples of a sound file of SDL's disk device,
// once it holds that many (16-bit, native order); -1 until then.
int loudestOfFirst(const std::string& path, size_t samples) {
    std::ifstream in(path, std::ios::binary);
    std::vector<int16_t> sound(samples);
    in.read(reinterpret_cast<char*>(sound.data()),
            static_cast<std::streamsize>(samples * sizeof(int16_t)));
    if (static_cast<size_t>(in.gcount()) < samples * sizeof(int16_t)) {
        return -1;
    }
    int loudest = 0;
    for (const int16_t sample : sound) {
        loudest = std::max(loudest, std::abs(static_cast<int>(sample)));
    }
    return loudest;
}

// Sends a key that shop 1 answers with a trace line and waits for the line:
// the game has then handled every event sent before it, in order.
void barrier(GameWindow& game, const std::string& keyName = "v",
             const std::string& line = "PRODUCT BUTTON") {
    const int before = countOf(game.traceLines(), line);
    game.key(keyName);
    ASSERT_TRUE(game.waitFor([&] { return countOf(game.traceLines(), line) > before; }))
        << "the game did not answer " << keyName;
}

// Waits until the street has drawn two new frames since the call: the sun
// flickers every 300 ms, so the second change was drawn by a frame that began
// after the call, and the game had handled every event sent before it.
void twoNewFrames(GameWindow& game) {
    for (int frame = 0; frame < 2; ++frame) {
        const PngImage before = game.screenshot();
        ASSERT_TRUE(game.waitFor([&] {
            return difference(before, game.screenshot(), 10, 50, 30, 70) > 1.0;
        })) << "the street stopped drawing";
    }
}

// Whether a region of the window stops changing within the answer time
// (two new frames alike in it); the last shot goes to shot.
bool settles(GameWindow& game, PngImage& shot, float x0, float y0, float x1, float y1) {
    return game.waitFor([&] {
        shot = game.screenshot();
        twoNewFrames(game);
        return difference(shot, game.screenshot(), x0, y0, x1, y1) < 1.0;
    });
}

// Rests the cursor on the sale band, where the strip of sale buttons slides
// out from the street as closed shows it, and waits until it stands still.
PngImage openSaleStrip(GameWindow& game, const PngImage& closed) {
    game.moveToGame(-40, 63.5f);
    EXPECT_TRUE(changes(game, closed, -35, 60, 0, 67)) << "the sale strip did not slide out";
    PngImage open;
    EXPECT_TRUE(settles(game, open, -35, 60, 0, 67)) << "the sale strip never came to rest";
    return open;
}

// Milliseconds since start on the test's own clock.
double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Plays a window that has come to the given size: the title, the
// instructions and the street show whole, a click on the sidebar's stock
// button buys product, and one on the bar beside the street (if any) nothing.
void playsWholeAt(GameWindow& game, std::pair<int, int> size) {
    ASSERT_TRUE(game.waitFor([&] { return game.size() == size; }));
    ASSERT_TRUE(game.showsRoughly("title"));
    game.click(1);
    ASSERT_TRUE(game.showsRoughly("instructions"));
    const PngImage instructions = game.screenshot();
    game.click(1);
    // the street, its sidebar where the golden street has it
    const PngImage street = nextScreen(game, instructions);
    EXPECT_LT(
        difference(readPng(goldenFramePath("signs-big-medium-small"), 3), street, -50, 25, -43, 58),
        6.0);
    game.moveToGame(-46, 32);
    game.click(1);
    EXPECT_TRUE(game.waitForLines(1, "^PRODUCT BUTTON$"));
    if (size.first * 3 > size.second * 4) {
        game.moveToGame(-55, 32);
        game.click(1);
    }
    barrier(game, "0", "30% BUTTON");
    EXPECT_EQ(game.countLines(), 2);
}

} // namespace

TEST(PlayThrough, TitleInstructionsAndStreetFollowTwoPresses) {
    VirtualDisplay display;
    const std::string sound = scratchPath("sound.raw");
    const GameCommand command = gameCommand();
    const auto game = startGame(display, command, scratchPath(""), sound);
    // The title as the tests draw it, whole, with the music playing: its
    // first two seconds of 16-bit stereo at 44100 Hz have loud samples.
    game->titleScreen();
    if (command.page.empty()) {
        int loudest = -1;
        ASSERT_TRUE(game->waitFor([&] {
            return (loudest = loudestOfFirst(sound, 2 * 44100 * 2)) >= 0;
        })) << "no sound came";
        EXPECT_GT(loudest, 1000) << "the music is silent";
    }

    // Any button's press turns the page; in the page a finger's tap does, and
    // the first starts the sound: a page may play sound only from then on.
    const bool page = !command.page.empty();
    const auto press = [&](int button) { page ? game->tapGame(0, 37.5f) : game->click(button); };
    press(2);
    if (page) {
        EXPECT_TRUE(game->waitFor([&] {
            return game->evaluate("Module.SDL2.audioContext.state") == "running";
        })) << "taps alone did not start the page's sound";
    }
    const PngImage instructions = game->showsFrame("instructions");
    press(1);
    PngImage street = nextScreen(*game, instructions);

    // The three shops stand alike on their lots: their price lines match.
    EXPECT_LT(priceLineDifference(street, 1, 0), 8.0);
    EXPECT_LT(priceLineDifference(street, 2, 0), 8.0);
    // Neither press reached the sidebar: no command was carried out.
    barrier(*game);
    EXPECT_EQ(game->traceLines(), std::vector<std::string>{"PRODUCT BUTTON"});
    EXPECT_TRUE(game->running());
    if (page) {
        // A tap on the sign band leaves the cursor there: the strip slides
        // out and stays; a tap on one of its signs fires it once.
        game->tapGame(-40, 71.5f);
        ASSERT_TRUE(changes(*game, street, -35, 68, 0, 75)) << "the sign strip did not slide out";
        ASSERT_TRUE(settles(*game, street, -35, 68, 0, 75)) << "the sign strip never came to rest";
        game->tapGame(-31, 71.5f);
        EXPECT_TRUE(game->waitForLines(1, "SIGN BUTTON")) << "the tap on a sign did nothing";
        twoNewFrames(*game);
        EXPECT_EQ(game->countLines(), 2) << "the tap fired more than once";
    }
}

TEST(PlayThrough, KeysOnTheTitleScreenAlreadyChangeTheKeyboardShops) {
    VirtualDisplay display;
    const auto game = startGame(display);
    game->key("a");  // shop 1: big sign
    game->key("s");  // shop 1: medium sign instead, money 200
    game->key("8");  // shop 2: 10% sale
    game->key("0");  // shop 2: 30% sale instead, price 28
    game->key("A");  // upper case: nothing
    game->key("y");  // not in the table: nothing
    game->key("F1"); // special key: nothing
    barrier(*game);
    EXPECT_EQ(game->traceLines(),
              (std::vector<std::string>{"BIG SIGN BUTTON", "MEDSIGN BUTTON", "10% BUTTON",
                                        "30% BUTTON", "PRODUCT BUTTON"}));

    PngImage street = startPlay(*game);
    // Shop 2's price line reads 28 against shop 0's 40; shop 1 kept its price.
    EXPECT_GT(priceLineDifference(street, 2, 0), 8.0);
    EXPECT_LT(priceLineDifference(street, 1, 0), 8.0);
}

TEST(PlayThrough, AHeldKeyActsOnceHoweverLateTheGameHandlesIt) {
    VirtualDisplay display;
    const auto game = startGame(display);
    startPlay(*game);
    // Shop 2's handout guy, with the key held on the server's keyboard while
    // the game stands still: the server repeats it all the while, and the
    // game meets every repeat only after the key is up again.
    game->keyDown("m");
    ASSERT_TRUE(game->waitFor([&] { return countOf(game->traceLines(), "HANDOUT BUTTON") == 1; }));
    game->pause();
    waitSeconds(1.5); // the key stays down: the server's repeats start after 660 ms
    game->keyUp("m");
    game->resume();
    barrier(*game);
    EXPECT_EQ(countOf(game->traceLines(), "HANDOUT BUTTON"), 1);

    // Two quick taps while the game stands still, the key down again by the
    // time the game meets them: two presses, not a repeat.
    barrier(*game);
    game->pause();
    game->keyDown("m");
    game->keyUp("m");
    game->keyDown("m");
    game->resume();
    barrier(*game);
    game->keyUp("m");
    EXPECT_EQ(countOf(game->traceLines(), "HANDOUT BUTTON"), 3) << "a tap met late was lost";
}

TEST(PlayThrough, AKeyLetGoElsewhereActsOnItsNextPress) {
    VirtualDisplay display;
    const auto game = startGame(display);
    startPlay(*game);
    // A key let go while another window had the keyboard never sends the
    // game its release: the next real press of it still acts.
    game->keyDown("m");
    ASSERT_TRUE(game->waitFor([&] { return countOf(game->traceLines(), "HANDOUT BUTTON") == 1; }));
    game->loseFocus();
    game->keyUp("m");
    twoNewFrames(*game);
    game->takeFocus();
    game->keyDown("m");
    game->keyUp("m");
    EXPECT_TRUE(game->waitFor([&] { return countOf(game->traceLines(), "HANDOUT BUTTON") == 2; }))
        << "the press after a release elsewhere did nothing";
}

TEST(PlayThrough, KeyboardShopsPutUpSignsAndSales) {
    VirtualDisplay display;
    const auto game = startGame(display);
    PngImage before = startPlay(*game);

    game->key("a");
    ASSERT_TRUE(game->waitFor([&] { return game->traceLines().size() == 1; }));
    EXPECT_EQ(game->traceLines().back(), "BIG SIGN BUTTON");
    game->key("s");
    ASSERT_TRUE(game->waitFor([&] { return game->traceLines().size() == 2; }));
    EXPECT_EQ(game->traceLines().back(), "MEDSIGN BUTTON");
    game->key("8");
    game->key("0");
    ASSERT_TRUE(game->waitFor([&] { return game->traceLines().size() == 4; }));
    EXPECT_EQ(game->traceLines()[2], "10% BUTTON");
    EXPECT_EQ(game->traceLines()[3], "30% BUTTON");
    game->key("A");
    game->key("shift+j");
    game->key("Return");
    // Shop 1's medium sign hangs on its roof; shop 2's sale balloon grows above its own.
    EXPECT_TRUE(changes(*game, before, ShopX[1] - 4, AboveSaleTexts, ShopX[1] + 4, RoofY + 3));
    EXPECT_TRUE(changes(*game, before, ShopX[2] - 5, AboveSaleTexts, ShopX[2] + 5, RoofY + 10));
    // Shop 2's 30% sale turns off with the key that turned it on: the
    // barrier below follows the keys outside the table, which wrote nothing.
    barrier(*game, "0", "30% BUTTON");
    EXPECT_EQ(game->traceLines().size(), 5u) << "keys outside the table wrote something";
    // Shop 0 bought nothing: its roof is as it was.
    PngImage after = game->screenshot();
    EXPECT_LT(difference(before, after, ShopX[0] - 5, AboveSaleTexts, ShopX[0] + 5, RoofY + 10),
              3.0);
}

TEST(PlayThrough, SidebarOpensUnderTheCursorAndRepeatsHeldButtons) {
    VirtualDisplay display;
    const auto game = startGame(display);
    startPlay(*game);
    // Away from every band, nothing is out.
    game->moveToGame(30, 30);
    twoNewFrames(*game);
    PngImage closed = game->screenshot();

    // Resting on the sale band slides the strip of sale buttons out, until it stands still.
    PngImage open;
    ASSERT_NO_FATAL_FAILURE(open = openSaleStrip(*game, closed));

    // Every click fires its button once: quick ones, pressed and let go
    // within a frame as a touchpad's tap is, and a slow one. (Slow frames let
    // a strip overshoot its end by a step, up to 8.4 units, so the button
    // under the cursor may be its neighbour: any sale counts.)
    auto presses = [&] { return game->countLines("% BUTTON"); };
    // A held button repeats after half a second, at most once every 100 ms:
    // how many fires a press held since start allows.
    auto mostFiresSince = [&](std::chrono::steady_clock::time_point start) {
        return 1 + std::max(0, static_cast<int>((millisecondsSince(start) - 500.0) / 100.0) + 1);
    };
    game->moveToGame(-31, 63.5f);
    for (int click = 0; click < 3; ++click) {
        game->click();
    }
    EXPECT_TRUE(game->waitFor([&] { return presses() >= 3; })) << "a quick click was lost";
    auto pressed = std::chrono::steady_clock::now();
    game->press();
    waitSeconds(0.25); // a slow click, as a new player's
    game->release();
    const int mostSlow = mostFiresSince(pressed);
    ASSERT_TRUE(game->waitFor([&] { return presses() >= 4; })) << "a slow click was lost";
    twoNewFrames(*game);
    EXPECT_LE(presses(), 3 + mostSlow) << "a click fired twice";

    // Held down, it fires again and again.
    const int afterClicks = presses();
    pressed = std::chrono::steady_clock::now();
    game->press();
    ASSERT_TRUE(game->waitFor([&] { return presses() >= afterClicks + 3; }))
        << "a held button did not repeat";
    game->release();
    const int mostHeld = mostFiresSince(pressed);
    twoNewFrames(*game);
    const int afterHold = presses();
    EXPECT_LE(afterHold - afterClicks, mostHeld);
    twoNewFrames(*game);
    EXPECT_EQ(presses(), afterHold) << "the released button went on firing";
    EXPECT_EQ(game->countLines(), afterHold) << "another button fired";

    // Leaving the band slides it back.
    game->moveToGame(30, 30);
    EXPECT_TRUE(changes(*game, open, -35, 60, 0, 67)) << "the sale strip did not slide back";
}

TEST(PlayThrough, BankruptingBothKeyboardShopsCrownsZedodAzu) {
    VirtualDisplay display;
    const auto game = startGame(display);
    game->titleScreen();
    game->click(1);
    game->showsFrame("instructions");
    // On the instructions screen both keyboard shops give away hats they cannot pay for:
    // on, off, on again takes 1200 from each.
    for (const char* keyName : {"c", "c", "c", "comma", "comma", "comma"}) {
        game->key(keyName);
    }
    ASSERT_TRUE(game->waitFor([&] { return game->traceLines().size() == 6; }));
    EXPECT_EQ(countOf(game->traceLines(), "FREE HAT BUTTON"), 6);

    game->click(1);
    ASSERT_TRUE(game->waitFor([&] {
        return countPixels(game->screenshot(), -20, 39, 45, 48, isBannerGreen) > 2000;
    })) << "no green banner";
    PngImage won = game->screenshot();
    // The bankrupt shops print their price line in red.
    EXPECT_GT(countPixels(won, ShopX[1] - 11.5f, 4.4f, ShopX[1] + 13, 6.2f, isRed), 50);

    // Bankrupt shops take no more orders.
    game->key("a");
    game->key("j");
    game->key("v");
    game->key("b");
    twoNewFrames(*game);
    EXPECT_EQ(game->traceLines().size(), 6u);

    // The clock runs on after the game is decided.
    EXPECT_TRUE(game->waitFor([&] {
        return difference(won, game->screenshot(), 29, 69, 48, 73) > 3.0;
    })) << "the clock stopped";
    EXPECT_GT(countPixels(game->screenshot(), -20, 39, 45, 48, isBannerGreen), 2000);
}

TEST(PlayThrough, NoWindowSizeEndsTheGame) {
    VirtualDisplay display;
    const auto game = startGame(display);
    startPlay(*game);
    // 1 pixel wide asks for 3 * 1 / 4 = 0 rows unless the reshape takes care
    const std::pair<int, int> sizes[] = {{1, 768}, {1, 1}, {3, 3}, {1024, 768}};
    for (const auto& [width, height] : sizes) {
        game->resize(width, height);
        // The game asks for a 4:3 window of the same width, at least a pixel
        // high; the next resize waits for that answer, which would otherwise
        // land after it.
        const std::pair<int, int> settled{width, std::max(3 * width / 4, 1)};
        ASSERT_TRUE(game->waitFor([&] { return game->size() == settled || !game->running(); }))
            << width << " x " << height << " stays " << game->size().first << " x "
            << game->size().second;
        ASSERT_TRUE(game->running()) << width << " x " << height << ": " << game->errors();
    }
    // An X error from a bad size would have ended it by now.
    twoNewFrames(*game);
    EXPECT_TRUE(game->running()) << game->errors();
}

TEST(PlayThrough, AWindowDraggedLargerShowsTheWholeGameAndClicksLandWhereAimed) {
    VirtualDisplay display(2560, 1440);
    const auto game = startGame(display);
    game->resize(1600, 1200);
    playsWholeAt(*game, {1600, 1200});
}

TEST(PlayThrough, AWindowHeldWiderThanFourByThreeShowsTheWholeGameLetterboxed) {
    // a window manager holds the window at the whole 1920 by 1080 screen,
    // which the game cannot ask away
    VirtualDisplay display(1920, 1080, true);
    const auto game = startGame(display);
    playsWholeAt(*game, {1920, 1080});
}

TEST(PlayThrough, InterruptAndTerminateEndTheGame) {
    VirtualDisplay display;
    for (int signal : {SIGINT, SIGTERM}) {
        const auto game = startGame(display);
        EXPECT_EQ(game->end(signal), "ran") << "signal " << signal;
    }
}

// The web build's page itself (skipped without one): the window's shape and
// the screen's density it shows the game in, the keys it keeps from the
// browser, and a browser without WebGL.
class Page : public ::testing::Test {
  protected:
    void SetUp() override {
        if (command.page.empty()) {
            GTEST_SKIP() << "the web build's page alone";
        }
    }
    GameCommand command = gameCommand();
    VirtualDisplay display;
};

TEST_F(Page, DrawsEveryPixelOfAnyWindowAt4By3AndPlays) {
    // A window wider than 4:3, and a screen of twice the density: the
    // canvas's place (left, top, width, height), and its pixels and the
    // game's view (x, y, width, height) on them.
    const std::tuple<PageView, std::string, std::string> views[] = {
        {{1280, 600, 1, false, true, false, ""}, "240,0,800,600", "800,600,0,0,800,600"},
        {{1024, 768, 2, false, true, false, ""}, "0,0,1024,768", "2048,1536,0,0,2048,1536"}};
    for (const auto& [view, place, pixels] : views) {
        SCOPED_TRACE(place + " at " + std::to_string(view.pixelRatio));
        command.view = view;
        const auto game = startGame(display, command);
        ASSERT_TRUE(game->showsRoughly("title"));
        EXPECT_EQ(game->evaluate("(({left, top, width, height}) => [left, top, width, height])("
                                 "Module.canvas.getBoundingClientRect()).join()"),
                  place);
        EXPECT_EQ(game->evaluate("[Module.canvas.width, Module.canvas.height, "
                                 "...Module.ctx.getParameter(Module.ctx.VIEWPORT)].join()"),
                  pixels);
        // A held key, repeated by the browser, acts once.
        game->keyDown("m");
        game->keyRepeat("m");
        game->keyRepeat("m");
        game->keyUp("m");
        // Clicks land where they are aimed: the screens follow two presses,
        // and a press on a sale button fires it.
        game->click(1);
        ASSERT_TRUE(game->showsRoughly("instructions"));
        const PngImage instructions = game->screenshot();
        game->click(1);
        ASSERT_NO_FATAL_FAILURE(openSaleStrip(*game, nextScreen(*game, instructions)));
        game->moveToGame(-31, 63.5f);
        game->press();
        EXPECT_TRUE(game->waitForLines(1, "% BUTTON$"));
        game->release();
        barrier(*game);
        EXPECT_EQ(countOf(game->traceLines(), "HANDOUT BUTTON"), 1);
        // F11 is left to the browser's own full screen
        EXPECT_EQ(game->evaluate("(e => !dispatchEvent(e))(new KeyboardEvent('keydown', "
                                 "{key: 'F11', keyCode: 122, cancelable: true}))"),
                  "false");
        // and a working page's console holds nothing but the trace lines
        EXPECT_EQ(game->errors(), "");
    }
}

TEST_F(Page, FramedKeepsTheKeysThatScrollFromTheHostPage) {
    // Framed in a window wider than 4:3, with bars beside the game. While
    // the game's data loads, the page keeps the keys; once it plays, the
    // game's keyboard does.
    for (const bool loading : {true, false}) {
        SCOPED_TRACE(loading ? "loading" : "playing");
        command.view = {1280, 600, 1, true, true, loading, ""};
        const auto game = startGame(display, command);
        ASSERT_NE(game->showing(), loading);
        // A click beside the game gives the framed page the keyboard.
        game->takeFocus();
        game->moveToGame(-60, 37.5f);
        game->click(1);
        for (const char* name : {"space", "Down", "Next"}) {
            game->key(name);
        }
        if (!loading) {
            barrier(*game);
        }
        // the keys' default actions are done by the page's next frame
        game->evaluate("new Promise(done => requestAnimationFrame(() => done()))");
        EXPECT_EQ(game->evaluate("parent.scrollY"), "0");
    }
}

TEST_F(Page, WithoutWebGLSaysSoAndStartsNoGame) {
    command.view.webgl = false;
    const auto game = startGame(display, command);
    EXPECT_FALSE(game->showing());
    // The message, whole in the window; the game's script never loaded.
    EXPECT_EQ(game->evaluate(R"((() => {
  const said = document.getElementById('no-webgl'), box = said.getBoundingClientRect();
  return said.innerText.includes('needs WebGL') && box.height > 0 && box.left >= 0 &&
         box.top >= 0 && box.right <= innerWidth && box.bottom <= innerHeight &&
         !document.querySelector('script[src="pellucane.js"]');
})())"),
              "true");
    EXPECT_EQ(game->errors(), "");
}
