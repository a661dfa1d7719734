#include "render/Camera.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>

#include "tests/support/TestSupport.h"

namespace {

using Matrix = std::array<GLfloat, 16>;

Matrix matrix(GLenum which) {
    Matrix m{};
    glGetFloatv(which, m.data());
    return m;
}

std::array<GLint, 4> viewport() {
    std::array<GLint, 4> v{};
    glGetIntegerv(GL_VIEWPORT, v.data());
    return v;
}

// the size of the last reshape GLUT delivered
int reshapedWidth = 0;
int reshapedHeight = 0;

// The game's reshape callback, noting the size it was given.
void noteReshape(int width, int height) {
    reshapedWidth = width;
    reshapedHeight = height;
    onReshape(width, height);
}

// Runs GLUT's events until the window has been reshaped to the given size
// (at most 5 s).
bool windowBecomes(int width, int height) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        glutMainLoopEvent();
        if (reshapedWidth == width && reshapedHeight == height) {
            return true;
        }
    }
    return false;
}

void ignoreDisplay() {}

} // namespace

TEST(Camera, TheGameSizeSetsViewportPerspectiveAndView) {
    ensureGlContext();
    Camera& camera = Camera::instance();
    camera.reshape(1024, 768);
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 1024, 768}));
    EXPECT_EQ(camera.getWidth(), 1024);
    EXPECT_EQ(camera.getHeight(), 768);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    // 90 degrees high, aspect 4/3, near 0.001, far 200.
    const Matrix projection = matrix(GL_PROJECTION_MATRIX);
    EXPECT_FLOAT_EQ(projection[0], 0.75f);
    EXPECT_FLOAT_EQ(projection[5], 1.0f);
    EXPECT_FLOAT_EQ(projection[10], -200.001f / 199.999f);
    EXPECT_FLOAT_EQ(projection[14], -0.4f / 199.999f);
    EXPECT_FLOAT_EQ(projection[11], -1.0f);
    const Matrix view = matrix(GL_MODELVIEW_MATRIX);
    EXPECT_EQ(view[12], 0.0f);
    EXPECT_EQ(view[13], -37.5f);
    EXPECT_EQ(view[14], -37.5f);
    EXPECT_NEAR(camera.getHalfViewHeight(), 37.5, 1e-12);
}

TEST(Camera, OtherSizesAskForFourByThreeAndChangeNothingButClear) {
    ensureGlContext();
    glutDisplayFunc(ignoreDisplay);
    glutReshapeFunc(noteReshape);
    Camera& camera = Camera::instance();
    camera.reshape(1024, 768);
    const Matrix projection = matrix(GL_PROJECTION_MATRIX);
    const Matrix view = matrix(GL_MODELVIEW_MATRIX);

    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 1, 1);
    camera.reshape(800, 500);
    EXPECT_TRUE(near(pixelAt(100, 100), Rgb{0, 0, 255}, 0));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 1024, 768}));
    EXPECT_EQ(matrix(GL_PROJECTION_MATRIX), projection);
    EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), view);
    EXPECT_EQ(camera.getWidth(), 1024);
    EXPECT_EQ(camera.getHeight(), 768);
    EXPECT_TRUE(windowBecomes(800, 600));
    EXPECT_EQ(camera.getWidth(), 1024);

    camera.reshape(1024, 700);
    EXPECT_TRUE(windowBecomes(1024, 768));
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 1024, 768}));
    glutReshapeFunc(nullptr);
}
