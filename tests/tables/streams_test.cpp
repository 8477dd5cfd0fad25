#include "engine/tables/streams.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Forwards to the real file system and counts (or refuses) temporary files.
class CountingFileSystem : public platform::FileSystemWrapper {
 public:
  std::unique_ptr<platform::File> CreateTemporary(platform::OsError* error) override {
    temporaries++;
    if (refuseTemporary) {
      error->code = 28;
      error->message = "No space left on device";
      return nullptr;
    }
    return FileSystemWrapper::CreateTemporary(error);
  }

  int temporaries = 0;
  bool refuseTemporary = false;
};

std::vector<uint8_t> Sequence(size_t size) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; i++) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return data;
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

TEST(MemoryStream, GrowsExactlyAndReadsStopAtTheEnd) {
  TABSMemoryStream stream;
  std::vector<uint8_t> data = Sequence(100);
  EXPECT_EQ(stream.Write(data.data(), 100), 100);
  EXPECT_EQ(stream.Size(), 100);
  EXPECT_EQ(MemoryManager().GetMemSize(stream.Memory()), 100u);
  // A write beyond the end leaves a zero gap and grows to position + count.
  stream.SetPosition(120);
  EXPECT_EQ(stream.Write(data.data(), 5), 5);
  EXPECT_EQ(stream.Size(), 125);
  std::vector<uint8_t> back(200, 0xEE);
  stream.SetPosition(95);
  EXPECT_EQ(stream.Read(back.data(), 200), 30);
  EXPECT_EQ(back[4], data[99]);
  EXPECT_EQ(back[5], 0);
  EXPECT_EQ(back[24], 0);
  EXPECT_EQ(back[25], data[0]);
  EXPECT_EQ(stream.Read(back.data(), 10), 0);
}

TEST(MemoryStream, SetSizeKeepsContentsAndClampsThePosition) {
  TABSMemoryStream stream;
  std::vector<uint8_t> data = Sequence(50);
  stream.Write(data.data(), 50);
  stream.SetSize(20);
  EXPECT_EQ(stream.Position(), 20);
  stream.SetPosition(0);
  std::vector<uint8_t> back(20);
  ASSERT_EQ(stream.Read(back.data(), 20), 20);
  EXPECT_EQ(back, std::vector<uint8_t>(data.begin(), data.begin() + 20));
  stream.SetSize(0);
  EXPECT_EQ(stream.Memory(), nullptr);
  EXPECT_EQ(stream.Position(), 0);
}

TEST(MemoryStream, TakesOverAnExistingBlock) {
  void* block = MemoryManager().GetMem(64);
  std::memset(block, 'x', 64);
  TABSMemoryStream stream(block);
  EXPECT_EQ(stream.Size(), 64);
  char c = 0;
  stream.SetPosition(63);
  EXPECT_EQ(stream.Read(&c, 1), 1);
  EXPECT_EQ(c, 'x');
}

// Stored values are saved through the 32-bit stream interface of the value types.
TEST(MemoryStream, ServesAsTheValueStreamInterface) {
  TABSMemoryStream stream;
  TABSStreamBase& values = stream;
  values.WriteBuffer("abcdef", 6, 1);
  EXPECT_EQ(values.GetSize(), 6);
  EXPECT_EQ(values.GetPosition(), 6);
  stream.SetPosition(2);
  char back[4];
  values.ReadBuffer(back, 4, 1);
  EXPECT_EQ(std::string(back, 4), "cdef");
  EXPECT_EQ(CodeOf([&] { values.ReadBuffer(back, 1, 777); }), 777);
}

TEST(ExactTransfers, RaiseTheCallSiteCodeWithPositionsAndCounts) {
  TABSMemoryStream stream;
  std::vector<uint8_t> data = Sequence(10);
  ExactWrite(data.data(), 10, stream, 11111);
  stream.SetPosition(4);
  std::vector<uint8_t> back(10);
  std::string message;
  EXPECT_EQ(CodeOf([&] { ExactRead(back.data(), 8, stream, 12345); }, &message), 12345);
  EXPECT_THAT(
      message,
      HasSubstr("Cannot read from stream. Position = 4, Stream size = 10, Block size = 8, Bytes Read = 6"));
  stream.SetPosition(0);
  EXPECT_EQ(CodeOf([&] { ExactRead(back.data(), 10, stream, 1); }), 0);
  EXPECT_EQ(back, data);
}

// A stream that takes only part of every write.
class HalfWritingStream : public TABSMemoryStream {
 public:
  int64_t Write(const void* buffer, int64_t count) override {
    return TABSMemoryStream::Write(buffer, count / 2);
  }
};

TEST(ExactTransfers, ShortWriteAndFailedSeekRaise) {
  HalfWritingStream stream;
  std::vector<uint8_t> data = Sequence(10);
  std::string message;
  EXPECT_EQ(CodeOf([&] { ExactWrite(data.data(), 10, stream, 22222); }, &message), 22222);
  EXPECT_THAT(
      message,
      HasSubstr("Cannot write to stream. Position = 0, Stream size = 5, Block size = 10, Bytes Write = 5"));
  EXPECT_EQ(CodeOf([&] { CheckedSeek(stream, -3, 33333); }, &message), 33333);
  EXPECT_THAT(message, HasSubstr("Cannot set stream position to -3. Position = 0, Size = 5"));
  EXPECT_EQ(CodeOf([&] { CheckedSeek(stream, 3, 1); }), 0);
}

TEST(StreamCopy, MovesEverythingInStepsReportsProgressAndRestoresPositions) {
  TABSMemoryStream source;
  std::vector<uint8_t> data = Sequence(250000);
  source.Write(data.data(), static_cast<int64_t>(data.size()));
  source.SetPosition(17);
  TABSMemoryStream target;
  target.Write("old content", 11);
  target.SetPosition(3);
  std::vector<int> progress;
  target.OnProgress = [&](TABSStream&, int percent) { progress.push_back(percent); };
  target.LoadFromStream(source);
  EXPECT_EQ(source.Position(), 17);
  EXPECT_EQ(target.Position(), 3);
  ASSERT_EQ(target.Size(), 250000);
  EXPECT_EQ(std::memcmp(target.Memory(), data.data(), data.size()), 0);
  // 102400-byte steps: 0, two intermediate steps, 100.
  EXPECT_THAT(progress, ElementsAre(0, 40, 81, 100));

  TABSMemoryStream copy;
  target.SaveToStream(copy);
  EXPECT_EQ(copy.Size(), 250000);
}

TEST(StreamCopy, CopyFromTakesAllOrCountedBytesFromTheSourcePosition) {
  TABSMemoryStream source;
  std::vector<uint8_t> data = Sequence(200000);
  source.Write(data.data(), 200000);
  source.SetPosition(150000);
  TABSMemoryStream whole;
  EXPECT_EQ(whole.CopyFrom(source, 0), 200000);
  EXPECT_EQ(std::memcmp(whole.Memory(), data.data(), data.size()), 0);
  TABSMemoryStream part;
  source.SetPosition(100);
  EXPECT_EQ(part.CopyFrom(source, 70000), 70000);
  EXPECT_EQ(std::memcmp(part.Memory(), data.data() + 100, 70000), 0);
  // The source ends before the count is reached.
  source.SetPosition(199990);
  EXPECT_EQ(part.CopyFrom(source, 50), 10);
}

TEST(StreamCopy, ZeroBlockSizeIsRefused) {
  TABSMemoryStream a, b;
  a.SetCopyBlockSize(0);
  std::string message;
  EXPECT_EQ(CodeOf([&] { a.SaveToStream(b); }, &message), 10418);
  EXPECT_THAT(message, HasSubstr("Stream block size = 0 is not allowed"));
}

TEST(FileStream, CreatesOpensAndReportsFailures) {
  testing::TempDir dir;
  std::string path = dir.File("data.bin");
  {
    TABSFileStream stream(path, TABSFileStream::kCreateMode);
    std::vector<uint8_t> data = Sequence(1000);
    ExactWrite(data.data(), 1000, stream, 1);
    stream.SetSize(600);
    EXPECT_EQ(stream.Position(), 600);
    EXPECT_EQ(stream.Size(), 600);
    stream.SetPosition(100);
    stream.SetSize(800);
    EXPECT_EQ(stream.Position(), 100);
  }
  {
    TABSFileStream stream(path, 0 /* read, compatible sharing */);
    EXPECT_EQ(stream.Size(), 800);
    std::vector<uint8_t> back(10);
    stream.SetPosition(599);
    EXPECT_EQ(stream.Read(back.data(), 10), 10);
    EXPECT_EQ(back[0], Sequence(1000)[599]);
    EXPECT_EQ(back[1], 0);
  }
  std::string message;
  EXPECT_EQ(CodeOf([&] { TABSFileStream(dir.File("missing"), 2); }, &message), 10105);
  EXPECT_THAT(message, HasSubstr("Cannot open file. FileName = " + dir.File("missing") + ", Mode = 2"));
  EXPECT_EQ(CodeOf([&] { TABSFileStream(dir.File("no/such/dir/x"), TABSFileStream::kCreateMode); }, &message),
            10104);
  EXPECT_THAT(message, HasSubstr("Cannot create file. FileName = "));
}

TEST(FileStream, TemporaryFileIsGoneAfterClosing) {
  testing::TempDir dir;
  std::string path = dir.File("temp.bin");
  {
    TABSFileStream stream(path, TABSFileStream::kCreateMode, true);
    ExactWrite("abc", 3, stream, 1);
    stream.SetPosition(0);
    char back[3];
    ExactRead(back, 3, stream, 1);
    EXPECT_EQ(std::string(back, 3), "abc");
  }
  EXPECT_FALSE(platform::FileSystem::Default().Exists(path));
}

TEST(TemporaryStream, StaysInMemoryUpToTheLimitAndThenMovesToAFile) {
  CountingFileSystem fs;
  TABSTemporaryStream stream(false, &fs);
  std::vector<uint8_t> data = Sequence(TABSTemporaryStream::kMemoryLimit);
  ExactWrite(data.data(), static_cast<int64_t>(data.size()), stream, 1);
  EXPECT_TRUE(stream.InMemory());
  // The size, not the position, decides: a rewrite inside the content still counts its length.
  stream.SetPosition(10);
  ExactWrite("x", 1, stream, 1);
  EXPECT_FALSE(stream.InMemory());
  EXPECT_EQ(fs.temporaries, 1);
  EXPECT_EQ(stream.Position(), 11);
  EXPECT_EQ(stream.Size(), TABSTemporaryStream::kMemoryLimit);
  stream.SetPosition(0);
  std::vector<uint8_t> back(data.size());
  ExactRead(back.data(), static_cast<int64_t>(back.size()), stream, 1);
  data[10] = 'x';
  EXPECT_EQ(back, data);
}

TEST(TemporaryStream, NeverUsesFilesWhenDisabled) {
  CountingFileSystem fs;
  TABSTemporaryStream stream(true, &fs);
  std::vector<uint8_t> data = Sequence(TABSTemporaryStream::kMemoryLimit + 4096);
  ExactWrite(data.data(), static_cast<int64_t>(data.size()), stream, 1);
  EXPECT_TRUE(stream.InMemory());
  EXPECT_EQ(fs.temporaries, 0);
  EXPECT_EQ(stream.Size(), static_cast<int64_t>(data.size()));
}

TEST(TemporaryStream, FailingTemporaryFileRaisesAndKeepsTheContent) {
  CountingFileSystem fs;
  fs.refuseTemporary = true;
  TABSTemporaryStream stream(false, &fs);
  std::vector<uint8_t> data = Sequence(TABSTemporaryStream::kMemoryLimit);
  ExactWrite(data.data(), static_cast<int64_t>(data.size()), stream, 1);
  std::string message;
  EXPECT_EQ(CodeOf([&] { stream.Write("y", 1); }, &message), 10108);
  EXPECT_THAT(message, HasSubstr("Cannot create file"));
  EXPECT_TRUE(stream.InMemory());
  EXPECT_EQ(stream.Size(), TABSTemporaryStream::kMemoryLimit);
}

}  // namespace
}  // namespace viz
