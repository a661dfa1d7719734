#include <GL/glx.h>
#include <X11/extensions/XTest.h>
#include <gtest/gtest.h>

#include <vector>

#include "input/HeldKeys.h"
#include "input/KeyboardPlatform.h"
#include "shop/ShopCommands.h"
#include "tests/support/GameWindow.h"

namespace {

// A GL context current on a window of a display of its own, as the game's
// is on its window: the keyboard the poll asks is that display's.
struct ContextOnDisplay {
    explicit ContextOnDisplay(const VirtualDisplay& server)
        : display(XOpenDisplay(server.name.c_str())) {
        int attributes[] = {GLX_RGBA, None};
        XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), attributes);
        const Window root = DefaultRootWindow(display);
        XSetWindowAttributes set{};
        set.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
        const Window window = XCreateWindow(display, root, 0, 0, 8, 8, 0, visual->depth,
                                            InputOutput, visual->visual, CWColormap, &set);
        glXMakeCurrent(display, window, glXCreateContext(display, visual, nullptr, True));
        XFree(visual);
    }

    // Presses or lets go of the key that types each character, and waits
    // until the server has taken every one. What it sent this client then
    // (a keyboard mapping's notice) is dropped, as the game's window would
    // have handled it: the poll holds back while events wait.
    void keys(const std::vector<unsigned char>& characters, bool down) {
        for (unsigned char character : characters) {
            const char name[2] = {static_cast<char>(character), '\0'};
            const KeySym keysym = character == ',' ? XK_comma : XStringToKeysym(name);
            XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), down, CurrentTime);
        }
        XSync(display, True);
    }

    Display* display;
};

} // namespace

TEST(KeyboardX11, EveryKeyOfBothTablesHeldOnTheKeyboardStaysHeldAcrossThePoll) {
    VirtualDisplay server;
    ContextOnDisplay context(server);
    std::vector<unsigned char> keys;
    HeldKeys held;
    for (const ShopCommand& command : shopCommands) {
        for (unsigned char key : {command.shop1Key, command.shop2Key}) {
            keys.push_back(key);
            held.press(key);
        }
    }
    context.keys(keys, true);
    forgetKeysReleasedElsewhere(held);
    // Each key acts once: its repeats are still repeats after the poll.
    for (unsigned char key : keys) {
        EXPECT_FALSE(held.press(key)) << "the poll let go of '" << key << "', still down";
    }
    context.keys(keys, false);
    forgetKeysReleasedElsewhere(held);
    for (unsigned char key : keys) {
        EXPECT_TRUE(held.press(key)) << "the poll kept '" << key << "', let go";
    }
}
