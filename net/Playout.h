#pragma once

#include <cstdint>
#include <limits>

#include "protocol/Message.h"

// When the ticks a machine has received are played: a small buffer that
// keeps the street moving one tick a frame over a link whose ticks come
// unevenly, and plays a backlog (after a stall, or at a join's end) over
// about a second rather than in one frame.
//
// Tick n is due n/60 s after the room's start. The earliest a tick has come
// after its due time, over the last second or two, is the link's fixed
// delay; how much later than that ticks have come is its jitter, which the
// buffer holds back for in whole ticks. A playhead moves on with this
// machine's clock, so that a 60 Hz frame plays one tick whenever its frames
// and the ticks' arrivals fall; it is moved by a whole tick when it strays
// from the buffer's schedule, and runs faster while a backlog waits.
struct Playout {
    // What the link showed during one window of wall time.
    struct Window {
        // the least (arrival wall ms - due room ms) of its ticks
        std::int64_t leastMs = std::numeric_limits<std::int64_t>::max();
        // the most ms a tick came after the least, a stall's backlog apart
        std::int64_t latestMs = 0;
    };

    // ticks received so far: every tick below has come
    std::uint32_t receivedTicks = 0;
    // wall ms at which the current window began
    std::int64_t windowStartMs = 0;
    Window current;
    Window previous;
    // wall ms minus room ms at the link's least delay: a tick's earliest arrival
    std::int64_t offsetMs = 0;
    // ticks the buffer holds back for the jitter
    int bufferTicks = 0;
    // frames have begun: the playhead and lastFrameMs hold
    bool playing = false;
    // wall ms of the last frame
    std::int64_t lastFrameMs = 0;
    // the frames' interval, wall ms, smoothed (a tick's to begin with)
    double frameMs = 1000.0 / TicksPerSecond;
    // the playhead, ticks: its whole part is the ticks it has played, its
    // fraction how far it is into the next
    double playhead = 0.0;

    // The server's ticks have come: `received` in all, at wall ms nowMs.
    void arrived(std::uint32_t received, std::int64_t nowMs);
    // How many of the `waiting` ticks (received, not yet played) a frame
    // at wall ms nowMs plays.
    std::uint32_t due(std::uint32_t waiting, std::int64_t nowMs);
    // Where the playhead would be at wall ms nowMs on the buffer's schedule.
    double scheduled(std::int64_t nowMs) const;
};
