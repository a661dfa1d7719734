#include "shop/Sidebar.h"

#include <GL/gl.h>

#include "base/ScreenRect.h"
#include "render/SpriteQuad.h"

namespace {

// Width of the panel picture, game units.
constexpr float PanelWidth = 40.0f;
// Centre x of the panel and of the menu and product buttons, game units.
constexpr float PanelX = -46.0f;
// The sign menu button sits this far above the panel's centre.
constexpr float SignMenuRise = 34.0f;
// Speed of a sliding strip, units a second.
constexpr float StripSpeed = 70.0f;
// A strip's first button lies stripHalf / this to the left of the strip's position.
constexpr double FirstButtonDivisor = 1.28;

// Moves a strip one step towards its open end (stripMax) or its closed end
// (stripMin) while it is still inside the two; true when it moved.
bool slideStrip(float& stripX, bool open, float step, float stripMin, float stripMax) {
    if (open && stripX <= stripMax) {
        stripX += step;
        return true;
    }
    if (!open && stripX >= stripMin) {
        stripX -= step;
        return true;
    }
    return false;
}

// Places count buttons side by side from a strip's position.
void layoutRow(float stripX, float stripHalf, float buttonSize, float* buttonX, int count) {
    buttonX[0] = static_cast<float>(static_cast<double>(stripX) -
                                    static_cast<double>(stripHalf) / FirstButtonDivisor);
    for (int i = 1; i < count; ++i) {
        buttonX[i] = buttonX[i - 1] + buttonSize;
    }
}

} // namespace

Sidebar::Sidebar()
    : panelX(0.0f), panelY(0.0f), panelZ(0.0f), signMenuButtonX(0.0f), signMenuButtonY(0.0f),
      buttonSize(0.0f), saleMenuButtonX(0.0f),
      saleMenuButtonY(0.0f), signButtonX{}, signButtonY{}, saleButtonX{}, promotionStripX(0.0f),
      promotionBandY(0.0f), promotionMenuButtonX(0.0f),
      promotionMenuButtonY(0.0f), promotionButtonX{}, productButtonX(0.0f), productButtonY(0.0f),
      buttonRadius(0.0f), signStripX(0.0f), stripLength(0.0f), stripHalf(0.0f), stripMax(0.0f),
      stripMin(0.0f), panelList(-1), signMenuButtonList(-1),
      saleMenuButtonList(-1), saleButtonLists{-1, -1, -1, -1, -1, -1}, promotionMenuButtonList(-1),
      windowButtonList(-1), handoutButtonList(-1), freeHatButtonList(-1), productButtonList(-1),
      bigSignButtonList(-1), mediumSignButtonList(-1), smallSignButtonList(-1), saleBandY(0.0f),
      saleStripX(0.0f), panelWidth(0.0f), signMenuOpen(false), saleMenuOpen(false),
      promotionMenuOpen(false) {}

void Sidebar::load() {
    panelWidth = PanelWidth;
    panelZ = 0.0f;
    panelX = PanelX;
    panelY = static_cast<float>((ScreenBottom + ScreenTop) / 2.0);
    signMenuButtonY = panelY + SignMenuRise;

    buttonSize = panelWidth / 5.0f;
    buttonRadius = buttonSize / 2.0f;
    stripLength = buttonSize * 8.0f;
    stripHalf = stripLength / 2.0f;

    // Every strip starts retracted, hidden off the left edge of the screen.
    signMenuButtonX = panelX;
    signStripX = signMenuButtonX - stripHalf;
    stripMin = signStripX;
    stripMax = signStripX + stripLength;

    // The menus stack downwards one button apart.
    saleMenuButtonX = signMenuButtonX;
    saleMenuButtonY = signMenuButtonY - buttonSize;
    saleStripX = signStripX;
    saleBandY = saleMenuButtonY;

    promotionMenuButtonX = signMenuButtonX;
    promotionMenuButtonY = saleMenuButtonY - buttonSize;
    promotionStripX = signStripX;
    promotionBandY = promotionMenuButtonY;

    layoutSignStrip();
    layoutSaleStrip();
    layoutPromotionStrip();
    for (float& signY : signButtonY) {
        signY = signMenuButtonY;
    }

    productButtonX = signMenuButtonX;
    productButtonY = saleMenuButtonY - 4.0f * buttonSize;

    // Each picture gets a texture of its own; the free-hat button shows the balloon.
    loadSpriteQuads({
        {&panelList, "./images/sidebar.png"},
        {&signMenuButtonList, "./images/signbutton.png"},
        {&saleMenuButtonList, "./images/saleButton.png"},
        {&bigSignButtonList, "./images/bigsign.png"},
        {&mediumSignButtonList, "./images/mediumsign.png"},
        {&smallSignButtonList, "./images/smallsign.png"},
        {&saleButtonLists[0], "./images/ten.png"},
        {&saleButtonLists[1], "./images/twenty.png"},
        {&saleButtonLists[2], "./images/thirty.png"},
        {&saleButtonLists[3], "./images/forty.png"},
        {&saleButtonLists[4], "./images/fifty.png"},
        {&saleButtonLists[5], "./images/sixty.png"},
        {&promotionMenuButtonList, "./images/promotion.png"},
        {&windowButtonList, "./images/window.png"},
        {&handoutButtonList, "./images/handout.png"},
        {&freeHatButtonList, "./images/balloon.png"},
        {&productButtonList, "./images/product.png"},
    });
}

void Sidebar::update(float dt) {
    const float step = StripSpeed * dt;
    if (slideStrip(signStripX, signMenuOpen, step, stripMin, stripMax)) {
        layoutSignStrip();
    }
    if (slideStrip(saleStripX, saleMenuOpen, step, stripMin, stripMax)) {
        layoutSaleStrip();
    }
    if (slideStrip(promotionStripX, promotionMenuOpen, step, stripMin, stripMax)) {
        layoutPromotionStrip();
    }
}

void Sidebar::setSignMenuOpen(bool open) { signMenuOpen = open; }

void Sidebar::setSaleMenuOpen(bool open) { saleMenuOpen = open; }

void Sidebar::setPromotionMenuOpen(bool open) { promotionMenuOpen = open; }

void Sidebar::draw() {
    beginSpriteDrawing();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    const float side = buttonSize;
    drawSpriteQuad(panelList, panelX, panelY, panelZ, panelWidth, 3.0f * panelWidth);
    drawSpriteQuad(signMenuButtonList, signMenuButtonX, signMenuButtonY, panelZ, side, side);
    drawSpriteQuad(saleMenuButtonList, saleMenuButtonX, saleMenuButtonY, panelZ, side, side);
    const int signLists[3] = {bigSignButtonList, mediumSignButtonList, smallSignButtonList};
    for (int i = 0; i < 3; ++i) {
        drawSpriteQuad(signLists[i], signButtonX[i], signButtonY[i], panelZ, side, side);
    }
    for (int i = 0; i < 6; ++i) {
        drawSpriteQuad(saleButtonLists[i], saleButtonX[i], saleMenuButtonY, panelZ, side, side);
    }
    drawSpriteQuad(promotionMenuButtonList, promotionMenuButtonX, promotionMenuButtonY, panelZ,
                   side, side);
    const int promotionLists[3] = {windowButtonList, handoutButtonList, freeHatButtonList};
    for (int i = 0; i < 3; ++i) {
        drawSpriteQuad(promotionLists[i], promotionButtonX[i], promotionMenuButtonY, panelZ, side,
                       side);
    }
    drawSpriteQuad(productButtonList, productButtonX, productButtonY, panelZ, side, side);

    endSpriteDrawing();
}

void Sidebar::buttonCentre(SidebarButton button, float& x, float& y) const {
    if (button <= SmallSignButton) {
        x = signButtonX[button - BigSignButton];
        y = signButtonY[button - BigSignButton];
    } else if (button <= Sale60Button) {
        x = saleButtonX[button - Sale10Button];
        y = saleMenuButtonY;
    } else if (button <= FreeHatButton) {
        x = promotionButtonX[button - WindowButton];
        y = promotionMenuButtonY;
    } else {
        x = productButtonX;
        y = productButtonY;
    }
}

void Sidebar::layoutSignStrip() { layoutRow(signStripX, stripHalf, buttonSize, signButtonX, 3); }

void Sidebar::layoutSaleStrip() { layoutRow(saleStripX, stripHalf, buttonSize, saleButtonX, 6); }

void Sidebar::layoutPromotionStrip() {
    layoutRow(promotionStripX, stripHalf, buttonSize, promotionButtonX, 3);
}
