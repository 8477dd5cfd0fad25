#include "engine/types/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace viz {
namespace {

// The checksum computed one bit at a time, straight from the polynomial.
uint32_t BitwiseCrc(uint32_t crc, const unsigned char* bytes, size_t size) {
  for (size_t index = 0; index < size; ++index) {
    crc ^= bytes[index];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

std::vector<unsigned char> RandomBytes(size_t size, std::mt19937& random) {
  std::vector<unsigned char> bytes(size);
  for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
  return bytes;
}

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

// Every length around the 8-byte blocks, at every alignment, and a few page-sized buffers.
TEST(Crc32Test, MatchesTheBitwiseDefinitionForAnyLengthAndAlignment) {
  std::mt19937 random(20261209);
  std::vector<size_t> lengths;
  for (size_t length = 0; length <= 80; ++length) lengths.push_back(length);
  for (size_t length : {127u, 255u, 256u, 1000u, 4056u, 4096u, 8191u, 65537u}) lengths.push_back(length);
  for (size_t length : lengths) {
    const std::vector<unsigned char> buffer = RandomBytes(length + 8, random);
    for (size_t offset = 0; offset < 8; ++offset) {
      const unsigned char* start = buffer.data() + offset;
      ASSERT_EQ(ComputeCRC32(start, length), BitwiseCrc(0, start, length)) << length << " at +" << offset;
    }
    const uint32_t seed = random();
    ASSERT_EQ(ComputeCRC32(seed, buffer.data() + 3, length), BitwiseCrc(seed, buffer.data() + 3, length))
        << length << " from " << seed;
  }
}

TEST(Crc32Test, ContinuationSplitAtEveryPointEqualsOnePass) {
  std::mt19937 random(7);
  const std::vector<unsigned char> buffer = RandomBytes(41, random);
  const uint32_t whole = ComputeCRC32(buffer.data(), buffer.size());
  ASSERT_EQ(whole, BitwiseCrc(0, buffer.data(), buffer.size()));
  for (size_t split = 0; split <= buffer.size(); ++split) {
    const uint32_t head = ComputeCRC32(buffer.data(), split);
    EXPECT_EQ(ComputeCRC32(head, buffer.data() + split, buffer.size() - split), whole) << split;
    // In three parts as well, the middle one straddling the 8-byte steps.
    for (size_t second = split; second <= buffer.size(); second += 5) {
      const uint32_t middle = ComputeCRC32(head, buffer.data() + split, second - split);
      EXPECT_EQ(ComputeCRC32(middle, buffer.data() + second, buffer.size() - second), whole)
          << split << "/" << second;
    }
  }
}

}  // namespace
}  // namespace viz
