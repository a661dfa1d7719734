#pragma once

// What a customer is doing.
enum CustomerState : int { Strolling = 0, HeadingToShop = 1, Buying = 2, Leaving = 3 };

// The shop index that means no shop.
constexpr int NoShop = 3;

// One figure on the street: a body with a two-frame walk, and at times a
// free hat and a shopping bag in the colours of the shop it visited.
struct Customer {
    // the hat / the bag picture is drawn
    bool hatOn;
    bool bagOn;
    // seconds since the last change of walk frame
    float animTimer;
    // body picture of the current walk frame
    int bodyList;
    // current walk frame, 0 or 1
    int walkFrame;
    // a CustomerState
    int state;
    // centre of the pictures, game units
    float x;
    float y;
    float z;
    // the hat to draw, one of the three below
    int hatList;
    int topHatList;
    int jesterHatList;
    int visorList;
    // the bags of each shop for either gender
    int maleHotbeatsBagList;
    int maleTopTunesBagList;
    int maleMusicBoxBagList;
    int femaleHotbeatsBagList;
    int femaleTopTunesBagList;
    int femaleMusicBoxBagList;
    // the bag to draw, one of the six above
    int bagList;
    // side of every picture of the customer, game units
    float pictureSize;
    // point the customer walks to
    float targetX;
    float targetY;
    // target minus position at the last aim
    float deltaX;
    float deltaY;
    // distance strolled in this update
    float walkStep;
    // chosen shop 0..2, or NoShop
    int shop;
    // the chosen shop had stock when it was chosen
    bool willCarryBag;
    // 0 male, 1 female
    int gender;

    // body pictures shared by every customer, [gender][walk frame]
    static int bodyLists[2][2];

    Customer();

    void loadImages();
    void setX(float x);
    // gender 0 for a roll of 1, else 1
    void setGender(int roll);
    void setTarget(float x, float y);
    // the shop and its bag for this gender; other indices keep the bag
    void setShop(int shop);
    void setHatForShop(int shop);
    void setHatOn(bool on);
    void setWillCarryBag(bool will);
    void setState(int state);
    int getState() const;
    int getShop() const;
    // within 0.1 of the target on both axes, bounds included
    bool hasArrived() const;
    void aimAtTarget();
    void update(float dt);
    void draw();
};
