#include "app/Engine.h"

#include <GL/freeglut.h>

#include "app/Backdrop.h"
#include "app/GameState.h"
#include "app/RoomNotices.h"
#include "audio/SoundBank.h"
#include "base/ElapsedTime.h"
#include "base/ScreenRect.h"
#include "input/InputState.h"
#include "input/KeyboardPlatform.h"
#include "market/Market.h"
#include "net/Lockstep.h"
#include "render/Camera.h"

namespace {

// longest frame the game is stepped by, seconds
constexpr double MaxFrameSeconds = 0.12;

// The GL state the whole game draws with, set once.
void setFixedGlState() {
    glShadeModel(GL_FLAT);
    glPolygonMode(GL_FRONT, GL_FILL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    // Only the counter-clockwise (front) side of a quad shows.
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CCW);
    glCullFace(GL_BACK);
    // Equal depths pass, so pictures at one z show in drawing order.
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
}

void clearBuffers() { glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT); }

} // namespace

Engine::Engine()
    : lastTickMs(static_cast<unsigned int>(elapsedMs())), currentTickMs(lastTickMs),
      deltaSeconds(0.0) {}

Engine& Engine::instance() {
    static Engine* engine = new Engine();
    return *engine;
}

void Engine::initialise() {
    setFixedGlState();
    Backdrop& backdrop = Backdrop::instance();
    backdrop.loadImages();
    // The street and the still screens fill the screen rectangle, at whose
    // middle height the shops and the sidebar stand.
    backdrop.setRect(ScreenTop, ScreenRight, ScreenBottom, ScreenLeft);
    SoundBank::instance().load();
    market.initialise();
    SoundBank::instance().playMusic("./sound/Brisklane.mp3");
    GameState = Title;
}

void Engine::renderFrame() {
    glPushMatrix();
    tick();
    if (GameState == Playing) {
        update();
    }
    drawScreen();
    // Nothing draws beside the view: the bars are cleared each frame, as
    // the buffer swapped in may hold anything there.
    Camera::instance().clearBars();
    glutSwapBuffers();
    glPopMatrix();
}

void Engine::drawScreen() {
    if (GameState == Title || GameState == Instructions) {
        clearBuffers();
        Backdrop& backdrop = Backdrop::instance();
        backdrop.drawStill(GameState == Title ? backdrop.titleList : backdrop.instructionsList);
        return;
    }
    // The street covers the whole view, so a playing frame is not cleared.
    Camera::instance().applyView();
    Backdrop::instance().drawBackground();
    market.draw();
    const Lockstep& room = Lockstep::instance();
    if (room.joined) {
        drawRoomNotices(room);
    }
}

void Engine::tick() {
    currentTickMs = static_cast<unsigned int>(elapsedMs());
    // Unsigned difference: right across a wrap of the millisecond counter.
    deltaSeconds = (currentTickMs - lastTickMs) / 1000.0;
    if (deltaSeconds > MaxFrameSeconds) {
        // A stall (loading, a dragged window) never steps the game further.
        deltaSeconds = MaxFrameSeconds;
        clearBuffers();
    }
    lastTickMs = currentTickMs;
}

// A networked street runs from the room's ticks alone, every one received
// so far: a machine that joins late, or comes back, replays the room's
// game to the present before it draws.
void Engine::update() {
    Lockstep& room = Lockstep::instance();
    if (room.joined) {
        room.playTicks();
        return;
    }
    market.update(static_cast<float>(deltaSeconds));
}

double Engine::getDeltaSeconds() const { return deltaSeconds; }

void onDisplay() { Engine::instance().renderFrame(); }

void onIdle() {
    forgetKeysReleasedElsewhere(InputState::instance().heldKeys);
    Lockstep::instance().poll();
    glutPostRedisplay();
}
