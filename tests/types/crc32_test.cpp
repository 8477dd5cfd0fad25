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

// The eight-byte steps must agree with the byte-wise rule at every length and alignment.
TEST(Crc32, MatchesTheBytewiseRule) {
  uint8_t data[300];
  for (int i = 0; i < 300; i++) data[i] = static_cast<uint8_t>(i * 37 + 11);
  uint32_t table[256];
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; bit++) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    table[i] = value;
  }
  for (size_t offset = 0; offset < 8; offset++)
    for (size_t size = 0; size + offset <= 300; size += 7) {
      uint32_t expected = 0;
      for (size_t i = 0; i < size; i++) expected = (expected >> 8) ^ table[(expected ^ data[offset + i]) & 0xFF];
      ASSERT_EQ(Crc32(data + offset, size), expected) << offset << " " << size;
    }
}

}  // namespace
}  // namespace viz
