#pragma once

#include <list>

#include "market/Customer.h"
#include "market/DayClock.h"
#include "shop/Shop.h"
#include "shop/Sidebar.h"

// Money at which a shop wins.
constexpr float WinningMoney = 20000.0f;

// A press of the left button, where it happened, game units.
struct ButtonPress {
    float x;
    float y;
};

// Presses one update can serve, at most: more between two updates are no
// player's clicks, and are dropped.
constexpr int MaxPressesWaiting = 8;

// The street: the day clock, the three shops, the sidebar, 49 shoppers and
// 20 passers-by, stepped once per playing frame.
struct Market {
    // time of day and the hourly and daily flags
    DayClock dayClock;
    // ZEDOD AZU (mouse), HOTBEATS and TOP TUNES (keyboard)
    Shop shops[3];
    // the mouse player's panel
    Sidebar sidebar;
    // customers who choose and visit shops
    std::list<Customer> shoppers;
    // customers who only stroll
    std::list<Customer> passersBy;
    // z of the winner's banner
    float bannerZ;
    // left button held, as last reported
    bool mouseDown;
    // presses no update has served yet, oldest first: each fires once, even
    // when the button was let go before the update
    ButtonPress pressesWaiting[MaxPressesWaiting];
    int pressCount;
    // elapsed ms at the latest press, from which a held button's repeat waits
    int pressMs;
    // cursor, game units, as last reported
    float mouseX;
    float mouseY;
    // elapsed ms at the last button fire (at the street's loading before any), from
    // which a held button's next repeat waits
    int lastFireMs;
    // cumulative attraction shares of shops 0, 0..1, 0..2, percent
    float cumulativeShare[3];
    // who has won
    bool musicBoxWins;
    bool topTunesWins;
    bool hotbeatsWins;
    // the footsteps sample was started less than 1640 ms ago
    bool footstepsPlaying;
    // elapsed ms when the footsteps sample last started
    int footstepsStartMs;
    // a winner has been decided
    bool gameOver;

    // Creates the 69 customers; no GL, font or sound call.
    Market();

    // Font, clock, shops, customers' pictures and places, shares, sidebar.
    void initialise();
    // One frame of play.
    void update(float dt);
    // The street in painter's order, the banner and the clock.
    void draw();
    void setCursor(float x, float y);
    // true: a press of the left button at the cursor, which fires once;
    // false: the button is up.
    void setMouseDown(bool down);
    // Keyboard players (shops 1 and 2), on every screen.
    void handleKey(unsigned char key);
    // Cumulative shares from the shops' attraction.
    void computeShares();
    // The shop a choice draw of 1 to 99 picks under the current shares, or NoShop.
    int shopForDraw(int draw) const;
    // The winner's banner text to show, or nullptr while nobody has won.
    const char* bannerText() const;

    // 0 to n - 1 (0 without a draw when n <= 0).
    static int randomBelow(int n);
    // lo to hi - 1.
    static int randomBetween(int lo, int hi);
    // (px, py) within radius of (cx, cy), edge included.
    static bool insideCircle(float cx, float cy, float px, float py, float radius);
    // (px, py) in the band from left to left + 2 * halfWidth, within
    // halfHeight of centreY, edges included.
    static bool insideHeader(float left, float centreY, float px, float py, float halfHeight,
                             float halfWidth);

  private:
    // Places one customer at a random x with a random gender (two draws).
    void placeCustomer(Customer& customer);
    // Hands the clock's flags to every shop and runs their updates, then lowers the flags.
    void updateShops(float dt);
    // Sets the first win flag whose rule holds, and gameOver with it.
    void applyResultRules();
    // Lets one shopper choose, buy or walk, and starts the footsteps when due.
    void updateShopper(Customer& shopper, float dt);
    // A strolling shopper picks a shop by the shares (or none).
    void chooseShop(Customer& shopper);
    // A shopper at its shop pays and may get a free hat.
    void serve(Customer& shopper);
    // Slides the strips and opens the menus whose band holds the cursor.
    void updateSidebar(float dt);
    // Fires each waiting press's button on shop 0 once, and a button held
    // past the repeat delay again, at most every 100 ms, as a key repeats.
    void fireButtons();
    // Fires the first sidebar button whose circle holds (x, y) on shop 0,
    // while shop 0 has money.
    void fireButtonAt(float x, float y);
};

// The street, constructed before main.
extern Market market;
