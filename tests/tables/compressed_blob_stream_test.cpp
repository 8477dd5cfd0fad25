#include "engine/tables/compressed_blob_stream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/types/crc32.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

using ::testing::HasSubstr;

// Copies a field of a packed stored structure, which cannot be bound to a reference safely.
template <class T>
T Value(T value) {
  return value;
}

std::vector<uint8_t> Text(size_t size, uint32_t seed = 1) {
  static const char* kWords[] = {"lyric ", "melody ", "of ", "the ", "night\n", "song ", "plays ", "a "};
  std::mt19937 rng(seed);
  std::string text;
  while (text.size() < size) text += kWords[rng() % 8];
  text.resize(size);
  return {text.begin(), text.end()};
}

std::vector<uint8_t> Noise(size_t size, uint32_t seed = 2) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> data(size);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  return data;
}

TABSBLOBDescriptor Descriptor(uint8_t algorithm, uint8_t mode, int32_t blockSize = 0, int64_t start = 0) {
  TABSBLOBDescriptor d;
  d.BlockSize = blockSize;
  d.StartPosition = start;
  d.CompressionAlgorithm = algorithm;
  d.CompressionMode = mode;
  return d;
}

// Writes `data` as a new value (in pieces of `piece` bytes) and returns its descriptor.
TABSBLOBDescriptor Store(TStream& inner, const std::vector<uint8_t>& data, TABSBLOBDescriptor d,
                         size_t piece = 0) {
  TABSCompressedBLOBStream stream(inner, true, d);
  if (piece == 0) piece = std::max<size_t>(data.size(), 1);
  for (size_t done = 0; done < data.size(); done += piece) {
    int64_t n = static_cast<int64_t>(std::min(piece, data.size() - done));
    EXPECT_EQ(stream.Write(data.data() + done, n), n);
  }
  return stream.Descriptor();
}

std::vector<uint8_t> ReadAll(TABSCompressedBLOBStream& stream, size_t piece = 1 << 20) {
  std::vector<uint8_t> out;
  stream.SetPosition(0);
  std::vector<uint8_t> buffer(piece);
  for (;;) {
    int64_t n = stream.Read(buffer.data(), static_cast<int64_t>(piece));
    if (n == 0) break;
    out.insert(out.end(), buffer.begin(), buffer.begin() + n);
  }
  return out;
}

std::vector<uint8_t> Load(TStream& inner, const TABSBLOBDescriptor& d) {
  TABSCompressedBLOBStream stream(inner, false, d);
  return ReadAll(stream);
}

int32_t CodeOf(const std::function<void()>& action, std::string* message = nullptr) {
  try {
    action();
  } catch (const EABSException& e) {
    if (message) *message = e.Message();
    return e.NativeErrorCode();
  }
  return 0;
}

std::vector<uint32_t> UncompressedSizes(const TABSCompressedBLOBStream& stream) {
  std::vector<uint32_t> sizes;
  for (int64_t i = 0; i < stream.BlockHeaders().Count(); i++)
    sizes.push_back(stream.BlockHeaders()[i].header.UncompressedSize);
  return sizes;
}

TEST(CompressedBlobStream, EmptyValueHasNoBlocks) {
  TABSMemoryStream inner;
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaZlib, 1));
  EXPECT_EQ(Value(stream.Descriptor().BlockSize), 524288);
  EXPECT_EQ(Value(stream.Descriptor().NumBlocks), 0);
  char c;
  EXPECT_EQ(stream.Read(&c, 1), 0);
  EXPECT_EQ(inner.Size(), 0);
  EXPECT_EQ(stream.CompressionRate(), 0.0f);
}

TEST(CompressedBlobStream, DefaultBlockSizeFollowsTheMode) {
  EXPECT_EQ(DefaultCompressedBlockSize(0), 102400);
  EXPECT_EQ(DefaultCompressedBlockSize(3), 524288);
  EXPECT_EQ(DefaultCompressedBlockSize(4), 1048576);
  EXPECT_EQ(DefaultCompressedBlockSize(6), 1048576);
  EXPECT_EQ(DefaultCompressedBlockSize(7), 1572864);
  TABSMemoryStream inner;
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaBZip, 9));
  EXPECT_EQ(Value(stream.Descriptor().BlockSize), 1572864);
}

TEST(CompressedBlobStream, WritesBlocksAndRewritesOnlyTheLastOnAppend) {
  TABSMemoryStream inner;
  std::vector<uint8_t> data = Text(280);
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaZlib, 6, 100));
  EXPECT_EQ(stream.Write(data.data(), 250), 250);
  EXPECT_EQ(UncompressedSizes(stream), (std::vector<uint32_t>{100, 100, 50}));
  int64_t secondEnd = stream.BlockHeaders()[2].position;
  EXPECT_EQ(stream.Write(data.data() + 250, 30), 30);
  EXPECT_EQ(UncompressedSizes(stream), (std::vector<uint32_t>{100, 100, 80}));
  EXPECT_EQ(stream.BlockHeaders()[2].position, secondEnd);
  EXPECT_EQ(Value(stream.Descriptor().NumBlocks), 3);
  EXPECT_EQ(Value(stream.Descriptor().UncompressedSize), 280);
  EXPECT_EQ(stream.Position(), 280);
  EXPECT_EQ(ReadAll(stream), data);
  // The inner stream holds exactly the three blocks.
  EXPECT_EQ(inner.Size(), stream.CompressedSize() + 3 * 20);
  EXPECT_EQ(Load(inner, stream.Descriptor()), data);
}

TEST(CompressedBlobStream, StoredBlocksHaveTheDocumentedLayout) {
  TABSMemoryStream inner;
  inner.Write("prefix!", 7);
  std::vector<uint8_t> data = Text(150);
  TABSBLOBDescriptor d = Store(inner, data, Descriptor(acaZlib, 1, 100, 7));
  ASSERT_EQ(Value(d.NumBlocks), 2);
  const uint8_t* bytes = static_cast<const uint8_t*>(inner.Memory());
  EXPECT_EQ(std::memcmp(bytes, "prefix!", 7), 0);
  TABSCompressedStreamBlockHeader first;
  std::memcpy(&first, bytes + 7, 20);
  EXPECT_EQ(Value(first.UncompressedSize), 100);
  EXPECT_EQ(Value(first.Crc32), ComputeCRC32(data.data(), 100));
  EXPECT_EQ(Value(first.BlockLength), first.CompressedSize + 20);
  EXPECT_EQ(bytes[7 + 20], 0x78);  // zlib header
  TABSCompressedStreamBlockHeader second;
  std::memcpy(&second, bytes + 7 + first.BlockLength, 20);
  EXPECT_EQ(Value(second.UncompressedSize), 50);
  EXPECT_EQ(Value(second.Crc32), ComputeCRC32(data.data() + 100, 50));
  EXPECT_EQ(inner.Size(), 7 + first.BlockLength + second.BlockLength);
}

TEST(CompressedBlobStream, WritesInsideTheValueAreRefusedAndBeyondItPadWithZeros) {
  TABSMemoryStream inner;
  std::vector<uint8_t> data = Text(100);
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaBZip, 1, 64));
  stream.Write(data.data(), 100);
  stream.SetPosition(5);
  EXPECT_EQ(stream.Write("0123456789", 10), 0);
  EXPECT_EQ(stream.Size(), 100);
  stream.SetPosition(120);
  EXPECT_EQ(stream.Write("0123456789", 10), 10);
  EXPECT_EQ(stream.Size(), 130);
  std::vector<uint8_t> expected = data;
  expected.resize(120, 0);
  expected.insert(expected.end(), {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
  EXPECT_EQ(ReadAll(stream), expected);
  EXPECT_EQ(Load(inner, stream.Descriptor()), expected);
}

TEST(CompressedBlobStream, ShrinkingKeepsWholeBlocksAndRewritesThePartialOne) {
  for (uint8_t algorithm = acaZlib; algorithm <= acaPPM; algorithm++) {
    SCOPED_TRACE(algorithm);
    TABSMemoryStream inner;
    std::vector<uint8_t> data = Text(250);
    TABSCompressedBLOBStream stream(inner, true, Descriptor(algorithm, 2, 100));
    stream.Write(data.data(), 250);
    stream.SetSize(150);
    EXPECT_EQ(UncompressedSizes(stream), (std::vector<uint32_t>{100, 50}));
    EXPECT_EQ(stream.Position(), 150);
    EXPECT_EQ(Value(stream.Descriptor().UncompressedSize), 150);
    EXPECT_EQ(inner.Size(), stream.BlockHeaders()[1].position + stream.BlockHeaders()[1].header.BlockLength);
    data.resize(150);
    EXPECT_EQ(ReadAll(stream), data);
    stream.SetSize(100);
    EXPECT_EQ(UncompressedSizes(stream), (std::vector<uint32_t>{100}));
    stream.SetSize(0);
    EXPECT_EQ(Value(stream.Descriptor().NumBlocks), 0);
    EXPECT_EQ(inner.Size(), 0);
  }
}

TEST(CompressedBlobStream, GrowingAppendsZeroBytes) {
  TABSMemoryStream inner;
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaPPM, 1, 8));
  stream.Write("abcdefghij", 10);
  stream.SetSize(20);
  EXPECT_EQ(stream.Size(), 20);
  EXPECT_EQ(UncompressedSizes(stream), (std::vector<uint32_t>{8, 8, 4}));
  std::vector<uint8_t> expected = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
  expected.resize(20, 0);
  EXPECT_EQ(ReadAll(stream), expected);
  EXPECT_EQ(Load(inner, stream.Descriptor()), expected);
}

TEST(CompressedBlobStream, SeeksFromEveryOriginAndReadsAcrossBlocks) {
  TABSMemoryStream inner;
  std::vector<uint8_t> data = Text(1000);
  TABSBLOBDescriptor d = Store(inner, data, Descriptor(acaZlib, 3, 64));
  TABSCompressedBLOBStream stream(inner, false, d);
  EXPECT_EQ(stream.Size(), 1000);
  EXPECT_EQ(stream.Seek(130, TSeekOrigin::Beginning), 130);
  EXPECT_EQ(stream.CurrentBlock(), 2);
  EXPECT_EQ(stream.Seek(-10, TSeekOrigin::Current), 120);
  EXPECT_EQ(stream.Seek(-1000, TSeekOrigin::Current), 0);
  EXPECT_EQ(stream.Seek(-100, TSeekOrigin::End), 900);
  std::vector<uint8_t> piece(200);
  EXPECT_EQ(stream.Read(piece.data(), 200), 100);
  EXPECT_EQ(std::memcmp(piece.data(), data.data() + 900, 100), 0);
  stream.SetPosition(60);
  ASSERT_EQ(stream.Read(piece.data(), 200), 200);
  EXPECT_EQ(std::memcmp(piece.data(), data.data() + 60, 200), 0);
  EXPECT_EQ(stream.Seek(5000, TSeekOrigin::Beginning), 5000);
  EXPECT_EQ(stream.Read(piece.data(), 10), 0);
}

TEST(CompressedBlobStream, RoundTripsAroundBlockBoundariesForEveryAlgorithmAndMode) {
  const int32_t blockSize = 4096;
  for (uint8_t algorithm = acaNone; algorithm <= acaPPM; algorithm++) {
    for (uint8_t mode = (algorithm == acaNone ? 0 : 1); mode <= (algorithm == acaNone ? 0 : 9); mode++) {
      for (size_t size : {0, 1, blockSize - 1, blockSize, blockSize + 1, 3 * blockSize + 17}) {
        for (int kind = 0; kind < 2; kind++) {
          SCOPED_TRACE(std::to_string(algorithm) + "/" + std::to_string(mode) + "/" + std::to_string(size) +
                       "/" + std::to_string(kind));
          std::vector<uint8_t> data = kind == 0 ? Text(size, mode) : Noise(size, mode);
          TABSMemoryStream inner;
          TABSBLOBDescriptor d = Store(inner, data, Descriptor(algorithm, mode, blockSize), 1000);
          EXPECT_EQ(Value(d.UncompressedSize), static_cast<int64_t>(size));
          if (algorithm != acaNone) {
            EXPECT_EQ(Value(d.NumBlocks), static_cast<int64_t>((size + blockSize - 1) / blockSize));
          }
          TABSCompressedBLOBStream stream(inner, false, d);
          EXPECT_EQ(ReadAll(stream, 777), data);
          // The inner stream holds the blocks and nothing else, however often the last was rewritten.
          if (algorithm != acaNone) {
            EXPECT_EQ(inner.Size(), stream.CompressedSize() + 20 * Value(d.NumBlocks));
          }
          if (algorithm != acaNone && kind == 0 && size > 1000) {
            EXPECT_GT(stream.CompressionRate(), 50.0f);
          }
        }
      }
    }
  }
}

// The PPM buffer call fails for empty input, so a stream must never hand it an empty block: not
// for a write of nothing, nor when sizes land on block boundaries or fall to zero.
TEST(CompressedBlobStream, NeverCompressesAnEmptyBlock) {
  void* out = nullptr;
  int64_t outSize = 0;
  const char byte = 'x';
  EXPECT_FALSE(CompressBuffer(acaPPM, 1, &byte, 0, out, outSize));
  const int32_t blockSize = 100;
  std::vector<uint8_t> data = Text(3 * blockSize, 9);
  TABSMemoryStream inner;
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaPPM, 1, blockSize));
  EXPECT_EQ(stream.Write(data.data(), 0), 0);
  stream.SetSize(0);
  EXPECT_EQ(stream.Write(data.data(), blockSize), blockSize);  // exactly one full block
  EXPECT_EQ(stream.Write(data.data() + blockSize, 0), 0);
  EXPECT_EQ(stream.Write(data.data() + blockSize, 2 * blockSize), 2 * blockSize);
  stream.SetSize(2 * blockSize);  // shrink onto a block boundary
  stream.SetSize(3 * blockSize);  // grow by exactly one block of zeros
  stream.SetSize(blockSize + 1);
  stream.SetSize(0);
  stream.SetSize(blockSize);
  EXPECT_EQ(Value(stream.Descriptor().NumBlocks), 1);
  EXPECT_EQ(ReadAll(stream), std::vector<uint8_t>(blockSize, 0));
}

TEST(CompressedBlobStream, UncompressedValuesLieAtTheStartUnchanged) {
  TABSMemoryStream inner;
  inner.Write("xx", 2);
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaNone, 0, 0, 2));
  stream.Write("hello", 5);
  EXPECT_EQ(inner.Size(), 7);
  EXPECT_EQ(std::memcmp(static_cast<char*>(inner.Memory()) + 2, "hello", 5), 0);
  stream.SetSize(3);
  EXPECT_EQ(inner.Size(), 5);
  TABSBLOBDescriptor d = stream.Descriptor();
  EXPECT_EQ(Value(d.UncompressedSize), 3);
  EXPECT_EQ(stream.CompressionRate(), 0.0f);
  d.UncompressedSize = 4;
  std::string message;
  EXPECT_EQ(CodeOf([&] { TABSCompressedBLOBStream(inner, false, d); }, &message), 10081);
  EXPECT_THAT(message, HasSubstr("Stream size = 5 too small. Should be at least = 6"));
}

TEST(CompressedBlobStream, CompressedSizeAndRate) {
  TABSMemoryStream inner;
  std::vector<uint8_t> data(10000, 'z');
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaZlib, 9, 4000));
  stream.Write(data.data(), 10000);
  int64_t sum = 0;
  for (int64_t i = 0; i < stream.BlockHeaders().Count(); i++)
    sum += stream.BlockHeaders()[i].header.CompressedSize;
  EXPECT_EQ(stream.CompressedSize(), sum);
  EXPECT_FLOAT_EQ(stream.CompressionRate(), static_cast<float>((1.0 - sum / 10000.0) * 100.0));
}

TEST(CompressedBlobStream, HeaderArrayFindsTheBlockOfAnOffset) {
  TABSCompressedStreamBlockHeadersArray headers;
  TABSCompressedStreamBlockHeader h;
  h.UncompressedSize = 100;
  headers.Add(h, 0);
  headers.Add(h, 50);
  h.UncompressedSize = 30;
  headers.Add(h, 90);
  EXPECT_EQ(headers.FindBlock(0), 0);
  EXPECT_EQ(headers.FindBlock(99), 0);
  EXPECT_EQ(headers.FindBlock(100), 1);
  EXPECT_EQ(headers.FindBlock(229), 2);
  EXPECT_EQ(headers.FindBlock(230), -1);
  EXPECT_EQ(headers.BlockStart(2), 200);
  headers.Truncate(1);
  EXPECT_EQ(headers.FindBlock(100), -1);
}

// ---- Damaged values

struct Damaged {
  TABSMemoryStream inner;
  TABSBLOBDescriptor descriptor;
  std::vector<uint8_t> data;

  explicit Damaged(uint8_t algorithm) : data(Text(300)) {
    descriptor = Store(inner, data, Descriptor(algorithm, 5, 100));
  }
  uint8_t* bytes() { return static_cast<uint8_t*>(inner.Memory()); }
  TABSCompressedStreamBlockHeader Header(int64_t position) {
    TABSCompressedStreamBlockHeader h;
    std::memcpy(&h, bytes() + position, 20);
    return h;
  }
  void SetHeader(int64_t position, const TABSCompressedStreamBlockHeader& h) {
    std::memcpy(bytes() + position, &h, 20);
  }
  int32_t ReadCode(std::string* message = nullptr) {
    return CodeOf([&] { Load(inner, descriptor); }, message);
  }
};

TEST(CompressedBlobStream, WrongChecksumFailsWith10089) {
  Damaged value(acaZlib);
  auto h = value.Header(0);
  h.Crc32 ^= 1;
  value.SetHeader(0, h);
  std::string message;
  EXPECT_EQ(value.ReadCode(&message), 10089);
  EXPECT_THAT(message, HasSubstr("Decompress buffer failed. CheckSum = "));
}

TEST(CompressedBlobStream, WrongUncompressedSizeFailsWith10088) {
  for (uint8_t algorithm = acaZlib; algorithm <= acaPPM; algorithm++) {
    Damaged value(algorithm);
    auto h = value.Header(0);
    h.UncompressedSize = 99;
    value.SetHeader(0, h);
    // One byte too small an output buffer: the library itself fails.
    EXPECT_EQ(value.ReadCode(), 10087) << int(algorithm);
    h.UncompressedSize = 1000;
    value.SetHeader(0, h);
    EXPECT_EQ(value.ReadCode(), 10088);
  }
  // Blocks shorter than the descriptor's block size leave offsets that no block holds.
  Damaged value(acaZlib);
  value.descriptor.BlockSize = 200;
  std::string message;
  EXPECT_EQ(value.ReadCode(&message), 10090);
  EXPECT_THAT(message, HasSubstr("Cannot read from stream. ReadSize = 0"));
}

TEST(CompressedBlobStream, GarbledDataFailsWith10087) {
  for (uint8_t algorithm = acaZlib; algorithm <= acaPPM; algorithm++) {
    Damaged value(algorithm);
    auto h = value.Header(0);
    std::memset(value.bytes() + 20, 0xA5, static_cast<size_t>(h.CompressedSize));
    std::string message;
    int32_t code = value.ReadCode(&message);
    EXPECT_TRUE(code == 10087 || code == 10088 || code == 10089) << int(algorithm) << " " << code;
  }
}

TEST(CompressedBlobStream, TruncatedStorageFailsWhileOpeningOrReading) {
  Damaged value(acaBZip);
  auto first = value.Header(0);
  auto second = value.Header(first.BlockLength);
  int64_t thirdPosition = first.BlockLength + second.BlockLength;
  // The header is there but its data is cut short.
  value.inner.SetSize(thirdPosition + 25);
  std::string message;
  EXPECT_EQ(value.ReadCode(&message), 10086);
  EXPECT_THAT(message,
              HasSubstr("Cannot read from stream. Position = " + std::to_string(thirdPosition + 20)));
  // Less than a header left for the third block.
  value.inner.SetSize(thirdPosition + 10);
  EXPECT_EQ(value.ReadCode(&message), 10082);
  EXPECT_THAT(message, HasSubstr("too small. Should be at least = " + std::to_string(thirdPosition + 20)));
  // A block length that does not match the compressed size cannot be followed.
  first.BlockLength = 3;
  value.SetHeader(0, first);
  EXPECT_EQ(value.ReadCode(), 10083);
}

TEST(CompressedBlobStream, BadDescriptorsAreRefused) {
  TABSMemoryStream inner;
  TABSBLOBDescriptor d = Descriptor(acaZlib, 1, -5);
  EXPECT_EQ(CodeOf([&] { TABSCompressedBLOBStream(inner, false, d); }), 10084);
  d = Descriptor(acaZlib, 1, 100, -1);
  EXPECT_EQ(CodeOf([&] { TABSCompressedBLOBStream(inner, true, d); }), 10103);
}

TEST(CompressedBlobStream, CompressionFailureRaises10085) {
  TABSMemoryStream inner;
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaBZip, 0, 100));
  std::string message;
  EXPECT_EQ(CodeOf([&] { stream.Write("abc", 3); }, &message), 10085);
  EXPECT_THAT(message,
              HasSubstr("Compress buffer failed. CompAlg = 2, CompMode = 0, InSize = 3, OutSize = 0"));
}

// A stream that refuses to grow beyond a fixed size.
class FullStream : public TABSMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override {
    int64_t room = std::max<int64_t>(0, 60 - Position());
    return TABSMemoryStream::Write(buffer, std::min(count, room));
  }
};

TEST(CompressedBlobStream, ShortWritesToTheInnerStreamRaise) {
  FullStream inner;
  TABSCompressedBLOBStream stream(inner, true, Descriptor(acaZlib, 1, 100));
  std::vector<uint8_t> data = Noise(100);
  std::string message;
  EXPECT_EQ(CodeOf([&] { stream.Write(data.data(), 100); }, &message), 10101);
  EXPECT_THAT(message, HasSubstr("Cannot write to stream. Position = 20"));
  TABSCompressedBLOBStream grower(inner, true, Descriptor(acaZlib, 1, 100, 55));
  EXPECT_EQ(CodeOf([&] { grower.SetSize(10); }), 10100);
}

// Flips random bytes of stored values: every read either returns the original data or raises one
// of the stream's errors; nothing crashes or reads out of bounds.
void CorruptionRounds(int rounds, uint32_t seed) {
  std::mt19937 rng(seed);
  const std::set<int32_t> expected = {10082, 10083, 10084, 10086, 10087, 10088, 10089, 10090};
  for (int round = 0; round < rounds; round++) {
    uint8_t algorithm = static_cast<uint8_t>(1 + rng() % 3);
    uint8_t mode = static_cast<uint8_t>(1 + rng() % 4);
    std::vector<uint8_t> data =
        (rng() % 2) ? Text(200 + rng() % 3000, rng()) : Noise(200 + rng() % 3000, rng());
    TABSMemoryStream inner;
    TABSBLOBDescriptor d = Store(inner, data, Descriptor(algorithm, mode, 512 + rng() % 1024));
    uint8_t* bytes = static_cast<uint8_t*>(inner.Memory());
    int flips = 1 + rng() % 4;
    for (int i = 0; i < flips; i++) bytes[rng() % inner.Size()] ^= static_cast<uint8_t>(1 + rng() % 255);
    if (rng() % 8 == 0) inner.SetSize(rng() % inner.Size());
    try {
      TABSCompressedBLOBStream stream(inner, false, d);
      std::vector<uint8_t> back = ReadAll(stream, 1 + rng() % 2000);
      if (back.size() == data.size()) {
        EXPECT_EQ(back, data) << "round " << round;
      }
    } catch (const EABSException& e) {
      EXPECT_TRUE(expected.count(e.NativeErrorCode())) << e.Message();
    }
  }
}

TEST(CompressedBlobStream, RandomCorruptionIsDetected) {
  CorruptionRounds(150, 42);
}

TEST(CompressedBlobStream, SlowRandomCorruptionIsDetected) {
  CorruptionRounds(20000, 4242);
}

}  // namespace
}  // namespace viz
