#include <gtest/gtest.h>

#include <GL/gl.h>

#include <filesystem>

#include "app/Backdrop.h"
#include "render/Camera.h"
#include "shop/Sidebar.h"
#include "tests/support/TestSupport.h"

namespace {

// A sidebar laid out on the start-up screen, its pictures from a folder
// without any (plain squares).
Sidebar loadedSidebar() {
    ensureGlContext();
    Backdrop::instance().setRect(75, 50, 0, -50);
    const std::string empty = "/tmp/pellucane-sidebar-tests";
    std::filesystem::create_directories(empty);
    ScopedDirectory noPictures(empty);
    Sidebar sidebar;
    sidebar.load();
    return sidebar;
}

// Updates until the strip stops moving.
void slideToRest(Sidebar& sidebar, const float& stripX, float dt) {
    float before;
    int frames = 0;
    do {
        before = stripX;
        sidebar.update(dt);
    } while (stripX != before && ++frames < 1000);
}

} // namespace

TEST(Sidebar, LayoutFromTheScreenRectangle) {
    const Sidebar fresh;
    EXPECT_EQ(fresh.panelList, -1);
    EXPECT_EQ(fresh.saleButtonLists[5], -1);
    EXPECT_FALSE(fresh.signMenuOpen || fresh.saleMenuOpen || fresh.promotionMenuOpen);

    const Sidebar sidebar = loadedSidebar();
    EXPECT_EQ(sidebar.panelX, -46.0f);
    EXPECT_EQ(sidebar.panelY, 37.5f);
    EXPECT_EQ(sidebar.signMenuButtonY, 71.5f);
    EXPECT_EQ(sidebar.saleMenuButtonY, 63.5f);
    EXPECT_EQ(sidebar.saleBandY, 63.5f);
    EXPECT_EQ(sidebar.promotionMenuButtonY, 55.5f);
    EXPECT_EQ(sidebar.promotionBandY, 55.5f);
    EXPECT_EQ(sidebar.promotionMenuButtonX, -46.0f);
    EXPECT_EQ(sidebar.productButtonX, -46.0f);
    EXPECT_EQ(sidebar.productButtonY, 31.5f);
    EXPECT_EQ(sidebar.buttonSize, 8.0f);
    EXPECT_EQ(sidebar.buttonRadius, 4.0f);
    EXPECT_EQ(sidebar.stripHalf, 32.0f);
    EXPECT_EQ(sidebar.stripMin, -78.0f);
    EXPECT_EQ(sidebar.stripMax, -14.0f);
    for (float strip : {sidebar.signStripX, sidebar.saleStripX, sidebar.promotionStripX}) {
        EXPECT_EQ(strip, -78.0f);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(sidebar.signButtonX[i], -103.0f + 8.0f * i);
        EXPECT_EQ(sidebar.signButtonY[i], 71.5f);
        EXPECT_FLOAT_EQ(sidebar.promotionButtonX[i], -103.0f + 8.0f * i);
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(sidebar.saleButtonX[i], -103.0f + 8.0f * i);
    }
    EXPECT_GE(sidebar.panelList, 0);
    EXPECT_GE(sidebar.productButtonList, 0);
    EXPECT_NE(sidebar.freeHatButtonList, sidebar.productButtonList);
}

TEST(Sidebar, AnOpenMenuSlidesOutAndRestsOneStepPastItsEnd) {
    Sidebar sidebar = loadedSidebar();
    sidebar.setSaleMenuOpen(true);
    sidebar.update(0.12f);
    EXPECT_FLOAT_EQ(sidebar.saleStripX, -78.0f + 8.4f);
    EXPECT_FLOAT_EQ(sidebar.saleButtonX[0], -103.0f + 8.4f);
    // a closed strip at its end still takes one step, then rests
    EXPECT_FLOAT_EQ(sidebar.signStripX, -78.0f - 8.4f);
    sidebar.update(0.12f);
    EXPECT_FLOAT_EQ(sidebar.promotionStripX, -78.0f - 8.4f);

    const float dt = 1.0f / 60.0f;
    const float step = 70.0f * dt;
    slideToRest(sidebar, sidebar.saleStripX, dt);
    EXPECT_GT(sidebar.saleStripX, -14.0f);
    EXPECT_LE(sidebar.saleStripX, -14.0f + step + 1e-3f);
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(sidebar.saleButtonX[i], -39.0f + 8.0f * i, step + 1e-3f);
    }

    sidebar.setSaleMenuOpen(false);
    slideToRest(sidebar, sidebar.saleStripX, dt);
    EXPECT_LT(sidebar.saleStripX, -78.0f);
    EXPECT_GE(sidebar.saleStripX, -78.0f - step - 1e-3f);
    EXPECT_LT(sidebar.saleButtonX[5], -50.0f) << "the whole strip is off the screen again";
}

TEST(Sidebar, DrawsThePanelAtTheLeftEdgeAndLeavesTheStateAsFound) {
    Sidebar sidebar = loadedSidebar();
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Camera::instance().applyView();
    GLint depthBefore = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthBefore);
    sidebar.draw();
    GLint depthAfter = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depthAfter);
    EXPECT_EQ(depthAfter, depthBefore);
    // a missing picture is a plain white square: the panel spans x -66 to -26
    EXPECT_TRUE(near(pixelAtGamePoint(-30.0f, 10.0f), Rgb{255, 255, 255}, 8));
    EXPECT_TRUE(near(pixelAtGamePoint(-20.0f, 10.0f), Rgb{0, 0, 0}, 8));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D) || glIsEnabled(GL_BLEND) ||
                 glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
