// The playout buffer over simulated links, at 60 Hz frames.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "net/Playout.h"

namespace {

// The ticks each frame plays from the third second of 19, a link delaying each in order (TCP)
// by oneWayMs +- jitterMs and standing 2 s from stallMs; waitMs sums the ms ticks wait once come.
std::vector<std::uint32_t> play(double oneWayMs, double jitterMs, double& waitMs,
                                std::int64_t stallMs = -9999) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(oneWayMs - jitterMs, oneWayMs + jitterMs);
    Playout playout;
    std::vector<std::uint32_t> ticks;
    std::int64_t came = 0, played = 0, nextMs = std::int64_t(jitter(random) + 0.5);
    for (std::int64_t frame = 0; frame < 19 * 60; ++frame) {
        const std::int64_t nowMs = 5 + frame * 1000 / 60;
        for (; nextMs <= nowMs; ++came) {
            const std::int64_t dueMs = (came + 1) * 1000 / 60;
            const std::int64_t stoodMs = dueMs / 2000 == stallMs / 2000 ? stallMs + 2000 : 0;
            nextMs = std::max({nextMs, dueMs + std::int64_t(jitter(random) + 0.5), stoodMs});
        }
        playout.arrived(std::uint32_t(came), nowMs);
        played += ticks.emplace_back(playout.due(std::uint32_t(came - played), nowMs));
        waitMs += frame < 120 ? 0.0 : double(came - played) * 1000 / 60;
    }
    return {ticks.begin() + 120, ticks.end()};
}

TEST(Playout, PlaysOneTickAFrameThroughJitterAndABacklogOverAboutASecond) {
    double waitMs = 0.0;
    const auto jittery = play(100, 20, waitMs);
    EXPECT_GE(std::count(jittery.begin(), jittery.end(), 1u), 0.95 * 17 * 60);
    EXPECT_LE(waitMs / (17 * 60), 50.0);
    const auto quiet = play(1, 0, waitMs = 0.0);
    EXPECT_EQ(17 * 60, std::count(quiet.begin(), quiet.end(), 1u));
    EXPECT_EQ(0.0, waitMs);
    // the 2 s backlog comes at 10 s, frame 480 here, a tenth of it a frame at most
    const auto stalled = play(100, 20, waitMs, 8000);
    EXPECT_LE(*std::max_element(stalled.begin(), stalled.end()), 12u);
    EXPECT_EQ(stalled.size() - 555, std::count(stalled.begin() + 555, stalled.end(), 1u));
}

} // namespace
