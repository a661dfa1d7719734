#include <GL/glx.h>
#include <X11/extensions/XTest.h>
#include <gtest/gtest.h>

#include "input/HeldKeys.h"
#include "input/KeyboardPlatform.h"
#include "shop/ShopCommands.h"
#include "tests/support/GameWindow.h"

TEST(KeyboardX11, EveryKeyOfBothTablesHeldOnTheKeyboardStaysHeldAcrossThePoll) {
    // A GL context on a window of a display of its own, as the game's is:
    // the keyboard the poll asks is that display's.
    VirtualDisplay server;
    Display* display = XOpenDisplay(server.name.c_str());
    int attributes[] = {GLX_RGBA, None};
    XVisualInfo* visual = glXChooseVisual(display, DefaultScreen(display), attributes);
    XSetWindowAttributes set{};
    set.colormap = XCreateColormap(display, DefaultRootWindow(display), visual->visual, AllocNone);
    const Window window =
        XCreateWindow(display, DefaultRootWindow(display), 0, 0, 8, 8, 0, visual->depth,
                      InputOutput, visual->visual, CWColormap, &set);
    const GLXContext context = glXCreateContext(display, visual, nullptr, True);
    glXMakeCurrent(display, window, context);
    XFree(visual);

    HeldKeys held;
    for (const ShopCommand& command : shopCommands) {
        for (unsigned char key : {command.shop1Key, command.shop2Key}) {
            held.press(key);
            const char name[2] = {static_cast<char>(key), '\0'};
            const KeySym keysym = key == ',' ? XK_comma : XStringToKeysym(name);
            XTestFakeKeyEvent(display, XKeysymToKeycode(display, keysym), True, CurrentTime);
        }
    }
    // The server has taken every key; its notices to this client are dropped,
    // as the game's window would have handled them (the poll waits for them).
    XSync(display, True);
    forgetKeysReleasedElsewhere(held);
    // Each key acts once: its repeats are still repeats after the poll.
    for (const ShopCommand& command : shopCommands) {
        for (unsigned char key : {command.shop1Key, command.shop2Key}) {
            EXPECT_FALSE(held.press(key)) << "the poll let go of '" << key << "', still down";
        }
    }
    glXMakeCurrent(display, None, nullptr);
    glXDestroyContext(display, context);
    XDestroyWindow(display, window);
    XFreeColormap(display, set.colormap);
    XCloseDisplay(display);
}
