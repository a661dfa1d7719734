#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/Backdrop.h"
#include "app/Engine.h"
#include "app/GameState.h"
#include "audio/SoundBank.h"
#include "base/ElapsedTime.h"
#include "input/InputState.h"
#include "market/Market.h"
#include "market/RandomGenerator.h"
#include "render/Camera.h"
#include "tests/support/SoundBankProbe.h"
#include "tests/support/TestSupport.h"

// A seeded game of more than 60 hours played through the real input callbacks,
// recorded after every update and compared with the digest committed beside
// this file. To write the digest afresh after a deliberate change:
//   PELLUCANE_WRITE_TRAJECTORY=1 build/tests/market_tests --gtest_filter=Trajectory.*
// (under xvfb-run), and explain its diff in the commit.

namespace {

// One step of the script. Kinds: 'F' a frames of b ms each (b < 0: dt of -b
// microseconds, clock still); 'K' key a; 'H' rest on menu a's band; 'B' move
// onto button a (sidebar order); 'D' / 'U' left button down / up; 'P' page
// click on a still screen.
struct Step {
    char kind;
    int a;
    int b;
};

// clang-format off
const Step script[] = {
    {'P', 0, 0}, {'P', 0, 0}, {'F', 30, 16}, {'F', 5, -3}, {'F', 20, 33},
    // HOTBEATS puts a sale and a sign up; TOP TUNES runs through its sales and signs
    {'K', '1', 1}, {'K', 'a', 1}, {'K', 'j', 1}, {'K', '8', 1}, {'K', '9', 1}, {'K', '0', 1},
    {'K', 'i', 1}, {'K', 'o', 1}, {'K', 'p', 1}, {'K', 'k', 1}, {'K', 'l', 1},
    // the mouse rests on each band and clicks every button of its strip
    {'H', 0, 0}, {'F', 60, 20}, {'B', 2, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0},
    {'B', 1, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0}, {'B', 0, 0}, {'D', 0, 0}, {'F', 6, 20},
    {'U', 0, 0}, {'H', 1, 0}, {'F', 70, 17}, {'B', 8, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0},
    {'B', 7, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0}, {'B', 6, 0}, {'D', 0, 0}, {'F', 6, 20},
    {'U', 0, 0}, {'B', 5, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0}, {'B', 4, 0}, {'D', 0, 0},
    {'F', 6, 20}, {'U', 0, 0}, {'B', 3, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0}, {'B', 3, 0},
    {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0}, {'B', 6, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0},
    {'B', 6, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0},
    {'F', 100, 1}, {'F', 3, -5}, {'F', 10, 121},
    // ZEDOD AZU stocks up and sells for a while
    {'B', 12, 0}, {'D', 0, 0}, {'F', 20, 60}, {'U', 0, 0}, {'F', 200, 3000},
    // HOTBEATS buys product until its money is gone, and recovers by its takings
    {'K', 'v', 150}, {'K', 'x', 1}, {'F', 60, 3000},
    // ZEDOD AZU buys every promotion; both keyboard shops take their remaining actions
    {'H', 2, 0}, {'F', 60, 20}, {'B', 9, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0}, {'B', 10, 0},
    {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0}, {'B', 11, 0}, {'D', 0, 0}, {'F', 6, 20}, {'U', 0, 0},
    {'K', '2', 1}, {'K', '3', 1}, {'K', 'q', 1}, {'K', 'w', 1}, {'K', 'e', 1}, {'K', 'x', 1},
    {'K', 'n', 1}, {'K', 'm', 2}, {'K', ',', 1}, {'K', 'b', 5},
    // ZEDOD AZU restocks now and then until it wins
    {'B', 12, 0}, {'D', 0, 0}, {'F', 15, 3000}, {'U', 0, 0}, {'F', 300, 3000},
    // HOTBEATS, rich again, gives free hats too
    {'K', 's', 1}, {'K', 'd', 1}, {'K', 'c', 1},
    {'D', 0, 0}, {'F', 15, 3000}, {'U', 0, 0}, {'F', 300, 3000},
    {'D', 0, 0}, {'F', 15, 3000}, {'U', 0, 0}, {'F', 300, 3000},
    {'D', 0, 0}, {'F', 15, 3000}, {'U', 0, 0}, {'F', 300, 3000},
    {'D', 0, 0}, {'F', 15, 3000}, {'U', 0, 0}, {'F', 300, 3000},
    {'D', 0, 0}, {'F', 15, 3000}, {'U', 0, 0}, {'F', 300, 3000},
    // the street stands still after the win: the mouse holds a button and rests
    // on a band, and only the keys of shops with money still act
    {'H', 1, 0}, {'F', 100, 3000}, {'B', 12, 0}, {'D', 0, 0}, {'F', 100, 3000}, {'K', 'b', 1},
    {'K', 'v', 1}, {'F', 1800, 3000}, {'U', 0, 0}, {'F', 30, 20},
};
// clang-format on

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

// Records each named field of object under prefix + its name.
template <typename Object, typename Value>
void recordFields(Record& r, const std::string& prefix, const Object& object,
                  std::initializer_list<std::pair<const char*, Value Object::*>> fields) {
    for (const auto& field : fields) {
        r.put(prefix + field.first, object.*field.second);
    }
}

// A field's name and member pointer.
#define FIELD(Type, name)                                                                          \
    { #name, &Type::name }

void observe(const Market& m, float dt, Record& r) {
    r.put("dt", dt);
    r.put("now", elapsedMs());
    const DayClock& c = m.dayClock;
    recordFields<DayClock, float>(r, "", c,
                                  {FIELD(DayClock, hour), FIELD(DayClock, minuteTens),
                                   FIELD(DayClock, minuteUnits), FIELD(DayClock, minuteAccumulator),
                                   FIELD(DayClock, minuteGain)});
    recordFields<DayClock, int>(r, "", c, {FIELD(DayClock, hourCount), FIELD(DayClock, sunFlipMs)});
    recordFields<DayClock, bool>(
        r, "", c, {FIELD(DayClock, isAM), FIELD(DayClock, hourFlag), FIELD(DayClock, dayFlag)});
    r.put("sun", which(c.sunList, {c.sun1List, c.sun2List}));
    for (int i = 0; i < 3; ++i) {
        const Shop& s = m.shops[i];
        const std::string p = "shop" + std::to_string(i) + ".";
        recordFields<Shop, float>(
            r, p, s,
            {FIELD(Shop, x), FIELD(Shop, y), FIELD(Shop, money), FIELD(Shop, product),
             FIELD(Shop, price), FIELD(Shop, saleTargetSize), FIELD(Shop, saleGrowStep),
             FIELD(Shop, saleSize), FIELD(Shop, costAmount), FIELD(Shop, costTextX),
             FIELD(Shop, costTextY), FIELD(Shop, handoutX), FIELD(Shop, handoutY),
             FIELD(Shop, incomeAmount), FIELD(Shop, incomeTextX), FIELD(Shop, incomeTextY),
             FIELD(Shop, profit), FIELD(Shop, profitTextX), FIELD(Shop, profitTextY)});
        recordFields<Shop, bool>(
            r, p, s,
            {FIELD(Shop, signOn),    FIELD(Shop, bigSign),         FIELD(Shop, mediumSign),
             FIELD(Shop, smallSign), FIELD(Shop, saleOn),          FIELD(Shop, sale10),
             FIELD(Shop, sale20),    FIELD(Shop, sale30),          FIELD(Shop, sale40),
             FIELD(Shop, sale50),    FIELD(Shop, sale60),          FIELD(Shop, windowDisplay),
             FIELD(Shop, handout),   FIELD(Shop, freeHats),        FIELD(Shop, outOfProduct),
             FIELD(Shop, hourTick),  FIELD(Shop, dayTick),         FIELD(Shop, handoutWalkingLeft),
             FIELD(Shop, bankrupt),  FIELD(Shop, cashSoundPending)});
        recordFields<Shop, int>(r, p, s, {FIELD(Shop, attractionScore), FIELD(Shop, lastMoney)});
        r.put(p + "sign",
              which(s.signList, {s.storeSignLists[0], s.storeSignLists[1], s.storeSignLists[2]}));
        r.put(p + "handoutGuy", which(s.handoutList, {s.handoutGuyLists[0], s.handoutGuyLists[1],
                                                      s.handoutGuyLists[2]}));
    }
    for (int i = 0; i < 3; ++i) {
        r.put("cumulativeShare" + std::to_string(i), m.cumulativeShare[i]);
    }
    recordFields<Market, bool>(r, "", m,
                               {FIELD(Market, musicBoxWins), FIELD(Market, hotbeatsWins),
                                FIELD(Market, topTunesWins), FIELD(Market, gameOver),
                                FIELD(Market, mouseDown), FIELD(Market, footstepsPlaying)});
    recordFields<Market, float>(r, "", m, {FIELD(Market, mouseX), FIELD(Market, mouseY)});
    recordFields<Market, int>(r, "", m,
                              {FIELD(Market, lastRepeatMs), FIELD(Market, footstepsStartMs)});
    const Sidebar& bar = m.sidebar;
    recordFields<Sidebar, float>(
        r, "", bar,
        {FIELD(Sidebar, signStripX), FIELD(Sidebar, saleStripX), FIELD(Sidebar, promotionStripX)});
    recordFields<Sidebar, bool>(r, "", bar,
                                {FIELD(Sidebar, signMenuOpen), FIELD(Sidebar, saleMenuOpen),
                                 FIELD(Sidebar, promotionMenuOpen)});
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

// Window pixel of a game point under the camera's fixed view.
void pixelOf(float gx, float gy, int& px, int& py) {
    const Camera& camera = Camera::instance();
    const double scale = (camera.getHeight() / 2) / camera.getHalfViewHeight();
    px = static_cast<int>((static_cast<double>(gx) + camera.getPosX()) * scale +
                          camera.getWidth() / 2 + 0.5);
    py = static_cast<int>(camera.getHeight() / 2 -
                          (static_cast<double>(gy) + camera.getPosY()) * scale + 0.5);
}

} // namespace

TEST(Trajectory, SeededGameMatchesItsDigest) {
    ensureGlContext();
    Backdrop::instance().setRect(75.0, 50.0, 0.0, -50.0);
    int nowMs = 0;
    setTestClockMs(nowMs);
    Engine& engine = Engine::instance();
    engine.tick();
    RandomGenerator::seed(60u);
    market = Market();
    {
        ScopedDirectory data(dataPath());
        market.initialise();
    }
    GameState = Title;
    SoundBankProbe::onPlaySample(
        [](SampleIndex index) { samplesPlayed += "#" + std::to_string(index); });
    // Standard output goes to a file, read back after every update.
    std::fflush(stdout);
    FILE* trace = std::tmpfile();
    const int realStdout = dup(STDOUT_FILENO);
    dup2(fileno(trace), STDOUT_FILENO);
    off_t traceRead = 0;

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
    bool buttonDown = false;
    // a shop's money seen at or below 0 and then above it again; updates after the win
    bool bankrupted[3] = {false, false, false};
    bool recovered = false;
    int frozenUpdates = 0;
    for (const Step& step : script) {
        int px = 0;
        int py = 0;
        const Sidebar& bar = market.sidebar;
        const float menuY[3] = {bar.signMenuButtonY, bar.saleBandY, bar.promotionBandY};
        switch (step.kind) {
        case 'K':
            // Typed as a player types: a press and its release, each time.
            for (int press = 0; press < step.b; ++press) {
                onKeyboard(static_cast<unsigned char>(step.a), 0, 0);
                onKeyboardUp(static_cast<unsigned char>(step.a), 0, 0);
            }
            break;
        case 'H':
        case 'B': {
            const float buttonX[] = {
                bar.signButtonX[0],      bar.signButtonX[1],      bar.signButtonX[2],
                bar.saleButtonX[0],      bar.saleButtonX[1],      bar.saleButtonX[2],
                bar.saleButtonX[3],      bar.saleButtonX[4],      bar.saleButtonX[5],
                bar.promotionButtonX[0], bar.promotionButtonX[1], bar.promotionButtonX[2],
                bar.productButtonX};
            const int row = step.a < 3 ? 0 : step.a < 9 ? 1 : step.a < 12 ? 2 : 3;
            const float y = row < 3 ? menuY[row] : bar.productButtonY;
            if (step.kind == 'H') {
                pixelOf(bar.signMenuButtonX + 2.0f, menuY[step.a], px, py);
            } else {
                pixelOf(buttonX[step.a], y, px, py);
            }
            (buttonDown ? onMotion : onPassiveMotion)(px, py);
            break;
        }
        case 'D':
        case 'U':
        case 'P':
            buttonDown = step.kind == 'D';
            onMouse(GLUT_LEFT_BUTTON, step.kind == 'U' ? GLUT_UP : GLUT_DOWN, 0, 0);
            if (step.kind == 'P') {
                onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 0, 0);
            }
            break;
        default:
            for (int frame = 0; frame < step.a && failure.empty(); ++frame, ++update) {
                float dt = static_cast<float>(-step.b) * 1e-6f;
                if (step.b > 0) {
                    nowMs += step.b;
                    setTestClockMs(nowMs);
                    engine.tick();
                    dt = static_cast<float>(engine.getDeltaSeconds());
                }
                const float hourBefore = market.dayClock.hour;
                market.update(dt);
                hours += market.dayClock.hour != hourBefore;

                Record now;
                observe(market, dt, now);
                std::fflush(stdout);
                char text[512];
                for (ssize_t got; (got = pread(fileno(trace), text, sizeof text, traceRead)) > 0;
                     traceRead += static_cast<off_t>(got)) {
                    now.events.append(text, static_cast<size_t>(got));
                }
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

                std::string line;
                if (writing) {
                    continue;
                }
                if (!std::getline(expected, line)) {
                    failure = "the digest ends before update " + std::to_string(update);
                    break;
                }
                expectedBits.resize(now.bits.size());
                const std::string events = decode(line, expectedBits);
                for (size_t i = 0; i < now.bits.size() && failure.empty(); ++i) {
                    if (expectedBits[i] != now.bits[i]) {
                        failure = "update " + std::to_string(update) + ", " + now.names[i] +
                                  ": expected " + now.show(i, expectedBits[i]) + ", got " +
                                  now.show(i, now.bits[i]);
                    }
                }
                if (failure.empty() && events != now.events) {
                    failure = "update " + std::to_string(update) + ", events: expected \"" +
                              events + "\", got \"" + now.events + "\"";
                }
            }
        }
    }
    std::fflush(stdout);
    dup2(realStdout, STDOUT_FILENO);
    close(realStdout);
    std::fclose(trace);
    SoundBankProbe::onPlaySample(nullptr);

    if (writing) {
        std::ofstream(path) << written.str();
        std::printf("wrote %d updates to %s\n", update, path.c_str());
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
