#pragma once

// One line of a shop's status box: the text and the colour it is printed in.
struct StatusLine {
    // the formatted text
    char text[48];
    // red, green, blue, alpha, 0 to 1
    float colour[4];
};

// One of the three music shops: cash, stock, price, the features its owner
// bought, the floating money texts and its attraction to shoppers.
struct Shop {
    // brand sign above this shop: a copy of one of storeSignLists
    int signList;
    // brand signs of shops 0, 1, 2
    int storeSignLists[3];
    // the sale balloon
    int balloonMonsterList;
    // the window-display overlay
    int windowDisplayList;
    // this shop's handout guy: a copy of one of handoutGuyLists
    int handoutList;
    // handout guys of shops 0, 1, 2
    int handoutGuyLists[3];
    // background of the status box
    int statBoxList;
    // the free-hats overlay
    int freeHatsList;
    // centre of the building, game units
    float x;
    float y;
    float z;
    // the building
    int shopList;
    // side of the building, game units (25), and half of it
    float size;
    float halfSize;
    // cash
    float money;
    // units of product left, always whole
    float product;
    // cash taken from each customer: 40, or the sale's price
    float price;
    // side the sale balloon grows to, its growth this frame, its side now
    float saleTargetSize;
    float saleGrowStep;
    float saleSize;
    // a sign is up, and which one
    bool signOn;
    bool bigSign;
    bool mediumSign;
    bool smallSign;
    // a sale is on, and which one
    bool saleOn;
    bool sale10;
    bool sale20;
    bool sale30;
    bool sale40;
    bool sale50;
    bool sale60;
    // promotions bought
    bool windowDisplay;
    bool handout;
    bool freeHats;
    // last result of attraction()
    int attractionScore;
    // product <= 0 at the end of the last update
    bool outOfProduct;
    // the last charge, negative; its red text shows while below 0
    float costAmount;
    // position of the charge text
    float costTextY;
    float costTextX;
    // position of the handout guy
    float handoutX;
    float handoutY;
    // the last sale's takings; its green text shows while above 0
    float incomeAmount;
    // position of the sale text
    float incomeTextX;
    float incomeTextY;
    // an hour / a day tick waits for the next update
    bool hourTick;
    bool dayTick;
    // the handout guy walks towards smaller x
    bool handoutWalkingLeft;
    // money <= 0 at the start of the last update
    bool bankrupt;
    // the bankrupt overlay
    int bankruptList;
    // a sale was made whose cash sound has not played yet
    bool cashSoundPending;
    // money gained since the previous hour tick
    float profit;
    // money at the previous hour tick, truncated
    int lastMoney;
    // position of the profit text; shown while profitTextY < 70
    float profitTextX;
    float profitTextY;

    Shop();

    // Set-up that needs the GL context: place, font, pictures.
    void init();
    // Picks this shop's brand sign and handout guy (0, 1 or 2).
    void setIndex(int index);
    void setX(float x);
    // Charges, floating texts, cash sound, balloon, handout guy.
    void update(float dt);
    // The steps of an update, in order.
    // Charge and sale texts rise by dt seconds; the till rings at the top.
    void raiseMoneyTexts(float dt);
    // On a day tick: the sign's upkeep and the free hats.
    void payDailyCharges();
    // On an hour tick: the hour's profit and the handout guy's wage.
    void payHourlyCharges();
    // The sale balloon grows toward its sale's size.
    void growSaleBalloon(float dt);
    // The handout guy walks dt seconds to and fro in front of the shop.
    void walkHandoutGuy(float dt);
    // One customer pays, if there is product.
    void sell();
    bool hasStock() const;
    // Computes, stores and returns the attraction score.
    int attraction();
    void setHourTick(bool flag);
    void setDayTick(bool flag);
    float getMoney() const;
    float getProduct() const;
    float getX() const;
    float getY() const;
    bool hasFreeHats() const;
    bool isBankrupt() const;
    // Building, features, status box and floating texts.
    void draw();
    // The status box's three lines (money, price, product) as draw prints them.
    void statusLines(StatusLine lines[3]) const;

    // The thirteen actions: each feature is a switch, paid when switched on.
    void toggleBigSign();
    void toggleMediumSign();
    void toggleSmallSign();
    void toggleSale10();
    void toggleSale20();
    void toggleSale30();
    void toggleSale40();
    void toggleSale50();
    void toggleSale60();
    void toggleWindowDisplay();
    void toggleHandout();
    void toggleFreeHats();
    void buyProduct();
};
