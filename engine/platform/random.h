// The process-wide pseudo-random generator: a 32-bit linear congruential generator,
// seed := seed * 134775813 + 1 (mod 2^32), started from seed 0 so every run draws the same sequence.
#pragma once

#include <cstdint>

namespace viz::platform {

//! Returns a number in 0 .. range - 1: the high 32 bits of range * seed after advancing the seed.
//! Returns 0 for range 0. Safe for concurrent use by multiple threads.
uint32_t Random(uint32_t range);

//! Returns the current seed.
uint32_t RandomSeed();
//! Sets the seed (tests use it to replay a sequence).
void SetRandomSeed(uint32_t seed);

}  // namespace viz::platform
