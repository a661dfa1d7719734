#include <gtest/gtest.h>

#include "base/ElapsedTime.h"
#include "market/DayClock.h"

namespace {

// Steps the clock after a long real pause, which passes exactly one minute.
void passMinute(DayClock& clock) {
    clock.lastMs = 0;
    setClockMs(1000000);
    clock.advance(0.02f);
}

// Updates of steady frames of ms (dt = ms / 1000) until the next minute passes.
int updatesPerMinute(DayClock& clock, int& nowMs, int ms) {
    const float units = clock.minuteUnits;
    for (int updates = 1; updates < 1000; ++updates) {
        nowMs += ms;
        setClockMs(nowMs);
        clock.advance(static_cast<float>(ms) / 1000.0f);
        if (clock.minuteUnits != units) {
            return updates;
        }
    }
    return -1;
}

} // namespace

TEST(DayClock, CalendarAndFlags) {
    DayClock clock;
    passMinute(clock);
    EXPECT_EQ(1.0f, clock.minuteUnits) << "a huge step adds one minute only";
    EXPECT_EQ(0.0f, clock.minuteAccumulator);

    clock.hour = 12.0f;
    clock.minuteTens = 5.0f;
    clock.minuteUnits = 9.0f;
    passMinute(clock);
    EXPECT_EQ(1.0f, clock.hour);
    EXPECT_EQ(0.0f, clock.minuteTens);
    EXPECT_EQ(0.0f, clock.minuteUnits);
    EXPECT_FALSE(clock.isAM);

    clock = DayClock();
    clock.hour = 11.0f;
    clock.minuteTens = 5.0f;
    clock.minuteUnits = 9.0f;
    passMinute(clock);
    EXPECT_EQ(12.0f, clock.hour);
    EXPECT_TRUE(clock.isAM) << "noon still reads AM";

    // From 8:00 AM: the first hour flag at 9:00, the first day flag at the 25th hour.
    clock = DayClock();
    int hourFlags = 0;
    for (int minute = 1; minute <= 25 * 60; ++minute) {
        passMinute(clock);
        if (clock.hourPassed()) {
            ++hourFlags;
            if (hourFlags == 1) {
                EXPECT_EQ(60, minute);
                EXPECT_EQ(9.0f, clock.hour);
            }
            clock.clearHourPassed();
        }
        if (clock.dayPassed()) {
            EXPECT_EQ(25 * 60, minute);
            clock.clearDayPassed();
            break;
        }
    }
    EXPECT_EQ(25, hourFlags);
    EXPECT_EQ(9.0f, clock.hour);
    EXPECT_TRUE(clock.isAM);
    EXPECT_EQ(0, clock.hourCount);
}

TEST(DayClock, PaceAndSunFlicker) {
    DayClock clock;
    int nowMs = 0;
    setClockMs(nowMs);
    for (int minute = 0; minute < 5; ++minute) {
        EXPECT_EQ(22, updatesPerMinute(clock, nowMs, 20));
    }
    for (int minute = 0; minute < 5; ++minute) {
        EXPECT_EQ(23, updatesPerMinute(clock, nowMs, 17));
    }

    // Exactly 11 frame times of gain is not yet a minute.
    clock = DayClock();
    setClockMs(500);
    clock.lastMs = 500;
    clock.minuteAccumulator = 11.0f * 0.02f;
    clock.advance(0.02f);
    EXPECT_EQ(0.0f, clock.minuteUnits);
    setClockMs(501);
    clock.advance(0.02f);
    EXPECT_EQ(1.0f, clock.minuteUnits);

    clock = DayClock();
    clock.sun1List = 1;
    clock.sun2List = 2;
    clock.sunList = 1;
    clock.sunFlipMs = 0;
    setClockMs(300);
    clock.advance(0.02f);
    EXPECT_EQ(1, clock.sunList);
    setClockMs(301);
    clock.advance(0.02f);
    EXPECT_EQ(2, clock.sunList);
    EXPECT_EQ(301, clock.sunFlipMs);
    setClockMs(602);
    clock.advance(0.02f);
    EXPECT_EQ(1, clock.sunList);
}
