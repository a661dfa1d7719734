#include "tests/support/TestSupport.h"

#include <GL/freeglut.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "render/Camera.h"

void ensureGlContext() {
    static bool open = false;
    if (open) {
        return;
    }
    open = true;
    int argc = 1;
    char name[] = "pellucane-tests";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(1024, 768);
    glutCreateWindow("Pellucane tests");
    Camera::instance().reshape(1024, 768);
    glReadBuffer(GL_BACK);
    glDrawBuffer(GL_BACK);
}

Rgb pixelAt(int x, int y) {
    unsigned char rgb[3] = {0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return Rgb{rgb[0], rgb[1], rgb[2]};
}

Rgb pixelAtGamePoint(float gx, float gy) {
    const float pixelsPerUnit = 10.24f;
    return pixelAt(static_cast<int>((gx + 50.0f) * pixelsPerUnit),
                   static_cast<int>(gy * pixelsPerUnit));
}

bool near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

std::string dataPath(const std::string& relative) {
    return std::string(PELLUCANE_DATA_DIR) + (relative.empty() ? "" : "/" + relative);
}

std::string fixturePath(const std::string& relative) {
    return std::string(PELLUCANE_TEST_DATA_DIR) + (relative.empty() ? "" : "/" + relative);
}

ScopedDirectory::ScopedDirectory(const std::string& path) {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr || chdir(path.c_str()) != 0) {
        throw std::runtime_error("cannot enter " + path);
    }
    previous = buffer;
}

ScopedDirectory::~ScopedDirectory() {
    if (chdir(previous.c_str()) != 0) {
        std::abort();
    }
}

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}
