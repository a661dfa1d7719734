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
    CapturedStdout trace;
    dispatchKey(key, shop1, shop2);
    return trace.take();
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

// What running the command's action on the shop directly, then playing the
// command's sample, leaves sounding (from silence, or from what sounds now).
std::string soundsOfDirectRun(const ShopCommand& command, Shop& shop) {
    (shop.*command.action)();
    if (command.sample != NoSample) {
        SoundBank::instance().playSample(command.sample);
    }
    return soundsPlaying();
}

} // namespace

TEST(ShopCommands, EveryKeyRunsItsCommandOnItsOwnShopWithItsTraceAndSound) {
    {
        ScopedDirectory inData(dataPath());
        SoundBank::instance().load();
    }
    ASSERT_TRUE(SoundBank::instance().deviceOpen);
    // Which key gives which command, and each command's label, action and
    // sample, the seeded game in tests/market/TrajectoryTest.cpp checks
    // through the keys it presses; shop 1's window key is not among them,
    // so each shop's keys are checked here, in the order of the table.
    std::string shop1Keys, shop2Keys;
    for (const ShopCommand& command : shopCommands) {
        shop1Keys += static_cast<char>(command.shop1Key);
        shop2Keys += static_cast<char>(command.shop2Key);
    }
    EXPECT_EQ(shop1Keys, "asd123qwezxcv");
    EXPECT_EQ(shop2Keys, "jkl890iopnm,b");
    // Pressed twice, a key does on its own shop alone what the command does,
    // and the sounds are those of the action and the command's sample.
    for (const ShopCommand& command : shopCommands) {
        Mix_HaltChannel(-1);
        Shop expected = streetShop();
        const std::string soundsOnce = soundsOfDirectRun(command, expected);
        const std::string soundsTwice = soundsOfDirectRun(command, expected);
        for (int keyed = 1; keyed <= 2; ++keyed) {
            Mix_HaltChannel(-1);
            Shop shops[2] = {streetShop(-30.0f), streetShop(30.0f)};
            const unsigned char key = keyed == 1 ? command.shop1Key : command.shop2Key;
            EXPECT_EQ(traceOfKey(key, shops[0], shops[1]), std::string(command.keyLabel) + "\n");
            EXPECT_EQ(soundsPlaying(), soundsOnce) << command.keyLabel;
            EXPECT_EQ(traceOfKey(key, shops[0], shops[1]), std::string(command.keyLabel) + "\n");
            EXPECT_EQ(soundsPlaying(), soundsTwice) << command.keyLabel;
            EXPECT_TRUE(sameShop(shops[keyed - 1], expected))
                << command.keyLabel << " on " << keyed;
            EXPECT_TRUE(sameShop(shops[2 - keyed], streetShop())) << command.keyLabel;
        }
    }
    Mix_HaltChannel(-1);
}

TEST(ShopCommands, UpperCaseUnknownKeysAndBrokeShopsDoNothing) {
    Shop shop1 = streetShop(-30.0f);
    Shop shop2 = streetShop(30.0f);
    const unsigned char keys[] = {'A', 'J', '<', 'y', '4', ' ', '\0', 0xff};
    for (unsigned char key : keys) {
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
    CapturedStdout trace;
    runShopCommand(shopCommands[1], FromSidebar, shop1);
    EXPECT_EQ(trace.take(), "MEDIUM SIGN BUTTON\n");
    EXPECT_TRUE(shop1.mediumSign);
    EXPECT_STREQ(shopCommands[12].mouseLabel, "PRODUCT BUTTON");
}
