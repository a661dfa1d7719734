#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "base/ElapsedTime.h"
#include "market/Market.h"
#include "tests/support/TestSupport.h"

namespace {

// A freshly initialised street at test time 0, stepped under the test clock.
class MarketTest : public ::testing::Test {
  protected:
    void SetUp() override { newStreet(7); }

    // One update, ms of real time after the previous one.
    void step(int ms, float dt = 0.02f) {
        nowMs += ms;
        setClockMs(nowMs);
        street.update(dt);
    }

    // Everything the update writes to standard output while doing f.
    template <typename F> std::string traceOf(F f) {
        CapturedStdout trace;
        f();
        return trace.take();
    }

    Market& street = market;
    int nowMs = 0;
};

} // namespace

TEST_F(MarketTest, ResultRulesInOrder) {
    struct Case {
        float money[3];
        // expected musicBoxWins, hotbeatsWins, topTunesWins
        bool wins[3];
    };
    const Case cases[] = {
        {{20000.0f, 20000.0f, 1000.0f}, {true, false, false}},
        {{1000.0f, 20000.0f, 20000.0f}, {false, true, false}},
        {{19999.0f, 1000.0f, 20000.0f}, {false, false, true}},
        {{20000.0f, 0.0f, -50.0f}, {true, false, false}},
        {{1000.0f, -1.0f, 0.0f}, {true, false, false}},
        {{0.0f, 1000.0f, 0.0f}, {false, true, false}},
        {{0.0f, 0.0f, 1000.0f}, {false, false, true}},
        {{0.0f, 0.0f, 0.0f}, {true, false, false}},
        {{1000.0f, 0.0f, 19999.0f}, {false, false, false}},
    };
    for (const Case& c : cases) {
        street.musicBoxWins = street.hotbeatsWins = street.topTunesWins = street.gameOver = false;
        for (int i = 0; i < 3; ++i) {
            street.shops[i].money = c.money[i];
        }
        step(20);
        const bool wins[3] = {street.musicBoxWins, street.hotbeatsWins, street.topTunesWins};
        EXPECT_TRUE(std::equal(wins, wins + 3, c.wins))
            << c.money[0] << " " << c.money[1] << " " << c.money[2];
        EXPECT_EQ(c.wins[0] || c.wins[1] || c.wins[2], street.gameOver);
    }
}

TEST_F(MarketTest, DecidedGameFreezesTheStreetAndKeepsEveryFlag) {
    step(20);
    street.setCursor(street.sidebar.productButtonX, street.sidebar.productButtonY);
    street.setMouseDown(true);
    street.shops[0].money = 20000.0f;
    std::vector<float> xs;
    for (const Customer& c : street.shoppers) {
        xs.push_back(c.x);
    }
    const std::string trace = traceOf([&] { step(500); });
    EXPECT_TRUE(street.musicBoxWins);
    EXPECT_EQ("", trace) << "no button fires once the game is decided";
    EXPECT_EQ(0, street.lastFireMs);
    size_t i = 0;
    for (const Customer& c : street.shoppers) {
        EXPECT_EQ(xs[i++], c.x);
    }

    // The winner falls back and another shop reaches the sum: both flags stay up.
    street.shops[0].money = 100.0f;
    street.shops[2].money = 25000.0f;
    const float minutes = street.dayClock.minuteUnits;
    step(5000);
    EXPECT_TRUE(street.musicBoxWins);
    EXPECT_TRUE(street.topTunesWins);
    EXPECT_TRUE(street.gameOver);
    EXPECT_NE(minutes, street.dayClock.minuteUnits) << "the clock runs on";
    EXPECT_STREQ("ZEDOD AZU WINS", street.bannerText());
    street.musicBoxWins = false;
    street.hotbeatsWins = true;
    EXPECT_STREQ("TOP TUNES WINS", street.bannerText());
    street.topTunesWins = false;
    EXPECT_STREQ("HOTBEATS  WINS", street.bannerText());
    street.hotbeatsWins = false;
    EXPECT_EQ(nullptr, street.bannerText());
}

// What a frozen street must keep: every customer's walk and the sidebar's strips.
static std::vector<float> streetSnapshot(const Market& street) {
    std::vector<float> values;
    for (const std::list<Customer>* people : {&street.shoppers, &street.passersBy}) {
        for (const Customer& c : *people) {
            values.insert(values.end(), {c.x, c.y, static_cast<float>(c.state), c.animTimer,
                                         static_cast<float>(c.bodyList)});
        }
    }
    const Sidebar& bar = street.sidebar;
    values.insert(values.end(),
                  {bar.signStripX, bar.saleStripX, bar.promotionStripX,
                   static_cast<float>(bar.signMenuOpen), static_cast<float>(bar.saleMenuOpen)});
    return values;
}

TEST_F(MarketTest, AfterAWinTheStreetStaysStillWhenTheWinnerFallsBack) {
    for (int i = 0; i < 40; ++i) {
        step(20);
    }
    // The winner has hired a handout guy; the next hour's wage takes it under the sum.
    street.shops[0].money = 20010.0f;
    street.shops[0].handout = true;
    step(20);
    ASSERT_TRUE(street.musicBoxWins);
    const std::vector<float> frozen = streetSnapshot(street);
    const int lastFire = street.lastFireMs;
    street.dayClock.minuteTens = 5.0f;
    street.dayClock.minuteUnits = 9.0f;
    const std::string trace = traceOf([&] {
        // the cursor rests on the sale band, then holds the product button down
        street.setCursor(-40.0f, street.sidebar.saleBandY);
        for (int i = 0; i < 30; ++i) {
            step(500);
        }
        street.setCursor(street.sidebar.productButtonX, street.sidebar.productButtonY);
        street.setMouseDown(true);
        for (int i = 0; i < 30; ++i) {
            step(500);
        }
    });
    EXPECT_LT(street.shops[0].money, WinningMoney) << "the wage fell due after the win";
    EXPECT_EQ("", trace) << "no button fires once the game is decided";
    EXPECT_EQ(lastFire, street.lastFireMs);
    EXPECT_EQ(frozen, streetSnapshot(street)) << "customers and sidebar stand still";
}

TEST_F(MarketTest, EachPressFiresOnceAndAHeldButtonRepeatsAfterADelay) {
    // Sold out, so that no shopper's payment blurs the money the button takes.
    street.shops[0].product = 0.0f;
    const Sidebar& bar = street.sidebar;
    // Events in turn: d a press right on the product button's circle, u its
    // release, away the cursor off it, $N shop 0's money N, a number an
    // update that many ms on; and how many times the button fires.
    const std::pair<const char*, int> cases[] = {
        {"d u away 20 200", 1},       // a press fires where it was, even let go
        {"d u d u 20", 2},            // two quick clicks
        {"d 20 100 100 100 u 20", 1}, // a click held 300 ms
        {"d 1", 1},                   // held: it fires at once,
        {"499", 0},                   // not again for 500 ms,
        {"1", 1},                     // then repeats,
        {"100", 0},                   // more than 100 ms
        {"1 101", 2},                 // after the last fire
        {"u 500", 0},                 // until it is let go
        {"$0 d u 20 $10 20", 0},      // a press without money is lost
    };
    for (const auto& [events, fires] : cases) {
        std::istringstream tokens(events);
        const std::string trace = traceOf([&] {
            for (std::string token; tokens >> token;) {
                if (token == "d" || token == "u") {
                    street.setCursor(bar.productButtonX + bar.buttonRadius, bar.productButtonY);
                    street.setMouseDown(token == "d");
                } else if (token == "away") {
                    street.setCursor(30.0f, 30.0f);
                } else if (token[0] == '$') {
                    street.shops[0].money = std::stof(token.substr(1));
                } else {
                    step(std::stoi(token));
                }
            }
        });
        EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), fires) << events;
    }
    EXPECT_EQ(10.0f, street.shops[0].money);
}

TEST_F(MarketTest, HoverBandsAndCircleEdges) {
    EXPECT_TRUE(Market::insideHeader(-46.0f, 71.5f, -46.0f, 67.5f, 4.0f, 32.0f));
    EXPECT_TRUE(Market::insideHeader(-46.0f, 71.5f, 18.0f, 75.5f, 4.0f, 32.0f));
    EXPECT_FALSE(Market::insideHeader(-46.0f, 71.5f, 18.01f, 71.5f, 4.0f, 32.0f));
    EXPECT_FALSE(Market::insideHeader(-46.0f, 71.5f, -46.01f, 71.5f, 4.0f, 32.0f));
    EXPECT_FALSE(Market::insideHeader(-46.0f, 71.5f, 0.0f, 67.49f, 4.0f, 32.0f));
    EXPECT_TRUE(Market::insideCircle(0.0f, 0.0f, 3.0f, 4.0f, 5.0f));
    EXPECT_FALSE(Market::insideCircle(0.0f, 0.0f, 3.0f, 4.01f, 5.0f));

    // A cursor on the edge the sign and sale bands share opens both menus.
    street.setCursor(0.0f, 67.5f);
    step(20);
    EXPECT_TRUE(street.sidebar.signMenuOpen);
    EXPECT_TRUE(street.sidebar.saleMenuOpen);
    EXPECT_FALSE(street.sidebar.promotionMenuOpen);
    street.setCursor(0.0f, 55.5f);
    step(20);
    EXPECT_FALSE(street.sidebar.signMenuOpen);
    EXPECT_TRUE(street.sidebar.promotionMenuOpen);
}

TEST_F(MarketTest, FootstepsStartInTheSecondUpdateThen1640MsApart) {
    // Slow frames keep the shoppers on their way for the whole test.
    step(40, 0.001f);
    EXPECT_FALSE(street.footstepsPlaying) << "everybody was still strolling when tested";
    step(40, 0.001f);
    EXPECT_TRUE(street.footstepsPlaying);
    EXPECT_EQ(80, street.footstepsStartMs);
    while (nowMs < 1680) {
        step(40, 0.001f);
        EXPECT_EQ(80, street.footstepsStartMs);
    }
    step(40, 0.001f);
    EXPECT_EQ(1720, street.footstepsStartMs);
}

TEST_F(MarketTest, ShopperWithNoShopWalksOffAndBuysNothing) {
    // Every shop sold out: nobody can choose a shop at the first update.
    for (Shop& shop : street.shops) {
        shop.product = 0.0f;
    }
    std::vector<bool> wrapped(street.shoppers.size(), false);
    for (int update = 0; update < 300; ++update) {
        step(20);
        size_t i = 0;
        for (const Customer& c : street.shoppers) {
            EXPECT_EQ(NoShop, c.getShop());
            EXPECT_FALSE(c.bagOn);
            EXPECT_NEAR(15.0f, c.y, 0.1f);
            wrapped[i] = wrapped[i] || c.x == -51.0f;
            ++i;
        }
    }
    for (size_t i = 0; i < wrapped.size(); ++i) {
        EXPECT_TRUE(wrapped[i]) << "shopper " << i << " never reached the exit";
    }
    for (const Shop& shop : street.shops) {
        EXPECT_EQ(1000.0f, shop.money);
        EXPECT_EQ(0.0f, shop.incomeAmount);
    }
}
