#include "app/Backdrop.h"

#include <GL/gl.h>

#include <cmath>

#include "render/SpriteQuad.h"

namespace {

// Opaque white: the colour every backdrop draw starts and ends with.
void setWhite() { glColor4f(1.0f, 1.0f, 1.0f, 1.0f); }

} // namespace

Backdrop::Backdrop()
    : left(0.0), right(0.0), bottom(0.0), top(0.0), backgroundList(-1), titleList(-1),
      instructionsList(-1) {}

Backdrop& Backdrop::instance() {
    static Backdrop* backdrop = new Backdrop();
    return *backdrop;
}

void Backdrop::loadImages() {
    // Each picture gets a texture of its own.
    int texture = -1;
    buildSpriteQuad(backgroundList, texture, "./images/background.png");
    texture = -1;
    buildSpriteQuad(titleList, texture, "./images/titlescreen.png");
    texture = -1;
    buildSpriteQuad(instructionsList, texture, "./images/instructions.png");
}

void Backdrop::setRect(double top, double right, double bottom, double left) {
    this->top = top;
    this->right = right;
    this->bottom = bottom;
    this->left = left;
}

double Backdrop::getBottom() const { return bottom; }

double Backdrop::getTop() const { return top; }

void Backdrop::drawBackground() {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.0f);
    setWhite();
    place(backgroundList);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    setWhite();
}

void Backdrop::drawTitle() {
    glEnable(GL_TEXTURE_2D);
    setWhite();
    place(titleList);
    glDisable(GL_TEXTURE_2D);
    setWhite();
}

void Backdrop::drawInstructions() {
    glEnable(GL_TEXTURE_2D);
    setWhite();
    place(instructionsList);
    glDisable(GL_TEXTURE_2D);
    setWhite();
}

void Backdrop::place(int list) const {
    glPushMatrix();
    glTranslatef(static_cast<float>((right + left) / 2.0), static_cast<float>((top + bottom) / 2.0),
                 0.0f);
    // Whole units only, and never mirrored whichever way round the edges are.
    glScalef(static_cast<float>(std::trunc(std::fabs(left - right))),
             static_cast<float>(std::trunc(std::fabs(top - bottom))), 1.0f);
    glCallList(static_cast<GLuint>(list));
    glPopMatrix();
}
