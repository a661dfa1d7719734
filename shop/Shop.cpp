#include "shop/Shop.h"

#include <GL/gl.h>

#include <cstdio>

#include "audio/SoundBank.h"
#include "base/ScreenRect.h"
#include "render/Font.h"
#include "render/SpriteQuad.h"

namespace {

// Money, product and price of a new shop.
constexpr float StartingMoney = 1000.0f;
constexpr float StartingProduct = 100.0f;
// Price with no sale on, per customer.
constexpr float FullPrice = 40.0f;
// Side of the building, game units.
constexpr float ShopSize = 25.0f;
// Floating texts: the charge text hides at this y, the sale text at this y
// (where the cash sound plays), the profit text at this y.
constexpr float CostTextTop = 60.0f;
constexpr float IncomeTextTop = 50.0f;
constexpr float ProfitTextTop = 70.0f;
// Where the profit text starts at each hour tick.
constexpr float ProfitTextStart = 40.0f;
// Rising speeds of the charge and sale texts and of the profit text, units a second.
constexpr float MoneyTextSpeed = 10.0f;
constexpr float ProfitTextSpeed = 5.0f;
// Growth of the sale balloon, units a second.
constexpr float BalloonGrowSpeed = 10.0f;
// Walking speed of the handout guy, units a second.
constexpr float HandoutSpeed = 2.0f;
// Promotion prices (paid when switched on) and running costs.
constexpr float WindowDisplayCost = 500.0f;
constexpr float HandoutHireCost = 10.0f;
constexpr float HandoutHourlyWage = 20.0f;
constexpr float FreeHatsCost = 600.0f;
constexpr float FreeHatsDailyCost = 1200.0f;
// A crate of product: its price and how many units it holds.
constexpr float ProductCost = 30.0f;
constexpr float ProductCrate = 10.0f;
// The window display's charge text starts this far right of the shop's centre.
constexpr float WindowTextOffset = 8.0f;
// Attraction of a shop with no feature on, and of one that cannot sell.
constexpr int BaseAttraction = 20;
// Every text of the shop is drawn at this scale (size-30 font into game units).
constexpr float TextScale = 1.2f * 0.05f;

// Colours, red, green, blue, alpha.
constexpr float White[4] = {1.0f, 1.0f, 1.0f, 1.0f};
constexpr float Red[4] = {1.0f, 0.0f, 0.0f, 1.0f};
constexpr float Green[4] = {0.0f, 1.0f, 0.0f, 1.0f};

// One of the three signs: its flag, its price and its upkeep at each day tick.
struct SignTerms {
    bool Shop::*flag;
    float price;
    float dailyUpkeep;
};
constexpr SignTerms BigSignTerms{&Shop::bigSign, 500.0f, 280.0f};
constexpr SignTerms MediumSignTerms{&Shop::mediumSign, 300.0f, 180.0f};
constexpr SignTerms SmallSignTerms{&Shop::smallSign, 100.0f, 80.0f};
// The sign group, biggest first (the order in which the upkeep is looked up).
constexpr const SignTerms* Signs[] = {&BigSignTerms, &MediumSignTerms, &SmallSignTerms};

// One of the six sales: its flag, the price while it is on, and the divisor
// of the building's size that gives its balloon's side.
struct SaleTerms {
    bool Shop::*flag;
    float price;
    double balloonDivisor;
};
constexpr SaleTerms Sale10Terms{&Shop::sale10, 36.0f, 2.2};
constexpr SaleTerms Sale20Terms{&Shop::sale20, 32.0f, 1.8};
constexpr SaleTerms Sale30Terms{&Shop::sale30, 28.0f, 1.6};
constexpr SaleTerms Sale40Terms{&Shop::sale40, 24.0f, 1.2};
constexpr SaleTerms Sale50Terms{&Shop::sale50, 20.0f, 1.0};
constexpr SaleTerms Sale60Terms{&Shop::sale60, 16.0f, 0.7};
// The sale group, shallowest first.
constexpr const SaleTerms* Sales[] = {&Sale10Terms, &Sale20Terms, &Sale30Terms,
                                      &Sale40Terms, &Sale50Terms, &Sale60Terms};

// What each feature adds to the attraction while it is on.
struct FeatureBonus {
    bool Shop::*flag;
    int bonus;
};
constexpr FeatureBonus FeatureBonuses[] = {
    {&Shop::bigSign, 50}, {&Shop::mediumSign, 30},    {&Shop::smallSign, 10}, {&Shop::sale10, 20},
    {&Shop::sale20, 35},  {&Shop::sale30, 50},        {&Shop::sale40, 75},    {&Shop::sale50, 90},
    {&Shop::sale60, 105}, {&Shop::windowDisplay, 30}, {&Shop::handout, 50},   {&Shop::freeHats, 70},
};

// Takes amount from the shop and starts the red charge text at (atX, atY).
void charge(Shop& shop, float amount, float atX, float atY) {
    shop.costAmount = -amount;
    shop.money -= amount;
    shop.costTextX = atX;
    shop.costTextY = atY;
}

// Flips one sign, takes the others down, and rings the bell and charges
// the sign's price when it goes up.
void toggleSign(Shop& shop, const SignTerms& sign) {
    const bool up = !(shop.*sign.flag);
    for (const SignTerms* each : Signs) {
        shop.*(each->flag) = false;
    }
    shop.*sign.flag = up;
    shop.signOn = up;
    if (up) {
        SoundBank::instance().playSample(BellSample);
        charge(shop, sign.price, shop.x, shop.y);
    }
}

// Flips one sale, ends the others, restarts the balloon and sets the price.
void toggleSale(Shop& shop, const SaleTerms& sale) {
    const bool on = !(shop.*sale.flag);
    for (const SaleTerms* each : Sales) {
        shop.*(each->flag) = false;
    }
    shop.*sale.flag = on;
    shop.saleOn = on;
    shop.saleSize = 0.0f;
    shop.price = on ? sale.price : FullPrice;
}

// Prints text with its baseline origin at (tx, ty, z), in the current colour.
void printText(float tx, float ty, float z, const char* text) {
    glPushMatrix();
    glTranslatef(tx, ty, z);
    glScalef(TextScale, TextScale, TextScale);
    Font::instance().print("%s", text);
    glPopMatrix();
}

// Prints one floating money text, "$-500" and the like, in a colour.
void printAmount(const float* colour, float tx, float ty, float z, const char* format,
                 float amount) {
    char text[48];
    std::snprintf(text, sizeof text, format, static_cast<double>(amount));
    glColor4fv(colour);
    printText(tx, ty, z, text);
}

} // namespace

Shop::Shop()
    : signList(-1), storeSignLists{-1, -1, -1}, balloonMonsterList(-1), windowDisplayList(-1),
      handoutList(-1), handoutGuyLists{-1, -1, -1}, statBoxList(-1), freeHatsList(-1), x(0.0f),
      y(0.0f), z(0.0f), shopList(-1), size(0.0f), halfSize(0.0f), money(StartingMoney),
      product(StartingProduct), price(FullPrice), saleTargetSize(0.0f), saleGrowStep(0.0f),
      saleSize(0.0f), signOn(false), bigSign(false), mediumSign(false), smallSign(false),
      saleOn(false), sale10(false), sale20(false), sale30(false), sale40(false), sale50(false),
      sale60(false), windowDisplay(false), handout(false), freeHats(false), attractionScore(0),
      outOfProduct(false), costAmount(0.0f), costTextY(0.0f), costTextX(0.0f), handoutX(0.0f),
      handoutY(0.0f), incomeAmount(0.0f), incomeTextX(0.0f), incomeTextY(0.0f), hourTick(false),
      dayTick(false), handoutWalkingLeft(true), bankrupt(false), bankruptList(-1),
      cashSoundPending(false), profit(0.0f), lastMoney(static_cast<int>(StartingMoney)),
      profitTextX(0.0f), profitTextY(ProfitTextTop) {}

void Shop::init() {
    size = ShopSize;
    halfSize = size / 2.0f;
    z = 0.0f;
    x = 0.0f;
    y = static_cast<float>((ScreenBottom + ScreenTop) / 2.0);
    Font::instance().load("./fonts/ERASDEMI.ttf", 30);

    // Each picture gets a texture of its own; the first sign and handout guy
    // are replaced by setIndex right afterwards.
    loadSpriteQuads({
        {&shopList, "./images/shop.png"},
        {&signList, "./images/sign.png"},
        {&balloonMonsterList, "./images/balloonmonster.png"},
        {&windowDisplayList, "./images/windowDisplay.png"},
        {&handoutList, "./images/handoutguy.png"},
        {&statBoxList, "./images/statbox.png"},
        {&storeSignLists[0], "./images/store0.png"},
        {&storeSignLists[1], "./images/store1.png"},
        {&storeSignLists[2], "./images/store2.png"},
        {&freeHatsList, "./images/freehats.png"},
        {&bankruptList, "./images/bankrupt.png"},
        {&handoutGuyLists[0], "./images/handoutguy0.png"},
        {&handoutGuyLists[1], "./images/handoutguy1.png"},
        {&handoutGuyLists[2], "./images/handoutguy2.png"},
    });
}

void Shop::setIndex(int index) {
    if (index < 0 || index > 2) {
        return;
    }
    signList = storeSignLists[index];
    handoutList = handoutGuyLists[index];
}

void Shop::setX(float newX) {
    x = newX;
    profitTextX = newX;
}

void Shop::update(float dt) {
    bankrupt = money <= 0.0f;
    raiseMoneyTexts(dt);
    payDailyCharges();
    payHourlyCharges();
    growSaleBalloon(dt);
    outOfProduct = product <= 0.0f;
    walkHandoutGuy(dt);
}

void Shop::raiseMoneyTexts(float dt) {
    // The red charge text rises, then hides.
    if (costTextY < CostTextTop) {
        costTextY += MoneyTextSpeed * dt;
    } else {
        costAmount = 0.0f;
    }

    // The green sale text rises; at its top the till rings once and it hides.
    if (incomeTextY < IncomeTextTop) {
        incomeTextY += MoneyTextSpeed * dt;
    } else {
        if (cashSoundPending) {
            SoundBank::instance().playSample(CashSample);
            cashSoundPending = false;
        }
        incomeAmount = 0.0f;
    }

    profitTextY += ProfitTextSpeed * dt;
}

void Shop::payDailyCharges() {
    // Once a day: the sign's upkeep, then the free hats.
    if (!dayTick) {
        return;
    }
    dayTick = false;
    for (const SignTerms* sign : Signs) {
        if (this->*(sign->flag)) {
            charge(*this, sign->dailyUpkeep, x, y);
            break;
        }
    }
    if (freeHats) {
        charge(*this, FreeHatsDailyCost, x, y);
    }
}

void Shop::payHourlyCharges() {
    // Once an hour: the profit since the last hour, then the handout guy's wage.
    if (!hourTick) {
        return;
    }
    profit = money - static_cast<float>(lastMoney);
    lastMoney = static_cast<int>(money);
    profitTextY = ProfitTextStart;
    if (handout) {
        charge(*this, HandoutHourlyWage, handoutX, handoutY);
    }
    hourTick = false;
}

void Shop::growSaleBalloon(float dt) {
    // The deeper the sale, the bigger its balloon; with none on it keeps its last target.
    for (const SaleTerms* sale : Sales) {
        if (this->*(sale->flag)) {
            saleTargetSize = static_cast<float>(static_cast<double>(size) / sale->balloonDivisor);
            break;
        }
    }
    saleGrowStep = BalloonGrowSpeed * dt;
    if (saleSize <= saleTargetSize) {
        saleSize += saleGrowStep;
    }
}

void Shop::walkHandoutGuy(float dt) {
    // The handout guy walks to and fro in front of the shop, turning one
    // frame after passing an end.
    if (!handout) {
        return;
    }
    const float step = HandoutSpeed * dt;
    if (handoutWalkingLeft) {
        if (x - halfSize <= handoutX) {
            handoutX -= step;
        } else {
            handoutWalkingLeft = false;
        }
    } else {
        if (x + halfSize >= handoutX) {
            handoutX += step;
        } else {
            handoutWalkingLeft = true;
        }
    }
}

void Shop::sell() {
    if (product <= 0.0f) {
        return;
    }
    cashSoundPending = true;
    money += price;
    incomeAmount = price;
    incomeTextX = x;
    incomeTextY = y;
    product -= 1.0f;
}

bool Shop::hasStock() const { return product >= 0.0f; }

int Shop::attraction() {
    if (outOfProduct || money <= 0.0f) {
        attractionScore = 0;
        return attractionScore;
    }
    int score = BaseAttraction;
    for (const FeatureBonus& feature : FeatureBonuses) {
        if (this->*(feature.flag)) {
            score += feature.bonus;
        }
    }
    attractionScore = score;
    return attractionScore;
}

void Shop::setHourTick(bool flag) { hourTick = flag; }

void Shop::setDayTick(bool flag) { dayTick = flag; }

float Shop::getMoney() const { return money; }

float Shop::getProduct() const { return product; }

float Shop::getX() const { return x; }

float Shop::getY() const { return y; }

bool Shop::hasFreeHats() const { return freeHats; }

bool Shop::isBankrupt() const { return bankrupt; }

void Shop::statusLines(StatusLine lines[3]) const {
    const float* colour = money > 0.0f ? White : Red;
    std::snprintf(lines[0].text, sizeof lines[0].text,
                  money > 0.0f ? "MONEY $ %.0f" : "BANKRUPT %.0f", static_cast<double>(money));
    // The price line keeps the money line's colour.
    std::snprintf(lines[1].text, sizeof lines[1].text, "cash/customer $ %.0f",
                  static_cast<double>(price));
    std::snprintf(lines[2].text, sizeof lines[2].text, "Product Left %.0f",
                  static_cast<double>(product));
    const float* productColour = product <= 0.0f ? Red : colour;
    for (int channel = 0; channel < 4; ++channel) {
        lines[0].colour[channel] = colour[channel];
        lines[1].colour[channel] = colour[channel];
        lines[2].colour[channel] = productColour[channel];
    }
}

void Shop::draw() {
    beginSpriteDrawing();
    glColor4fv(White);

    drawSpriteQuad(shopList, x, y, z, size, size);
    if (saleOn) {
        // the balloon's lower edge sinks 2 units into the roof
        drawSpriteQuad(balloonMonsterList, x, y + halfSize + saleSize / 2.0f - 2.0f, z, saleSize,
                       saleSize);
    }
    if (signOn) {
        if (smallSign) {
            drawSpriteQuad(signList, x, y + halfSize, z, size / 4.0f, size / 6.0f);
        } else if (mediumSign) {
            drawSpriteQuad(signList, x, y + halfSize, z, size / 3.0f, size / 4.0f);
        } else if (bigSign) {
            drawSpriteQuad(signList, x, y + halfSize, z, size / 2.0f, size / 2.0f);
        }
    }
    if (windowDisplay) {
        drawSpriteQuad(windowDisplayList, x, y, z, size, size);
    }
    if (freeHats) {
        drawSpriteQuad(freeHatsList, x, y, z, size, size);
    }
    if (handout) {
        drawSpriteQuad(handoutList, handoutX, handoutY, z, size / 1.5f, size / 1.5f);
    }

    drawSpriteQuad(statBoxList, x, y - size - 5.0f, z, size, size);
    StatusLine lines[3];
    statusLines(lines);
    const float lineX = x + 1.0f - size / 2.0f;
    const float lineY[3] = {y - size - 6.0f, y - size - 8.0f, y - size - 11.0f};
    for (int line = 0; line < 3; ++line) {
        glColor4fv(lines[line].colour);
        printText(lineX, lineY[line], z, lines[line].text);
    }

    if (costAmount < 0.0f) {
        printAmount(Red, costTextX, costTextY, z, "$%.0f", costAmount);
    }
    if (incomeAmount > 0.0f) {
        printAmount(Green, incomeTextX, incomeTextY, z, "$%.0f", incomeAmount);
    }
    if (profitTextY < ProfitTextTop) {
        printAmount(Green, profitTextX, profitTextY, z, "PROFIT$%.0f", profit);
    }
    if (bankrupt) {
        glColor4fv(White);
        drawSpriteQuad(bankruptList, x, y, z, size, size);
    }

    endSpriteDrawing();
}

void Shop::toggleBigSign() { toggleSign(*this, BigSignTerms); }

void Shop::toggleMediumSign() { toggleSign(*this, MediumSignTerms); }

void Shop::toggleSmallSign() { toggleSign(*this, SmallSignTerms); }

void Shop::toggleSale10() { toggleSale(*this, Sale10Terms); }

void Shop::toggleSale20() { toggleSale(*this, Sale20Terms); }

void Shop::toggleSale30() { toggleSale(*this, Sale30Terms); }

void Shop::toggleSale40() { toggleSale(*this, Sale40Terms); }

void Shop::toggleSale50() { toggleSale(*this, Sale50Terms); }

void Shop::toggleSale60() { toggleSale(*this, Sale60Terms); }

void Shop::toggleWindowDisplay() {
    windowDisplay = !windowDisplay;
    if (windowDisplay) {
        charge(*this, WindowDisplayCost, x + WindowTextOffset, y);
    }
}

void Shop::toggleHandout() {
    handout = !handout;
    if (handout) {
        // he starts at the shop's centre, in front of its lower half
        handoutX = x;
        handoutY = y - halfSize / 2.0f;
        charge(*this, HandoutHireCost, handoutX, handoutY);
    }
}

void Shop::toggleFreeHats() {
    freeHats = !freeHats;
    if (freeHats) {
        charge(*this, FreeHatsCost, x, y);
    }
}

void Shop::buyProduct() {
    product += ProductCrate;
    charge(*this, ProductCost, x, y);
}
