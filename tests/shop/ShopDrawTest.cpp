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

// A folder holding the game's font (or a system one) and no pictures, so
// every picture of the shop is a plain white square; empty when no font is found.
std::string fontOnlyFolder() {
    const fs::path folder = "/tmp/pellucane-shop-draw-tests";
    const fs::path font = folder / "fonts" / "ERASDEMI.ttf";
    if (fs::exists(font)) {
        return folder.string();
    }
    for (const std::string& candidate :
         {dataPath("fonts/ERASDEMI.ttf"), std::string("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf")}) {
        if (fs::exists(candidate)) {
            fs::create_directories(folder / "fonts");
            fs::copy_file(candidate, font, fs::copy_options::overwrite_existing);
            return folder.string();
        }
    }
    return "";
}

// Shop index set up at x as the market does, on the start-up screen.
Shop initialisedShop(int index, float x) {
    Shop shop;
    shop.init();
    shop.setIndex(index);
    shop.setX(x);
    return shop;
}

// Clears the back buffer to black under the camera's view.
void clearStreet() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Camera::instance().applyView();
}

// Pure red pixels in a rectangle of game units, one sample a unit tenth.
int redPixelsIn(float left, float bottom, float right, float top) {
    int count = 0;
    for (float gx = left; gx < right; gx += 0.1f) {
        for (float gy = bottom; gy < top; gy += 0.1f) {
            const Rgb pixel = pixelAtGamePoint(gx, gy);
            count += pixel.r > 150 && pixel.g < 80 && pixel.b < 80;
        }
    }
    return count;
}

// The colour that draw left current.
bool currentColourIs(float r, float g, float b) {
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    return colour[0] == r && colour[1] == g && colour[2] == b && colour[3] == 1.0f;
}

class ShopDraw : public testing::Test {
  protected:
    void SetUp() override {
        ensureGlContext();
        Backdrop::instance().setRect(75, 50, 0, -50);
        folder = fontOnlyFolder();
        if (folder.empty()) {
            GTEST_SKIP() << "no TrueType font to print with";
        }
    }
    // where Shop::init finds "./fonts/ERASDEMI.ttf"
    std::string folder;
};

} // namespace

TEST(ShopStatusLines, TextsAndColoursFollowMoneyAndProduct) {
    Shop shop = streetShop();
    StatusLine lines[3];
    shop.statusLines(lines);
    EXPECT_STREQ(lines[0].text, "MONEY $ 1000");
    EXPECT_STREQ(lines[1].text, "cash/customer $ 40");
    EXPECT_STREQ(lines[2].text, "Product Left 100");
    for (const StatusLine& line : lines) {
        EXPECT_EQ(line.colour[1], 1.0f) << line.text << " is white";
    }

    shop.product = 0.0f;
    shop.toggleSale10();
    shop.statusLines(lines);
    EXPECT_STREQ(lines[1].text, "cash/customer $ 36");
    EXPECT_EQ(lines[0].colour[1], 1.0f);
    EXPECT_EQ(lines[1].colour[1], 1.0f);
    EXPECT_EQ(lines[2].colour[0], 1.0f);
    EXPECT_EQ(lines[2].colour[1], 0.0f) << "no product: red";

    for (float money : {0.0f, -200.0f}) {
        shop.money = money;
        shop.product = 100.0f;
        shop.statusLines(lines);
        EXPECT_STREQ(lines[0].text, money == 0.0f ? "BANKRUPT 0" : "BANKRUPT -200");
        for (const StatusLine& line : lines) {
            EXPECT_EQ(line.colour[1], 0.0f) << line.text << " is red";
            EXPECT_EQ(line.colour[0], 1.0f);
        }
    }
}

TEST_F(ShopDraw, ThreeShopsWithEveryTextLeaveTheMatrixStackAsFound) {
    ScopedDirectory inFolder(folder);
    Shop shops[3] = {initialisedShop(0, 0.0f), initialisedShop(1, -30.0f),
                     initialisedShop(2, 30.0f)};
    EXPECT_EQ(shops[1].y, 37.5f);
    EXPECT_EQ(shops[1].signList, shops[1].storeSignLists[1]);
    EXPECT_EQ(shops[2].handoutList, shops[2].handoutGuyLists[2]);
    EXPECT_NE(shops[0].storeSignLists[0], shops[0].storeSignLists[1]);
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
    ASSERT_TRUE(shops[2].isBankrupt());

    clearStreet();
    GLint depthBefore = 0;
    GLfloat matrixBefore[16];
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixBefore);
    for (Shop& shop : shops) {
        shop.draw();
    }
    GLint depthAfter = 0;
    GLfloat matrixAfter[16];
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrixAfter);
    EXPECT_EQ(depthAfter, depthBefore);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(matrixAfter[i], matrixBefore[i]);
    }
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D) || glIsEnabled(GL_BLEND) ||
                 glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_TRUE(currentColourIs(1.0f, 1.0f, 1.0f)) << "the bankrupt overlay is drawn last, white";
}

TEST_F(ShopDraw, TheMoneyLineTurnsRedAtZeroAndBelow) {
    ScopedDirectory inFolder(folder);
    Shop shop = initialisedShop(0, 0.0f);
    const float lineBottom = 6.0f, lineTop = 8.5f, left = -11.5f, right = 8.0f;

    clearStreet();
    shop.draw();
    EXPECT_TRUE(currentColourIs(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(redPixelsIn(left, lineBottom, right, lineTop), 0);

    for (float money : {0.0f, -200.0f}) {
        shop.money = money;
        clearStreet();
        shop.draw();
        EXPECT_TRUE(currentColourIs(1.0f, 0.0f, 0.0f)) << money;
        EXPECT_GT(redPixelsIn(left, lineBottom, right, lineTop), 50) << money;
    }

    // the charge text is red too, rising from the shop
    shop.money = 1000.0f;
    shop.buyProduct();
    clearStreet();
    shop.draw();
    EXPECT_GT(redPixelsIn(-1.0f, 37.0f, 8.0f, 40.0f), 20);
}
