#pragma once

#include <cstdint>

struct Market;

// A 64-bit digest of what a market's game is: the random generator, the day
// clock, the shops' economy and features, the sidebar, the mouse and every
// customer. Two machines that played the same ticks give the same digest;
// the pictures each loaded do not count.
std::uint64_t marketDigest(const Market& market);
