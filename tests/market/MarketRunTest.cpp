#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "app/Backdrop.h"
#include "app/ElapsedTime.h"
#include "market/Market.h"
#include "market/RandomGenerator.h"
#include "shop/ShopCommands.h"
#include "tests/support/TestSupport.h"

namespace {

// A street initialised with the game's data at test time 0 from a fixed seed.
std::unique_ptr<Market> newStreet(unsigned int seed) {
    ensureGlContext();
    Backdrop::instance().setRect(75.0, 50.0, 0.0, -50.0);
    setTestClockMs(0);
    RandomGenerator::seed(seed);
    auto street = std::make_unique<Market>();
    ScopedDirectory data(dataPath());
    street->initialise();
    return street;
}

// Swallows the trace lines written while it lives.
struct QuietStdout {
    QuietStdout() { testing::internal::CaptureStdout(); }
    ~QuietStdout() { testing::internal::GetCapturedStdout(); }
};

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

} // namespace

// Random keys, cursor moves and clicks over thousands of game hours, game
// after game, checking the street after every update.
TEST(MarketRun, SoakKeepsEveryInvariant) {
    // Each game starts from a copy of one initialised street (pictures are shared).
    const std::unique_ptr<Market> pristine = newStreet(1000u);
    const Sidebar& bar = pristine->sidebar;
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

    std::mt19937 player(12345);
    const QuietStdout quiet;
    long gameHours = 0;
    int games = 0;
    int decided = 0;
    while (gameHours < 2000) {
        auto street = std::make_unique<Market>(*pristine);
        Market& m = *street;
        int nowMs = 0;
        setTestClockMs(nowMs);
        bool won[3] = {false, false, false};
        int overFor = 0;
        for (int update = 0; update < longestGame && overFor < afterTheEnd; ++update) {
            const unsigned int roll = player() % 1000;
            if (roll < 8) {
                const ShopCommand& command = shopCommands[player() % ShopCommandCount];
                m.handleKey(roll % 2 ? command.shop1Key : command.shop2Key);
            } else if (roll < 10) {
                m.handleKey(static_cast<unsigned char>(player() % 256));
            } else if (roll < 30) {
                const float* spot = spots[player() % spotCount];
                m.setCursor(spot[0], spot[1]);
            } else if (roll < 35) {
                m.setCursor(static_cast<float>(player() % 100) - 50.0f,
                            static_cast<float>(player() % 75));
            } else if (roll < 50) {
                m.setMouseDown(roll < 38);
            }
            const float hourBefore = m.dayClock.hour;
            nowMs += 120;
            setTestClockMs(nowMs);
            m.update(0.12f);
            gameHours += m.dayClock.hour != hourBefore;
            overFor += m.gameOver;
            ASSERT_EQ("", streetFault(m, won)) << "game " << games << ", update " << update;
            won[0] = m.musicBoxWins;
            won[1] = m.hotbeatsWins;
            won[2] = m.topTunesWins;
        }
        ++games;
        decided += m.gameOver;
    }
    EXPECT_GT(decided, games / 2);
}

namespace {

// One scripted input of the demo: at an update, a key, a cursor move or the button.
struct Cue {
    int update;
    // 'k' key, 'c' cursor, 'd' button down, 'u' button up
    char kind;
    unsigned char key;
    float x;
    float y;
};

// The script: both keyboard players and the mouse player buy and switch features.
const Cue script[] = {
    {5, 'k', 'a', 0, 0},
    {10, 'k', '9', 0, 0},
    {15, 'c', 0, -40.0f, 63.5f},
    {80, 'c', 0, -23.0f, 63.5f},
    {81, 'd', 0, 0, 0},
    {86, 'u', 0, 0, 0},
    {300, 'k', 'x', 0, 0},
    {310, 'k', 'n', 0, 0},
    {600, 'c', 0, -46.0f, 31.5f},
    {601, 'd', 0, 0, 0},
    {606, 'u', 0, 0, 0},
    {1500, 'k', 'c', 0, 0},
    {3000, 'k', '1', 0, 0},
    {6000, 'k', 'j', 0, 0},
    {9000, 'c', 0, -40.0f, 55.5f},
    {9080, 'c', 0, -31.0f, 55.5f},
    {9081, 'd', 0, 0, 0},
    {9085, 'u', 0, 0, 0},
    {20000, 'k', 'v', 0, 0},
    {30000, 'k', ',', 0, 0},
    // After the day's charges both keyboard shops spend themselves bankrupt;
    // their last keys are refused.
    {34000, 'k', ',', 0, 0},
    {34001, 'k', ',', 0, 0},
    {34002, 'k', 'n', 0, 0},
    {34003, 'k', 'n', 0, 0},
    {34004, 'k', 'm', 0, 0},
    {34005, 'k', 'b', 0, 0},
    {34006, 'k', 'b', 0, 0},
    {34010, 'k', 'c', 0, 0},
    {34011, 'k', 'c', 0, 0},
    {34012, 'k', 'c', 0, 0},
    {34013, 'k', 'c', 0, 0},
    {34014, 'k', 'c', 0, 0},
    {34015, 'k', 'c', 0, 0},
    {34016, 'k', 'c', 0, 0},
    {34017, 'k', 'c', 0, 0},
    {34020, 'k', 'v', 0, 0},
};

// Shop, clock and result, one line each.
std::string summary(const Market& m) {
    std::ostringstream out;
    for (const Shop& s : m.shops) {
        out << "money " << s.money << " product " << s.product << " price " << s.price << " signs "
            << s.bigSign << s.mediumSign << s.smallSign << " sales " << s.sale10 << s.sale20
            << s.sale30 << s.sale40 << s.sale50 << s.sale60 << " window " << s.windowDisplay
            << " handout " << s.handout << " hats " << s.freeHats << "\n";
    }
    const DayClock& c = m.dayClock;
    out << "clock " << c.hour << ":" << c.minuteTens << c.minuteUnits << (c.isAM ? " AM" : " PM")
        << " hours " << c.hourCount << "\n";
    out << "wins " << m.musicBoxWins << m.hotbeatsWins << m.topTunesWins << " over " << m.gameOver
        << "\n";
    return out.str();
}

} // namespace

// A seeded, scripted game of some 26 hours, against the summary it gave when
// its course had been checked by hand.
TEST(MarketRun, ScriptedDemoGame) {
    const std::unique_ptr<Market> street = newStreet(2024u);
    Market& m = *street;
    testing::internal::CaptureStdout();
    const Cue* next = script;
    const Cue* const end = script + sizeof script / sizeof script[0];
    for (int update = 0; update < 35000; ++update) {
        for (; next != end && next->update == update; ++next) {
            switch (next->kind) {
            case 'k':
                m.handleKey(next->key);
                break;
            case 'c':
                m.setCursor(next->x, next->y);
                break;
            default:
                m.setMouseDown(next->kind == 'd');
                break;
            }
        }
        setTestClockMs(20 * (update + 1));
        m.update(0.02f);
    }
    const std::string trace = testing::internal::GetCapturedStdout();
    // Everybody sells out long before 20000; the day's charges come at the
    // 25th hour, then shops 1 and 2 go bankrupt and ZEDOD AZU wins.
    EXPECT_EQ(R"(money 3748 product 0 price 28 signs 000 sales 001000 window 0 handout 1 hats 0
money -180 product 0 price 36 signs 100 sales 100000 window 0 handout 1 hats 1
money -40 product 10 price 32 signs 100 sales 010000 window 1 handout 1 hats 1
clock 10:30 AM hours 1
wins 100 over 1
BIG SIGN BUTTON
20% BUTTON
30% BUTTON
HANDOUT BUTTON
WINDOW BUTTON
PRODUCT BUTTON
FREE HAT BUTTON
10% BUTTON
BIG SIGN BUTTON
HANDOUT BUTTON
PRODUCT BUTTON
FREE HAT BUTTON
FREE HAT BUTTON
FREE HAT BUTTON
WINDOW BUTTON
WINDOW BUTTON
HANDOUT BUTTON
PRODUCT BUTTON
FREE HAT BUTTON
FREE HAT BUTTON
FREE HAT BUTTON
FREE HAT BUTTON
FREE HAT BUTTON
FREE HAT BUTTON
FREE HAT BUTTON
FREE HAT BUTTON
)",
              summary(m) + trace);
}
