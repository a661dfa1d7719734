#include "render/Camera.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

// Viewport, projection and modelview as GL holds them now.
std::array<GLfloat, 36> glView() {
    std::array<GLfloat, 36> view{};
    glGetFloatv(GL_VIEWPORT, view.data());
    glGetFloatv(GL_PROJECTION_MATRIX, view.data() + 4);
    glGetFloatv(GL_MODELVIEW_MATRIX, view.data() + 20);
    return view;
}

// the size of the last reshape GLUT delivered
int reshapedWidth = 0, reshapedHeight = 0;
// every size delivered, in order
std::vector<std::pair<int, int>> reshapes;

// Runs GLUT's events until the game's reshape callback has been given
// width by height (20 s at most).
bool windowBecomes(int width, int height) {
    glutReshapeFunc([](int w, int h) {
        reshapedWidth = w;
        reshapedHeight = h;
        reshapes.emplace_back(w, h);
        onReshape(w, h);
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline &&
           (reshapedWidth != width || reshapedHeight != height)) {
        glutMainLoopEvent();
    }
    glutReshapeFunc(nullptr);
    return reshapedWidth == width && reshapedHeight == height;
}

} // namespace

TEST(Camera, AnySizeDrawsTheViewLetterboxedAsksForFourByThreeAndClears) {
    ensureGlContext();
    glutDisplayFunc([] {});
    Camera& camera = Camera::instance();
    camera.reshape(1024, 768);
    const std::array<GLfloat, 36> accepted = glView();
    // Whole window; 90 degrees high at 4:3; the view translation (0, -37.5, -37.5).
    EXPECT_EQ((std::vector<GLfloat>{accepted[2], accepted[3], accepted[4], accepted[9],
                                    accepted[32], accepted[33], accepted[34]}),
              (std::vector<GLfloat>{1024, 768, 0.75f, 1, 0, -37.5f, -37.5f}));
    EXPECT_NEAR(camera.getHalfViewHeight(), 37.5, 1e-12);

    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 1, 1);
    camera.reshape(800, 500);
    EXPECT_TRUE(near(pixelAt(100, 100), Rgb{0, 0, 255}, 0));
    // At once the view, centred between bars; the bars cleared black alone.
    const std::array<GLfloat, 36> letterboxed = glView();
    EXPECT_EQ(std::vector<GLfloat>(letterboxed.begin(), letterboxed.begin() + 4),
              (std::vector<GLfloat>{67, 0, 666, 500}));
    glClear(GL_COLOR_BUFFER_BIT);
    camera.clearBars();
    EXPECT_TRUE(near(pixelAt(30, 100), Rgb{0, 0, 0}, 0) &&
                near(pixelAt(100, 100), Rgb{0, 0, 255}, 0));
    glClearColor(1, 1, 1, 1);
    EXPECT_TRUE(windowBecomes(800, 600));
    camera.reshape(1024, 700);
    EXPECT_TRUE(windowBecomes(1024, 768));
    EXPECT_EQ(glView(), accepted);

    // A window already 4:3 at its width is not asked for again: the ask could
    // land after a later resize and undo it. (X handles the asks in order.)
    reshapes.clear();
    camera.reshape(800, 600);
    // GLUT sends an ask when it next runs its events
    glutMainLoopEvent();
    glutReshapeWindow(1000, 750);
    EXPECT_TRUE(windowBecomes(1000, 750));
    EXPECT_EQ(reshapes, (std::vector<std::pair<int, int>>{{1000, 750}}));
    glutReshapeWindow(1024, 768);
    EXPECT_TRUE(windowBecomes(1024, 768));
}
