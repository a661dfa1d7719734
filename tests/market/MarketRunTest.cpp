#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

#include "app/GameState.h"
#include "market/Market.h"
#include "shop/ShopCommands.h"
#include "tests/support/ScriptedGame.h"
#include "tests/support/TestSupport.h"

namespace {

// Whether a float holds a whole number.
bool whole(float value) { return value == std::trunc(value); }

// The first thing about a shop that must always hold and does not, or "".
std::string shopFault(const Shop& s) {
    const bool signs[] = {s.bigSign, s.mediumSign, s.smallSign};
    const bool sales[] = {s.sale10, s.sale20, s.sale30, s.sale40, s.sale50, s.sale60};
    const float salePrices[] = {36.0f, 32.0f, 28.0f, 24.0f, 20.0f, 16.0f};
    int signsOn = 0;
    for (bool on : signs) {
        signsOn += on;
    }
    int salesOn = 0;
    float price = 40.0f;
    for (int i = 0; i < 6; ++i) {
        salesOn += sales[i];
        price = sales[i] ? salePrices[i] : price;
    }
    if (signsOn > 1 || s.signOn != (signsOn == 1))
        return "signs";
    if (salesOn > 1 || s.saleOn != (salesOn == 1))
        return "sales";
    if (s.price != price)
        return "price";
    if (!whole(s.money) || !whole(s.product))
        return "whole numbers";
    if (s.product < 0.0f)
        return "negative product";
    return "";
}

// The first thing about the street that must always hold and does not, or "".
std::string streetFault(const Market& m, const bool (&wonBefore)[3]) {
    for (const Shop& shop : m.shops) {
        const std::string fault = shopFault(shop);
        if (!fault.empty())
            return "shop " + fault;
    }
    for (const Customer& c : m.shoppers) {
        const bool onStreet = c.x >= -51.0f && c.x < 51.0f;
        const bool toExit = c.x <= 60.1f && c.targetX == 60.0f;
        if (!(onStreet || toExit) || c.y < 14.9f || c.y > 37.6f)
            return "shopper astray";
        if (c.getState() < Strolling || c.getState() > Leaving || c.getShop() < 0 ||
            c.getShop() > NoShop)
            return "shopper state";
    }
    for (const Customer& c : m.passersBy) {
        if (c.x < -51.0f || c.x >= 51.0f || c.y != 15.0f || c.getState() != Strolling)
            return "passer-by";
    }
    const bool won[] = {m.musicBoxWins, m.hotbeatsWins, m.topTunesWins};
    for (int i = 0; i < 3; ++i) {
        if (wonBefore[i] && !won[i])
            return "win flag cleared";
    }
    if (m.gameOver != (won[0] || won[1] || won[2]))
        return "game over";
    return "";
}

// Whether peak memory tells anything: AddressSanitizer keeps freed memory in
// quarantine, so under it the peak grows whatever the game does.
#ifdef __SANITIZE_ADDRESS__
constexpr bool PeakMeasurable = false;
#else
constexpr bool PeakMeasurable = true;
#endif

// A key pressed and let go: any byte, which the script's words cannot all
// spell.
ScriptStep typed(char key) {
    ScriptStep step = scriptStep("type x");
    step.text = std::string(1, key);
    return step;
}

// Game hours the soak runs for: 2000, or PELLUCANE_SOAK_HOURS for a long run.
long soakHours() {
    const char* hours = std::getenv("PELLUCANE_SOAK_HOURS");
    return hours != nullptr ? std::atol(hours) : 2000;
}

} // namespace

// Random keys, cursor moves and clicks over thousands of game hours, game
// after game, checking the street after every update; peak memory stays
// where the first game left it.
TEST(MarketRun, SoakKeepsEveryInvariant) {
    // Each game starts from a copy of one initialised street (pictures are shared).
    const Market pristine = newStreet(1000u);
    const Sidebar& bar = pristine.sidebar;
    const float spots[][2] = {{-40.0f, 71.5f},
                              {-40.0f, 63.5f},
                              {-40.0f, 55.5f},
                              {0.0f, 67.5f},
                              {bar.productButtonX, bar.productButtonY},
                              {-39.0f, 71.5f},
                              {-23.0f, 71.5f},
                              {-15.0f, 63.5f},
                              {1.0f, 63.5f},
                              {-31.0f, 55.5f},
                              {-23.0f, 55.5f}};
    const int spotCount = sizeof spots / sizeof spots[0];
    // updates a game runs on after it is decided, and at most in all
    const int afterTheEnd = 1500;
    const int longestGame = 30000;
    // one frame of the player's: the test clock and the street's step 0.12 s on
    const ScriptStep frame = scriptStep("frames 1 120ms");

    std::mt19937 player(12345);
    const CapturedStdout quiet;
    long gameHours = 0;
    int games = 0;
    int decided = 0;
    const long hours = soakHours();
    long peakAfterFirstGame = 0;
    std::string fault;
    while (gameHours < hours && fault.empty()) {
        market = pristine;
        ScriptedGame game;
        game.restartClock();
        GameState = Playing;
        bool won[3] = {false, false, false};
        int overFor = 0;
        float lastHour = market.dayClock.hour;
        game.afterUpdate = [&] {
            gameHours += market.dayClock.hour != lastHour;
            lastHour = market.dayClock.hour;
            overFor += market.gameOver;
            fault = streetFault(market, won);
            won[0] = market.musicBoxWins;
            won[1] = market.hotbeatsWins;
            won[2] = market.topTunesWins;
            return fault.empty() && overFor < afterTheEnd;
        };
        // Random keys, cursor moves and presses, a frame after each.
        for (int update = 0; update < longestGame && game.playing; ++update) {
            const unsigned int roll = static_cast<unsigned int>(player() % 1000);
            if (roll < 8) {
                const ShopCommand& command = shopCommands[player() % ShopCommandCount];
                const char key = static_cast<char>(roll % 2 ? command.shop1Key : command.shop2Key);
                game.play(typed(key));
            } else if (roll < 10) {
                game.play(typed(static_cast<char>(player() % 256)));
            } else if (roll < 30) {
                const float* spot = spots[player() % spotCount];
                game.play(
                    scriptStep("move " + std::to_string(spot[0]) + " " + std::to_string(spot[1])));
            } else if (roll < 35) {
                game.play(scriptStep("move " +
                                     std::to_string(static_cast<int>(player() % 100) - 50) + " " +
                                     std::to_string(player() % 75)));
            } else if (roll < 50) {
                game.play(scriptStep(roll < 38 ? "down" : "up"));
            }
            game.play(frame);
            if (!fault.empty()) {
                fault += ", game " + std::to_string(games) + ", update " + std::to_string(update);
            }
        }
        ++games;
        decided += market.gameOver;
        peakAfterFirstGame = games == 1 ? peakMemoryKb() : peakAfterFirstGame;
    }
    ASSERT_EQ("", fault);
    EXPECT_GT(decided, games / 2);
    const long peakAtEnd = peakMemoryKb();
    std::cerr << gameHours << " game hours, " << games << " games; peak memory "
              << peakAfterFirstGame << " KiB after the first game, " << peakAtEnd
              << " KiB at the end\n";
    EXPECT_TRUE(!PeakMeasurable || peakAtEnd - peakAfterFirstGame < 1024);
}
