#include <benchmark/benchmark.h>

#include "base/ElapsedTime.h"
#include "market/Market.h"
#include "tests/support/TestSupport.h"

// One playing frame of the whole street (69 customers) at a steady 60 frames a
// second of test time, with the game undecided and the shoppers busy.
static void BM_MarketUpdate(benchmark::State& state) {
    // The street is set up once, however often the library calls us.
    static Market& street = newStreet(1);
    static int nowMs = 0;
    for (auto _ : state) {
        // Plenty of stock and a modest purse keep the game going for ever.
        for (Shop& shop : street.shops) {
            shop.product = 100.0f;
            shop.money = 1000.0f;
        }
        nowMs += 17;
        setClockMs(nowMs);
        street.update(0.017f);
    }
    benchmark::DoNotOptimize(street.cumulativeShare[0]);
}
BENCHMARK(BM_MarketUpdate);

BENCHMARK_MAIN();
