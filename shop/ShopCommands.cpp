#include "shop/ShopCommands.h"

#include <cstdio>

#include "audio/SoundBank.h"
#include "shop/Shop.h"

namespace {

// The command a key gives in one shop's column, or null.
const ShopCommand* commandForKey(unsigned char key, unsigned char ShopCommand::*column) {
    for (const ShopCommand& command : shopCommands) {
        if (command.*column == key) {
            return &command;
        }
    }
    return nullptr;
}

// Runs the key's command on the shop while the shop has money.
void dispatchToShop(unsigned char key, unsigned char ShopCommand::*column, Shop& shop) {
    if (shop.getMoney() <= 0.0f) {
        return;
    }
    const ShopCommand* command = commandForKey(key, column);
    if (command != nullptr) {
        runShopCommand(*command, FromKey, shop);
    }
}

} // namespace

constexpr ShopCommand shopCommands[ShopCommandCount] = {
    {"BIG SIGN BUTTON", "BIG SIGN BUTTON", &Shop::toggleBigSign, NoSample, 'a', 'j', BigSignButton},
    {"MEDIUM SIGN BUTTON", "MEDSIGN BUTTON", &Shop::toggleMediumSign, NoSample, 's', 'k',
     MediumSignButton},
    {"SMALL SIGN BUTTON", "SMALL SIGN BUTTON", &Shop::toggleSmallSign, NoSample, 'd', 'l',
     SmallSignButton},
    {"10% BUTTON", "10% BUTTON", &Shop::toggleSale10, InflateSample, '1', '8', Sale10Button},
    {"20% BUTTON", "20% BUTTON", &Shop::toggleSale20, InflateSample, '2', '9', Sale20Button},
    {"30% BUTTON", "30% BUTTON", &Shop::toggleSale30, InflateSample, '3', '0', Sale30Button},
    {"40% BUTTON", "40% BUTTON", &Shop::toggleSale40, InflateSample, 'q', 'i', Sale40Button},
    {"50% BUTTON", "50% BUTTON", &Shop::toggleSale50, InflateSample, 'w', 'o', Sale50Button},
    {"60% BUTTON", "60% BUTTON", &Shop::toggleSale60, InflateSample, 'e', 'p', Sale60Button},
    {"WINDOW BUTTON", "WINDOW BUTTON", &Shop::toggleWindowDisplay, WindowSample, 'z', 'n',
     WindowButton},
    {"HANDOUT BUTTON", "HANDOUT BUTTON", &Shop::toggleHandout, HeySample, 'x', 'm', HandoutButton},
    {"FREE HAT BUTTON", "FREE HAT BUTTON", &Shop::toggleFreeHats, FreeHatSample, 'c', ',',
     FreeHatButton},
    {"PRODUCT BUTTON", "PRODUCT BUTTON", &Shop::buyProduct, NoSample, 'v', 'b', ProductButton},
};

namespace {

// Whether every sidebar button gives exactly one command.
constexpr bool eachButtonOnce() {
    for (int button = BigSignButton; button <= ProductButton; ++button) {
        int commands = 0;
        for (const ShopCommand& command : shopCommands) {
            commands += command.button == button;
        }
        if (commands != 1) {
            return false;
        }
    }
    return true;
}

} // namespace

static_assert(eachButtonOnce(), "each sidebar button gives exactly one command");

void runShopCommand(const ShopCommand& command, CommandSource source, Shop& shop) {
    std::fputs(source == FromSidebar ? command.mouseLabel : command.keyLabel, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    (shop.*command.action)();
    // the signs ring their own bell
    if (command.sample != NoSample) {
        SoundBank::instance().playSample(command.sample);
    }
}

void dispatchKey(unsigned char key, Shop& shop1, Shop& shop2) {
    dispatchToShop(key, &ShopCommand::shop1Key, shop1);
    dispatchToShop(key, &ShopCommand::shop2Key, shop2);
}
