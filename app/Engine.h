#pragma once

// The frame clock and the body of every frame.
struct Engine {
    // elapsed ms at the previous tick
    unsigned int lastTickMs;
    // elapsed ms read at the current tick
    unsigned int currentTickMs;
    // this frame's time in seconds, 0 to 0.12
    double deltaSeconds;

    // The Engine, created on first use with the clock read then.
    static Engine& instance();

    // Fixed GL state, pictures, sounds, the Market and the music; title screen.
    void initialise();
    // One frame: tick, step the street while playing, draw, swap.
    void renderFrame();
    // Draws the current screen into the back buffer: the still screen on a
    // cleared frame, or the street (which covers the whole view) at the camera.
    void drawScreen();
    // Measures the frame time, capped at 0.12 s (a capped frame clears).
    void tick();
    // Steps the Market by this frame's time, or, joined to a room, by every
    // tick the room has sent.
    void update();
    double getDeltaSeconds() const;

  private:
    Engine();
};

// GLUT display callback: one frame.
void onDisplay();
// GLUT idle callback: lets go of keys released in another window and asks
// for the next frame at once.
void onIdle();
