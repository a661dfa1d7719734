#include <gtest/gtest.h>

#include <string>

#include "shop/ShopCommands.h"
#include "tests/shop/StreetShop.h"

namespace {

// The key players' table: keys of shops 1 and 2, the action and its trace line.
struct KeyRow {
    unsigned char shop1Key;
    unsigned char shop2Key;
    void (Shop::*action)();
    const char* trace;
};
const KeyRow keyRows[] = {
    {'1', '8', &Shop::toggleSale10, "10% BUTTON"},
    {'2', '9', &Shop::toggleSale20, "20% BUTTON"},
    {'3', '0', &Shop::toggleSale30, "30% BUTTON"},
    {'q', 'i', &Shop::toggleSale40, "40% BUTTON"},
    {'w', 'o', &Shop::toggleSale50, "50% BUTTON"},
    {'e', 'p', &Shop::toggleSale60, "60% BUTTON"},
    {'a', 'j', &Shop::toggleBigSign, "BIG SIGN BUTTON"},
    {'s', 'k', &Shop::toggleMediumSign, "MEDSIGN BUTTON"},
    {'d', 'l', &Shop::toggleSmallSign, "SMALL SIGN BUTTON"},
    {'z', 'n', &Shop::toggleWindowDisplay, "WINDOW BUTTON"},
    {'x', 'm', &Shop::toggleHandout, "HANDOUT BUTTON"},
    {'c', ',', &Shop::toggleFreeHats, "FREE HAT BUTTON"},
    {'v', 'b', &Shop::buyProduct, "PRODUCT BUTTON"},
};

// Whether two shops hold the same economy and features.
bool sameShop(const Shop& a, const Shop& b) {
    return a.money == b.money && a.product == b.product && a.price == b.price &&
           a.bigSign == b.bigSign && a.mediumSign == b.mediumSign && a.smallSign == b.smallSign &&
           a.sale10 == b.sale10 && a.sale20 == b.sale20 && a.sale30 == b.sale30 &&
           a.sale40 == b.sale40 && a.sale50 == b.sale50 && a.sale60 == b.sale60 &&
           a.windowDisplay == b.windowDisplay && a.handout == b.handout &&
           a.freeHats == b.freeHats;
}

// What a key press writes to standard output.
std::string traceOfKey(unsigned char key, Shop& shop1, Shop& shop2) {
    testing::internal::CaptureStdout();
    dispatchKey(key, shop1, shop2);
    return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(ShopCommands, EveryKeyRunsItsActionOnItsOwnShopWithItsTrace) {
    for (const KeyRow& row : keyRows) {
        Shop expected = streetShop();
        (expected.*row.action)();
        const Shop untouched = streetShop();

        Shop shop1 = streetShop(-30.0f);
        Shop shop2 = streetShop(30.0f);
        EXPECT_EQ(traceOfKey(row.shop1Key, shop1, shop2), std::string(row.trace) + "\n");
        EXPECT_TRUE(sameShop(shop1, expected)) << row.trace << " on shop 1";
        EXPECT_TRUE(sameShop(shop2, untouched)) << row.trace << " left shop 2 alone";

        Shop other1 = streetShop(-30.0f);
        Shop other2 = streetShop(30.0f);
        EXPECT_EQ(traceOfKey(row.shop2Key, other1, other2), std::string(row.trace) + "\n");
        EXPECT_TRUE(sameShop(other2, expected)) << row.trace << " on shop 2";
        EXPECT_TRUE(sameShop(other1, untouched)) << row.trace << " left shop 1 alone";
    }
}

TEST(ShopCommands, UpperCaseUnknownKeysAndBankruptShopsDoNothing) {
    Shop shop1 = streetShop(-30.0f);
    Shop shop2 = streetShop(30.0f);
    const Shop untouched = streetShop();
    for (unsigned char key : {'A', 'J', 'V', '<', 'y', '4', ' ', '\0', '\r', '\xff'}) {
        EXPECT_EQ(traceOfKey(key, shop1, shop2), "") << int(key);
    }
    EXPECT_TRUE(sameShop(shop1, untouched) && sameShop(shop2, untouched));

    // shop 1 with 400 orders free hats and is broke: its keys stop, shop 2's still work
    shop1.money = 400.0f;
    EXPECT_EQ(traceOfKey('c', shop1, shop2), "FREE HAT BUTTON\n");
    EXPECT_EQ(shop1.getMoney(), -200.0f);
    EXPECT_EQ(traceOfKey('a', shop1, shop2), "");
    EXPECT_EQ(traceOfKey('v', shop1, shop2), "");
    EXPECT_FALSE(shop1.bigSign);
    EXPECT_EQ(traceOfKey('j', shop1, shop2), "BIG SIGN BUTTON\n");
    EXPECT_TRUE(shop2.bigSign);

    // money of exactly 0 refuses too
    shop2.money = 0.0f;
    EXPECT_EQ(traceOfKey('b', shop1, shop2), "");
    EXPECT_EQ(shop2.getProduct(), 100.0f);
}

TEST(ShopCommands, SidebarOrderAndMouseLabels) {
    const char* mouseLabels[ShopCommandCount] = {
        "BIG SIGN BUTTON", "MEDIUM SIGN BUTTON", "SMALL SIGN BUTTON", "10% BUTTON",
        "20% BUTTON",      "30% BUTTON",         "40% BUTTON",        "50% BUTTON",
        "60% BUTTON",      "WINDOW BUTTON",      "HANDOUT BUTTON",    "FREE HAT BUTTON",
        "PRODUCT BUTTON"};
    const int samples[ShopCommandCount] = {-1, -1, -1, 6, 6, 6, 6, 6, 6, 4, 7, 3, -1};
    for (int i = 0; i < ShopCommandCount; ++i) {
        EXPECT_STREQ(shopCommands[i].mouseLabel, mouseLabels[i]);
        EXPECT_EQ(shopCommands[i].sample, samples[i]) << mouseLabels[i];
    }

    // the mouse path writes the mouse label and runs the same action
    Shop shop0 = streetShop();
    testing::internal::CaptureStdout();
    runShopCommand(shopCommands[1], shopCommands[1].mouseLabel, shop0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "MEDIUM SIGN BUTTON\n");
    EXPECT_TRUE(shop0.mediumSign);
    EXPECT_EQ(shop0.getMoney(), 700.0f);
}
