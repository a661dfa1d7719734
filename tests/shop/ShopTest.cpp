#include <gtest/gtest.h>

#include "tests/shop/StreetShop.h"

namespace {

// Runs frames of 0.1 s (every text then rises a whole number of units a frame).
void runFrames(Shop& shop, int frames) {
    for (int i = 0; i < frames; ++i) {
        shop.update(0.1f);
    }
}

} // namespace

TEST(ShopEconomy, DayAndHourTicksChargeInTheirOrder) {
    Shop shop = streetShop(-30.0f);
    shop.toggleBigSign();
    shop.toggleFreeHats();
    shop.setDayTick(true);
    shop.update(0.1f);
    EXPECT_EQ(shop.getMoney(), -100.0f - 280.0f - 1200.0f) << "upkeep goes on when broke";
    EXPECT_EQ(shop.costAmount, -1200.0f);
    EXPECT_EQ(shop.costTextX, -30.0f);
    EXPECT_TRUE(shop.isBankrupt());
    EXPECT_EQ(shop.attraction(), 0);

    // hired during the hour: his 10 is the hour's loss, his wage of 20 comes after
    Shop hiring = streetShop();
    hiring.toggleHandout();
    hiring.setHourTick(true);
    hiring.update(0.1f);
    EXPECT_EQ(hiring.profit, -10.0f);
    EXPECT_EQ(hiring.getMoney(), 970.0f);
    EXPECT_EQ(hiring.costTextY, 31.25f);
    hiring.sell();
    runFrames(hiring, 59);
    EXPECT_LT(hiring.profitTextY, 70.0f) << "the profit text shows about 6 s";
    hiring.setHourTick(true);
    hiring.update(0.1f);
    EXPECT_EQ(hiring.profit, 20.0f) << "last hour's wage and one sale of 40";

    // each sign: its price, its upkeep at the day tick and its pull
    const struct {
        void (Shop::*toggle)();
        float price, upkeep;
        int bonus;
    } signs[] = {{&Shop::toggleBigSign, 500, 280, 50},
                 {&Shop::toggleMediumSign, 300, 180, 30},
                 {&Shop::toggleSmallSign, 100, 80, 10}};
    for (const auto& sign : signs) {
        Shop signShop = streetShop();
        (signShop.*sign.toggle)();
        signShop.setDayTick(true);
        signShop.update(0.1f);
        EXPECT_EQ(signShop.getMoney(), 1000.0f - sign.price - sign.upkeep);
        EXPECT_EQ(signShop.costAmount, -sign.upkeep);
        EXPECT_EQ(signShop.attraction(), 20 + sign.bonus);
    }
}

TEST(ShopEconomy, SalesRaiseTheirTextRingOnceAndStopWithTheProduct) {
    Shop shop = streetShop();
    shop.product = 2.0f;
    shop.sell();
    runFrames(shop, 10);
    shop.toggleSale20();
    shop.sell();
    EXPECT_EQ(shop.incomeAmount, 32.0f) << "a second sale restarts the text, not adds";
    runFrames(shop, 12);
    EXPECT_TRUE(shop.cashSoundPending);
    runFrames(shop, 2);
    EXPECT_FALSE(shop.cashSoundPending);
    EXPECT_EQ(shop.incomeAmount, 0.0f);

    EXPECT_EQ(shop.getProduct(), 0.0f);
    EXPECT_EQ(shop.attraction(), 0);
    shop.sell();
    EXPECT_EQ(shop.getMoney(), 1072.0f);
    EXPECT_EQ(shop.getProduct(), 0.0f);
    shop.buyProduct();
    shop.update(0.1f);
    EXPECT_EQ(shop.attraction(), 20 + 35);
    shop.money = 0.0f;
    EXPECT_EQ(shop.attraction(), 0);
}

TEST(ShopEconomy, BalloonAndHandoutGuyMoveOneStepPastTheirEnds) {
    Shop shop = streetShop();
    shop.toggleSale50();
    runFrames(shop, 40);
    EXPECT_GT(shop.saleSize, 25.0f);
    EXPECT_LE(shop.saleSize, 26.0f);

    shop.toggleHandout();
    float before = 0.0f;
    for (int frame = 0; frame < 100 && shop.handoutWalkingLeft; ++frame) {
        before = shop.handoutX;
        shop.update(0.1f);
    }
    EXPECT_EQ(shop.handoutX, before) << "he stands still in the frame he turns";
    EXPECT_LT(before, -12.5f) << "he walks left first";
    EXPECT_GE(before, -12.7f - 1e-3f);
    shop.update(0.1f);
    shop.toggleHandout();
    shop.toggleHandout();
    shop.update(0.1f);
    EXPECT_GT(shop.handoutX, 0.0f) << "hired again, he keeps walking right";
    for (int frame = 0; frame < 100 && !shop.handoutWalkingLeft; ++frame) {
        shop.update(0.1f);
    }
    EXPECT_GT(shop.handoutX, 12.5f);
    EXPECT_LE(shop.handoutX, 12.7f + 1e-3f);
    shop.handoutX = -12.5f;
    shop.handoutWalkingLeft = true;
    shop.update(0.1f);
    EXPECT_TRUE(shop.handoutWalkingLeft) << "right at the end he still takes his step";
}

TEST(ShopActions, GroupsOfOneSwitchesAndTheirCharges) {
    Shop shop = streetShop(-30.0f);
    shop.toggleBigSign();
    shop.toggleMediumSign();
    EXPECT_EQ(shop.getMoney(), 200.0f);
    EXPECT_TRUE(shop.signOn && shop.mediumSign && !shop.bigSign);
    shop.toggleMediumSign();
    EXPECT_FALSE(shop.signOn);
    EXPECT_EQ(shop.getMoney(), 200.0f) << "no refund";

    // A new sale ends the one that was on and restarts the balloon.
    shop.toggleSale30();
    shop.saleSize = 5.0f;
    shop.toggleSale60();
    EXPECT_TRUE(shop.saleOn && shop.sale60 && !shop.sale30);
    EXPECT_EQ(shop.saleSize, 0.0f);
    shop.update(0.0f);
    shop.toggleSale60();
    EXPECT_EQ(shop.price, 40.0f);
    shop.update(0.0f);
    EXPECT_NEAR(shop.saleTargetSize, 35.71f, 0.01f) << "with no sale on it keeps its last target";

    shop.toggleWindowDisplay();
    EXPECT_EQ(shop.costTextX, -22.0f);
    shop.toggleHandout();
    EXPECT_EQ(shop.costTextY, 31.25f);
    shop.buyProduct();
    shop.buyProduct();
    EXPECT_EQ(shop.getProduct(), 120.0f);
    EXPECT_EQ(shop.getMoney(), 200.0f - 500.0f - 10.0f - 60.0f);
    shop.toggleBigSign();
    shop.toggleSale60();
    shop.toggleFreeHats();
    shop.money = 1.0f;
    EXPECT_EQ(shop.attraction(), 325);
}
