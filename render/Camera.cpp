#include "render/Camera.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>

#include "base/Platform.h"

namespace {

// the only window size a desktop window is drawn at, pixels
constexpr int AcceptedWidth = 1024;
constexpr int AcceptedHeight = 768;
// near and far clipping planes, game units from the eye
constexpr double NearPlane = 0.001;
constexpr double FarPlane = 200.0;

} // namespace

Camera::Camera()
    : viewportWidth(0), viewportHeight(0), fovY(90.0), posX(0.0), posY(-37.5), posZ(-37.5) {}

Camera& Camera::instance() {
    static Camera* camera = new Camera();
    return *camera;
}

void Camera::reshape(int width, int height) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const bool fourByThree = width > 0 && height == (3 * width) / 4;
    if (DrawsAtAnySize ? !fourByThree : width != AcceptedWidth || height != AcceptedHeight) {
        // Push the window back towards 4:3 at the same width; keep drawing
        // with the last accepted size meanwhile. X refuses a window with no
        // pixels, and that would end the game: ask for one at least. A window
        // of the size asked for is not asked again: the ask could reach X
        // after a later resize and undo it.
        const int askedHeight = std::max((3 * width) / 4, 1);
        if (height != askedHeight) {
            glutReshapeWindow(std::max(width, 1), askedHeight);
        }
        return;
    }
    viewportWidth = width;
    viewportHeight = height;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fovY, static_cast<double>(width) / static_cast<double>(height), NearPlane,
                   FarPlane);
    glMatrixMode(GL_MODELVIEW);
    applyView();
}

void Camera::applyView() {
    glLoadIdentity();
    glTranslatef(static_cast<float>(posX), static_cast<float>(posY), static_cast<float>(posZ));
}

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
