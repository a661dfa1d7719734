#include "market/Customer.h"

#include <GL/gl.h>

#include "render/SpriteQuad.h"

int Customer::bodyLists[2][2] = {{-1, -1}, {-1, -1}};

namespace {

// Where every visit ends: off the right edge of the street, game units.
constexpr float ExitX = 60.0f;
constexpr float ExitY = 15.0f;
// Strollers leave at the right edge and come back at the left one.
constexpr float WrapX = 51.0f;
// Strolling speed, units per second.
constexpr float StrollSpeed = 10.0f;
// Share of the remaining way to a shop covered per second (the walk to the
// exit covers it at a rate of 1).
constexpr float HeadingRate = 4.5f;
// Seconds a walk frame is shown, at least.
constexpr float WalkFrameSeconds = 0.125f;
// How close to a target counts as there, game units.
constexpr float ArrivalTolerance = 0.1f;

// Each shop's free hat: ZEDOD AZU, HOTBEATS, TOP TUNES.
int Customer::*const shopHats[3] = {
    &Customer::jesterHatList,
    &Customer::visorList,
    &Customer::topHatList,
};

// Each shop's bag, [shop][0 male, 1 female].
int Customer::*const shopBags[3][2] = {
    {&Customer::maleMusicBoxBagList, &Customer::femaleMusicBoxBagList},
    {&Customer::maleHotbeatsBagList, &Customer::femaleHotbeatsBagList},
    {&Customer::maleTopTunesBagList, &Customer::femaleTopTunesBagList},
};

// A real shop index, 0 to 2.
bool isShop(int shop) { return shop >= 0 && shop < NoShop; }

} // namespace

Customer::Customer()
    : hatOn(false), bagOn(false), animTimer(0.0f), bodyList(-1), walkFrame(0), state(Strolling),
      x(0.0f), y(0.0f), z(0.0f), hatList(-1), topHatList(-1), jesterHatList(-1), visorList(-1),
      maleHotbeatsBagList(-1), maleTopTunesBagList(-1), maleMusicBoxBagList(-1),
      femaleHotbeatsBagList(-1), femaleTopTunesBagList(-1), femaleMusicBoxBagList(-1), bagList(-1),
      pictureSize(0.0f),
      // A shopper that never gets a shop walks to the exit, off to the right,
      // and wraps round like everybody else.
      targetX(ExitX), targetY(ExitY), deltaX(0.0f), deltaY(0.0f), walkStep(0.0f), shop(NoShop),
      willCarryBag(false), gender(0) {
    for (auto& frames : bodyLists) {
        frames[0] = -1;
        frames[1] = -1;
    }
}

void Customer::loadImages() {
    pictureSize = 15.0f;
    z = 0.0f;
    x = 0.0f;
    y = 15.0f;
    // The first customer builds the shared bodies; the rest find them built.
    loadSpriteQuads({
        {&bodyLists[0][0], "./images/malecustomer1.png"},
        {&bodyLists[0][1], "./images/malecustomer2.png"},
        {&bodyLists[1][0], "./images/femalecustomer1.png"},
        {&bodyLists[1][1], "./images/femalecustomer2.png"},
    });
    loadSpriteQuads({
        {&topHatList, "./images/topHat.png"},
        {&jesterHatList, "./images/jesterhat.png"},
        {&visorList, "./images/visor.png"},
        {&maleHotbeatsBagList, "./images/malehotbeatbag.png"},
        {&maleTopTunesBagList, "./images/maletopbag.png"},
        {&maleMusicBoxBagList, "./images/malemusicbag.png"},
        {&femaleHotbeatsBagList, "./images/femalehotbeatbag.png"},
        {&femaleTopTunesBagList, "./images/femaletopbag.png"},
        {&femaleMusicBoxBagList, "./images/femalemusicbag.png"},
    });
    gender = 0;
}

void Customer::setX(float newX) { x = newX; }

void Customer::setGender(int roll) { gender = roll == 1 ? 0 : 1; }

void Customer::setTarget(float newX, float newY) {
    targetX = newX;
    targetY = newY;
}

void Customer::setShop(int newShop) {
    shop = newShop;
    if (isShop(newShop)) {
        bagList = this->*shopBags[newShop][gender == 0 ? 0 : 1];
    }
}

void Customer::setHatForShop(int hatShop) {
    if (isShop(hatShop)) {
        hatList = this->*shopHats[hatShop];
    }
}

void Customer::setHatOn(bool on) { hatOn = on; }

void Customer::setWillCarryBag(bool will) { willCarryBag = will; }

void Customer::setState(int newState) { state = newState; }

int Customer::getState() const { return state; }

int Customer::getShop() const { return shop; }

bool Customer::hasArrived() const {
    return targetX - ArrivalTolerance <= x && x <= targetX + ArrivalTolerance &&
           targetY - ArrivalTolerance <= y && y <= targetY + ArrivalTolerance;
}

void Customer::aimAtTarget() {
    deltaX = targetX - x;
    deltaY = targetY - y;
}

void Customer::update(float dt) {
    animTimer += dt;
    switch (state) {
    case Strolling:
        walkStep = StrollSpeed * dt;
        x += walkStep;
        if (x >= WrapX) {
            shop = NoShop;
            x = -WrapX;
        }
        break;
    case HeadingToShop:
        if (hasArrived()) {
            setTarget(ExitX, ExitY);
            state = Buying;
        } else {
            aimAtTarget();
            x += deltaX * HeadingRate * dt;
            y += deltaY * HeadingRate * dt;
        }
        break;
    case Buying:
        bagOn = willCarryBag;
        state = Leaving;
        break;
    case Leaving:
        if (hasArrived()) {
            x = -WrapX;
            hatOn = false;
            bagOn = false;
            state = Strolling;
        } else {
            aimAtTarget();
            x += dt * deltaX;
            y += dt * deltaY;
        }
        break;
    default:
        break;
    }
    if (animTimer > WalkFrameSeconds) {
        animTimer = 0.0f;
        walkFrame = (walkFrame + 1) % 2;
        bodyList = bodyLists[gender][walkFrame];
    }
}

void Customer::draw() {
    beginSpriteDrawing();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawSpriteQuad(bodyList, x, y, z, pictureSize, pictureSize);
    if (hatOn) {
        drawSpriteQuad(hatList, x, y, z, pictureSize, pictureSize);
    }
    if (bagOn && shop < NoShop) {
        drawSpriteQuad(bagList, x, y, z, pictureSize, pictureSize);
    }
    endSpriteDrawing();
}
