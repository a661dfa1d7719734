#include "app/Engine.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "base/ElapsedTime.h"
#include "tests/support/TestSupport.h"

namespace {

// Ticks with the clock at ms; true when the tick cleared the frame.
bool tickClears(int ms) {
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 1, 1);
    setClockMs(ms);
    Engine::instance().tick();
    return near(pixelAt(10, 10), Rgb{0, 0, 255}, 0);
}

} // namespace

TEST(FrameClock, CapsStrictlyAbove120MillisecondsAndClearsOnlyThen) {
    ensureGlContext();
    const Engine& engine = Engine::instance();
    EXPECT_TRUE(tickClears(1000000));
    EXPECT_EQ(engine.getDeltaSeconds(), 0.12);
    EXPECT_FALSE(tickClears(1000120));
    EXPECT_EQ(engine.getDeltaSeconds(), 0.12);
    EXPECT_TRUE(tickClears(1000241));
    EXPECT_EQ(engine.getDeltaSeconds(), 0.12);
    EXPECT_FALSE(tickClears(1000241));
    EXPECT_EQ(engine.getDeltaSeconds(), 0.0);
    // Across a wrap of the millisecond counter the difference stays right.
    tickClears(-10);
    EXPECT_FALSE(tickClears(5));
    EXPECT_EQ(engine.getDeltaSeconds(), 0.015);
}
