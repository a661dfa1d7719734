#include <gtest/gtest.h>

#include <filesystem>

#include "app/Backdrop.h"
#include "shop/Sidebar.h"
#include "tests/support/TestSupport.h"

namespace {

// A sidebar laid out on the start-up screen; no pictures, so plain white squares.
Sidebar loadedSidebar() {
    ensureGlContext();
    Backdrop::instance().setRect(75, 50, 0, -50);
    const std::string empty = scratchPath("no-pictures");
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

TEST(Sidebar, AnOpenMenuSlidesOutAndEachStripRestsOneStepPastItsEnd) {
    Sidebar sidebar = loadedSidebar();
    sidebar.setSaleMenuOpen(true);
    sidebar.update(0.12f);
    EXPECT_FLOAT_EQ(sidebar.saleStripX, -78.0f + 8.4f);
    EXPECT_FLOAT_EQ(sidebar.saleButtonX[0], -103.0f + 8.4f);
    EXPECT_FLOAT_EQ(sidebar.signStripX, -78.0f - 8.4f) << "a closed strip takes one step";
    sidebar.update(0.12f);
    EXPECT_FLOAT_EQ(sidebar.signStripX, -78.0f - 8.4f) << "then rests";

    const float dt = 1.0f / 60.0f;
    const float step = 70.0f * dt;
    slideToRest(sidebar, sidebar.saleStripX, dt);
    EXPECT_GT(sidebar.saleStripX, -14.0f);
    EXPECT_LE(sidebar.saleStripX, -14.0f + step + 1e-3f);
    EXPECT_NEAR(sidebar.saleButtonX[5], 1.0f, step + 1e-3f);

    // Right at its open end a strip still takes its step.
    sidebar.saleStripX = sidebar.stripMax;
    sidebar.update(dt);
    EXPECT_EQ(sidebar.saleStripX, sidebar.stripMax + step);

    sidebar.setSaleMenuOpen(false);
    slideToRest(sidebar, sidebar.saleStripX, dt);
    EXPECT_LT(sidebar.saleStripX, -78.0f);
    EXPECT_GE(sidebar.saleStripX, -78.0f - step - 1e-3f);
    EXPECT_LT(sidebar.saleButtonX[5], -50.0f) << "the whole strip is off the screen";
}
