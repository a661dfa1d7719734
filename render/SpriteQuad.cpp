#include "render/SpriteQuad.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "render/Camera.h"
#include "render/PngBind.h"

namespace {

// One corner of the unit square: texture coordinate, then position.
struct QuadCorner {
    float s;
    float t;
    float x;
    float y;
};

// Counter-clockwise seen from +z; texture row t = 0 (the picture's top)
// along the top edge, so the picture stands upright.
constexpr QuadCorner UnitSquare[4] = {
    {0.0f, 1.0f, -0.5f, -0.5f},
    {1.0f, 1.0f, 0.5f, -0.5f},
    {1.0f, 0.0f, 0.5f, 0.5f},
    {0.0f, 0.0f, -0.5f, 0.5f},
};

// whether alpha-tested pictures are scissored (see scissorSpriteQuads)
bool scissoring = true;

// The part of its square each scissored list can show (see visibleBox), by
// list name; lists drawn whole have none.
std::unordered_map<int, TextureBox> shownParts;

// Limits drawing to the window pixels round the box's part of the unit
// square scaled to width by height at (x, y, z), where the camera's view
// puts it (the scissor test). Every fragment left out lies outside the box,
// where the alpha test discards it; the rest are the very fragments of the
// whole square, interpolated over it alike. False, with the test left off,
// for a square off the street's plane z = 0 (every picture lies in it).
bool scissorTo(const TextureBox& box, float x, float y, float z, float width, float height) {
    if (z != 0.0f) {
        return false;
    }
    const Camera& camera = Camera::instance();
    // where a point of the square, by its texture coordinates, falls in the window
    const auto inWindow = [&](float s, float t) {
        return camera.windowPoint(static_cast<double>(x + (s - 0.5f) * width),
                                  static_cast<double>(y + (0.5f - t) * height));
    };
    const WindowPoint low = inWindow(box.left, box.bottom);
    const WindowPoint high = inWindow(box.right, box.top);
    const auto left = static_cast<GLint>(std::floor(std::min(low.x, high.x)));
    const auto right = static_cast<GLint>(std::ceil(std::max(low.x, high.x)));
    const auto bottom =
        static_cast<GLint>(std::floor(camera.windowHeight - std::max(low.y, high.y)));
    const auto top = static_cast<GLint>(std::ceil(camera.windowHeight - std::min(low.y, high.y)));
    glScissor(left, bottom, right - left, top - bottom);
    glEnable(GL_SCISSOR_TEST);
    return true;
}

} // namespace

void buildSpriteQuad(int& list, int& texture, const char* pngPath, SpriteDrawing drawing) {
    if (list >= 0) {
        return;
    }
    // the whole square unless the load says less shows
    TextureBox shown;
    TextureBox* const scissored =
        scissoring && drawing == SpriteDrawing::AlphaTested ? &shown : nullptr;
    if (texture < 0) {
        texture = static_cast<int>(pngBind(pngPath, PNG_BUILDMIPMAPS, PNG_ALPHA, scissored,
                                           GL_CLAMP, GL_LINEAR, GL_LINEAR));
    }
    list = static_cast<int>(glGenLists(1));
    glNewList(static_cast<GLuint>(list), GL_COMPILE);
    if (texture >= 0) {
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
    }
    glBegin(GL_QUADS);
    glNormal3f(0.0f, 0.0f, 1.0f);
    for (const QuadCorner& corner : UnitSquare) {
        glTexCoord2f(corner.s, corner.t);
        glVertex3f(corner.x, corner.y, 0.0f);
    }
    glEnd();
    glEndList();
    if (scissored != nullptr) {
        shownParts[list] = shown;
    } else {
        shownParts.erase(list);
    }
}

void loadSpriteQuads(std::initializer_list<SpriteQuadFile> files) {
    for (const SpriteQuadFile& file : files) {
        int texture = -1;
        buildSpriteQuad(*file.list, texture, file.pngPath, file.drawing);
    }
}

void scissorSpriteQuads(bool scissor) { scissoring = scissor; }

void drawSpriteQuad(int list, float x, float y, float z, float width, float height) {
    if (list < 0) {
        return;
    }
    glPushMatrix();
    glTranslatef(x, y, z);
    glScalef(width, height, 1.0f);
    const auto part = shownParts.find(list);
    const bool scissored =
        part != shownParts.end() && scissorTo(part->second, x, y, z, width, height);
    glCallList(static_cast<GLuint>(list));
    if (scissored) {
        glDisable(GL_SCISSOR_TEST);
    }
    glPopMatrix();
}

void beginSpriteDrawing() {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
}

void endSpriteDrawing() {
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}
