// A street written mid-game plays on as it did once loaded on a joining machine's.

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "base/ElapsedTime.h"
#include "market/Market.h"
#include "net/Lockstep.h"
#include "net/MarketDigest.h"
#include "net/StreetSnapshot.h"
#include "render/Camera.h"
#include "tests/support/ScriptedGame.h"
#include "tests/support/TestSupport.h"

namespace {

// The recorded game until ZEDOD AZU's handout guy walks right, five hours in: signs,
// sales, two handout guys, most shoppers with bags and many with free hats.
std::string busyStreet() {
    ScriptedGame game;
    game.afterUpdate = [] {
        const Shop& zedod = market.shops[0];
        return !(zedod.handout && !zedod.handoutWalkingLeft && market.dayClock.hourCount >= 3);
    };
    game.play(readScript("trajectory.game"));
    EXPECT_FALSE(game.playing || market.gameOver) << "the script never made the street busy";
    return writeStreet(market);
}

// The street drawn, as the back buffer's pixels.
std::vector<unsigned char> drawn() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Camera::instance().applyView();
    market.draw();
    std::vector<unsigned char> pixels(1024 * 768 * 3);
    glReadPixels(0, 0, 1024, 768, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

// How a street looked before and after some ticks, its digests between, its bytes after.
struct Played {
    std::vector<std::vector<unsigned char>> frames;
    std::vector<std::uint64_t> digests;
    std::string street;
};

// Ten seconds of a room's ticks from the street's clock on: HOTBEATS's 30%
// sale, TOP TUNES's handout guy, ZEDOD AZU's product button held to repeat.
Played playOn() {
    const Sidebar& bar = market.sidebar;
    const std::map<std::uint32_t, std::function<void()>> inputs = {
        {30, [] { market.handleKey('3'); }},
        {60, [] { market.handleKey('m'); }},
        {80, [&] { market.setCursor(bar.productButtonX, bar.productButtonY); }},
        {90, [] { market.setMouseDown(true); }},
        {200, [] { market.setMouseDown(false); }}};
    const std::uint32_t first = static_cast<std::uint32_t>(elapsedMs()) * TicksPerSecond / 1000;
    Played played;
    played.frames.push_back(drawn());
    for (std::uint32_t tick = 1; tick <= 10 * TicksPerSecond; ++tick) {
        if (inputs.count(tick) != 0) {
            inputs.at(tick)();
        }
        playRoomTick(first + tick);
        played.digests.push_back(marketDigest(market));
    }
    played.frames.push_back(drawn());
    played.street = writeStreet(market);
    return played;
}

} // namespace

TEST(StreetSnapshot, LoadedStreetPlaysOnAsTheOneItWasWrittenFrom) {
    const CapturedStdout traceLines;
    const std::string snapshot = busyStreet();
    const Played original = playOn();

    // a machine that joins: its street loaded, with pictures and a game of its own
    newStreet(5);
    std::string why;
    ASSERT_TRUE(readStreet(snapshot, market, why)) << why;
    const Played joined = playOn();
    for (std::size_t tick = 0; tick < original.digests.size(); ++tick) {
        ASSERT_EQ(original.digests[tick], joined.digests[tick]) << "parted at tick " << tick + 1;
    }
    EXPECT_TRUE(original.street == joined.street) << "the streets differ after the ticks";
    EXPECT_TRUE(original.frames == joined.frames) << "the streets look different";
}

TEST(StreetSnapshot, BytesThatAreNoStreetLeaveTheStreetAsItWas) {
    newStreet(3);
    // another street, and that street spoilt in each way a reader must refuse
    const auto spoilt = [](const std::function<void(Market&)>& spoil) {
        Market other = market;
        other.shops[0].money = 1234.0f;
        spoil(other);
        return writeStreet(other);
    };
    const std::string good = spoilt([](Market&) {});
    const std::vector<std::pair<std::string, std::string>> refused = {
        {good.substr(0, good.size() - 1), "ends early"},
        {good + '\0', "after the street"},
        {'\2' + good.substr(1), "another version"},
        {std::string(MaxStreetBytes + 1, '\1'), "longer than"},
        {spoilt([](Market& m) { m.shoppers.emplace_back(); }), "number of customers"},
        {spoilt([](Market& m) { m.passersBy.back().state = Leaving + 1; }), "beyond its range"},
        {spoilt([](Market& m) { m.shops[2].money = 3e9f; }), "money beyond"}};
    const std::string before = writeStreet(market);
    for (const auto& [bytes, reason] : refused) {
        std::string why;
        EXPECT_FALSE(readStreet(bytes, market, why));
        EXPECT_NE(std::string::npos, why.find(reason)) << why;
        EXPECT_TRUE(before == writeStreet(market)) << "changed by bytes refused for " << why;
    }
}
