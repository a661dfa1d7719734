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
    loadSpriteQuads({
        {&backgroundList, "./images/background.png"},
        // drawn opaque, whatever their alpha holds: their whole squares show
        {&titleList, "./images/titlescreen.png", SpriteDrawing::Opaque},
        {&instructionsList, "./images/instructions.png", SpriteDrawing::Opaque},
    });
}

void Backdrop::setRect(double topEdge, double rightEdge, double bottomEdge, double leftEdge) {
    top = topEdge;
    right = rightEdge;
    bottom = bottomEdge;
    left = leftEdge;
}

void Backdrop::drawBackground() {
    beginSpriteDrawing();
    setWhite();
    place(backgroundList);
    endSpriteDrawing();
    setWhite();
}

void Backdrop::drawStill(int list) {
    glEnable(GL_TEXTURE_2D);
    setWhite();
    place(list);
    glDisable(GL_TEXTURE_2D);
    setWhite();
}

void Backdrop::place(int list) const {
    // Whole units only, and never mirrored whichever way round the edges are.
    drawSpriteQuad(list, static_cast<float>((right + left) / 2.0),
                   static_cast<float>((top + bottom) / 2.0), 0.0f,
                   static_cast<float>(std::trunc(std::fabs(left - right))),
                   static_cast<float>(std::trunc(std::fabs(top - bottom))));
}
