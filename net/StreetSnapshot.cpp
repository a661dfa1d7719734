#include "net/StreetSnapshot.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "base/ElapsedTime.h"
#include "market/Market.h"
#include "market/RandomGenerator.h"

// The bytes: the format's version, the clock and the generator, then every
// field of the street that play changes, in the order the lists below give,
// little-endian, floats by their bits. Both directions go through the same
// lists, so the reader takes exactly what the writer wrote.
//
// Left out, as a loaded street keeps its own:
// - the pictures' display lists, which each machine numbers as it loads
//   them. A picture that play switches (the sun's flicker, a customer's
//   body, hat and bag) goes as which of its owner's pictures it is.
// - what initialise sets and play never changes: where the shops stand and
//   their size, the profit text's x, the sidebar's layout (the panel, the
//   menu buttons and bands, the strips' length and ends, the sign buttons'
//   y), the time text's place, the banner's z, a customer's z and side.

namespace {

// The version byte every snapshot starts with.
constexpr std::uint8_t FormatVersion = 1;
// Money beyond this either way no int holds: the hourly profit truncates money to one.
constexpr float MoneyLimit = 2147483648.0f;

// What a snapshot holds besides the market.
struct Surroundings {
    // the clock's reading, ms
    int clockMs;
    // the random generator's state, and whether anything has seeded it
    unsigned int generatorState;
    bool generatorSeeded;
};

// Bytes going out, little-endian.
struct Writer {
    // what has been written
    std::string bytes;

    template <typename... Values> void operator()(const Values&... values) { (put(values), ...); }
    void put(std::uint8_t value) { bytes.push_back(static_cast<char>(value)); }
    void put(std::uint16_t value) {
        put(static_cast<std::uint8_t>(value));
        put(static_cast<std::uint8_t>(value >> 8));
    }
    void put(unsigned int value) {
        put(static_cast<std::uint16_t>(value));
        put(static_cast<std::uint16_t>(value >> 16));
    }
    void put(int value) { put(static_cast<unsigned int>(value)); }
    // by its bits, so NaNs and -0 come back as they went
    void put(float value) {
        unsigned int bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        put(bits);
    }
    void put(bool value) { put(static_cast<std::uint8_t>(value ? 1 : 0)); }
    void put(const ButtonPress& press) { (*this)(press.x, press.y); }
    template <typename Value, std::size_t Count> void put(const Value (&values)[Count]) {
        for (const Value& value : values) {
            put(value);
        }
    }

    void version() { put(FormatVersion); }
    void money(float value) { put(value); }
    // an int of 0 to count - 1, as a byte
    void index(int value, int) { put(static_cast<std::uint8_t>(value)); }
    // which of pictures the list is, or their number for none of them
    void picture(int list, std::initializer_list<int> pictures) {
        std::uint8_t which = 0;
        for (int each : pictures) {
            if (each == list) {
                break;
            }
            ++which;
        }
        put(which);
    }
    void count(std::size_t customers) { put(static_cast<std::uint16_t>(customers)); }
};

// Bytes coming in: the first read that fails, past the end or at a value the
// street cannot hold, says why, and every read after it gives nothing.
struct Reader {
    // the bytes, and where the next read starts in them
    const std::string& bytes;
    std::size_t at = 0;
    // empty while every read has succeeded
    std::string why;

    explicit Reader(const std::string& from) : bytes(from) {}
    template <typename... Values> void operator()(Values&... values) { (get(values), ...); }
    void fail(const char* reason) {
        if (why.empty()) {
            why = reason;
        }
    }
    std::uint8_t byte() {
        if (why.empty() && at == bytes.size()) {
            fail("the street ends early");
        }
        return why.empty() ? static_cast<std::uint8_t>(bytes[at++]) : 0;
    }
    void get(std::uint8_t& value) { value = byte(); }
    void get(std::uint16_t& value) {
        const std::uint16_t low = byte();
        value = static_cast<std::uint16_t>(low | byte() << 8);
    }
    void get(unsigned int& value) {
        std::uint16_t low = 0;
        std::uint16_t high = 0;
        (*this)(low, high);
        value = low | static_cast<unsigned int>(high) << 16;
    }
    void get(int& value) {
        unsigned int bits = 0;
        get(bits);
        value = static_cast<int>(bits);
    }
    void get(float& value) {
        unsigned int bits = 0;
        get(bits);
        std::memcpy(&value, &bits, sizeof value);
    }
    void get(bool& value) {
        const std::uint8_t flag = byte();
        if (flag > 1) {
            fail("a flag neither on nor off");
        }
        value = flag == 1;
    }
    void get(ButtonPress& press) { (*this)(press.x, press.y); }
    template <typename Value, std::size_t Count> void get(Value (&values)[Count]) {
        for (Value& value : values) {
            get(value);
        }
    }

    void version() {
        if (byte() != FormatVersion) {
            fail("a street of another version of the game");
        }
    }
    void money(float& value) {
        get(value);
        if (!(std::fabs(value) < MoneyLimit)) {
            fail("money beyond what the game counts");
        }
    }
    void index(int& value, int count) {
        value = byte();
        if (value >= count) {
            fail("a number beyond its range");
        }
    }
    void picture(int& list, std::initializer_list<int> pictures) {
        const std::size_t which = byte();
        if (which > pictures.size()) {
            fail("a picture the street does not have");
        }
        list = which < pictures.size() ? pictures.begin()[which] : -1;
    }
    void count(std::size_t customers) {
        std::uint16_t given = 0;
        get(given);
        if (given != customers) {
            fail("not the street's number of customers");
        }
    }
    void end() {
        if (why.empty() && at != bytes.size()) {
            fail("bytes after the street");
        }
    }
};

// Each field list below serves the writer with a const street and the reader
// with a street to fill.

template <typename Io, typename Clock> void dayClockFields(Io& io, Clock& c) {
    io(c.sunFlipMs, c.hour, c.hourCount, c.minuteTens, c.minuteUnits, c.isAM);
    io(c.minuteAccumulator, c.hourFlag, c.dayFlag);
    io.picture(c.sunList, {c.sun1List, c.sun2List});
    io(c.minuteGain, c.nowMs, c.stepMs, c.lastMs);
}

template <typename Io, typename ShopT> void shopFields(Io& io, ShopT& s) {
    io.money(s.money);
    io(s.product, s.price, s.saleTargetSize, s.saleGrowStep, s.saleSize);
    io(s.signOn, s.bigSign, s.mediumSign, s.smallSign);
    io(s.saleOn, s.sale10, s.sale20, s.sale30, s.sale40, s.sale50, s.sale60);
    io(s.windowDisplay, s.handout, s.freeHats, s.attractionScore, s.outOfProduct);
    io(s.costAmount, s.costTextY, s.costTextX, s.handoutX, s.handoutY);
    io(s.incomeAmount, s.incomeTextX, s.incomeTextY, s.hourTick, s.dayTick);
    io(s.handoutWalkingLeft, s.bankrupt, s.cashSoundPending, s.profit, s.lastMoney);
    io(s.profitTextY);
}

template <typename Io, typename Bar> void sidebarFields(Io& io, Bar& b) {
    io(b.signStripX, b.saleStripX, b.promotionStripX);
    io(b.signButtonX, b.saleButtonX, b.promotionButtonX);
    io(b.signMenuOpen, b.saleMenuOpen, b.promotionMenuOpen);
}

template <typename Io, typename Figure> void customerFields(Io& io, Figure& k) {
    const int(&bodies)[2][2] = Customer::bodyLists;
    io(k.hatOn, k.bagOn, k.animTimer);
    io.picture(k.bodyList, {bodies[0][0], bodies[0][1], bodies[1][0], bodies[1][1]});
    io.index(k.walkFrame, 2);
    io.index(k.state, Leaving + 1);
    io(k.x, k.y);
    io.picture(k.hatList, {k.topHatList, k.jesterHatList, k.visorList});
    io.picture(k.bagList,
               {k.maleHotbeatsBagList, k.maleTopTunesBagList, k.maleMusicBoxBagList,
                k.femaleHotbeatsBagList, k.femaleTopTunesBagList, k.femaleMusicBoxBagList});
    io(k.targetX, k.targetY, k.deltaX, k.deltaY, k.walkStep);
    io.index(k.shop, NoShop + 1);
    io(k.willCarryBag);
    io.index(k.gender, 2);
}

template <typename Io, typename Street> void marketFields(Io& io, Street& m) {
    dayClockFields(io, m.dayClock);
    for (auto& shop : m.shops) {
        shopFields(io, shop);
    }
    sidebarFields(io, m.sidebar);
    io(m.mouseDown, m.pressesWaiting);
    io.index(m.pressCount, MaxPressesWaiting + 1);
    io(m.pressMs, m.mouseX, m.mouseY, m.lastFireMs, m.cumulativeShare);
    io(m.musicBoxWins, m.topTunesWins, m.hotbeatsWins);
    io(m.footstepsPlaying, m.footstepsStartMs, m.gameOver);
    // the customers are the street's own: the counts must be the street's
    for (auto* group : {&m.shoppers, &m.passersBy}) {
        io.count(group->size());
        for (auto& customer : *group) {
            customerFields(io, customer);
        }
    }
}

template <typename Io, typename Street, typename Around>
void streetFields(Io& io, Street& m, Around& around) {
    io.version();
    io(around.clockMs, around.generatorState, around.generatorSeeded);
    marketFields(io, m);
}

} // namespace

std::string writeStreet(const Market& street) {
    const Surroundings around{elapsedMs(), RandomGenerator::state, RandomGenerator::seeded};
    Writer out;
    streetFields(out, street, around);
    return out.bytes;
}

bool readStreet(const std::string& bytes, Market& street, std::string& why) {
    if (bytes.size() > MaxStreetBytes) {
        why = "longer than any street";
        return false;
    }
    // Read into a copy, which keeps the street's own pictures, and taken
    // only when the whole has been read.
    Market loaded = street;
    Surroundings around{};
    Reader in{bytes};
    streetFields(in, loaded, around);
    in.end();
    if (!in.why.empty()) {
        why = in.why;
        return false;
    }
    street = std::move(loaded);
    RandomGenerator::state = around.generatorState;
    RandomGenerator::seeded = around.generatorSeeded;
    setClockMs(around.clockMs);
    return true;
}
