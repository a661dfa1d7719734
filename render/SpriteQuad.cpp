#include "render/SpriteQuad.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

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

// whether alpha-tested pictures are cut (see cutSpriteQuads)
bool cutting = true;

// The part of its square each cut list can show (see visibleBox), by list
// name; lists drawn whole have none.
std::unordered_map<int, TextureBox> shownParts;

// A point in homogeneous coordinates.
using Point = std::array<double, 4>;

// The point times a GL matrix (column after column).
Point transformed(const GLfloat* matrix, const Point& point) {
    Point result{};
    for (size_t row = 0; row < 4; ++row) {
        for (size_t column = 0; column < 4; ++column) {
            result[row] += static_cast<double>(matrix[column * 4 + row]) * point[column];
        }
    }
    return result;
}

// Limits drawing to the window pixels round the box's part of the unit
// square under the current matrices (the scissor test). Every fragment left
// out lies outside the box, where the alpha test discards it; the rest are
// the very fragments of the whole square, interpolated over it alike. False,
// with the test left off, when a corner lies behind the eye.
bool scissorTo(const TextureBox& box) {
    GLfloat modelview[16];
    GLfloat projection[16];
    GLint viewport[4];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetIntegerv(GL_VIEWPORT, viewport);
    // window pixels, x then y: the least and the most of the corners
    std::array<double, 2> low{HUGE_VAL, HUGE_VAL};
    std::array<double, 2> high{-HUGE_VAL, -HUGE_VAL};
    for (const float s : {box.left, box.right}) {
        for (const float t : {box.top, box.bottom}) {
            const Point object{static_cast<double>(s) - 0.5, 0.5 - static_cast<double>(t), 0.0,
                               1.0};
            const Point clip = transformed(projection, transformed(modelview, object));
            if (clip[3] <= 0.0) {
                return false;
            }
            for (size_t axis = 0; axis < 2; ++axis) {
                const double pixel =
                    viewport[axis] + (clip[axis] / clip[3] + 1.0) / 2.0 * viewport[axis + 2];
                low[axis] = std::min(low[axis], pixel);
                high[axis] = std::max(high[axis], pixel);
            }
        }
    }
    const auto x = static_cast<GLint>(std::floor(low[0]));
    const auto y = static_cast<GLint>(std::floor(low[1]));
    glScissor(x, y, static_cast<GLint>(std::ceil(high[0])) - x,
              static_cast<GLint>(std::ceil(high[1])) - y);
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
    TextureBox* const cut = cutting && drawing == SpriteDrawing::AlphaTested ? &shown : nullptr;
    if (texture < 0) {
        texture = static_cast<int>(
            pngBind(pngPath, PNG_BUILDMIPMAPS, PNG_ALPHA, cut, GL_CLAMP, GL_LINEAR, GL_LINEAR));
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
    if (cut != nullptr) {
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

void cutSpriteQuads(bool cut) { cutting = cut; }

void drawSpriteQuad(int list, float x, float y, float z, float width, float height) {
    if (list < 0) {
        return;
    }
    glPushMatrix();
    glTranslatef(x, y, z);
    glScalef(width, height, 1.0f);
    const auto part = shownParts.find(list);
    const bool scissored = part != shownParts.end() && scissorTo(part->second);
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
