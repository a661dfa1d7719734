#include "net/Playout.h"

#include <algorithm>
#include <cmath>

#include "protocol/Message.h"

namespace {

// A tick of the room's clock, ms.
constexpr double TickMs = 1000.0 / TicksPerSecond;
// The link is measured in windows of this many wall ms; the estimates read
// the current one and the one before it, so they forget a link's old ways
// within two seconds of arrivals.
constexpr std::int64_t WindowMs = 1000;
// The most ticks the buffer holds back (50 ms): a tick later than this
// came after the link stopped, and its backlog is caught up, not buffered
// for. The street's delay is worth more than its evenness past that.
constexpr int MaxBufferTicks = 3;
// Arrivals and due times are whole ms: jitter this little over whole
// ticks is their rounding, not a tick more to buffer for, ms.
constexpr double RoundingMs = 2.0;
// How far the playhead may run ahead of the buffer's schedule, and lag
// behind it, ticks, before a frame plays a tick less, or more. Behind is
// over a tick: a tick come a ms after the frame that wanted it is played at
// the next, and the ticks after it then keep that pace rather than a frame
// playing two.
constexpr double AheadTicks = 0.75;
constexpr double BehindTicks = 1.25;
// A backlog is played over about this many wall ms.
constexpr double CatchUpMs = 1000.0;
// The most wall ms one frame counts, after a pause of the game's own (a
// hidden page): the backlog is then caught up over CatchUpMs too.
constexpr double MaxFrameMs = 100.0;
// Frames over which their interval is smoothed: a frame a ms early or late
// moves the playhead no further than the others.
constexpr double SmoothingFrames = 16.0;
// The playhead's fraction after it is set, ticks: halfway into a tick, so
// that a frame a little early or late plays the same ticks.
constexpr double Halfway = 0.5;
// Frames slower than this many ticks play several ticks each whatever the
// buffer: it then only adds its delay, and none is held back.
constexpr double SlowFrameTicks = 1.5;

// The room's clock at a tick, ms from its first tick.
std::int64_t roomMs(std::uint32_t tick) {
    return static_cast<std::int64_t>(tick) * 1000 / TicksPerSecond;
}

} // namespace

void Playout::arrived(std::uint32_t received, std::int64_t nowMs) {
    if (received <= receivedTicks) {
        return;
    }
    if (nowMs - windowStartMs >= WindowMs) {
        previous = current;
        current = Window();
        windowStartMs = nowMs;
    }
    // The newest tick came the soonest after its due time, the oldest the latest.
    current.leastMs = std::min(current.leastMs, nowMs - roomMs(received - 1));
    offsetMs = std::min(current.leastMs, previous.leastMs);
    const std::int64_t lateMs = nowMs - roomMs(receivedTicks) - offsetMs;
    if (static_cast<double>(lateMs) <= MaxBufferTicks * TickMs) {
        current.latestMs = std::max(current.latestMs, lateMs);
    }
    const double jitterMs = static_cast<double>(std::max(current.latestMs, previous.latestMs));
    bufferTicks =
        std::min(static_cast<int>(std::ceil((jitterMs - RoundingMs) / TickMs)), MaxBufferTicks);
    receivedTicks = received;
}

std::uint32_t Playout::due(std::uint32_t waiting, std::int64_t nowMs) {
    const std::uint32_t played = receivedTicks - std::min(waiting, receivedTicks);
    if (playing) {
        const double elapsedMs = static_cast<double>(nowMs - lastFrameMs);
        frameMs += (std::clamp(elapsedMs, 0.0, MaxFrameMs) - frameMs) / SmoothingFrames;
    }
    if (!playing || playhead < played) {
        playhead = played + Halfway;
    }
    playing = true;
    lastFrameMs = nowMs;
    // The frame's own time, then a whole tick more or less if it strays
    // from the schedule: ahead, it waits; behind with the ticks at hand, it
    // catches up, each second by the lag and a second's ticks more, so that
    // a backlog ends in about a second rather than creeping to its end.
    double step = frameMs / TickMs;
    const double ahead = playhead + step - scheduled(nowMs);
    const double behind = std::min(scheduled(nowMs), receivedTicks + Halfway) - (playhead + step);
    if (ahead > AheadTicks) {
        step = 0.0;
    } else if (behind > BehindTicks) {
        step += std::min(std::round(behind),
                         std::ceil((behind + TicksPerSecond) * frameMs / CatchUpMs));
    }
    // A tick not yet come is waited for, from halfway into it.
    playhead = std::min(playhead + step, receivedTicks + Halfway);
    return static_cast<std::uint32_t>(playhead) - played;
}

double Playout::scheduled(std::int64_t nowMs) const {
    // the tick whose arrival and buffer have passed is played, and the
    // playhead stands halfway into the next
    const int buffer = frameMs > SlowFrameTicks * TickMs ? 0 : bufferTicks;
    return static_cast<double>(nowMs - offsetMs) / TickMs - buffer + 1.0 + Halfway;
}
