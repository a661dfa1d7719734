#pragma once

// A position in the window, pixels from its left and top edges, as the
// window system counts them (a pixel's centre is at .5).
struct WindowPoint {
    double x;
    double y;
};

// The fixed camera: the game's 4:3 view, as large as the window holds it and
// centred in it (plain bars fill the rest), its perspective and the view of
// the street; and where game units fall in the window, worked out at each
// reshape, which the pictures' scissor boxes, the cursor and the tests read.
struct Camera {
    // the view's size in pixels (the viewport), set by each reshape
    int viewportWidth;
    int viewportHeight;
    // the view's lower left corner, pixels right of the window's left edge
    // and above its bottom edge
    int viewportLeft;
    int viewportBottom;
    // the window's size, pixels
    int windowWidth;
    int windowHeight;
    // vertical field of view, degrees
    double fovY;
    // view translation, game units
    double posX;
    double posY;
    double posZ;
    // window pixels a game unit spans in the street's plane z = 0
    double pixelsPerUnit;

    static Camera& instance();

    // Draws the view letterboxed in a window of any size; a desktop window
    // not in full screen is also asked for 4:3 at its width, so that a drag
    // ends without bars where the window manager grants it.
    void reshape(int width, int height);
    // Lays the view out in a window of that size and works out where game
    // units fall in it; no GL.
    void place(int width, int height);
    // Modelview = the view translation.
    void applyView();
    // Clears the bars round the view, if any, to black.
    void clearBars() const;
    // Where game point (x, y) of the street's plane z = 0 falls in the window.
    WindowPoint windowPoint(double x, double y) const;
    // The view's top edge, pixels below the window's top edge.
    int viewportTop() const;
    // How many times the game's 1024 by 768 the view is drawn (1 at that size).
    double viewScale() const;
    int getWidth() const;
    int getHeight() const;
    // Half the visible height of the plane z = 0, game units (37.5).
    double getHalfViewHeight() const;
    double getPosX() const;
    double getPosY() const;

  private:
    Camera();
};

// GLUT reshape callback.
void onReshape(int width, int height);
