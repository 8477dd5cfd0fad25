// The seed of the process-wide random generator for one start of the player. Drawn from the clock
// so that the order of tracks and pictures differs from start to start; fixed by the environment
// variable SONVALE_SEED (a decimal number) to replay one order, for example in tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace sonvale {

inline constexpr const char* kSeedVariable = "SONVALE_SEED";

//! Returns the number a SONVALE_SEED value gives: a decimal number 0 … 4294967295, nothing else.
std::optional<uint32_t> ParseSeed(std::string_view text);

//! Returns the seed for this start: SONVALE_SEED when it holds a valid number, otherwise one made
//! from the wall clock in nanoseconds and the process number.
uint32_t StartupSeed();

//! Seeds the process-wide generator with StartupSeed() and traces the seed. Called once, as the
//! player starts; the generator's rule stays as it is.
void SeedRandomGenerator();

}  // namespace sonvale
