#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "app/Engine.h"
#include "audio/SoundBank.h"
#include "base/ElapsedTime.h"
#include "market/Market.h"
#include "tests/support/ScriptedGame.h"
#include "tests/support/SoundBankProbe.h"
#include "tests/support/TestSupport.h"

// The seeded game of more than 60 hours in tests/games/trajectory.game,
// played through the real input callbacks, recorded after every update and
// compared with the digest committed beside this file. To write the digest
// afresh after a deliberate change:
//   PELLUCANE_WRITE_TRAJECTORY=1 build/tests/market_tests --gtest_filter=Trajectory.*
// (under xvfb-run), and explain its diff in the commit.

namespace {

// The state after one update as named 32-bit values (float bits, ints, bools),
// and the trace lines and samples of the update.
struct Record {
    std::vector<std::string> names;
    std::vector<bool> isFloat;
    std::vector<uint32_t> bits;
    std::string events;

    void put(const std::string& name, float value) {
        uint32_t b;
        std::memcpy(&b, &value, sizeof b);
        add(name, b, true);
    }
    void put(const std::string& name, int value) { add(name, static_cast<uint32_t>(value), false); }
    void put(const std::string& name, bool value) { add(name, value ? 1u : 0u, false); }
    void add(const std::string& name, uint32_t b, bool floating) {
        names.push_back(name);
        isFloat.push_back(floating);
        bits.push_back(b);
    }
    // One value as the report shows it.
    std::string show(size_t i, uint32_t b) const {
        char text[40];
        float f;
        std::memcpy(&f, &b, sizeof f);
        if (isFloat[i]) {
            std::snprintf(text, sizeof text, "%a", static_cast<double>(f));
        } else {
            std::snprintf(text, sizeof text, "%d", static_cast<int>(b));
        }
        return text;
    }
};

// Which of the given picture lists is list, or -1.
int which(int list, std::initializer_list<int> lists) {
    int i = 0;
    for (int each : lists) {
        if (each == list) {
            return i;
        }
        ++i;
    }
    return -1;
}

// A field's name and member pointer, of any type a Record takes.
template <typename Object> struct Field {
    const char* name;
    std::variant<float Object::*, int Object::*, bool Object::*> member;
};
#define FIELD(Type, name)                                                                          \
    Field<Type> { #name, &Type::name }

// Records each field of object, in order, under prefix + its name.
template <typename Object>
void recordFields(Record& r, const std::string& prefix, const Object& object,
                  std::initializer_list<Field<Object>> fields) {
    for (const Field<Object>& field : fields) {
        std::visit([&](auto member) { r.put(prefix + field.name, object.*member); }, field.member);
    }
}

void observe(const Market& m, float dt, Record& r) {
    r.put("dt", dt);
    r.put("now", elapsedMs());
    const DayClock& c = m.dayClock;
    recordFields(r, "", c,
                 {FIELD(DayClock, hour), FIELD(DayClock, minuteTens), FIELD(DayClock, minuteUnits),
                  FIELD(DayClock, minuteAccumulator), FIELD(DayClock, minuteGain),
                  FIELD(DayClock, hourCount), FIELD(DayClock, sunFlipMs), FIELD(DayClock, isAM),
                  FIELD(DayClock, hourFlag), FIELD(DayClock, dayFlag)});
    r.put("sun", which(c.sunList, {c.sun1List, c.sun2List}));
    for (int i = 0; i < 3; ++i) {
        const Shop& s = m.shops[i];
        const std::string p = "shop" + std::to_string(i) + ".";
        recordFields(r, p, s,
                     {FIELD(Shop, x), FIELD(Shop, y), FIELD(Shop, money), FIELD(Shop, product),
                      FIELD(Shop, price), FIELD(Shop, saleTargetSize), FIELD(Shop, saleGrowStep),
                      FIELD(Shop, saleSize), FIELD(Shop, costAmount), FIELD(Shop, costTextX),
                      FIELD(Shop, costTextY), FIELD(Shop, handoutX), FIELD(Shop, handoutY),
                      FIELD(Shop, incomeAmount), FIELD(Shop, incomeTextX), FIELD(Shop, incomeTextY),
                      FIELD(Shop, profit), FIELD(Shop, profitTextX), FIELD(Shop, profitTextY)});
        recordFields(
            r, p, s,
            {FIELD(Shop, signOn),    FIELD(Shop, bigSign),          FIELD(Shop, mediumSign),
             FIELD(Shop, smallSign), FIELD(Shop, saleOn),           FIELD(Shop, sale10),
             FIELD(Shop, sale20),    FIELD(Shop, sale30),           FIELD(Shop, sale40),
             FIELD(Shop, sale50),    FIELD(Shop, sale60),           FIELD(Shop, windowDisplay),
             FIELD(Shop, handout),   FIELD(Shop, freeHats),         FIELD(Shop, outOfProduct),
             FIELD(Shop, hourTick),  FIELD(Shop, dayTick),          FIELD(Shop, handoutWalkingLeft),
             FIELD(Shop, bankrupt),  FIELD(Shop, cashSoundPending), FIELD(Shop, attractionScore),
             FIELD(Shop, lastMoney)});
        r.put(p + "sign",
              which(s.signList, {s.storeSignLists[0], s.storeSignLists[1], s.storeSignLists[2]}));
        r.put(p + "handoutGuy", which(s.handoutList, {s.handoutGuyLists[0], s.handoutGuyLists[1],
                                                      s.handoutGuyLists[2]}));
    }
    for (int i = 0; i < 3; ++i) {
        r.put("cumulativeShare" + std::to_string(i), m.cumulativeShare[i]);
    }
    recordFields(r, "", m,
                 {FIELD(Market, musicBoxWins), FIELD(Market, hotbeatsWins),
                  FIELD(Market, topTunesWins), FIELD(Market, gameOver), FIELD(Market, mouseDown),
                  FIELD(Market, footstepsPlaying), FIELD(Market, mouseX), FIELD(Market, mouseY),
                  FIELD(Market, lastFireMs), FIELD(Market, footstepsStartMs)});
    const Sidebar& bar = m.sidebar;
    recordFields(r, "", bar,
                 {FIELD(Sidebar, signStripX), FIELD(Sidebar, saleStripX),
                  FIELD(Sidebar, promotionStripX), FIELD(Sidebar, signMenuOpen),
                  FIELD(Sidebar, saleMenuOpen), FIELD(Sidebar, promotionMenuOpen)});
    for (int i = 0; i < 6; ++i) {
        r.put("saleButtonX" + std::to_string(i), bar.saleButtonX[i]);
        r.put("buttonX" + std::to_string(i),
              i < 3 ? bar.signButtonX[i] : bar.promotionButtonX[i - 3]);
    }
    // Customer by customer, one field at a time: a line lists the positions
    // that changed side by side.
    std::vector<const Customer*> people;
    for (const std::list<Customer>* group : {&m.shoppers, &m.passersBy}) {
        for (const Customer& k : *group) {
            people.push_back(&k);
        }
    }
    const auto column = [&](const char* field, auto value) {
        for (size_t i = 0; i < people.size(); ++i) {
            r.put("customer" + std::to_string(i) + "." + field, value(*people[i]));
        }
    };
    column("x", [](const Customer& k) { return k.x; });
    column("y", [](const Customer& k) { return k.y; });
    column("body", [](const Customer& k) {
        return which(k.bodyList, {Customer::bodyLists[0][0], Customer::bodyLists[0][1],
                                  Customer::bodyLists[1][0], Customer::bodyLists[1][1]});
    });
    column("state", [](const Customer& k) { return k.state; });
    column("shop", [](const Customer& k) { return k.shop; });
    column("hat", [](const Customer& k) {
        return k.hatOn ? which(k.hatList, {k.jesterHatList, k.visorList, k.topHatList}) : -2;
    });
    column("bag", [](const Customer& k) {
        return k.bagOn ? which(k.bagList, {k.maleMusicBoxBagList, k.maleHotbeatsBagList,
                                           k.maleTopTunesBagList, k.femaleMusicBoxBagList,
                                           k.femaleHotbeatsBagList, k.femaleTopTunesBagList})
                       : -2;
    });
}

// Samples asked for since the last record.
std::string samplesPlayed;

// The digest: one line per update; each token is "[gap:]hex", the field
// gap places on from the last one written (1 when left out) and its bits
// exclusive-or the bits it had; then "|" and the update's events, if any.
std::string encode(const std::vector<uint32_t>& before, const Record& now) {
    std::ostringstream line;
    size_t last = static_cast<size_t>(-1);
    for (size_t i = 0; i < now.bits.size(); ++i) {
        const uint32_t change = (i < before.size() ? before[i] : 0u) ^ now.bits[i];
        if (change != 0) {
            line << (line.tellp() > 0 ? " " : "");
            if (i - last != 1) {
                line << i - last << ':';
            }
            line << std::hex << change << std::dec;
            last = i;
        }
    }
    if (!now.events.empty()) {
        line << '|' << now.events;
    }
    return line.str();
}

// Applies one digest line to bits; returns its events.
std::string decode(const std::string& line, std::vector<uint32_t>& bits) {
    const size_t bar = line.find('|');
    std::istringstream tokens(line.substr(0, bar));
    size_t at = static_cast<size_t>(-1);
    for (std::string token; tokens >> token;) {
        const size_t colon = token.find(':');
        at += colon == std::string::npos ? 1 : std::stoul(token.substr(0, colon));
        if (at < bits.size()) {
            bits[at] ^= static_cast<uint32_t>(std::stoul(token.substr(colon + 1), nullptr, 16));
        }
    }
    return bar == std::string::npos ? "" : line.substr(bar + 1);
}

} // namespace

TEST(Trajectory, SeededGameMatchesItsDigest) {
    ensureGlContext();
    SoundBankProbe::onPlaySample(
        [](SampleIndex index) { samplesPlayed += "#" + std::to_string(index); });
    // The trace lines go into the record; the test's own report must not.
    auto trace = std::make_unique<CapturedStdout>();

    const bool writing = std::getenv("PELLUCANE_WRITE_TRAJECTORY") != nullptr;
    const std::string path =
        std::string(__FILE__).substr(0, std::string(__FILE__).rfind('/')) + "/trajectory.digest";
    std::ifstream expected(path);
    std::ostringstream written;
    std::vector<uint32_t> before;
    std::vector<uint32_t> expectedBits;
    std::string failure;
    int update = 0;
    int hours = 0;
    float lastHour = -1.0f;
    // a shop's money seen at or below 0 and then above it again; updates after the win
    bool bankrupted[3] = {false, false, false};
    bool recovered = false;
    int frozenUpdates = 0;

    ScriptedGame game;
    game.afterUpdate = [&] {
        const float dt = static_cast<float>(Engine::instance().getDeltaSeconds());
        hours += lastHour >= 0.0f && market.dayClock.hour != lastHour;
        lastHour = market.dayClock.hour;
        Record now;
        observe(market, dt, now);
        now.events = trace->take();
        for (char& ch : now.events) {
            ch = ch == '\n' ? ';' : ch;
        }
        now.events += samplesPlayed;
        samplesPlayed.clear();
        written << encode(before, now) << '\n';
        before = now.bits;

        for (int i = 0; i < 3; ++i) {
            const float money = market.shops[i].money;
            recovered = recovered || (bankrupted[i] && money > 0.0f);
            bankrupted[i] = bankrupted[i] || money <= 0.0f;
        }
        frozenUpdates += market.gameOver;

        const int thisUpdate = update++;
        std::string line;
        if (writing) {
            return true;
        }
        if (!std::getline(expected, line)) {
            failure = "the digest ends before update " + std::to_string(thisUpdate);
            return false;
        }
        expectedBits.resize(now.bits.size());
        const std::string events = decode(line, expectedBits);
        for (size_t i = 0; i < now.bits.size() && failure.empty(); ++i) {
            if (expectedBits[i] != now.bits[i]) {
                failure = "update " + std::to_string(thisUpdate) + ", " + now.names[i] +
                          ": expected " + now.show(i, expectedBits[i]) + ", got " +
                          now.show(i, now.bits[i]);
            }
        }
        if (failure.empty() && events != now.events) {
            failure = "update " + std::to_string(thisUpdate) + ", events: expected \"" + events +
                      "\", got \"" + now.events + "\"";
        }
        return failure.empty();
    };
    game.play(readScript("trajectory.game"));
    trace.reset();
    SoundBankProbe::onPlaySample(nullptr);

    if (writing) {
        std::ofstream(path) << written.str();
        std::fprintf(stderr, "wrote %d updates to %s\n", update, path.c_str());
    } else {
        ASSERT_EQ("", failure);
        std::string extra;
        EXPECT_FALSE(std::getline(expected, extra)) << "the digest has more updates than the game";
    }
    // The script must still play the game it claims to.
    EXPECT_GE(hours, 60);
    EXPECT_TRUE(recovered) << "a shop went bankrupt and recovered by its takings";
    EXPECT_GT(frozenUpdates, 1000) << "the game is won and runs on";
    EXPECT_TRUE(market.musicBoxWins && market.shops[0].money < WinningMoney)
        << "the winner's charges take it back under the winning sum";
}
