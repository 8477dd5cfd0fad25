#include "engine/storage/database_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "engine/types/errors.h"
#include "storage/fault_file_system.h"
#include "storage/storage_test_util.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::ErrorOf;
using ::testing::HasSubstr;
using testing::TempDir;

TEST(DatabaseFileTest, OperationsCheckOpenAndClosedState) {
  TempDir dir;
  TABSDatabaseFile file;
  auto [code, message] = ErrorOf([&] { file.GetSize(); });
  EXPECT_EQ(code, 30376);
  EXPECT_THAT(message, HasSubstr("Cannot perform this operation (GetSize) on a closed file"));
  EXPECT_EQ(ErrorOf([&] { file.CreateFile(""); }).first, 30374);

  file.CreateFile(dir.File("a.db"));
  auto opened = ErrorOf([&] { file.OpenFile(dir.File("a.db"), 1, 1); });
  EXPECT_EQ(opened.first, 30377);
  EXPECT_THAT(opened.second, HasSubstr("Cannot perform this operation (OpenFile) on a opened file"));
  file.CloseFile();
  EXPECT_FALSE(file.IsOpened());
  EXPECT_EQ(ErrorOf([&] { file.CloseFile(); }).first, 30376);
}

TEST(DatabaseFileTest, OpenRejectsUnknownModesAndMissingFiles) {
  TempDir dir;
  TABSDatabaseFile file;
  EXPECT_EQ(ErrorOf([&] { file.OpenFile(dir.File("x"), 2, 0); }).second,
            "Unknown Access mode: '2' - Native error: 30366");
  EXPECT_EQ(ErrorOf([&] { file.OpenFile(dir.File("x"), 0, 3); }).second,
            "Unknown Share mode: '3' - Native error: 30367");
  auto [code, message] = ErrorOf([&] { file.OpenFile(dir.File("missing.db"), 1, 1); });
  EXPECT_EQ(code, 30364);
  EXPECT_THAT(message, HasSubstr("Cannot open file:'" + dir.File("missing.db") + "' Error code: 2."));
  EXPECT_FALSE(file.IsOpened());
}

TEST(DatabaseFileTest, CreateReplacesAReadOnlyFile) {
  TempDir dir;
  std::string path = dir.File("ro.db");
  testing::WriteAllBytes(path, std::vector<uint8_t>(100, 7));
  chmod(path.c_str(), 0444);
  TABSDatabaseFile file;
  file.CreateFile(path);
  EXPECT_EQ(file.GetSize(), 0);
  file.CloseFile();
  EXPECT_FALSE(platform::FileSystem::Default().IsReadOnly(path));
}

TEST(DatabaseFileTest, PositionedReadWriteSizeAndShortReads) {
  TempDir dir;
  TABSDatabaseFile file;
  file.CreateFile(dir.File("rw.db"));
  file.WriteBuffer("hello", 1, 10, 5);
  EXPECT_EQ(file.GetSize(), 15);
  EXPECT_EQ(file.GetPosition(), 15);
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(file.ReadBuffer(buffer, 1, 12, 8), 3);
  EXPECT_EQ(std::string(buffer, 8), std::string("llo\0\0\0\0\0", 8));
  file.SetSize(4096);
  EXPECT_EQ(file.GetSize(), 4096);
  file.SetSize(11);
  EXPECT_EQ(file.GetSize(), 11);
  EXPECT_FALSE(file.Seek(-1));
  auto [code, message] = ErrorOf([&] { file.SetPosition(-5); });
  EXPECT_EQ(code, 30372);
  EXPECT_THAT(message, HasSubstr("Cannot Set File Position to -5. FileName='" + dir.File("rw.db")));
  file.FlushFileBuffers();
}

TEST(DatabaseFileTest, FailedReadIsRetriedOnceThenReported) {
  TempDir dir;
  testing::FaultFileSystem fs;
  TABSDatabaseFile file(&fs);
  file.CreateFile(dir.File("f.db"));
  file.WriteBuffer("abcdef", 1, 0, 6);
  char buffer[6];
  fs.failingReads = 1;
  EXPECT_EQ(file.ReadBuffer(buffer, 777, 0, 6), 6);
  EXPECT_EQ(std::string(buffer, 6), "abcdef");

  fs.failingReads = 2;
  auto [code, message] = ErrorOf([&] { file.ReadBuffer(buffer, 777, 2, 4); });
  EXPECT_EQ(code, 777);
  EXPECT_THAT(message, HasSubstr("Cannot Read from file: '" + dir.File("f.db") +
                                 "' Position = 2, Count = 4, FilePosition = 2, FileSize = 6, ErrorCode:5. "
                                 "ErrorMessage: Input/output error"));
  fs.failWrites = true;
  auto written = ErrorOf([&] { file.WriteBuffer(buffer, 778, 1, 2); });
  EXPECT_EQ(written.first, 778);
  EXPECT_THAT(written.second, HasSubstr("Cannot Write to file: '"));
  EXPECT_THAT(written.second, HasSubstr("ErrorCode:28. ErrorMessage: No space left on device"));
}

TEST(DatabaseFileTest, ByteLocksAreExclusiveEvenForTheSameHandle) {
  TempDir dir;
  TABSDatabaseFile file;
  file.CreateFile(dir.File("l.db"));
  EXPECT_FALSE(file.IsByteLocked(360));
  EXPECT_TRUE(file.LockByte(1, 360));
  EXPECT_FALSE(file.LockByte(1, 360));
  EXPECT_TRUE(file.IsByteLocked(360));
  EXPECT_TRUE(file.IsRegionLocked(4, 358));
  EXPECT_FALSE(file.IsRegionLocked(2, 361));
  EXPECT_TRUE(file.UnlockByte(1, 360));
  EXPECT_FALSE(file.UnlockByte(1, 360));
  EXPECT_TRUE(file.LockByte(1, 360));
  EXPECT_FALSE(file.LockingUnsupported());
}

TEST(DatabaseFileTest, UnsupportedLockingLatchesToSuccess) {
  TempDir dir;
  testing::FaultFileSystem fs;
  fs.locksUnsupported = true;
  TABSDatabaseFile file(&fs);
  file.CreateFile(dir.File("n.db"));
  EXPECT_TRUE(file.LockByte(1, 360));
  EXPECT_TRUE(file.LockingUnsupported());
  EXPECT_TRUE(file.LockByte(1, 360));
  EXPECT_TRUE(file.UnlockByte(1, 360));
  EXPECT_FALSE(file.IsByteLocked(360));
}

VIZ_CHILD_ROLE(byte_holder) {
  TABSDatabaseFile file;
  file.OpenFile(args.at(0), 1, 1);
  std::string line;
  while (testing::ReadCommand(&line)) {
    if (line == "lock") testing::Reply(file.LockByte(1, 360) ? "locked" : "refused");
  }
  return 0;
}

TEST(DatabaseFileTest, LocksHeldByAnotherProcessAreRefusedUntilItEnds) {
  TempDir dir;
  std::string path = dir.File("p.db");
  {
    TABSDatabaseFile creator;
    creator.CreateFile(path);
    creator.CloseFile();
  }
  TABSDatabaseFile file;
  file.OpenFile(path, 1, 1);
  {
    testing::ChildProcess child("byte_holder", {path});
    ASSERT_EQ(child.Ask("lock"), "locked");
    EXPECT_FALSE(file.LockByte(1, 360));
    EXPECT_TRUE(file.IsByteLocked(360));
    child.Kill();
  }
  EXPECT_TRUE(file.LockByte(1, 360));
}

TEST(DatabaseFileTest, SignatureSearchFindsThePrefixAtAnyOffset) {
  TempDir dir;
  std::string signature = "VIZ0LUTEDATABASE";
  signature += std::string("\x4C\x00", 2);
  // Offsets at the start, inside a window, and at both edges of the 16-byte window overlap.
  for (int64_t base : {int64_t{0}, int64_t{5}, int64_t{9983}, int64_t{9984}, int64_t{9990}, int64_t{25000}}) {
    std::vector<uint8_t> bytes(static_cast<size_t>(base) + 500, 0xAB);
    std::memcpy(bytes.data() + base, signature.data(), signature.size());
    testing::WriteAllBytes(dir.File("s.db"), bytes);
    TABSDatabaseFile file;
    file.OpenFile(dir.File("s.db"), 0, 1);
    file.Seek(123);
    int64_t found = -1;
    EXPECT_TRUE(file.FindSignature(&found)) << base;
    EXPECT_EQ(found, base);
    EXPECT_EQ(file.GetPosition(), 123);
  }
  // The signature without the header size 76 after it does not count.
  std::vector<uint8_t> bytes(300, 0);
  std::memcpy(bytes.data() + 40, signature.data(), 16);
  testing::WriteAllBytes(dir.File("s.db"), bytes);
  TABSDatabaseFile file;
  file.OpenFile(dir.File("s.db"), 0, 1);
  int64_t found = -1;
  EXPECT_FALSE(file.FindSignature(&found));
  EXPECT_EQ(found, 0);
}

TEST(DatabaseFileTest, TransientModeKeepsTheFileClosedBetweenOperations) {
  TempDir dir;
  TABSDatabaseFile::SetTransientOpenMode(true);
  struct Reset {
    ~Reset() { TABSDatabaseFile::SetTransientOpenMode(false); }
  } reset;
  testing::FaultFileSystem fs;
  TABSDatabaseFile file(&fs);
  file.CreateFile(dir.File("t.db"));
  EXPECT_TRUE(file.IsOpened());
  file.WriteBuffer("data", 1, 0, 4);
  // Nobody holds the file between operations, so an exclusive open elsewhere succeeds.
  platform::OsError error;
  auto other = platform::FileSystem::Default().Open(dir.File("t.db"), platform::AccessMode::ReadWrite,
                                                    platform::ShareMode::None, &error);
  EXPECT_NE(other, nullptr);
  other.reset();
  char buffer[4];
  EXPECT_EQ(file.ReadBuffer(buffer, 1, 0, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "data");
  EXPECT_TRUE(file.UnlockByte(1, 500));
  file.CloseFile();
}

}  // namespace
}  // namespace viz
