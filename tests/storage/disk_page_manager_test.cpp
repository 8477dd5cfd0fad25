#include "engine/storage/disk_page_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "engine/storage/free_space_manager.h"
#include "engine/types/errors.h"
#include "storage/storage_test_util.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using namespace file_format;
using testing::CreateDatabase;
using testing::ErrorOf;
using ::testing::HasSubstr;
using testing::TempDir;

struct OpenResult {
  bool multiUser = true;
  bool repairNeeded = false;
  bool readOnly = false;
};

OpenResult Open(TABSDiskPageManager& manager, const std::string& path, const TABSPassword& password = {},
                bool multiUser = true, bool exclusive = false, bool readOnly = false) {
  OpenResult result{multiUser, false, readOnly};
  manager.OpenDatabaseFile(path, password, result.multiUser, exclusive, result.repairNeeded, result.readOnly);
  return result;
}

TEST(DiskPageManagerTest, NewFileHasThe380BytePrefixFieldByField) {
  TempDir dir;
  std::string path = dir.File("new.db");
  CreateDatabase(path, {}, 16, 8192);
  std::vector<uint8_t> bytes = testing::ReadAllBytes(path);
  ASSERT_EQ(bytes.size(), 380u);
  const uint8_t* b = bytes.data();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b), 16), "VIZ0LUTEDATABASE");
  EXPECT_EQ(GetU16(b + 16), 76);
  EXPECT_EQ(GetDouble(b + 18), 4.89);
  EXPECT_EQ(GetU16(b + 26), 8192);
  EXPECT_EQ(GetU16(b + 28), 16);
  EXPECT_EQ(GetI32(b + 30), 0);
  EXPECT_EQ(GetI32(b + 34), -1);
  EXPECT_EQ(GetI32(b + 38), 0);
  EXPECT_EQ(b[42], 2);
  EXPECT_EQ(b[43], 0);
  for (int at = 44; at < 76; ++at) EXPECT_EQ(b[at], 0) << at;
  // Check block of a plain database: size, type 0, zero check bytes, CRC 0.
  EXPECT_EQ(GetU16(b + 76), 280);
  for (int at = 78; at < 356; ++at) ASSERT_EQ(b[at], 0) << at;
  // Lock area and object-id counter.
  EXPECT_EQ(GetU16(b + 356), 20);
  for (int at = 358; at < 380; ++at) EXPECT_EQ(b[at], 0) << at;
}

TEST(DiskPageManagerTest, EncryptedFileMarksHeaderAndCheckBlock) {
  TempDir dir;
  std::string path = dir.File("enc.db");
  CreateDatabase(path, {"secret", 5});
  std::vector<uint8_t> bytes = testing::ReadAllBytes(path);
  EXPECT_EQ(bytes[43], 255);
  EXPECT_EQ(bytes[78], 5);
  EXPECT_EQ(bytes[79], 0);
  int nonZero = 0;
  for (int at = 80; at < 336; ++at) nonZero += bytes[at] != 0;
  EXPECT_GT(nonZero, 200);
  for (int at = 340; at < 356; ++at) EXPECT_EQ(bytes[at], 0);
}

TEST(DiskPageManagerTest, OpenReadsTheHeaderAndOffsets) {
  TempDir dir;
  std::string path = dir.File("o.db");
  CreateDatabase(path, {}, 8, 1024);
  TABSDiskPageManager manager;
  OpenResult result = Open(manager, path);
  EXPECT_TRUE(result.multiUser);
  EXPECT_FALSE(result.repairNeeded);
  EXPECT_FALSE(result.readOnly);
  EXPECT_EQ(manager.PageSize(), 1024);
  EXPECT_EQ(manager.PageDataSize(), 984);
  EXPECT_EQ(manager.PageOffset(0), 380);
  EXPECT_EQ(manager.PageOffset(3), 380 + 3 * 1024);
  EXPECT_EQ(ErrorOf([&] { manager.PageOffset(-1); }).second, "Invalid PageNo = -1 - Native error: 10471");
  EXPECT_EQ(ErrorOf([&] { Open(manager, path); }).first, 10462);
  manager.CloseDatabaseFile();
  EXPECT_EQ(ErrorOf([&] { manager.ReadHeader(); }).second,
            "Error - database file is not opened. - Native error: 10459");
  EXPECT_EQ(ErrorOf([&] { manager.WriteHeader(); }).first, 10460);
  EXPECT_EQ(ErrorOf([&] { manager.GetNextObjectID(); }).first, 30399);
}

TEST(DiskPageManagerTest, DatabaseAppendedToAnotherFileOpensAtItsBase) {
  TempDir dir;
  std::string path = dir.File("appended.db");
  {
    TABSDiskPageManager manager;
    manager.CreateDatabaseFile(path, {});
    manager.AllocatePageNumber();
    manager.GetNextObjectID();
    manager.CloseDatabaseFile();
  }
  std::vector<uint8_t> database = testing::ReadAllBytes(path);
  std::vector<uint8_t> combined(12345 + database.size(), 0x5A);
  std::memcpy(combined.data() + 12345, database.data(), database.size());
  testing::WriteAllBytes(path, combined);

  TABSDiskPageManager manager;
  Open(manager, path);
  EXPECT_EQ(manager.BaseOffset(), 12345);
  EXPECT_EQ(manager.PageOffset(2), 12345 + 380 + 2 * 4096);
  EXPECT_EQ(manager.Header().totalPageCount, 6);
  EXPECT_EQ(manager.GetNextObjectID(), 2);
  EXPECT_EQ(manager.AllocatePageNumber(), 3);
  std::vector<uint8_t> counter = testing::ReadBytesAt(path, 12345 + 376, 4);
  EXPECT_EQ(GetI32(counter.data()), 2);
  std::vector<uint8_t> header = testing::ReadBytesAt(path, 12345, 76);
  EXPECT_EQ(GetI32(header.data() + 34), 3);
  EXPECT_EQ(testing::ReadBytesAt(path, 0, 4), std::vector<uint8_t>(4, 0x5A));
}

TEST(DiskPageManagerTest, FileWithoutSignatureIsRefused) {
  TempDir dir;
  std::string path = dir.File("junk.db");
  std::string text = "NOT A DATABASE AT ALL, JUST TEXT THAT GOES ON AND ON";
  testing::WriteAllBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
  TABSDiskPageManager manager;
  EXPECT_EQ(ErrorOf([&] { Open(manager, path); }).second,
            "Invalid file format. Found signature: 'NOT A DATABASE A', expected: 'VIZ0LUTEDATABASE' - "
            "Native error: 10470");
}

TEST(DiskPageManagerTest, InterruptedCommitOrOldVersionNeedsRepair) {
  TempDir dir;
  std::string path = dir.File("r.db");
  CreateDatabase(path);
  testing::WriteBytesAt(path, 42, {1});
  {
    TABSDiskPageManager manager;
    EXPECT_TRUE(Open(manager, path).repairNeeded);
  }
  testing::WriteBytesAt(path, 42, {2});
  std::vector<uint8_t> version(8);
  PutDouble(version.data(), 2.5);
  testing::WriteBytesAt(path, 18, version);
  TABSDiskPageManager manager;
  EXPECT_TRUE(Open(manager, path).repairNeeded);
}

TEST(DiskPageManagerTest, DamagedPrefixIsAnInvalidFormat) {
  TempDir dir;
  std::string path = dir.File("bad.db");
  CreateDatabase(path);
  std::vector<uint8_t> size(2);
  PutU16(size.data(), 100);
  testing::WriteBytesAt(path, 76, size);
  TABSDiskPageManager manager;
  EXPECT_EQ(ErrorOf([&] { Open(manager, path); }).second, "Invalid database format - Native error: 20237");
  manager.CloseDatabaseFile();
  // A page size that leaves no data area would break every page computation.
  PutU16(size.data(), 280);
  testing::WriteBytesAt(path, 76, size);
  PutU16(size.data(), 40);
  testing::WriteBytesAt(path, 26, size);
  EXPECT_EQ(ErrorOf([&] { Open(manager, path); }).first, 20237);
}

TEST(DiskPageManagerTest, ReadOnlyFileOpensReadOnlyAndSingleUser) {
  TempDir dir;
  std::string path = dir.File("ro.db");
  CreateDatabase(path);
  chmod(path.c_str(), 0444);
  TABSDiskPageManager manager;
  OpenResult result = Open(manager, path, {}, true);
  EXPECT_TRUE(result.readOnly);
  EXPECT_FALSE(result.multiUser);
  EXPECT_TRUE(manager.IsReadOnly());
  // Ids of a read-only file are not stored and carry a random offset.
  std::vector<uint8_t> before = testing::ReadAllBytes(path);
  int32_t first = manager.GetNextObjectID();
  int32_t second = manager.GetNextObjectID();
  EXPECT_GE(first, 1);
  EXPECT_LT(first, 10001);
  EXPECT_GE(second, 1);
  EXPECT_EQ(testing::ReadAllBytes(path), before);
  manager.CloseDatabaseFile();
  // Creating over the read-only file replaces it.
  CreateDatabase(path);
  EXPECT_FALSE(platform::FileSystem::Default().IsReadOnly(path));
}

TEST(DiskPageManagerTest, ExclusiveOpenClearsMultiUserAndKeepsOthersOut) {
  TempDir dir;
  std::string path = dir.File("ex.db");
  CreateDatabase(path);
  TABSDiskPageManager manager;
  OpenResult result = Open(manager, path, {}, true, true);
  EXPECT_FALSE(result.multiUser);
  EXPECT_TRUE(manager.IsExclusive());
  TABSDiskPageManager other;
  EXPECT_EQ(ErrorOf([&] { Open(other, path, {}, true, false, true); }).first, 30364);
}

TEST(DiskPageManagerTest, NextObjectIdCountsUpInTheFile) {
  TempDir dir;
  std::string path = dir.File("id.db");
  CreateDatabase(path);
  TABSDiskPageManager manager;
  Open(manager, path);
  EXPECT_EQ(manager.GetNextObjectID(), 1);
  EXPECT_EQ(manager.GetNextObjectID(), 2);
  EXPECT_EQ(GetI32(testing::ReadBytesAt(path, 376, 4).data()), 2);
  ASSERT_TRUE(manager.File().LockByte(1, 376));
  manager.SetLockRetryPolicy(3, 1);
  EXPECT_EQ(ErrorOf([&] { manager.GetNextObjectID(); }).second,
            "Cannot get NextObjectID. File area is Locked. - Native error: 30401");
}

TEST(DiskPageManagerTest, PagePartsAreBoundedByThePageSize) {
  TempDir dir;
  std::string path = dir.File("part.db");
  CreateDatabase(path);
  TABSDiskPageManager manager;
  Open(manager, path);
  manager.AllocatePageNumber();
  manager.WritePagePart("xyz", 2, 3, 4093);
  char buffer[3];
  manager.ReadPagePart(buffer, 2, 3, 4093);
  EXPECT_EQ(std::string(buffer, 3), "xyz");
  EXPECT_EQ(testing::ReadBytesAt(path, 380 + 2 * 4096 + 4093, 3), (std::vector<uint8_t>{'x', 'y', 'z'}));
  EXPECT_EQ(ErrorOf([&] { manager.ReadPagePart(buffer, 2, 3, 4094); }).second,
            "Error - invalid page offset = 4097, page size = 4096 - Native error: 10476");
  EXPECT_EQ(ErrorOf([&] { manager.WritePagePart(buffer, 2, 2, 4095); }).first, 10477);

  manager.WritePageUpdateCounter(2, 4242);
  EXPECT_EQ(manager.ReadPageUpdateCounter(2), 4242);
  EXPECT_EQ(manager.ReadPageUpdateCounter(500), 2147483647);
}

TEST(DiskPageManagerTest, HeaderLockIsReentrantAndBlocksOthers) {
  TempDir dir;
  std::string path = dir.File("hl.db");
  CreateDatabase(path);
  TABSDiskPageManager first;
  TABSDiskPageManager second;
  Open(first, path);
  Open(second, path);
  second.SetLockRetryPolicy(2, 1);
  ASSERT_TRUE(first.LockHeader());
  ASSERT_TRUE(first.LockHeader());
  EXPECT_TRUE(first.File().IsByteLocked(360));
  EXPECT_EQ(ErrorOf([&] { second.GetTotalPageCount(); }).second, "Database is locked - Native error: 20236");
  EXPECT_EQ(ErrorOf([&] { second.AllocatePageNumber(); }).first, 20231);
  EXPECT_TRUE(first.UnlockHeader());
  EXPECT_TRUE(first.File().IsByteLocked(360));
  EXPECT_TRUE(first.UnlockHeader());
  EXPECT_FALSE(first.File().IsByteLocked(360));
  EXPECT_EQ(second.GetTotalPageCount(), 0);

  EXPECT_TRUE(first.LockTableCatalog());
  EXPECT_FALSE(second.LockTableCatalog());
  EXPECT_TRUE(first.UnlockTableCatalog());
  EXPECT_TRUE(second.LockTableCatalog());

  EXPECT_TRUE(first.LockHeader());
  TABSDiskPageManager third;
  third.SetLockRetryPolicy(2, 1);
  bool multiUser = true, repair = false, readOnly = false;
  EXPECT_EQ(ErrorOf([&] { third.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly); }).first,
            20230);
}

TEST(DiskPageManagerTest, PageByteLocksSitInsideThePage) {
  TempDir dir;
  std::string path = dir.File("pl.db");
  CreateDatabase(path);
  TABSDiskPageManager manager;
  Open(manager, path);
  manager.AllocatePageNumber();
  EXPECT_TRUE(manager.LockPageByte(2, 100));
  EXPECT_TRUE(manager.File().IsByteLocked(380 + 2 * 4096 + 100));
  EXPECT_TRUE(manager.IsPageByteLocked(2, 100));
  EXPECT_TRUE(manager.IsPageRegionLocked(2, 90, 20));
  EXPECT_FALSE(manager.IsPageRegionLocked(2, 101, 20));
  EXPECT_TRUE(manager.UnlockPageByte(2, 100));
  EXPECT_FALSE(manager.IsPageByteLocked(2, 100));
}

TEST(DiskPageManagerTest, ExtendAndTruncateMoveTheFileEnd) {
  TempDir dir;
  std::string path = dir.File("et.db");
  CreateDatabase(path, {}, 8, 1024);
  TABSDiskPageManager manager;
  Open(manager, path);
  manager.ExtendFile(10);
  EXPECT_EQ(testing::FileSize(path), 380 + 10 * 1024);
  EXPECT_EQ(manager.Header().totalPageCount, 10);
  manager.TruncateFile(0);
  manager.TruncateFile(11);
  EXPECT_EQ(manager.Header().totalPageCount, 10);
  manager.TruncateFile(4);
  EXPECT_EQ(testing::FileSize(path), 380 + 6 * 1024);
  EXPECT_EQ(GetI32(testing::ReadBytesAt(path, 30, 4).data()), 6);
  manager.MutableHeader().lastUsedPageNo = 2;
  manager.TruncateTrailingFreePages();
  EXPECT_EQ(manager.Header().totalPageCount, 3);
  EXPECT_EQ(testing::FileSize(path), 380 + 3 * 1024);
}

TEST(DiskPageManagerTest, TransientModeRefusesHeaderOverAnExternalUnfinishedCommit) {
  TempDir dir;
  std::string path = dir.File("tr.db");
  CreateDatabase(path);
  TABSDatabaseFile::SetTransientOpenMode(true);
  struct Reset {
    ~Reset() { TABSDatabaseFile::SetTransientOpenMode(false); }
  } reset;
  TABSDiskPageManager manager;
  Open(manager, path);
  manager.WriteHeader();
  std::vector<uint8_t> change(4);
  PutI32(change.data(), 7);
  testing::WriteBytesAt(path, 38, change);
  testing::WriteBytesAt(path, 42, {1});
  EXPECT_EQ(ErrorOf([&] { manager.WriteHeader(); }).second,
            "Cannot write changes. Database file was modified by external application - Native error: 20196");
}

TEST(DiskPageManagerTest, PageTypeNames) {
  EXPECT_EQ(PageTypeName(0), "Unknown Page");
  EXPECT_EQ(PageTypeName(3), "PFS Page");
  EXPECT_EQ(PageTypeName(12), "TableIndex Page");
  EXPECT_EQ(ErrorOf([] { PageTypeName(13); }).second, "Unknown Page Type: (13) - Native error: 30382");
}

}  // namespace
}  // namespace viz
