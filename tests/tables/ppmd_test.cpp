#include "engine/tables/ppmd.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/storage/memory_manager.h"

namespace viz {
namespace {

std::vector<uint8_t> TextSample(size_t size) {
  static const char* kWords[] = {"the ",   "lyric ",  "of ",  "a ",     "song ",
                                 "plays ", "again\n", "and ", "night ", "sky "};
  std::mt19937 rng(7);
  std::string text;
  while (text.size() < size) text += kWords[rng() % 10];
  text.resize(size);
  return {text.begin(), text.end()};
}

std::vector<uint8_t> RandomSample(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> data(size);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  return data;
}

// Codes and decodes `data`; returns the coded size.
size_t RoundTrip(const std::vector<uint8_t>& data, PpmdParameters parameters) {
  void* coded = nullptr;
  size_t codedSize = 0;
  EXPECT_TRUE(PpmdCompress(data.data(), data.size(), parameters, data.size() + 50, coded, codedSize));
  if (coded == nullptr) return 0;
  std::vector<uint8_t> decoded(data.size() + 1);
  size_t decodedSize = 0;
  EXPECT_TRUE(PpmdDecompress(coded, codedSize, decoded.data(), decoded.size(), decodedSize));
  decoded.resize(decodedSize);
  EXPECT_EQ(decoded, data);
  MemoryManager().FreeAndNillMem(coded);
  return codedSize;
}

TEST(Ppmd, HeaderCarriesVariantMemoryAndOrder) {
  std::vector<uint8_t> data = TextSample(100);
  void* coded = nullptr;
  size_t codedSize = 0;
  ASSERT_TRUE(PpmdCompress(data.data(), data.size(), PpmdParametersForMode(4), 200, coded, codedSize));
  const uint8_t* bytes = static_cast<const uint8_t*>(coded);
  uint32_t header = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
  EXPECT_EQ(header, 0x6000u + (16 - 1) * 16 + (5 - 1));
  MemoryManager().FreeAndNillMem(coded);
}

TEST(Ppmd, ModeTableGivesOrderAndMemory) {
  const unsigned orders[] = {2, 3, 4, 5, 7, 8, 10, 13, 16};
  const unsigned memory[] = {2, 3, 7, 16, 22, 25, 40, 100, 100};
  for (int mode = 1; mode <= 9; mode++) {
    EXPECT_EQ(PpmdParametersForMode(mode).order, orders[mode - 1]);
    EXPECT_EQ(PpmdParametersForMode(mode).memoryMiB, memory[mode - 1]);
  }
}

TEST(Ppmd, RoundTripsTextAndRandomDataInEveryMode) {
  std::vector<uint8_t> text = TextSample(200000);
  std::vector<uint8_t> noise = RandomSample(50000, 3);
  for (int mode = 1; mode <= 9; mode++) {
    SCOPED_TRACE(mode);
    size_t coded = RoundTrip(text, PpmdParametersForMode(mode));
    EXPECT_LT(coded, text.size() / 4);
    RoundTrip(noise, PpmdParametersForMode(mode));
  }
}

TEST(Ppmd, RoundTripsTinyAndRepetitiveInputs) {
  RoundTrip({0}, {2, 1});
  RoundTrip({255}, {16, 1});
  RoundTrip(std::vector<uint8_t>(100000, 'a'), {8, 1});
  RoundTrip(std::vector<uint8_t>(100000, 0), {16, 2});
}

// A small model memory fills up quickly and has to restart many times.
TEST(Ppmd, RestartsWhenModelMemoryRunsOut) {
  std::vector<uint8_t> data = RandomSample(300000, 11);
  std::vector<uint8_t> text = TextSample(300000);
  for (size_t i = 0; i < data.size(); i += 3) data[i] = text[i];
  RoundTrip(data, {16, 1});
  RoundTrip(text, {16, 1});
}

TEST(Ppmd, RejectsMalformedInput) {
  std::vector<uint8_t> out(100);
  size_t outSize = 0;
  uint8_t shortHeader[3] = {0x34, 0x61, 0};
  EXPECT_FALSE(PpmdDecompress(shortHeader, 3, out.data(), out.size(), outSize));
  uint8_t wrongVariant[8] = {0x34, 0x71, 0, 0, 1, 2, 3, 4};
  EXPECT_FALSE(PpmdDecompress(wrongVariant, 8, out.data(), out.size(), outSize));

  std::vector<uint8_t> data = TextSample(5000);
  void* coded = nullptr;
  size_t codedSize = 0;
  ASSERT_TRUE(PpmdCompress(data.data(), data.size(), {4, 2}, 6000, coded, codedSize));
  // Too small an output buffer is a failure, not an overrun.
  EXPECT_FALSE(PpmdDecompress(coded, codedSize, out.data(), out.size(), outSize));
  MemoryManager().FreeAndNillMem(coded);
}

// Calls share one model; the lock keeps concurrent callers from corrupting each other's coding.
TEST(Ppmd, ConcurrentCallsAreSerialised) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([t, &failures] {
      std::vector<uint8_t> data = TextSample(20000 + t * 1000);
      PpmdParameters parameters = PpmdParametersForMode(1 + t);
      for (int round = 0; round < 5; round++) {
        void* coded = nullptr;
        size_t codedSize = 0;
        if (!PpmdCompress(data.data(), data.size(), parameters, data.size(), coded, codedSize)) {
          failures[t]++;
          continue;
        }
        std::vector<uint8_t> back(data.size());
        size_t backSize = 0;
        if (!PpmdDecompress(coded, codedSize, back.data(), back.size(), backSize) || back != data)
          failures[t]++;
        MemoryManager().FreeAndNillMem(coded);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

// Large inputs of every shape: uniform noise keeps the order-0 frequencies high and flat, skewed
// noise and long runs exercise rescaling and binary contexts, text fills the model memory.
TEST(Ppmd, SlowLargeInputsRoundTrip) {
  std::mt19937 rng(99);
  std::vector<uint8_t> skewed(4 << 20);
  std::geometric_distribution<int> geometric(0.05);
  for (auto& b : skewed) b = static_cast<uint8_t>(std::min(geometric(rng), 255));
  std::vector<uint8_t> runs(4 << 20);
  for (size_t i = 0; i < runs.size();) {
    size_t length = 1 + rng() % 300;
    uint8_t value = static_cast<uint8_t>(rng());
    for (size_t k = 0; k < length && i < runs.size(); k++) runs[i++] = value;
  }
  for (int mode : {1, 5, 9}) {
    SCOPED_TRACE(mode);
    RoundTrip(RandomSample(4 << 20, mode), PpmdParametersForMode(mode));
    RoundTrip(skewed, PpmdParametersForMode(mode));
    RoundTrip(runs, PpmdParametersForMode(mode));
    RoundTrip(TextSample(8 << 20), PpmdParametersForMode(mode));
  }
}

}  // namespace
}  // namespace viz
