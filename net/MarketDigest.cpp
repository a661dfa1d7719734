#include "net/MarketDigest.h"

#include <cstring>

#include "market/Market.h"
#include "market/RandomGenerator.h"

namespace {

// FNV-1a over the values' bytes, in the order given.
struct Digest {
    std::uint64_t value = 14695981039346656037ull;

    void bytes(const void* data, std::size_t size) {
        const unsigned char* at = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            value = (value ^ at[i]) * 1099511628211ull;
        }
    }
    template <typename Value> Digest& operator<<(Value field) {
        bytes(&field, sizeof field);
        return *this;
    }
};

void add(Digest& d, const Shop& s) {
    d << s.money << s.product << s.price << s.saleTargetSize << s.saleSize << s.signOn << s.bigSign
      << s.mediumSign << s.smallSign << s.saleOn << s.sale10 << s.sale20 << s.sale30 << s.sale40
      << s.sale50 << s.sale60 << s.windowDisplay << s.handout << s.freeHats << s.attractionScore
      << s.outOfProduct << s.costAmount << s.costTextY << s.handoutX << s.handoutY << s.incomeAmount
      << s.incomeTextY << s.handoutWalkingLeft << s.bankrupt << s.cashSoundPending << s.profit
      << s.lastMoney;
}

void add(Digest& d, const Customer& k) {
    d << k.hatOn << k.bagOn << k.animTimer << k.walkFrame << k.state << k.x << k.y << k.targetX
      << k.targetY << k.shop << k.willCarryBag << k.gender;
}

} // namespace

std::uint64_t marketDigest(const Market& m) {
    Digest d;
    d << RandomGenerator::state;
    const DayClock& c = m.dayClock;
    d << c.hour << c.hourCount << c.minuteTens << c.minuteUnits << c.isAM << c.minuteAccumulator
      << c.lastMs << c.sunFlipMs;
    for (const Shop& shop : m.shops) {
        add(d, shop);
    }
    const Sidebar& bar = m.sidebar;
    d << bar.signStripX << bar.saleStripX << bar.promotionStripX << bar.signMenuOpen
      << bar.saleMenuOpen << bar.promotionMenuOpen;
    d << m.mouseDown << m.pressCount << m.pressMs << m.mouseX << m.mouseY << m.lastFireMs
      << m.musicBoxWins << m.topTunesWins << m.hotbeatsWins << m.gameOver << m.footstepsStartMs;
    for (const std::list<Customer>* group : {&m.shoppers, &m.passersBy}) {
        for (const Customer& k : *group) {
            add(d, k);
        }
    }
    return d.value;
}
