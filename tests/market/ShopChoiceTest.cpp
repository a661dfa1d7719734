#include <gtest/gtest.h>

#include <cmath>

#include "market/Market.h"
#include "market/RandomGenerator.h"

TEST(RandomGenerator, SeededSequenceBoundsAndFirstSeeding) {
    RandomGenerator::seed(1);
    EXPECT_EQ(41, RandomGenerator::draw());
    EXPECT_EQ(18467, RandomGenerator::draw());
    EXPECT_EQ(6334, RandomGenerator::draw());

    // Empty ranges answer without drawing: the next draw is still the first.
    RandomGenerator::seed(1);
    EXPECT_EQ(0, Market::randomBelow(0));
    EXPECT_EQ(0, Market::randomBelow(-3));
    EXPECT_EQ(5, Market::randomBetween(5, 5));
    EXPECT_EQ(41 % 7, Market::randomBelow(7));
    EXPECT_EQ(-48 + 18467 % 96, Market::randomBetween(-48, 48));
    EXPECT_EQ(1 + 6334 % 2, Market::randomBetween(1, 3));

    // The very first call seeds from the calendar, even one that draws nothing.
    RandomGenerator::seeded = false;
    Market::randomBelow(0);
    EXPECT_TRUE(RandomGenerator::seeded);
}

TEST(ShopChoice, SharesAndDrawsFollowAttraction) {
    struct Case {
        // features bought, to reach the scores in the comment
        void (*setUp)(Market&);
        float shares[3];
        int draws[4];
    };
    const Case cases[] = {
        // 20, 20, 20
        {[](Market&) {}, {33.333336f, 66.66667f, 100.00001f}, {33, 33, 33, 0}},
        // 70, 20, 20
        {[](Market& m) { m.shops[0].bigSign = true; },
         {63.636364f, 81.818184f, 100.0f},
         {63, 18, 18, 0}},
        // 20, 120, 90
        {[](Market& m) {
             m.shops[1].mediumSign = m.shops[1].freeHats = true;
             m.shops[2].freeHats = true;
         },
         {8.695652f, 60.869564f, 100.0f},
         {8, 52, 39, 0}},
        // 0, 20, 20: equality picks the lower shop (50 goes to shop 1)
        {[](Market& m) { m.shops[0].money = 0.0f; }, {0.0f, 50.0f, 100.0f}, {0, 50, 49, 0}},
    };
    for (const Case& c : cases) {
        Market m;
        c.setUp(m);
        m.computeShares();
        int draws[4] = {0, 0, 0, 0};
        for (int r = 1; r <= 99; ++r) {
            ++draws[m.shopForDraw(r)];
        }
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(c.shares[i], m.cumulativeShare[i]) << "share " << i;
        }
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(c.draws[i], draws[i]) << "shop " << i;
        }
    }

    // Every score 0: the shares are not numbers and no draw picks a shop.
    Market broke;
    for (Shop& shop : broke.shops) {
        shop.outOfProduct = true;
    }
    broke.computeShares();
    EXPECT_TRUE(std::isnan(broke.cumulativeShare[2]));
    for (int r = 1; r <= 99; ++r) {
        EXPECT_EQ(NoShop, broke.shopForDraw(r));
    }
}
