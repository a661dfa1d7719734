#include "render/Camera.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "base/Platform.h"
#include "render/Font.h"

namespace {

// the view's height at which the pictures and the text are drawn as made, pixels
constexpr double GameHeight = 768.0;
// near and far clipping planes, game units from the eye
constexpr double NearPlane = 0.001;
constexpr double FarPlane = 200.0;

// A rectangle of window pixels: left and bottom edges, width and height.
struct PixelBox {
    int left;
    int bottom;
    int width;
    int height;
};

} // namespace

Camera::Camera()
    : viewportWidth(0), viewportHeight(0), viewportLeft(0), viewportBottom(0), windowWidth(0),
      windowHeight(0), fovY(90.0), posX(0.0), posY(-37.5), posZ(-37.5), pixelsPerUnit(0.0) {}

Camera& Camera::instance() {
    static Camera* camera = new Camera();
    return *camera;
}

void Camera::reshape(int width, int height) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // X refuses a window with no pixels, and that would end the game: ask
    // for one at least. A window of the size asked for is not asked again:
    // the ask could reach X after a later resize and undo it.
    const int askedHeight = std::max((3 * width) / 4, 1);
    if (mayAskWindowSize() && height != askedHeight) {
        glutReshapeWindow(std::max(width, 1), askedHeight);
    }
    place(width, height);
    glViewport(viewportLeft, viewportBottom, viewportWidth, viewportHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(
        fovY, static_cast<double>(viewportWidth) / static_cast<double>(std::max(viewportHeight, 1)),
        NearPlane, FarPlane);
    glMatrixMode(GL_MODELVIEW);
    applyView();
    if (viewportHeight > 0) {
        Font::instance().setViewScale(viewScale());
    }
}

void Camera::place(int width, int height) {
    windowWidth = std::max(width, 0);
    windowHeight = std::max(height, 0);
    // As wide as the window where it is taller than 4:3, else as high.
    if ((3 * windowWidth) / 4 <= windowHeight) {
        viewportWidth = windowWidth;
        viewportHeight = (3 * windowWidth) / 4;
    } else {
        viewportWidth = (4 * windowHeight) / 3;
        viewportHeight = windowHeight;
    }
    viewportLeft = (windowWidth - viewportWidth) / 2;
    viewportBottom = (windowHeight - viewportHeight) / 2;
    pixelsPerUnit = viewportHeight / 2.0 / getHalfViewHeight();
}

void Camera::applyView() {
    glLoadIdentity();
    glTranslatef(static_cast<float>(posX), static_cast<float>(posY), static_cast<float>(posZ));
}

void Camera::clearBars() const {
    if (viewportWidth == windowWidth && viewportHeight == windowHeight) {
        return;
    }
    const int right = viewportLeft + viewportWidth;
    const int top = viewportBottom + viewportHeight;
    const PixelBox bars[] = {{0, 0, viewportLeft, windowHeight},
                             {right, 0, windowWidth - right, windowHeight},
                             {0, 0, windowWidth, viewportBottom},
                             {0, top, windowWidth, windowHeight - top}};
    // the clear colour the frame uses, back after the bars (the scissor
    // test is off between pictures)
    GLfloat frameColour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, frameColour);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    for (const PixelBox& bar : bars) {
        if (bar.width > 0 && bar.height > 0) {
            glScissor(bar.left, bar.bottom, bar.width, bar.height);
            glClear(GL_COLOR_BUFFER_BIT);
        }
    }
    glDisable(GL_SCISSOR_TEST);
    glClearColor(frameColour[0], frameColour[1], frameColour[2], frameColour[3]);
}

WindowPoint Camera::windowPoint(double x, double y) const {
    const double centreX = viewportLeft + viewportWidth / 2.0;
    const double centreY = viewportTop() + viewportHeight / 2.0;
    return WindowPoint{centreX + (x + posX) * pixelsPerUnit, centreY - (y + posY) * pixelsPerUnit};
}

int Camera::viewportTop() const { return windowHeight - viewportBottom - viewportHeight; }

double Camera::viewScale() const { return viewportHeight / GameHeight; }

int Camera::getWidth() const { return viewportWidth; }

int Camera::getHeight() const { return viewportHeight; }

double Camera::getHalfViewHeight() const {
    const float halfAngle = static_cast<float>(fovY / 2.0);
    const double radians = static_cast<double>(halfAngle) * 3.141592653589793 / 180.0;
    return std::tan(radians) * std::fabs(posZ);
}

double Camera::getPosX() const { return posX; }

double Camera::getPosY() const { return posY; }

void onReshape(int width, int height) { Camera::instance().reshape(width, height); }
