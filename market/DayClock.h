#pragma once

// The shop day's time of day: paces the hourly and daily charges and shows
// the flickering sun and the time in the top right.
struct DayClock {
    // elapsed ms at the last change of sun picture
    int sunFlipMs;
    // position of the time text, game units
    float textX;
    float textY;
    // z of the time text and the sun
    float textZ;
    // hour shown, 1 to 12
    float hour;
    // hours since the last daily flag
    int hourCount;
    // minutes shown: tens digit 0..5, units digit 0..9
    float minuteTens;
    float minuteUnits;
    // true shows AM, false PM
    bool isAM;
    // minute gain gathered since the last minute
    float minuteAccumulator;
    // an hour / a day has passed and not yet been handed to the shops
    bool hourFlag;
    bool dayFlag;
    // sun picture shown now, and the two frames of its flicker
    int sunList;
    int sun1List;
    int sun2List;
    // this step's gain: stepMs * 0.0005
    float minuteGain;
    // elapsed ms read in this step
    int nowMs;
    // ms since the previous step
    int stepMs;
    // elapsed ms read in the previous step
    int lastMs;

    DayClock();

    // Font, sun pictures, and the clock's start readings.
    void load();
    // One step of the clock; may raise the hourly and daily flags.
    void advance(float dt);
    bool hourPassed() const;
    bool dayPassed() const;
    void clearHourPassed();
    void clearDayPassed();
    // The sun in the current colour and the time in white.
    void draw();
};
