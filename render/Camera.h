#pragma once

// The fixed camera: viewport, perspective and the view of the street.
struct Camera {
    // viewport size in pixels, set by an accepted reshape
    int viewportWidth;
    int viewportHeight;
    // vertical field of view, degrees
    double fovY;
    // view translation, game units
    double posX;
    double posY;
    double posZ;

    static Camera& instance();

    // Accepts 1024 by 768 only (any 4:3 size in the page); other sizes ask
    // for a 4:3 window of the same width.
    void reshape(int width, int height);
    // Modelview = the view translation.
    void applyView();
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
