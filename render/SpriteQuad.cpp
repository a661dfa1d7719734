#include "render/SpriteQuad.h"

#include <GL/gl.h>

#include "render/PngBind.h"

namespace {

// One corner of the square: the edges of the shown box it stands on.
struct QuadCorner {
    float TextureBox::*s;
    float TextureBox::*t;
};

// Counter-clockwise seen from +z; texture row t = 0 (the picture's top)
// along the top edge, so the picture stands upright. Each corner stands at
// (s - 0.5, 0.5 - t), where the whole unit square has those coordinates.
constexpr QuadCorner Corners[4] = {
    {&TextureBox::left, &TextureBox::bottom},
    {&TextureBox::right, &TextureBox::bottom},
    {&TextureBox::right, &TextureBox::top},
    {&TextureBox::left, &TextureBox::top},
};

// whether alpha-tested pictures are cut (see cutSpriteQuads)
bool cutting = true;

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
    for (const QuadCorner& corner : Corners) {
        const float s = shown.*corner.s;
        const float t = shown.*corner.t;
        glTexCoord2f(s, t);
        glVertex3f(s - 0.5f, 0.5f - t, 0.0f);
    }
    glEnd();
    glEndList();
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
    glCallList(static_cast<GLuint>(list));
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
