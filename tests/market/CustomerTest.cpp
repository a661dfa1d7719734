#include <gtest/gtest.h>

#include <cmath>

#include "market/Customer.h"

TEST(Customer, WholeVisitFromShopToExit) {
    Customer c;
    EXPECT_EQ(60.0f, c.targetX) << "before any choice a shopper aims at the exit";
    EXPECT_EQ(15.0f, c.targetY);
    c.x = -20.0f;
    c.y = 15.0f;
    c.setTarget(30.0f, 37.5f);
    c.setShop(2);
    c.setWillCarryBag(true);
    c.setHatOn(true);
    c.setState(HeadingToShop);
    int updates = 0;
    float before = c.x;
    while (c.getState() == HeadingToShop && updates < 1000) {
        before = c.x;
        c.update(0.02f);
        ++updates;
        EXPECT_LE(c.x, 30.0f);
    }
    ASSERT_EQ(Buying, c.getState());
    EXPECT_EQ(before, c.x) << "the update that finds it arrived does not move it";
    EXPECT_EQ(60.0f, c.targetX);
    EXPECT_EQ(15.0f, c.targetY);

    c.update(0.02f);
    EXPECT_EQ(Leaving, c.getState());
    EXPECT_TRUE(c.bagOn);
    while (c.getState() == Leaving && updates < 5000) {
        c.update(0.02f);
        ++updates;
        if (c.getState() == Leaving) {
            EXPECT_TRUE(c.hatOn);
        }
    }
    ASSERT_EQ(Strolling, c.getState());
    EXPECT_EQ(-51.0f, c.x);
    EXPECT_NEAR(15.0f, c.y, 0.1f);
    EXPECT_FALSE(c.hatOn);
    EXPECT_FALSE(c.bagOn);
    EXPECT_EQ(2, c.getShop());

    // Arrival: within 0.1 on both axes, bounds included.
    c.setTarget(10.0f, 20.0f);
    c.x = 10.0f + 0.1f;
    c.y = 20.0f - 0.1f;
    EXPECT_TRUE(c.hasArrived());
    c.x = 10.0f - 0.1f;
    c.y = 20.0f + 0.1f;
    EXPECT_TRUE(c.hasArrived());
    c.x = std::nextafter(10.0f + 0.1f, 11.0f);
    EXPECT_FALSE(c.hasArrived());
}

TEST(Customer, StrollWrapAnimationAndColours) {
    Customer c;
    c.shop = 1;
    c.x = 50.9f;
    c.update(0.02f);
    EXPECT_EQ(-51.0f, c.x);
    EXPECT_EQ(NoShop, c.getShop());
    c.x = 50.0f;
    c.update(0.1f);
    EXPECT_EQ(-51.0f, c.x) << "a step ending exactly at 51 wraps";
    c.x = 49.0f;
    c.update(0.1f);
    EXPECT_EQ(50.0f, c.x);

    Customer walker;
    Customer::bodyLists[1][0] = 5;
    Customer::bodyLists[1][1] = 6;
    walker.setGender(2);
    walker.update(0.125f);
    EXPECT_EQ(0, walker.walkFrame) << "exactly 0.125 s does not change the frame";
    EXPECT_EQ(-1, walker.bodyList);
    walker.update(0.001f);
    EXPECT_EQ(6, walker.bodyList);
    EXPECT_EQ(0.0f, walker.animTimer);
    walker.update(0.2f);
    EXPECT_EQ(5, walker.bodyList);

    // A female shopper of HOTBEATS; a shop index of 3 keeps the bag it had.
    walker.femaleHotbeatsBagList = 12;
    walker.topHatList = 21;
    walker.setShop(1);
    walker.setShop(NoShop);
    walker.setHatForShop(2);
    walker.setHatForShop(NoShop);
    EXPECT_EQ(12, walker.bagList);
    EXPECT_EQ(21, walker.hatList);
}
