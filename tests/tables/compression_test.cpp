#include "engine/tables/compression.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/memory_manager.h"
#include "engine/types/raw_values.h"

namespace viz {
namespace {

std::vector<uint8_t> Text(size_t size) {
  static const char* kWords[] = {"lyric ", "melody ", "of ", "the ", "night\n", "song ", "plays ", "a "};
  std::mt19937 rng(1);
  std::string text;
  while (text.size() < size) text += kWords[rng() % 8];
  text.resize(size);
  return {text.begin(), text.end()};
}

TEST(Compression, AlgorithmByNameIgnoresCaseAndDefaultsToNone) {
  EXPECT_EQ(CompressionAlgorithmByName("none"), acaNone);
  EXPECT_EQ(CompressionAlgorithmByName("Zlib"), acaZlib);
  EXPECT_EQ(CompressionAlgorithmByName("BZIP"), acaBZip);
  EXPECT_EQ(CompressionAlgorithmByName("ppm"), acaPPM);
  EXPECT_EQ(CompressionAlgorithmByName("PPMD"), acaNone);
  EXPECT_EQ(CompressionAlgorithmByName(""), acaNone);
  EXPECT_STREQ(CompressionAlgorithmName(acaBZip), "BZIP");
}

// Both the value code and the compression code hand out blocks through one owner type (this file
// sees both declarations; a second, different definition would not compile here).
TEST(Compression, CompressedBlocksAndStoredValuesShareOneBlockOwner) {
  const int64_t before = MemoryManager().GetMemoryInUse();
  {
    std::vector<uint8_t> text = Text(3000);
    void* packed = nullptr;
    int64_t packedSize = 0;
    ASSERT_TRUE(CompressBuffer(acaZlib, 6, text.data(), 3000, packed, packedSize));
    TABSMemBlock compressed(packed, static_cast<int32_t>(packedSize));
    const int64_t value = 42;
    TABSMemBlock stored = CopyValueToNewMemory(bt::kLargeInt, &value);
    // Moving keeps exactly one owner; the moved-from block owns nothing.
    TABSMemBlock taken = std::move(compressed);
    EXPECT_EQ(compressed.data(), nullptr);
    EXPECT_EQ(taken.data(), packed);
    taken = std::move(stored);
    EXPECT_EQ(taken.size(), 8);
    EXPECT_EQ(std::memcmp(taken.data(), &value, 8), 0);
  }
  EXPECT_EQ(MemoryManager().GetMemoryInUse(), before);
}

TEST(Compression, RoundTripsEveryAlgorithmAndMode) {
  std::vector<uint8_t> text = Text(70000);
  for (uint8_t algorithm = acaZlib; algorithm <= acaPPM; algorithm++) {
    for (int mode = 1; mode <= 9; mode++) {
      SCOPED_TRACE(std::to_string(algorithm) + "/" + std::to_string(mode));
      void* packed = nullptr;
      int64_t packedSize = 0;
      ASSERT_TRUE(CompressBuffer(algorithm, mode, text.data(), static_cast<int64_t>(text.size()), packed,
                                 packedSize));
      TABSMemBlock packedOwner(packed);
      EXPECT_LT(packedSize, static_cast<int64_t>(text.size() / 3));
      void* unpacked = nullptr;
      int64_t unpackedSize = 0;
      ASSERT_TRUE(DecompressBuffer(algorithm, packed, packedSize, static_cast<int64_t>(text.size()), unpacked,
                                   unpackedSize));
      TABSMemBlock unpackedOwner(unpacked);
      ASSERT_EQ(unpackedSize, static_cast<int64_t>(text.size()));
      EXPECT_EQ(std::memcmp(unpacked, text.data(), text.size()), 0);
    }
  }
}

TEST(Compression, ZlibOutputIsAStandardZlibStreamAtTheModesLevel) {
  std::vector<uint8_t> text = Text(5000);
  void* packed = nullptr;
  int64_t packedSize = 0;
  ASSERT_TRUE(CompressBuffer(acaZlib, 9, text.data(), 5000, packed, packedSize));
  TABSMemBlock owner(packed);
  std::vector<uint8_t> reference(compressBound(5000));
  uLongf referenceSize = reference.size();
  ASSERT_EQ(compress2(reference.data(), &referenceSize, text.data(), 5000, 9), Z_OK);
  ASSERT_EQ(packedSize, static_cast<int64_t>(referenceSize));
  EXPECT_EQ(std::memcmp(packed, reference.data(), referenceSize), 0);
  // bzip2 streams carry their block size digit: "BZh" + mode.
  void* bz = nullptr;
  int64_t bzSize = 0;
  ASSERT_TRUE(CompressBuffer(acaBZip, 4, text.data(), 5000, bz, bzSize));
  TABSMemBlock bzOwner(bz);
  EXPECT_EQ(std::string(static_cast<char*>(bz), 4), "BZh4");
}

TEST(Compression, IncompressibleDataStillCompresses) {
  std::mt19937 rng(5);
  for (size_t size : {1u, 2u, 100u, 1000u, 70000u}) {
    std::vector<uint8_t> noise(size);
    for (auto& b : noise) b = static_cast<uint8_t>(rng());
    for (uint8_t algorithm = acaZlib; algorithm <= acaPPM; algorithm++) {
      SCOPED_TRACE(std::to_string(algorithm) + "/" + std::to_string(size));
      void* packed = nullptr;
      int64_t packedSize = 0;
      ASSERT_TRUE(CompressBuffer(algorithm, 9, noise.data(), static_cast<int64_t>(size), packed, packedSize));
      TABSMemBlock owner(packed);
      void* unpacked = nullptr;
      int64_t unpackedSize = 0;
      ASSERT_TRUE(DecompressBuffer(algorithm, packed, packedSize, static_cast<int64_t>(size), unpacked,
                                   unpackedSize));
      TABSMemBlock unpackedOwner(unpacked);
      EXPECT_EQ(std::memcmp(unpacked, noise.data(), size), 0);
    }
  }
}

TEST(Compression, FailuresAreResultsNotExceptions) {
  std::vector<uint8_t> text = Text(1000);
  void* out = reinterpret_cast<void*>(1);
  int64_t outSize = 7;
  EXPECT_FALSE(CompressBuffer(acaNone, 1, text.data(), 1000, out, outSize));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(outSize, 0);
  EXPECT_FALSE(CompressBuffer(4, 1, text.data(), 1000, out, outSize));
  EXPECT_FALSE(CompressBuffer(acaZlib, 1, text.data(), 0, out, outSize));
  EXPECT_FALSE(CompressBuffer(acaBZip, 0, text.data(), 1000, out, outSize));

  for (uint8_t algorithm = acaZlib; algorithm <= acaPPM; algorithm++) {
    SCOPED_TRACE(algorithm);
    void* packed = nullptr;
    int64_t packedSize = 0;
    ASSERT_TRUE(CompressBuffer(algorithm, 5, text.data(), 1000, packed, packedSize));
    TABSMemBlock owner(packed);
    // Not enough room for the output.
    EXPECT_FALSE(DecompressBuffer(algorithm, packed, packedSize, 999, out, outSize));
    EXPECT_EQ(out, nullptr);
    // Truncated or garbled input.
    EXPECT_FALSE(DecompressBuffer(algorithm, packed, packedSize / 2, 1000, out, outSize));
    std::vector<uint8_t> garbage(packedSize, 0x5A);
    bool ok = DecompressBuffer(algorithm, garbage.data(), packedSize, 1000, out, outSize);
    if (ok) TABSMemBlock discard(out);
    EXPECT_FALSE(DecompressBuffer(algorithm, packed, 0, 1000, out, outSize));
  }
}

}  // namespace
}  // namespace viz
