#pragma once

// The three full-screen pictures and the screen rectangle in game units.
struct Backdrop {
    // edges of the screen rectangle, game units
    double left;
    double right;
    double bottom;
    double top;
    // display lists of the street, title and instructions pictures; -1 until built
    int backgroundList;
    int titleList;
    int instructionsList;

    static Backdrop& instance();

    void loadImages();
    void setRect(double topEdge, double rightEdge, double bottomEdge, double leftEdge);
    // The street, blended (alpha 0 pixels are holes).
    void drawBackground();
    // A still screen (titleList or instructionsList), opaque.
    void drawStill(int list);

  private:
    Backdrop();
    // Stretches one picture over the rectangle.
    void place(int list) const;
};
