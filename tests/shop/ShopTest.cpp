#include <gtest/gtest.h>

#include <algorithm>

#include "tests/shop/StreetShop.h"

namespace {

// Runs frames of dt seconds.
void runFrames(Shop& shop, int frames, float dt) {
    for (int i = 0; i < frames; ++i) {
        shop.update(dt);
    }
}

} // namespace

TEST(ShopEconomy, NewShopTradesAtFullPriceWithNoTextShowing) {
    Shop shop = streetShop();
    EXPECT_EQ(shop.getMoney(), 1000.0f);
    EXPECT_EQ(shop.getProduct(), 100.0f);
    EXPECT_EQ(shop.price, 40.0f);
    EXPECT_EQ(shop.lastMoney, 1000);
    EXPECT_EQ(shop.attraction(), 20);
    EXPECT_EQ(shop.attractionScore, 20);
    EXPECT_TRUE(shop.handoutWalkingLeft);
    EXPECT_EQ(shop.signList, -1);
    EXPECT_EQ(shop.bankruptList, -1);
    shop.update(0.1f);
    EXPECT_FALSE(shop.costAmount < 0.0f);
    EXPECT_FALSE(shop.incomeAmount > 0.0f);
    EXPECT_FALSE(shop.profitTextY < 70.0f);
    EXPECT_FALSE(shop.isBankrupt());
}

TEST(ShopEconomy, DayTickTakesSignUpkeepThenFreeHatsEvenWhenBankrupt) {
    Shop shop = streetShop(-30.0f);
    shop.toggleBigSign();
    shop.toggleFreeHats();
    ASSERT_EQ(shop.getMoney(), -100.0f);
    shop.setDayTick(true);
    shop.update(0.1f);
    EXPECT_EQ(shop.getMoney(), -100.0f - 280.0f - 1200.0f);
    EXPECT_EQ(shop.costAmount, -1200.0f);
    EXPECT_EQ(shop.costTextX, -30.0f);
    EXPECT_EQ(shop.costTextY, 37.5f);
    EXPECT_FALSE(shop.dayTick);
    EXPECT_TRUE(shop.isBankrupt());
    EXPECT_EQ(shop.attraction(), 0);

    // the upkeep is the sign that is up: medium 180, small 80, none 0
    const struct {
        void (Shop::*sign)();
        float upkeep;
    } signs[] = {{&Shop::toggleMediumSign, 180.0f}, {&Shop::toggleSmallSign, 80.0f}};
    for (const auto& sign : signs) {
        Shop other = streetShop();
        (other.*sign.sign)();
        const float before = other.getMoney();
        other.setDayTick(true);
        other.update(0.1f);
        EXPECT_EQ(other.getMoney(), before - sign.upkeep);
    }
    Shop plain = streetShop();
    plain.setDayTick(true);
    plain.update(0.1f);
    EXPECT_EQ(plain.getMoney(), 1000.0f);
}

TEST(ShopEconomy, HourTickReportsProfitThenTakesTheHandoutWage) {
    Shop shop = streetShop();
    shop.setHourTick(true);
    shop.update(0.1f);
    EXPECT_EQ(shop.profit, 0.0f);
    EXPECT_EQ(shop.profitTextY, 40.0f);

    // hired during the hour: his 10 is the hour's loss, his wage is taken after
    shop.toggleHandout();
    shop.setHourTick(true);
    shop.update(0.1f);
    EXPECT_EQ(shop.profit, -10.0f);
    EXPECT_EQ(shop.lastMoney, 990);
    EXPECT_EQ(shop.getMoney(), 970.0f);
    EXPECT_EQ(shop.costAmount, -20.0f);
    EXPECT_EQ(shop.costTextX, 0.0f);
    EXPECT_EQ(shop.costTextY, 31.25f);
    EXPECT_FALSE(shop.hourTick);

    // the wage counts in the next hour; the profit text shows for about 6 s
    shop.sell();
    runFrames(shop, 50, 0.1f);
    EXPECT_LT(shop.profitTextY, 70.0f);
    shop.setHourTick(true);
    shop.update(0.1f);
    EXPECT_EQ(shop.profit, 20.0f) << "the wage of 20 and a sale of 40";
    runFrames(shop, 61, 0.1f);
    EXPECT_FALSE(shop.profitTextY < 70.0f);
}

TEST(ShopEconomy, FloatingTextsRiseAndTheTillRingsOnceAtTheTop) {
    Shop shop = streetShop();
    shop.buyProduct();
    shop.sell();
    EXPECT_EQ(shop.getMoney(), 1010.0f);
    EXPECT_EQ(shop.incomeAmount, 40.0f);
    runFrames(shop, 10, 0.1f);
    // a second sale restarts the text with its own price, not the sum
    shop.toggleSale20();
    shop.sell();
    EXPECT_EQ(shop.incomeAmount, 32.0f);
    EXPECT_EQ(shop.incomeTextY, 37.5f);
    runFrames(shop, 12, 0.1f);
    EXPECT_TRUE(shop.cashSoundPending);
    EXPECT_EQ(shop.incomeAmount, 32.0f);
    EXPECT_LT(shop.costAmount, 0.0f) << "the charge text shows about 2.25 s";
    runFrames(shop, 2, 0.1f);
    EXPECT_FALSE(shop.cashSoundPending);
    EXPECT_EQ(shop.incomeAmount, 0.0f);
    EXPECT_EQ(shop.costAmount, 0.0f);
}

TEST(ShopEconomy, SellingTheLastUnitEndsTradeUntilProductIsBought) {
    Shop shop = streetShop();
    shop.product = 1.0f;
    shop.sell();
    EXPECT_EQ(shop.getProduct(), 0.0f);
    EXPECT_EQ(shop.getMoney(), 1040.0f);
    shop.update(0.1f);
    EXPECT_TRUE(shop.outOfProduct);
    EXPECT_EQ(shop.attraction(), 0);
    shop.incomeAmount = 0.0f;
    shop.sell();
    EXPECT_EQ(shop.getProduct(), 0.0f);
    EXPECT_EQ(shop.getMoney(), 1040.0f);
    EXPECT_EQ(shop.incomeAmount, 0.0f);
    EXPECT_TRUE(shop.hasStock());
    shop.buyProduct();
    shop.update(0.1f);
    EXPECT_EQ(shop.attraction(), 20);

    Shop broke = streetShop();
    broke.money = 0.0f;
    EXPECT_EQ(broke.attraction(), 0);
    broke.update(0.1f);
    EXPECT_TRUE(broke.isBankrupt());
}

TEST(ShopEconomy, BalloonGrowsToItsTargetAndAtMostOneStepAbove) {
    Shop shop = streetShop();
    shop.toggleSale50();
    runFrames(shop, 40, 0.1f);
    EXPECT_EQ(shop.saleTargetSize, 25.0f);
    EXPECT_GT(shop.saleSize, 25.0f);
    EXPECT_LE(shop.saleSize, 26.0f + 1e-4f);
    shop.toggleSale10();
    EXPECT_EQ(shop.saleSize, 0.0f);
    runFrames(shop, 40, 0.1f);
    EXPECT_FLOAT_EQ(shop.saleTargetSize, 25.0f / 2.2f);
    EXPECT_LE(shop.saleSize, 25.0f / 2.2f + 1.0f + 1e-4f);
    EXPECT_GT(shop.saleSize, 25.0f / 2.2f);
}

TEST(ShopEconomy, HandoutGuyPatrolsLeftFirstTurningOneFrameAfterEachEnd) {
    Shop shop = streetShop();
    shop.toggleHandout();
    EXPECT_EQ(shop.handoutX, 0.0f);
    EXPECT_EQ(shop.handoutY, 31.25f);
    const float step = 0.2f;
    float lowest = 0.0f;
    int frame = 0;
    while (shop.handoutWalkingLeft && frame < 1000) {
        const float before = shop.handoutX;
        shop.update(0.1f);
        ++frame;
        if (!shop.handoutWalkingLeft) {
            EXPECT_EQ(shop.handoutX, before) << "he stands still in the frame he turns";
        }
        lowest = std::min(lowest, shop.handoutX);
    }
    EXPECT_LT(lowest, -12.5f);
    EXPECT_GE(lowest, -12.5f - step - 1e-3f);
    shop.update(0.1f);
    EXPECT_GT(shop.handoutX, lowest);

    // fired while walking right and hired again: back at the centre, still walking right
    shop.toggleHandout();
    shop.toggleHandout();
    EXPECT_EQ(shop.handoutX, 0.0f);
    shop.update(0.1f);
    EXPECT_GT(shop.handoutX, 0.0f);

    while (!shop.handoutWalkingLeft && frame < 2000) {
        shop.update(0.1f);
        ++frame;
    }
    EXPECT_GT(shop.handoutX, 12.5f);
    EXPECT_LE(shop.handoutX, 12.5f + step + 1e-3f);
}

TEST(ShopActions, SignsAreOneGroupPaidWhenPutUp) {
    Shop shop = streetShop(30.0f);
    shop.toggleBigSign();
    EXPECT_EQ(shop.getMoney(), 500.0f);
    EXPECT_EQ(shop.costAmount, -500.0f);
    EXPECT_EQ(shop.costTextX, 30.0f);
    EXPECT_EQ(shop.costTextY, 37.5f);
    EXPECT_EQ(shop.attraction(), 70);
    shop.toggleMediumSign();
    EXPECT_EQ(shop.getMoney(), 200.0f);
    EXPECT_TRUE(shop.signOn && shop.mediumSign && !shop.bigSign && !shop.smallSign);
    EXPECT_EQ(shop.attraction(), 50);
    shop.toggleMediumSign();
    EXPECT_EQ(shop.getMoney(), 200.0f) << "no refund";
    EXPECT_FALSE(shop.signOn || shop.mediumSign);
    shop.toggleSmallSign();
    EXPECT_EQ(shop.getMoney(), 100.0f);
    EXPECT_EQ(shop.attraction(), 30);
}

TEST(ShopActions, SalesAreOneGroupThatSetsThePriceAndRestartsTheBalloon) {
    const struct {
        void (Shop::*toggle)();
        float price;
        int bonus;
    } sales[] = {{&Shop::toggleSale10, 36.0f, 20}, {&Shop::toggleSale20, 32.0f, 35},
                 {&Shop::toggleSale30, 28.0f, 50}, {&Shop::toggleSale40, 24.0f, 75},
                 {&Shop::toggleSale50, 20.0f, 90}, {&Shop::toggleSale60, 16.0f, 105}};
    Shop shop = streetShop();
    for (const auto& sale : sales) {
        shop.saleSize = 5.0f;
        (shop.*sale.toggle)();
        EXPECT_EQ(shop.price, sale.price);
        EXPECT_EQ(shop.saleSize, 0.0f);
        EXPECT_EQ(shop.attraction(), 20 + sale.bonus);
        const int on = shop.sale10 + shop.sale20 + shop.sale30 + shop.sale40 + shop.sale50 +
                       shop.sale60;
        EXPECT_EQ(on, 1);
        EXPECT_TRUE(shop.saleOn);
    }
    EXPECT_EQ(shop.getMoney(), 1000.0f) << "a sale costs nothing up front";
    shop.toggleSale60();
    EXPECT_EQ(shop.price, 40.0f);
    EXPECT_FALSE(shop.saleOn || shop.sale60);
}

TEST(ShopActions, PromotionsAndProductChargeWhereTheirTextStarts) {
    Shop shop = streetShop(-30.0f);
    shop.toggleWindowDisplay();
    EXPECT_EQ(shop.getMoney(), 500.0f);
    EXPECT_EQ(shop.costTextX, -22.0f);
    shop.toggleHandout();
    EXPECT_EQ(shop.getMoney(), 490.0f);
    EXPECT_EQ(shop.costTextX, -30.0f);
    EXPECT_EQ(shop.costTextY, 31.25f);
    shop.toggleWindowDisplay();
    shop.toggleWindowDisplay();
    EXPECT_EQ(shop.getMoney(), -10.0f) << "switched on again, paid again";
    for (int i = 0; i < 3; ++i) {
        shop.buyProduct();
    }
    EXPECT_EQ(shop.getProduct(), 130.0f);
    EXPECT_EQ(shop.getMoney(), -100.0f);

    Shop hats = streetShop();
    hats.money = 400.0f;
    hats.toggleFreeHats();
    EXPECT_EQ(hats.getMoney(), -200.0f);
    EXPECT_TRUE(hats.hasFreeHats());
    EXPECT_FALSE(hats.isBankrupt());
    hats.update(0.1f);
    EXPECT_TRUE(hats.isBankrupt());

    Shop everything = streetShop();
    everything.toggleBigSign();
    everything.toggleSale60();
    everything.toggleWindowDisplay();
    everything.toggleHandout();
    everything.money = 1000.0f;
    everything.toggleFreeHats();
    EXPECT_EQ(everything.attraction(), 325);
}
