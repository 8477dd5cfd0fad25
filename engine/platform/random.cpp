#include "engine/platform/random.h"

#include <mutex>

namespace viz::platform {
namespace {

std::mutex& SeedMutex() {
  static std::mutex mutex;
  return mutex;
}
uint32_t seed = 0;  // Protected by SeedMutex().

}  // namespace

uint32_t Random(uint32_t range) {
  std::lock_guard<std::mutex> lock(SeedMutex());
  seed = seed * 134775813u + 1u;
  return static_cast<uint32_t>((static_cast<uint64_t>(range) * seed) >> 32);
}

uint32_t RandomSeed() {
  std::lock_guard<std::mutex> lock(SeedMutex());
  return seed;
}

void SetRandomSeed(uint32_t newSeed) {
  std::lock_guard<std::mutex> lock(SeedMutex());
  seed = newSeed;
}

}  // namespace viz::platform
