#include "engine/types/crc32.h"

#include <gtest/gtest.h>

#include <vector>

namespace viz {
namespace {

TEST(Crc32Test, KnownValuesOfTheZeroStartedVariant) {
  EXPECT_EQ(ComputeCRC32("abc", 3), 0xCA6598D0u);
  EXPECT_EQ(ComputeCRC32("", 0), 0u);
  std::vector<unsigned char> zeros(4056, 0);
  EXPECT_EQ(ComputeCRC32(zeros.data(), zeros.size()), 0u);
  // Differs from the all-ones CRC-32 of "123456789" (0xCBF43926).
  EXPECT_NE(ComputeCRC32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(ComputeCRC32("\x01", 1), 0x77073096u);
}

TEST(Crc32Test, ContinuationEqualsOnePass) {
  const char text[] = "the quick brown fox jumps over the lazy dog";
  uint32_t first = ComputeCRC32(text, 10);
  EXPECT_EQ(ComputeCRC32(first, text + 10, sizeof(text) - 11), ComputeCRC32(text, sizeof(text) - 1));
}

}  // namespace
}  // namespace viz
