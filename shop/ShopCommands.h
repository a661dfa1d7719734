#pragma once

#include "audio/SoundBank.h"
#include "shop/Sidebar.h"

struct Shop;

// Who gave a command: the mouse player on the sidebar, or a keyboard player.
enum CommandSource : int { FromSidebar, FromKey };

// One of the thirteen shop commands, as both the sidebar and the keyboard
// give it.
struct ShopCommand {
    // trace line written when the sidebar button fires it
    const char* mouseLabel;
    // trace line written when a key fires it
    const char* keyLabel;
    // the action run on the shop
    void (Shop::*action)();
    // sample played after the action, or NoSample
    SampleIndex sample;
    // the key that gives it for shop 1 and for shop 2
    unsigned char shop1Key;
    unsigned char shop2Key;
    // the sidebar button that gives it for shop 0
    SidebarButton button;
};

// How many shop commands there are.
constexpr int ShopCommandCount = 13;

// The commands, one for each sidebar button.
extern const ShopCommand shopCommands[ShopCommandCount];

// Writes the source's trace line (flushed), runs the action on the shop,
// plays the sample.
void runShopCommand(const ShopCommand& command, CommandSource source, Shop& shop);

// The keyboard players: shop 1's keys, then shop 2's, each only while that
// shop's money is above 0.
void dispatchKey(unsigned char key, Shop& shop1, Shop& shop2);
