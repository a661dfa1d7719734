#include "market/DayClock.h"

#include <GL/gl.h>

#include "base/ElapsedTime.h"
#include "render/Font.h"
#include "render/SpriteQuad.h"

namespace {

// Real milliseconds a sun picture is shown, at least.
constexpr int SunFlickerMs = 300;
// Minute gain per real millisecond.
constexpr double MinuteGainPerMs = 0.0005;
// A minute passes once the gain outgrows this many frame times.
constexpr float FrameTimesPerMinute = 11.0f;
// Hours counted before the daily flag goes up (it goes up at the next one).
constexpr int HoursPerDay = 24;
// Side of the sun picture, game units, and where it stands.
constexpr float SunSize = 25.0f;
constexpr float SunX = 20.0f;
constexpr float SunY = 60.0f;
// Scale of the time texts.
constexpr float TextScale = 1.2f * 0.05f;

// One white text of the clock at (x, y, z).
template <typename Value> void printAt(float x, float y, float z, const char* format, Value value) {
    glPushMatrix();
    glTranslatef(x, y, z);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glScalef(TextScale, TextScale, TextScale);
    Font::instance().print(format, value);
    glPopMatrix();
}

} // namespace

DayClock::DayClock()
    : sunFlipMs(0), textX(30.0f), textY(70.0f), textZ(0.0f), hour(8.0f), hourCount(0),
      minuteTens(0.0f), minuteUnits(0.0f), isAM(true), minuteAccumulator(0.0f), hourFlag(false),
      dayFlag(false), sunList(-1), sun1List(-1), sun2List(-1), minuteGain(0.0f), nowMs(0),
      stepMs(0), lastMs(0) {}

void DayClock::load() {
    Font::instance().load("./fonts/ERASDEMI.ttf", 30);
    loadSpriteQuads({{&sun1List, "./images/sun1.png"}, {&sun2List, "./images/sun2.png"}});
    sunList = sun1List;
    sunFlipMs = elapsedMs();
    lastMs = elapsedMs();
}

void DayClock::advance(float dt) {
    if (elapsedMs() - sunFlipMs > SunFlickerMs) {
        sunList = sunList == sun1List ? sun2List : sun1List;
        // the change is dated by a fresh reading of the clock
        sunFlipMs = elapsedMs();
    }

    nowMs = elapsedMs();
    stepMs = nowMs - lastMs;
    lastMs = nowMs;
    minuteGain = static_cast<float>(stepMs * MinuteGainPerMs);
    minuteAccumulator += minuteGain;

    // At most one minute a step: whatever the gain beyond it is dropped.
    if (FrameTimesPerMinute * dt < minuteAccumulator) {
        minuteAccumulator = 0.0f;
        minuteUnits += 1.0f;
    }
    // A minute that completes an hour carries through every step below at once.
    if (minuteUnits >= 10.0f) {
        minuteUnits = 0.0f;
        minuteTens += 1.0f;
    }
    if (minuteTens >= 6.0f) {
        minuteTens = 0.0f;
        hour += 1.0f;
        hourCount += 1;
        hourFlag = true;
    }
    // The mark changes between 12 and 1, so noon still reads 12 AM.
    if (hour > 12.0f) {
        isAM = !isAM;
        hour = 1.0f;
    }
    if (hourCount > HoursPerDay) {
        dayFlag = true;
        hourCount = 0;
    }
}

bool DayClock::hourPassed() const { return hourFlag; }

bool DayClock::dayPassed() const { return dayFlag; }

void DayClock::clearHourPassed() { hourFlag = false; }

void DayClock::clearDayPassed() { dayFlag = false; }

void DayClock::draw() {
    beginSpriteDrawing();

    // The sun keeps whatever colour is current: green once a banner is up.
    drawSpriteQuad(sunList, SunX, SunY, textZ, SunSize, SunSize);

    printAt(textX, textY, textZ, "TIME %.0f", static_cast<double>(hour));
    printAt(textX + 9.0f, textY, textZ, ":%.0f", static_cast<double>(minuteTens));
    printAt(textX + 11.0f, textY, textZ, "%.0f", static_cast<double>(minuteUnits));
    printAt(textX + 14.0f, textY, textZ, "%s", isAM ? "AM" : "PM");

    endSpriteDrawing();
}
