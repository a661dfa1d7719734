#include "app/Backdrop.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "render/Camera.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

const Rgb Green{0, 255, 0};

// A still screen and the street, as the game draws them.
void title() { Backdrop::instance().drawStill(Backdrop::instance().titleList); }
void street() { Backdrop::instance().drawBackground(); }

// Clears to green, draws one backdrop picture starting from a half-clear
// magenta and reads the pixel under game point (gx, gy). Every draw must
// leave texturing, blending and the alpha test off and the colour opaque white.
template <typename Draw> Rgb drawnAt(Draw draw, float gx, float gy) {
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(1, 0, 1, 0.5f);
    draw();
    GLfloat colour[4] = {0, 0, 0, 0};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(std::vector<GLfloat>(colour, colour + 4), (std::vector<GLfloat>{1, 1, 1, 1}));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D) || glIsEnabled(GL_BLEND) || glIsEnabled(GL_ALPHA_TEST));
    return pixelAtGamePoint(gx, gy);
}

} // namespace

TEST(Backdrop, StillScreensOpaqueStreetWithHolesWholeUnitsNeverMirrored) {
    ensureGlContext();
    Camera::instance().applyView();
    glEnable(GL_CULL_FACE);
    // All three pictures 4 by 2: the left column clear (dark under its zero
    // alpha), the others white on top and red below.
    const fs::path folder = scratchPath("backdrop");
    fs::create_directories(folder / "images");
    for (const char* name : {"background.png", "titlescreen.png", "instructions.png"}) {
        fs::copy_file(fixturePath("picture-upright.png"), folder / "images" / name,
                      fs::copy_options::overwrite_existing);
    }
    Backdrop& backdrop = Backdrop::instance();
    {
        ScopedDirectory inFolder(folder.string());
        backdrop.loadImages();
    }
    fs::remove_all(folder);

    // Before the rectangle is set the picture has no size.
    EXPECT_TRUE(near(drawnAt(title, 0, 37.5f), Green, 0));

    backdrop.setRect(75, 50, 0, -50);
    EXPECT_TRUE(near(drawnAt(title, -37.5f, 56.25f), Rgb{9, 8, 7}, 2));
    EXPECT_TRUE(near(drawnAt(street, -37.5f, 56.25f), Green, 2));
    EXPECT_TRUE(near(drawnAt(street, -12.5f, 18.75f), Rgb{255, 0, 0}, 2));

    // Edges right to left, 100.7 apart: drawn upright, 100 wide from x -49.65.
    backdrop.setRect(75, -50, 0, 50.7);
    EXPECT_TRUE(near(drawnAt(title, -12.15f, 56.25f), Rgb{255, 255, 255}, 2));
    EXPECT_TRUE(near(drawnAt(title, -49.8f, 56.25f), Green, 0));
    EXPECT_FALSE(near(drawnAt(title, -49.4f, 56.25f), Green, 100));
    backdrop.setRect(75, 50, 0, -50);
    glDisable(GL_CULL_FACE);
}
