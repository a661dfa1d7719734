#pragma once

// The sidebar's thirteen option buttons: the sign strip's, the sale strip's,
// the promotion strip's, then the product button.
enum SidebarButton : int {
    BigSignButton,
    MediumSignButton,
    SmallSignButton,
    Sale10Button,
    Sale20Button,
    Sale30Button,
    Sale40Button,
    Sale50Button,
    Sale60Button,
    WindowButton,
    HandoutButton,
    FreeHatButton,
    ProductButton,
};

// The mouse player's panel at the left edge: three menus whose strips of
// option buttons slide out while the cursor rests on the menu's band, and
// the product button.
struct Sidebar {
    // centre of the panel; panelZ is the z of everything the sidebar draws
    float panelX;
    float panelY;
    float panelZ;
    // centre of the sign menu button
    float signMenuButtonX;
    float signMenuButtonY;
    // side of every button quad
    float buttonSize;
    // centre of the sale menu button
    float saleMenuButtonX;
    float saleMenuButtonY;
    // centres of the big, medium and small sign buttons
    float signButtonX[3];
    float signButtonY[3];
    // centre x of the 10% .. 60% buttons (their y is saleMenuButtonY)
    float saleButtonX[6];
    // current position of the promotion strip
    float promotionStripX;
    // y of the promotion menu's band
    float promotionBandY;
    // centre of the promotion menu button
    float promotionMenuButtonX;
    float promotionMenuButtonY;
    // centre x of the window, handout and free-hat buttons
    float promotionButtonX[3];
    // centre of the product button
    float productButtonX;
    float productButtonY;
    // radius of a button's click circle
    float buttonRadius;
    // current position of the sign strip
    float signStripX;
    // length of a strip and half of it
    float stripLength;
    float stripHalf;
    // a strip's extended and retracted positions
    float stripMax;
    float stripMin;
    // pictures
    int panelList;
    int signMenuButtonList;
    int saleMenuButtonList;
    int saleButtonLists[6];
    int promotionMenuButtonList;
    int windowButtonList;
    int handoutButtonList;
    int freeHatButtonList;
    int productButtonList;
    int bigSignButtonList;
    int mediumSignButtonList;
    int smallSignButtonList;
    // y of the sale menu's band
    float saleBandY;
    // current position of the sale strip
    float saleStripX;
    // width of the panel picture (its height is three times this)
    float panelWidth;
    // the menu's band holds the cursor
    bool signMenuOpen;
    bool saleMenuOpen;
    bool promotionMenuOpen;

    Sidebar();

    // Layout from the screen rectangle, then the pictures.
    void load();
    // Slides each strip towards its open or closed end.
    void update(float dt);
    void setSignMenuOpen(bool open);
    void setSaleMenuOpen(bool open);
    void setPromotionMenuOpen(bool open);
    void draw();
    // The current centre of an option button, game units.
    void buttonCentre(SidebarButton button, float& x, float& y) const;
    // Places a strip's buttons from its position.
    void layoutSignStrip();
    void layoutSaleStrip();
    void layoutPromotionStrip();
};
