#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <string>

#include "audio/SoundBank.h"
#include "shop/ShopCommands.h"
#include "tests/shop/StreetShop.h"
#include "tests/support/SoundBankProbe.h"
#include "tests/support/TestSupport.h"

namespace {

// What a key press writes to standard output.
std::string traceOfKey(unsigned char key, Shop& shop1, Shop& shop2) {
    testing::internal::CaptureStdout();
    dispatchKey(key, shop1, shop2);
    return testing::internal::GetCapturedStdout();
}

// Whether two shops hold the same money, product, price and attraction.
bool sameShop(Shop a, Shop b) {
    return a.money == b.money && a.product == b.product && a.price == b.price &&
           a.attraction() == b.attraction();
}

// The effects sounding now, one digit of copies per sample index.
std::string soundsPlaying() {
    std::string copies;
    for (int sample = 0; sample < SoundBank::SampleCount; ++sample) {
        copies += std::to_string(SoundBankProbe::copiesPlaying(sample));
    }
    return copies;
}

// The sounds expected after a key press: copies of one sample, none of the others.
std::string onlySound(int sample, int copies) {
    std::string expected(SoundBank::SampleCount, '0');
    if (sample >= 0 && copies > 0) {
        expected[sample] = static_cast<char>('0' + copies);
    }
    return expected;
}

} // namespace

TEST(ShopCommands, EveryKeyRunsItsActionOnItsOwnShopWithItsTraceAndSound) {
    {
        ScopedDirectory inData(dataPath());
        SoundBank::instance().load();
    }
    ASSERT_TRUE(SoundBank::instance().deviceOpen);
    // the sample each press plays, and how many copies sound after a second
    // press that switches the feature off again (the bell rings only going up)
    const struct {
        unsigned char shop1Key, shop2Key;
        void (Shop::*action)();
        const char* trace;
        int sample, copiesAfterTwo;
    } rows[] = {{'1', '8', &Shop::toggleSale10, "10% BUTTON", InflateSample, 2},
                {'2', '9', &Shop::toggleSale20, "20% BUTTON", InflateSample, 2},
                {'3', '0', &Shop::toggleSale30, "30% BUTTON", InflateSample, 2},
                {'q', 'i', &Shop::toggleSale40, "40% BUTTON", InflateSample, 2},
                {'w', 'o', &Shop::toggleSale50, "50% BUTTON", InflateSample, 2},
                {'e', 'p', &Shop::toggleSale60, "60% BUTTON", InflateSample, 2},
                {'a', 'j', &Shop::toggleBigSign, "BIG SIGN BUTTON", BellSample, 1},
                {'s', 'k', &Shop::toggleMediumSign, "MEDSIGN BUTTON", BellSample, 1},
                {'d', 'l', &Shop::toggleSmallSign, "SMALL SIGN BUTTON", BellSample, 1},
                {'z', 'n', &Shop::toggleWindowDisplay, "WINDOW BUTTON", WindowSample, 2},
                {'x', 'm', &Shop::toggleHandout, "HANDOUT BUTTON", HeySample, 2},
                {'c', ',', &Shop::toggleFreeHats, "FREE HAT BUTTON", FreeHatSample, 2},
                {'v', 'b', &Shop::buyProduct, "PRODUCT BUTTON", -1, 0}};
    for (const auto& row : rows) {
        Shop expected = streetShop();
        (expected.*row.action)();
        for (int keyed = 1; keyed <= 2; ++keyed) {
            Mix_HaltChannel(-1);
            Shop shops[2] = {streetShop(-30.0f), streetShop(30.0f)};
            const unsigned char key = keyed == 1 ? row.shop1Key : row.shop2Key;
            EXPECT_EQ(traceOfKey(key, shops[0], shops[1]), std::string(row.trace) + "\n");
            EXPECT_TRUE(sameShop(shops[keyed - 1], expected)) << row.trace << " on " << keyed;
            EXPECT_TRUE(sameShop(shops[2 - keyed], streetShop())) << row.trace;
            EXPECT_EQ(soundsPlaying(), onlySound(row.sample, 1)) << row.trace;
            traceOfKey(key, shops[0], shops[1]);
            EXPECT_EQ(soundsPlaying(), onlySound(row.sample, row.copiesAfterTwo)) << row.trace;
        }
    }
    Mix_HaltChannel(-1);
}

TEST(ShopCommands, UpperCaseUnknownKeysAndBrokeShopsDoNothing) {
    Shop shop1 = streetShop(-30.0f);
    Shop shop2 = streetShop(30.0f);
    for (unsigned char key : {'A', 'J', '<', 'y', '4', ' ', '\0', '\xff'}) {
        EXPECT_EQ(traceOfKey(key, shop1, shop2), "") << int(key);
    }
    shop1.money = 400.0f;
    EXPECT_EQ(traceOfKey('c', shop1, shop2), "FREE HAT BUTTON\n");
    EXPECT_EQ(traceOfKey('a', shop1, shop2), "") << "money -200 refuses";
    EXPECT_EQ(traceOfKey('j', shop1, shop2), "BIG SIGN BUTTON\n");
    EXPECT_FALSE(shop1.bigSign);
    EXPECT_TRUE(shop2.bigSign);
    shop2.money = 0.0f;
    EXPECT_EQ(traceOfKey('b', shop1, shop2), "") << "money 0 refuses";

    // the sidebar's path writes the mouse label of the same command
    testing::internal::CaptureStdout();
    runShopCommand(shopCommands[1], FromSidebar, shop1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MEDIUM SIGN BUTTON\n");
    EXPECT_TRUE(shop1.mediumSign);
    EXPECT_STREQ(shopCommands[12].mouseLabel, "PRODUCT BUTTON");
}
