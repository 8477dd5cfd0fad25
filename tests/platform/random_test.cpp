#include "engine/platform/random.h"

#include <gtest/gtest.h>

namespace viz::platform {
namespace {

TEST(RandomTest, LinearCongruentialSequenceFromSeedZero) {
  SetRandomSeed(0);
  // seed 1: 10 * 1 >> 32 = 0; seed 134775814: 1000 * 134775814 >> 32 = 31.
  EXPECT_EQ(Random(10), 0u);
  EXPECT_EQ(RandomSeed(), 1u);
  EXPECT_EQ(Random(1000), 31u);
  EXPECT_EQ(RandomSeed(), 134775814u);
  uint32_t expected = 134775814u * 134775813u + 1u;
  EXPECT_EQ(Random(0x80000000u), static_cast<uint32_t>((uint64_t{0x80000000u} * expected) >> 32));
  EXPECT_EQ(Random(0), 0u);
}

TEST(RandomTest, SameSequenceEveryStart) {
  SetRandomSeed(0);
  std::vector<uint32_t> first;
  for (int i = 0; i < 50; ++i) first.push_back(Random(37));
  SetRandomSeed(0);
  for (int i = 0; i < 50; ++i) {
    uint32_t value = Random(37);
    EXPECT_EQ(value, first[i]);
    EXPECT_LT(value, 37u);
  }
}

}  // namespace
}  // namespace viz::platform
