#include "engine/tables/ppmd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
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

// Codes `data`; returns the coded buffer, header included (empty when coding fails).
std::vector<uint8_t> Compress(const std::vector<uint8_t>& data, PpmdParameters parameters) {
  void* coded = nullptr;
  size_t codedSize = 0;
  if (!PpmdCompress(data.data(), data.size(), parameters, data.size() / 2 + 50, coded, codedSize)) return {};
  std::vector<uint8_t> result(static_cast<uint8_t*>(coded), static_cast<uint8_t*>(coded) + codedSize);
  MemoryManager().FreeAndNillMem(coded);
  return result;
}

bool Decompress(const std::vector<uint8_t>& coded, size_t expectedSize, std::vector<uint8_t>& out) {
  out.assign(expectedSize, 0);
  size_t produced = 0;
  bool ok = PpmdDecompress(coded.data(), coded.size(), out.data(), out.size(), produced);
  out.resize(produced);
  return ok;
}

// Codes and decodes `data`; returns the coded size.
size_t RoundTrip(const std::vector<uint8_t>& data, PpmdParameters parameters) {
  std::vector<uint8_t> coded = Compress(data, parameters);
  EXPECT_FALSE(coded.empty());
  std::vector<uint8_t> decoded;
  EXPECT_TRUE(Decompress(coded, data.size(), decoded));
  EXPECT_EQ(decoded, data);
  return coded.size();
}

TEST(Ppmd, HeaderCarriesVariantMemoryAndOrder) {
  std::vector<uint8_t> coded = Compress(TextSample(100), PpmdParametersForMode(4));
  ASSERT_GE(coded.size(), 4u);
  uint32_t header = coded[0] | coded[1] << 8 | coded[2] << 16 | static_cast<uint32_t>(coded[3]) << 24;
  EXPECT_EQ(header, 0x6000u + (16 - 1) * 16 + (5 - 1));
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
  // Short periods over a few letters with some noise keep returning to the maximal order, where
  // raw units turn into contexts in place and the text cursor parks.
  std::mt19937 rng(5);
  for (int round = 0; round < 24; round++) {
    unsigned order = 2 + rng() % 15, period = 1 + rng() % 7, letters = 1 + rng() % 4, noise = rng() % 40;
    SCOPED_TRACE("order " + std::to_string(order) + " period " + std::to_string(period));
    std::vector<uint8_t> pattern(period);
    for (auto& b : pattern) b = static_cast<uint8_t>('a' + rng() % letters);
    std::vector<uint8_t> data(60000);
    for (size_t i = 0; i < data.size(); i++)
      data[i] = rng() % 100 < noise ? static_cast<uint8_t>('a' + rng() % (letters + 1)) : pattern[i % period];
    RoundTrip(data, {order, 1});
  }
}

// A small model memory fills up quickly and has to restart many times.
TEST(Ppmd, RestartsWhenModelMemoryRunsOut) {
  std::vector<uint8_t> data = RandomSample(300000, 11);
  std::vector<uint8_t> text = TextSample(300000);
  for (size_t i = 0; i < data.size(); i += 3) data[i] = text[i];
  RoundTrip(data, {16, 1});
  RoundTrip(text, {16, 1});
  RoundTrip(RandomSample(400000, 12), {2, 1});
}

TEST(Ppmd, RejectsMalformedInput) {
  std::vector<uint8_t> out;
  EXPECT_FALSE(Decompress({0x34, 0x61, 0}, 100, out));                    // short header
  EXPECT_FALSE(Decompress({0x34, 0x71, 0, 0, 1, 2, 3, 4}, 100, out));     // another variant
  EXPECT_FALSE(Decompress({0x30, 0x60, 0, 0, 1, 2, 3, 4}, 100, out));     // order 1

  std::vector<uint8_t> data = TextSample(5000);
  std::vector<uint8_t> coded = Compress(data, {4, 2});
  ASSERT_TRUE(Decompress(coded, data.size(), out));
  EXPECT_FALSE(Decompress(coded, data.size() - 1, out));  // more bytes than expected
  EXPECT_FALSE(Decompress(coded, data.size() + 1, out));  // the end mark comes early
  // The decoder must end exactly where the coded data ends: neither a missing nor an extra byte
  // passes, whatever the byte.
  for (size_t cut = 4; cut < coded.size(); cut += 97) {
    SCOPED_TRACE(cut);
    EXPECT_FALSE(Decompress(std::vector<uint8_t>(coded.begin(), coded.begin() + cut), data.size(), out));
  }
  for (int extra : {0, 1, 0x80, 0xFF}) {
    std::vector<uint8_t> longer = coded;
    longer.push_back(static_cast<uint8_t>(extra));
    EXPECT_FALSE(Decompress(longer, data.size(), out)) << extra;
  }
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
        std::vector<uint8_t> coded = Compress(data, parameters);
        std::vector<uint8_t> back;
        if (coded.empty() || !Decompress(coded, data.size(), back) || back != data) failures[t]++;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

#ifdef VIZ_PPMD_VECTORS
// One row of the reference manifest: an input, the parameters, and the payload that the published
// coder writes for them (the coded bytes after our 4-byte header).
struct Vector {
  std::string input;
  unsigned order;
  unsigned memoryMiB;
  size_t inputSize;
  size_t payloadSize;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<Vector> Manifest() {
  std::ifstream file(std::string(VIZ_PPMD_VECTORS) + "/manifest.tsv");
  std::vector<Vector> rows;
  std::string line;
  std::getline(file, line);  // column names
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    Vector v;
    fields >> v.input >> v.order >> v.memoryMiB >> v.inputSize >> v.payloadSize;
    if (fields) rows.push_back(v);
  }
  return rows;
}

// Inputs too large to store are regenerated into the build tree; the small ones are stored.
std::vector<uint8_t> VectorInput(const Vector& v) {
  std::vector<uint8_t> data = ReadFile(std::string(VIZ_PPMD_INPUTS) + "/" + v.input);
  if (data.empty()) data = ReadFile(std::string(VIZ_PPMD_VECTORS) + "/" + v.input);
  return data;
}

std::vector<uint8_t> VectorPayload(const Vector& v) {
  return ReadFile(std::string(VIZ_PPMD_VECTORS) + "/" + v.input + ".o" + std::to_string(v.order) + ".m" +
                  std::to_string(v.memoryMiB) + ".ppmdg");
}

// The reference payload behind our header for the vector's parameters.
std::vector<uint8_t> Framed(const Vector& v, const std::vector<uint8_t>& payload) {
  uint32_t header = 0x6000u + ((v.memoryMiB - 1) << 4) + (v.order - 1);
  std::vector<uint8_t> framed(4 + payload.size(), 0);
  framed[0] = static_cast<uint8_t>(header);
  framed[1] = static_cast<uint8_t>(header >> 8);
  std::copy(payload.begin(), payload.end(), framed.begin() + 4);
  return framed;
}

// Codes the input of `v`, compares the payload with the reference byte for byte and decodes the
// reference payload back to the input.
void CheckVector(const Vector& v) {
  SCOPED_TRACE(v.input + " order " + std::to_string(v.order) + " memory " + std::to_string(v.memoryMiB));
  std::vector<uint8_t> input = VectorInput(v);
  ASSERT_EQ(input.size(), v.inputSize) << "input missing or not regenerated";
  std::vector<uint8_t> payload = VectorPayload(v);
  ASSERT_EQ(payload.size(), v.payloadSize);
  std::vector<uint8_t> coded = Compress(input, {v.order, v.memoryMiB});
  ASSERT_GE(coded.size(), 4u);
  EXPECT_TRUE(std::equal(coded.begin() + 4, coded.end(), payload.begin(), payload.end()))
      << "coded " << coded.size() - 4 << " bytes, reference " << payload.size();
  std::vector<uint8_t> decoded;
  EXPECT_TRUE(Decompress(Framed(v, payload), input.size(), decoded));
  EXPECT_TRUE(decoded == input);
}

// Every reference input is coded and every reference payload decoded (about three seconds in
// all). The model restarts 21 times in these cases, each time exactly where the reference's does.
TEST(Ppmd, MatchesReferenceVectors) {
  std::vector<Vector> rows = Manifest();
  ASSERT_EQ(rows.size(), 29u);
  for (const Vector& v : rows) CheckVector(v);
}

// Reference payloads cut short, padded, or with one byte changed: the decoder refuses them, or (a
// changed byte only) decodes exactly the input, never other bytes. Besides the expected size and
// the exact end, the final flush must be the one the coder writes.
TEST(Ppmd, RefusesDamagedReferencePayloads) {
  for (const Vector& v : Manifest()) {
    if (v.inputSize > 160 * 1024 || (v.inputSize > 16 && v.order != 4)) continue;
    SCOPED_TRACE(v.input + " order " + std::to_string(v.order));
    std::vector<uint8_t> input = VectorInput(v);
    std::vector<uint8_t> framed = Framed(v, VectorPayload(v));
    std::vector<uint8_t> out;
    ASSERT_TRUE(Decompress(framed, input.size(), out));
    const size_t payload = framed.size() - 4;
    for (size_t keep : {size_t{0}, size_t{1}, payload / 2, payload - 2, payload - 1}) {
      std::vector<uint8_t> cut(framed.begin(), framed.begin() + 4 + keep);
      EXPECT_FALSE(Decompress(cut, input.size(), out)) << "cut to " << keep;
    }
    for (uint8_t extra : {0x00, 0x5A, 0xFF}) {
      std::vector<uint8_t> longer = framed;
      longer.push_back(extra);
      EXPECT_FALSE(Decompress(longer, input.size(), out)) << "padded with " << int{extra};
    }
    std::vector<size_t> positions;
    for (size_t at = 0; at + 6 < payload; at += std::max<size_t>(1, payload / 24)) positions.push_back(at);
    for (size_t at = payload > 6 ? payload - 6 : 0; at < payload; at++) positions.push_back(at);
    for (size_t at : positions) {
      for (uint8_t flip : {0x01, 0x80}) {
        std::vector<uint8_t> damaged = framed;
        damaged[4 + at] ^= flip;
        bool ok = Decompress(damaged, input.size(), out);
        EXPECT_TRUE(!ok || out == input) << "byte " << at << " flipped with " << int{flip};
      }
    }
  }
}
#endif

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
