#include "engine/types/crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace viz {
namespace {

TEST(Crc32, KnownValues) {
  EXPECT_EQ(Crc32("abc", 3), 0xCA6598D0u);
  EXPECT_EQ(Crc32("", 0), 0u);
  // Without the usual initial and final complement a run of zero bytes keeps the register at 0.
  const char zeros[16] = {};
  EXPECT_EQ(Crc32(zeros, sizeof(zeros)), 0u);
}

TEST(Crc32, ContinuesAcrossPieces) {
  std::string text = "The quick brown fox jumps over the lazy dog";
  uint32_t whole = Crc32(text.data(), text.size());
  uint32_t first = Crc32(text.data(), 10);
  EXPECT_EQ(Crc32(text.data() + 10, text.size() - 10, first), whole);
  text[5] ^= 1;
  EXPECT_NE(Crc32(text.data(), text.size()), whole);
}

}  // namespace
}  // namespace viz
