#include "market/Market.h"

#include <GL/gl.h>

#include <cmath>

#include "audio/SoundBank.h"
#include "base/ElapsedTime.h"
#include "market/RandomGenerator.h"
#include "render/Font.h"
#include "render/PictureCache.h"
#include "render/SpriteQuad.h"
#include "shop/ShopCommands.h"

Market market;

namespace {

// How many customers of each kind walk the street.
constexpr int ShopperCount = 49;
constexpr int PasserByCount = 20;
// Where the keyboard shops stand; shop 0 keeps the middle.
constexpr float HotbeatsX = -30.0f;
constexpr float TopTunesX = 30.0f;
// Real milliseconds between two starts of the footsteps sound, at least.
constexpr int FootstepsGapMs = 1640;
// Real milliseconds a held button waits after its press before it repeats
// (more than this): a keyboard's delay, longer than any click (80 to 200 ms,
// a slow one 300), short enough that a player holding on means to repeat.
constexpr int ButtonRepeatDelayMs = 500;
// Real milliseconds between two repeats of a held button (more than this).
constexpr int ButtonRepeatMs = 100;
// The winner's banner: where it starts, its scale.
constexpr float BannerX = -20.0f;
constexpr float BannerY = 40.0f;
constexpr float BannerScale = 3.2f * 0.05f;

// One way the game is decided for a shop: its money reaching the winning
// sum, or its two rivals both bankrupt; and the win flag it sets.
struct ResultRule {
    // true: the shop's money decides; false: its two rivals' bankruptcy decides
    bool byMoney;
    int shop;
    bool Market::*flag;
};

// The result rules, tested in this order; the first that holds applies.
const ResultRule resultRules[] = {
    {true, 0, &Market::musicBoxWins},  {true, 1, &Market::hotbeatsWins},
    {true, 2, &Market::topTunesWins},  {false, 0, &Market::musicBoxWins},
    {false, 1, &Market::hotbeatsWins}, {false, 2, &Market::topTunesWins},
};

// A winner's flag and its banner, in the order the banner prefers them.
struct Banner {
    bool Market::*flag;
    const char* text;
};

const Banner banners[] = {
    {&Market::musicBoxWins, "ZEDOD AZU WINS"},
    {&Market::topTunesWins, "TOP TUNES WINS"},
    {&Market::hotbeatsWins, "HOTBEATS  WINS"},
};

} // namespace

Market::Market()
    : bannerZ(0.0f), mouseDown(false), pressesWaiting{}, pressCount(0), pressMs(0), mouseX(0.0f),
      mouseY(0.0f), lastFireMs(0), cumulativeShare{0.0f, 0.0f, 0.0f}, musicBoxWins(false),
      topTunesWins(false), hotbeatsWins(false), footstepsPlaying(false), footstepsStartMs(0),
      gameOver(false) {
    for (int i = 0; i < ShopperCount; ++i) {
        shoppers.emplace_back();
    }
    for (int i = 0; i < PasserByCount; ++i) {
        passersBy.emplace_back();
    }
}

void Market::initialise() {
    // Each picture file is decoded once while the street loads (69 customers
    // build their hats and bags from the same nine files) and let go of at
    // the end. The backdrop's three big screens, each used once, are not kept.
    const PictureCache pictures;
    Font::instance().load("./fonts/ERASDEMI.ttf", 100);
    dayClock.load();
    for (int i = 0; i < 3; ++i) {
        shops[i].init();
        shops[i].setIndex(i);
    }
    shops[1].setX(HotbeatsX);
    shops[2].setX(TopTunesX);
    for (Customer& shopper : shoppers) {
        placeCustomer(shopper);
    }
    for (Customer& passerBy : passersBy) {
        placeCustomer(passerBy);
    }
    computeShares();
    sidebar.load();
    lastFireMs = elapsedMs();
}

void Market::placeCustomer(Customer& customer) {
    const int xRoll = randomBetween(-48, 48);
    const int genderRoll = randomBetween(1, 3);
    customer.loadImages();
    customer.setX(static_cast<float>(xRoll));
    customer.setGender(genderRoll);
}

void Market::update(float dt) {
    dayClock.advance(dt);
    computeShares();
    updateShops(dt);
    applyResultRules();
    // Once decided, the clock and the shops run on but the street stands
    // still, even when a winner's charges later take it back under 20000.
    if (gameOver) {
        return;
    }
    if (elapsedMs() - footstepsStartMs >= FootstepsGapMs) {
        footstepsPlaying = false;
    }
    for (Customer& shopper : shoppers) {
        updateShopper(shopper, dt);
    }
    for (Customer& passerBy : passersBy) {
        passerBy.update(dt);
    }
    updateSidebar(dt);
    fireButtons();
}

void Market::updateShops(float dt) {
    for (Shop& shop : shops) {
        if (dayClock.hourPassed()) {
            shop.setHourTick(true);
        }
        if (dayClock.dayPassed()) {
            shop.setDayTick(true);
        }
        shop.update(dt);
        // A shop that has just sold out must stop drawing shoppers at once.
        if (shop.getProduct() == 0.0f) {
            computeShares();
        }
    }
    if (dayClock.hourPassed()) {
        dayClock.clearHourPassed();
    }
    if (dayClock.dayPassed()) {
        dayClock.clearDayPassed();
    }
}

void Market::applyResultRules() {
    for (const ResultRule& rule : resultRules) {
        const bool holds = rule.byMoney ? shops[rule.shop].getMoney() >= WinningMoney
                                        : shops[(rule.shop + 1) % 3].isBankrupt() &&
                                              shops[(rule.shop + 2) % 3].isBankrupt();
        if (holds) {
            this->*rule.flag = true;
            gameOver = true;
            return;
        }
    }
}

void Market::updateShopper(Customer& shopper, float dt) {
    if (shopper.getState() == HeadingToShop && !footstepsPlaying) {
        footstepsPlaying = true;
        footstepsStartMs = elapsedMs();
        SoundBank::instance().playSample(FootstepsSample);
    }
    if (shopper.getState() == Buying) {
        serve(shopper);
    } else if (shopper.getState() == Strolling) {
        chooseShop(shopper);
        // Even with no shop chosen it sets off, towards its old target.
        shopper.setState(HeadingToShop);
    }
    shopper.update(dt);
}

void Market::chooseShop(Customer& shopper) {
    const int chosen = shopForDraw(randomBetween(1, 100));
    if (chosen == NoShop) {
        return;
    }
    Shop& shop = shops[chosen];
    shopper.setTarget(shop.getX(), shop.getY());
    shopper.setShop(chosen);
    shopper.setWillCarryBag(shop.hasStock());
}

int Market::shopForDraw(int draw) const {
    const float r = static_cast<float>(draw);
    // Equality is a hit and the lower shop wins ties; NaN shares hit nothing.
    for (int i = 0; i < 3; ++i) {
        if (r <= cumulativeShare[i]) {
            return i;
        }
    }
    return NoShop;
}

void Market::serve(Customer& shopper) {
    const int s = shopper.getShop();
    // A shopper that never had a shop arrives at the exit and buys nothing.
    if (s < 0 || s >= NoShop) {
        return;
    }
    shops[s].sell();
    if (shops[s].hasFreeHats()) {
        shopper.setHatOn(true);
        shopper.setHatForShop(s);
    }
}

void Market::updateSidebar(float dt) {
    sidebar.update(dt);
    const float radius = sidebar.buttonRadius;
    const float half = sidebar.stripHalf;
    sidebar.setSignMenuOpen(insideHeader(sidebar.signMenuButtonX, sidebar.signMenuButtonY, mouseX,
                                         mouseY, radius, half));
    sidebar.setSaleMenuOpen(
        insideHeader(sidebar.saleMenuButtonX, sidebar.saleBandY, mouseX, mouseY, radius, half));
    sidebar.setPromotionMenuOpen(insideHeader(sidebar.promotionMenuButtonX, sidebar.promotionBandY,
                                              mouseX, mouseY, radius, half));
}

void Market::fireButtons() {
    if (pressCount > 0) {
        for (int i = 0; i < pressCount; ++i) {
            fireButtonAt(pressesWaiting[i].x, pressesWaiting[i].y);
        }
        pressCount = 0;
    } else if (mouseDown && elapsedMs() - pressMs > ButtonRepeatDelayMs &&
               elapsedMs() - lastFireMs > ButtonRepeatMs) {
        fireButtonAt(mouseX, mouseY);
    } else {
        return;
    }
    // Read again: the next repeat counts from after this one's command ran.
    lastFireMs = elapsedMs();
}

void Market::fireButtonAt(float x, float y) {
    if (shops[0].getMoney() <= 0.0f) {
        return;
    }
    for (const ShopCommand& command : shopCommands) {
        float cx = 0.0f;
        float cy = 0.0f;
        sidebar.buttonCentre(command.button, cx, cy);
        if (insideCircle(cx, cy, x, y, sidebar.buttonRadius)) {
            runShopCommand(command, FromSidebar, shops[0]);
            return;
        }
    }
}

void Market::draw() {
    for (Shop& shop : shops) {
        shop.draw();
    }
    for (Customer& shopper : shoppers) {
        shopper.draw();
    }
    for (Customer& passerBy : passersBy) {
        passerBy.draw();
    }
    sidebar.draw();

    beginSpriteDrawing();
    if (gameOver) {
        // The green stays current, so the clock's sun is tinted with it.
        glPushMatrix();
        glTranslatef(BannerX, BannerY, bannerZ);
        glColor4f(0.0f, 1.0f, 0.0f, 1.0f);
        glScalef(BannerScale, BannerScale, BannerScale);
        if (const char* text = bannerText()) {
            Font::instance().print("%s", text);
        }
        glPopMatrix();
    }
    dayClock.draw();
    endSpriteDrawing();
}

const char* Market::bannerText() const {
    for (const Banner& banner : banners) {
        if (this->*banner.flag) {
            return banner.text;
        }
    }
    return nullptr;
}

void Market::setCursor(float x, float y) {
    mouseX = x;
    mouseY = y;
}

void Market::setMouseDown(bool down) {
    mouseDown = down;
    if (!down) {
        return;
    }
    pressMs = elapsedMs();
    if (pressCount < MaxPressesWaiting) {
        pressesWaiting[pressCount++] = {mouseX, mouseY};
    }
}

void Market::handleKey(unsigned char key) { dispatchKey(key, shops[1], shops[2]); }

void Market::computeShares() {
    int total = 0;
    for (Shop& shop : shops) {
        total += shop.attraction();
    }
    float share[3];
    for (int i = 0; i < 3; ++i) {
        // 0 / 0 when every score is 0: NaN shares, and nobody chooses a shop
        share[i] = static_cast<float>(shops[i].attraction()) / static_cast<float>(total);
        share[i] = share[i] * 100.0f;
    }
    share[1] = share[1] + share[0];
    share[2] = share[2] + share[1];
    for (int i = 0; i < 3; ++i) {
        cumulativeShare[i] = share[i];
    }
}

int Market::randomBelow(int n) {
    RandomGenerator::seedOnce();
    if (n <= 0) {
        return 0;
    }
    return RandomGenerator::draw() % n;
}

int Market::randomBetween(int lo, int hi) { return lo + randomBelow(hi - lo); }

bool Market::insideCircle(float cx, float cy, float px, float py, float radius) {
    const float dx = px - cx;
    const float dy = py - cy;
    return std::sqrt(dx * dx + dy * dy) <= radius;
}

bool Market::insideHeader(float left, float centreY, float px, float py, float halfHeight,
                          float halfWidth) {
    return left <= px && px <= left + 2.0f * halfWidth && centreY - halfHeight <= py &&
           py <= centreY + halfHeight;
}
