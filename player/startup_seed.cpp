#include "player/startup_seed.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <string>

#include "engine/platform/random.h"
#include "player/event_trace.h"

namespace sonvale {

namespace {

// Spreads every bit of the input over all bits of the result, so that two starts a few nanoseconds
// or one process number apart get unrelated seeds.
uint64_t Mix(uint64_t value) {
  value += 0x9E3779B97F4A7C15ull;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

}  // namespace

std::optional<uint32_t> ParseSeed(std::string_view text) {
  uint32_t seed = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, seed);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return seed;
}

uint32_t StartupSeed() {
  if (const char* fixed = std::getenv(kSeedVariable)) {
    if (const std::optional<uint32_t> seed = ParseSeed(fixed)) return *seed;
    TraceEvent(std::string("ignoring ") + kSeedVariable + "=" + fixed + ": not a number 0 to 4294967295");
  }
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const uint64_t nanoseconds =
      static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
  return static_cast<uint32_t>(Mix(nanoseconds ^ (static_cast<uint64_t>(getpid()) << 40)));
}

void SeedRandomGenerator() {
  const uint32_t seed = StartupSeed();
  viz::platform::SetRandomSeed(seed);
  TraceEvent("random seed " + std::to_string(seed));
}

}  // namespace sonvale
