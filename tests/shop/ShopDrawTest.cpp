#include <gtest/gtest.h>

#include <GL/gl.h>

#include <filesystem>
#include <string>

#include "app/Backdrop.h"
#include "render/Camera.h"
#include "tests/shop/StreetShop.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// A folder with the game's font and no pictures, so every picture of a shop
// is a plain white square.
std::string fontOnlyFolder() {
    const fs::path folder = "/tmp/pellucane-shop-draw-tests";
    fs::create_directories(folder / "fonts");
    fs::copy_file(dataPath("fonts/ERASDEMI.ttf"), folder / "fonts" / "ERASDEMI.ttf",
                  fs::copy_options::overwrite_existing);
    return folder.string();
}

// Whether the money line of a shop at x 0 shows red text.
bool moneyLineIsRed() {
    int red = 0;
    for (float gx = -11.5f; gx < 8.0f; gx += 0.1f) {
        for (float gy = 6.0f; gy < 8.5f; gy += 0.1f) {
            const Rgb pixel = pixelAtGamePoint(gx, gy);
            red += pixel.r > 150 && pixel.g < 80 && pixel.b < 80;
        }
    }
    return red > 50;
}

// Draws the shops on black and tells whether the colour left current is r, g, b.
bool drawLeavesColour(Shop* shops, int count, float r, float g, float b) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Camera::instance().applyView();
    for (int i = 0; i < count; ++i) {
        shops[i].draw();
    }
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    return colour[0] == r && colour[1] == g && colour[2] == b && colour[3] == 1.0f;
}

} // namespace

TEST(ShopStatusLines, TextsAndColoursFollowMoneyAndProduct) {
    Shop shop = streetShop();
    shop.toggleSale10();
    shop.product = 0.0f;
    StatusLine lines[3];
    shop.statusLines(lines);
    EXPECT_STREQ(lines[0].text, "MONEY $ 1000");
    EXPECT_STREQ(lines[1].text, "cash/customer $ 36");
    EXPECT_STREQ(lines[2].text, "Product Left 0");
    EXPECT_EQ(lines[0].colour[1] + lines[1].colour[1] + lines[2].colour[1], 2.0f)
        << "white, white, red";
    shop.money = 0.0f;
    shop.product = 5.0f;
    shop.statusLines(lines);
    EXPECT_STREQ(lines[0].text, "BANKRUPT 0");
    EXPECT_EQ(lines[0].colour[1] + lines[1].colour[1] + lines[2].colour[1], 0.0f) << "all red";
    shop.money = -200.0f;
    shop.statusLines(lines);
    EXPECT_STREQ(lines[0].text, "BANKRUPT -200");
}

TEST(ShopDraw, StatusColoursFloatingTextsAndAnUnchangedMatrixStack) {
    ensureGlContext();
    Backdrop::instance().setRect(75, 50, 0, -50);
    ScopedDirectory inFolder(fontOnlyFolder());
    Shop shops[3];
    for (int i = 0; i < 3; ++i) {
        shops[i].init();
        shops[i].setIndex(i);
    }
    shops[2].setX(30.0f);
    EXPECT_EQ(shops[2].y, 37.5f);
    EXPECT_EQ(shops[2].signList, shops[2].storeSignLists[2]);

    EXPECT_TRUE(drawLeavesColour(shops, 1, 1.0f, 1.0f, 1.0f));
    EXPECT_FALSE(moneyLineIsRed());
    shops[0].money = 0.0f;
    EXPECT_TRUE(drawLeavesColour(shops, 1, 1.0f, 0.0f, 0.0f));
    EXPECT_TRUE(moneyLineIsRed());

    // every feature and text at once, the last shop bankrupt under its overlay
    for (Shop& shop : shops) {
        shop.toggleSale30();
        shop.toggleMediumSign();
        shop.toggleWindowDisplay();
        shop.toggleHandout();
        shop.sell();
        shop.setHourTick(true);
        shop.update(0.1f);
        shop.toggleFreeHats();
    }
    shops[2].update(0.1f);
    GLint depthBefore = 0, depthAfter = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
    EXPECT_TRUE(drawLeavesColour(shops, 3, 1.0f, 1.0f, 1.0f)) << "the overlay is white";
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    EXPECT_EQ(depthAfter, depthBefore);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D) || glIsEnabled(GL_BLEND) || glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
