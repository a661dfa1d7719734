#include <benchmark/benchmark.h>

#include "base/ElapsedTime.h"
#include "market/Market.h"
#include "net/Lockstep.h"
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

// A machine that joins a room an hour into its game, or comes back to it,
// replays the hour's ticks before it draws: 216000 ticks, a key of each
// keyboard seat every ten seconds.
static void BM_CatchUpAnHour(benchmark::State& state) {
    constexpr std::uint32_t HourTicks = 3600 * TicksPerSecond;
    const char keys[2][4] = {"1as", "8jk"};
    for (auto _ : state) {
        state.PauseTiming();
        newStreet(1);
        Lockstep& room = Lockstep::instance();
        room.playedTicks = 0;
        room.receivedTicks = HourTicks;
        room.inputs.clear();
        for (std::uint32_t tick = 0; tick < HourTicks; tick += 10 * TicksPerSecond) {
            for (std::uint8_t seat = 1; seat <= 2; ++seat) {
                TickInput input;
                input.tick = tick;
                input.input.seat = seat;
                input.input.key = static_cast<std::uint8_t>(keys[seat - 1][tick / 600 % 3]);
                room.inputs.push_back(input);
            }
        }
        const CapturedStdout traceLines;
        state.ResumeTiming();
        room.playTicks();
    }
    state.counters["game_over"] = market.gameOver;
}
BENCHMARK(BM_CatchUpAnHour)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
