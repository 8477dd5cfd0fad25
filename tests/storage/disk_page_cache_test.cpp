// The page cache and transactions over real database files: commits with their header bracket,
// private session changes, rollback, removal, map pages, the journal, and a second process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/storage/free_space_manager.h"
#include "engine/storage/rollback_journal.h"
#include "engine/types/errors.h"
#include "storage/fault_file_system.h"
#include "storage/storage_test_util.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::ChildProcess;
using testing::CodeOf;
using testing::FaultFileSystem;
using testing::OpenDatabase;
using testing::TempDir;

// Records, in order, what a commit does to the files: "create", "write", "flush" and "delete" with
// the file's name, "syncdir" with the directory. Directory sync number `failSyncAt` fails.
class RecordingFileSystem : public platform::FileSystemWrapper {
 public:
  std::vector<std::string> events;
  int failSyncAt = 0;

  std::unique_ptr<platform::File> Open(const std::string& path, platform::AccessMode access,
                                       platform::ShareMode share, platform::OsError* error) override {
    return Wrap(FileSystemWrapper::Open(path, access, share, error));
  }
  std::unique_ptr<platform::File> Create(const std::string& path, platform::OsError* error) override {
    events.push_back("create " + Name(path));
    return Wrap(FileSystemWrapper::Create(path, error));
  }
  bool Delete(const std::string& path) override {
    events.push_back("delete " + Name(path));
    return FileSystemWrapper::Delete(path);
  }
  bool SyncDirectory(const std::string& path) override {
    events.push_back("syncdir " + path);
    if (++syncs_ == failSyncAt) {
      error_ = {EIO, "injected failure"};
      return false;
    }
    return FileSystemWrapper::SyncDirectory(path);
  }
  platform::OsError LastError() const override {
    return error_.code ? error_ : FileSystemWrapper::LastError();
  }

  //! Index of the first event equal to `event` at or after `from`, or -1.
  int Find(const std::string& event, int from = 0) const {
    auto at = std::find(events.begin() + from, events.end(), event);
    return at == events.end() ? -1 : static_cast<int>(at - events.begin());
  }
  int Count(const std::string& event) const {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
  }

 private:
  class RecordingFile : public platform::FileWrapper {
   public:
    RecordingFile(std::unique_ptr<platform::File> target, RecordingFileSystem& owner)
        : FileWrapper(std::move(target)), owner_(owner) {}
    int64_t WriteAt(const void* buffer, int64_t count, int64_t position) override {
      owner_.events.push_back("write " + Name(Path()));
      return FileWrapper::WriteAt(buffer, count, position);
    }
    bool Flush() override {
      owner_.events.push_back("flush " + Name(Path()));
      return FileWrapper::Flush();
    }

   private:
    RecordingFileSystem& owner_;
  };

  static std::string Name(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }
  std::unique_ptr<platform::File> Wrap(std::unique_ptr<platform::File> file) {
    if (!file) return nullptr;
    return std::make_unique<RecordingFile>(std::move(file), *this);
  }

  int syncs_ = 0;
  platform::OsError error_;
};

class DiskPageCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("cache.vdb");
    testing::CreateDatabase(path_);
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(DiskPageCacheTest, CommitWritesPagesInsideTheStateBracketAndAdvancesTheCounter) {
  std::vector<int32_t> pages;
  {
    OpenDatabase db(path_);
    pages = testing::AddPages(db.manager, 1, 3, 0x5A);
    EXPECT_EQ(pages, (std::vector<int32_t>{2, 3, 4}));
    EXPECT_EQ(testing::ChangeCounterOnDisk(path_), 0);
    db.manager.Commit(1);
    EXPECT_EQ(testing::ChangeCounterOnDisk(path_), 1);
    EXPECT_EQ(testing::StateOnDisk(path_), 2);
    EXPECT_FALSE(platform::FileSystem::Default().Exists(JournalFileName(path_)));
    EXPECT_EQ(db.manager.CachedPageCount(), 3);
  }
  OpenDatabase again(path_);
  EXPECT_FALSE(again.repairNeeded);
  for (int32_t pageNo : pages) EXPECT_EQ(testing::PageValue(again.manager, 1, pageNo), 0x5A);
  // The page header on disk carries its type and a counter that moved on by the write.
  std::vector<uint8_t> header = testing::ReadBytesAt(path_, again.manager.PageOffset(2), 12);
  EXPECT_EQ(std::memcmp(header.data(), "ABSP", 4), 0);
  EXPECT_EQ(header[8], ptTableRecord);
}

TEST_F(DiskPageCacheTest, ASessionWithoutChangesCommitsNothing) {
  {
    OpenDatabase db(path_);
    testing::AddPages(db.manager, 1, 2, 1);
    db.manager.Commit(1);
  }
  const std::vector<uint8_t> before = testing::ReadAllBytes(path_);
  OpenDatabase db(path_);
  EXPECT_EQ(testing::PageValue(db.manager, 4, 2), 1);
  db.manager.Commit(4);
  db.manager.Commit(9);  // a session never seen
  EXPECT_EQ(testing::ReadAllBytes(path_), before);
}

TEST_F(DiskPageCacheTest, ChangesOfOneSessionAreInvisibleToAnotherUntilCommit) {
  OpenDatabase db(path_);
  testing::AddPages(db.manager, 1, 1, 10);
  db.manager.Commit(1);
  testing::FillPage(db.manager, 1, 2, 11);
  EXPECT_EQ(testing::PageValue(db.manager, 1, 2), 11);
  EXPECT_EQ(testing::PageValue(db.manager, 2, 2), 10);
  db.manager.Commit(1);
  EXPECT_EQ(testing::PageValue(db.manager, 2, 2), 11);
}

TEST_F(DiskPageCacheTest, CommitWithAHeldPageRaisesAndLeavesTheFileAlone) {
  OpenDatabase db(path_);
  testing::AddPages(db.manager, 1, 2, 3);
  db.manager.Commit(1);
  testing::FillPage(db.manager, 1, 3, 4);
  TABSPage* held = db.manager.GetPage(1, 2);
  const std::vector<uint8_t> before = testing::ReadAllBytes(path_);
  try {
    db.manager.Commit(1);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Some session pages are not released - Native error: 20152");
  }
  EXPECT_EQ(testing::ReadAllBytes(path_), before);
  db.manager.ReleasePage(held);
  db.manager.Commit(1);
  EXPECT_EQ(testing::PageValue(db.manager, 2, 3), 4);

  // A session that changed nothing commits nothing, even while it still reads a page.
  held = db.manager.GetPage(2, 2);
  const std::vector<uint8_t> unchanged = testing::ReadAllBytes(path_);
  EXPECT_NO_THROW(db.manager.Commit(2));
  EXPECT_EQ(testing::ReadAllBytes(path_), unchanged);
  db.manager.ReleasePage(held);
}

TEST_F(DiskPageCacheTest, RollbackReturnsNewPagesToTheFreeSpace) {
  OpenDatabase db(path_);
  std::vector<int32_t> pages = testing::AddPages(db.manager, 1, 3, 7);
  TABSDatabaseFreeSpaceManager& freeSpace = *db.manager.FreeSpaceManager();
  for (int32_t pageNo : pages) EXPECT_TRUE(freeSpace.IsPageUsed(pageNo));  // allocation is durable at once
  db.manager.Rollback(1);
  for (int32_t pageNo : pages) EXPECT_FALSE(freeSpace.IsPageUsed(pageNo));
  EXPECT_EQ(testing::ChangeCounterOnDisk(path_), 0);
  EXPECT_EQ(testing::AddPages(db.manager, 1, 1, 7), (std::vector<int32_t>{2}));
}

TEST_F(DiskPageCacheTest, RemovedPagesAreFreedAtCommitOnly) {
  OpenDatabase db(path_);
  testing::AddPages(db.manager, 1, 3, 1);
  db.manager.Commit(1);
  TABSDatabaseFreeSpaceManager& freeSpace = *db.manager.FreeSpaceManager();
  db.manager.RemovePage(1, 3);
  EXPECT_TRUE(freeSpace.IsPageUsed(3));
  db.manager.Rollback(1);
  EXPECT_TRUE(freeSpace.IsPageUsed(3));
  EXPECT_EQ(testing::PageValue(db.manager, 1, 3), 1);

  testing::FillPage(db.manager, 1, 3, 2);  // a changed page that is removed is not written
  db.manager.RemovePage(1, 3);
  db.manager.Commit(1);
  EXPECT_FALSE(freeSpace.IsPageUsed(3));
  EXPECT_FALSE(db.manager.IsCached(3));
  EXPECT_EQ(db.manager.ReadPageUpdateCounter(3), 2147483647);
  EXPECT_EQ(testing::ChangeCounterOnDisk(path_), 2);
  // The freed page is handed out again.
  EXPECT_EQ(testing::AddPages(db.manager, 1, 1, 9), (std::vector<int32_t>{3}));
}

TEST_F(DiskPageCacheTest, MapPagesNeverEnterTheCache) {
  OpenDatabase db(path_);
  testing::AddPages(db.manager, 1, 1, 1);
  db.manager.Commit(1);
  EXPECT_EQ(CodeOf([&] { db.manager.GetPage(1, 0); }), 30434);
  EXPECT_EQ(CodeOf([&] { db.manager.GetPage(1, 1, ptEAM); }), 30434);
  EXPECT_EQ(CodeOf([&] { db.manager.RemovePage(1, 1); }), 30434);
  EXPECT_EQ(CodeOf([&] { db.manager.GetPage(kInvalidSession, 2); }), 20186);
}

TEST_F(DiskPageCacheTest, StoredPageTypeIsChecked) {
  {
    OpenDatabase db(path_);
    TABSPage* page = db.manager.AddPage(kSystemSession, ptFileSystemDirectory);
    db.manager.ReleasePage(page);
    db.manager.Commit(kSystemSession);
  }
  OpenDatabase db(path_);
  EXPECT_EQ(CodeOf([&] { db.manager.GetPage(1, 2, ptTableIndex); }), 20153);
  TABSPage* page = db.manager.GetPage(1, 2, ptFileSystemDirectory);
  db.manager.ReleasePage(page);
  db.manager.ReleasePage(db.manager.GetPage(1, 2, kAnyPageType));
}

TEST_F(DiskPageCacheTest, CacheKeepsCapacityPagesAfterALargerCommit) {
  OpenDatabase db(path_);
  db.manager.SetCacheCapacity(4);
  testing::AddPages(db.manager, 1, 10, 6);
  db.manager.Commit(1);
  EXPECT_EQ(db.manager.CachedPageCount(), 4);
  for (int32_t pageNo = 2; pageNo < 12; ++pageNo) EXPECT_EQ(testing::PageValue(db.manager, 2, pageNo), 6);
  EXPECT_EQ(db.manager.CachedPageCount(), 4);
}

TEST_F(DiskPageCacheTest, CommitWhileTheHeaderIsLockedFailsWithoutWriting) {
  OpenDatabase db(path_);
  testing::AddPages(db.manager, 1, 1, 1);
  db.manager.Commit(1);
  testing::FillPage(db.manager, 1, 2, 2);
  OpenDatabase other(path_);
  ASSERT_TRUE(other.manager.LockHeader());
  db.manager.SetLockRetryPolicy(3, 1);
  const std::vector<uint8_t> before = testing::ReadAllBytes(path_);
  try {
    db.manager.Commit(1);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Database is locked - Native error: 20213");
  }
  EXPECT_EQ(testing::ReadAllBytes(path_), before);
  other.manager.UnlockHeader();
  db.manager.Commit(1);
  EXPECT_EQ(testing::PageValue(other.manager, 5, 2), 2);
}

TEST_F(DiskPageCacheTest, EncipheredPagesRoundTripThroughCommitAndReopen) {
  const std::string path = dir_.File("secret.vdb");
  const TABSPassword password{"lyrics", 1};
  testing::CreateDatabase(path, password);
  {
    OpenDatabase db(path, true, nullptr, password);
    testing::AddPages(db.manager, 1, 2, 0x33);
    db.manager.Commit(1, true);
    testing::FillPage(db.manager, 1, 3, 0x44);
    db.manager.Commit(1, true);
  }
  // The data area is not in the file in plain text.
  std::vector<uint8_t> raw = testing::ReadBytesAt(path, 380 + 2 * 4096 + 40, 64);
  EXPECT_NE(raw, std::vector<uint8_t>(64, 0x33));
  OpenDatabase db(path, true, nullptr, password);
  EXPECT_EQ(testing::PageValue(db.manager, 1, 2), 0x33);
  EXPECT_EQ(testing::PageValue(db.manager, 1, 3), 0x44);
}

// A journal left by a commit that died after its in-place writes is played back at the next open.
TEST_F(DiskPageCacheTest, OpenPlaysBackTheJournalOfAnInterruptedCommit) {
  {
    OpenDatabase db(path_);
    testing::AddPages(db.manager, 1, 3, 1);
    db.manager.Commit(1);
  }
  const std::vector<uint8_t> before = testing::ReadAllBytes(path_);
  FaultFileSystem faulty;
  {
    OpenDatabase db(path_, true, &faulty);
    testing::FillPage(db.manager, 1, 2, 8);
    testing::FillPage(db.manager, 1, 4, 8);
    // Writes of the commit: journal create, journal data with its seal, State 1, page 2; die at page 4.
    faulty.FailAtWrite(5);
    EXPECT_EQ(CodeOf([&] { db.manager.Commit(1); }), 10469);
    EXPECT_TRUE(faulty.Dead());
  }
  EXPECT_EQ(testing::StateOnDisk(path_), 1);
  EXPECT_NE(testing::ReadAllBytes(path_), before);
  ASSERT_TRUE(platform::FileSystem::Default().Exists(JournalFileName(path_)));

  {
    // A read-only opener cannot restore the file: it reports repair-needed and changes nothing.
    OpenDatabase reader(path_, true, nullptr, {}, true);
    EXPECT_TRUE(reader.readOnly);
    EXPECT_TRUE(reader.repairNeeded);
  }
  OpenDatabase db(path_);
  EXPECT_FALSE(db.repairNeeded);
  EXPECT_FALSE(platform::FileSystem::Default().Exists(JournalFileName(path_)));
  EXPECT_EQ(testing::ReadAllBytes(path_), before);
}

TEST_F(DiskPageCacheTest, AJournalForAnotherStateOfTheFileIsDroppedNotApplied) {
  {
    OpenDatabase db(path_);
    testing::AddPages(db.manager, 1, 2, 1);
    db.manager.Commit(1);
  }
  FaultFileSystem faulty;
  {
    OpenDatabase db(path_, true, &faulty);
    testing::FillPage(db.manager, 1, 2, 5);
    faulty.FailAtWrite(4);  // dies writing page 2, after the journal was sealed
    EXPECT_NE(CodeOf([&] { db.manager.Commit(1); }), 0);
  }
  const std::vector<uint8_t> journal = testing::ReadAllBytes(JournalFileName(path_));
  ASSERT_FALSE(journal.empty());
  {
    OpenDatabase db(path_);  // plays it back
    testing::FillPage(db.manager, 1, 2, 6);
    db.manager.Commit(1);
    testing::FillPage(db.manager, 1, 3, 7);
    db.manager.Commit(1);
  }
  testing::WriteAllBytes(JournalFileName(path_), journal);
  const std::vector<uint8_t> current = testing::ReadAllBytes(path_);
  OpenDatabase db(path_);
  EXPECT_FALSE(db.repairNeeded);
  EXPECT_FALSE(platform::FileSystem::Default().Exists(JournalFileName(path_)));
  EXPECT_EQ(testing::ReadAllBytes(path_), current);
  EXPECT_EQ(testing::PageValue(db.manager, 1, 2), 6);
}

TEST_F(DiskPageCacheTest, AFailedWriteIsUndoneAtOnceWhenTheFileStillWorks) {
  {
    OpenDatabase db(path_);
    testing::AddPages(db.manager, 1, 3, 1);
    db.manager.Commit(1);
  }
  // Journal create, data with its seal, State 1, then the pages: page 2 written and page 4 failing,
  // or pages 2 and 3 failing together (neighbours go out in one write).
  struct Case {
    int32_t second;
    int64_t failingWrite;
  };
  int value = 5;
  for (const Case& c : {Case{4, 5}, Case{3, 4}}) {
    const std::vector<uint8_t> before = testing::ReadAllBytes(path_);
    FaultFileSystem flaky;
    OpenDatabase db(path_, true, &flaky);
    testing::FillPage(db.manager, 1, 2, value);
    testing::FillPage(db.manager, 1, c.second, value);
    flaky.FailOnceAtWrite(c.failingWrite);
    EXPECT_EQ(CodeOf([&] { db.manager.Commit(1); }), 10469) << c.second;
    EXPECT_FALSE(platform::FileSystem::Default().Exists(JournalFileName(path_)));
    EXPECT_EQ(testing::ReadAllBytes(path_), before) << c.second;
    EXPECT_TRUE(db.manager.HasChanges(1));  // the changes wait for another attempt
    db.manager.Commit(1);
    EXPECT_EQ(testing::PageValue(db.manager, 2, 2), value);
    EXPECT_EQ(testing::PageValue(db.manager, 2, c.second), value);
    ++value;
  }
  testing::ExpectSoundWithNoLostPage(path_, "after the retried commits");
}

// With flush, the journal's name is synced in its directory before the database is overwritten,
// and its deletion after the commit; a commit without flush syncs no directory.
TEST_F(DiskPageCacheTest, AFlushedCommitSyncsTheJournalsDirectoryAfterCreatingAndDeletingIt) {
  RecordingFileSystem recording;
  OpenDatabase db(path_, true, &recording);
  const std::string syncDir = "syncdir " + dir_.Path();
  testing::AddPages(db.manager, 1, 2, 1);
  recording.events.clear();
  db.manager.Commit(1, false);
  EXPECT_GE(recording.Find("create cache.vdb-journal"), 0);
  EXPECT_GE(recording.Find("delete cache.vdb-journal"), 0);
  EXPECT_EQ(recording.Count("flush cache.vdb-journal"), 0);
  EXPECT_EQ(recording.Count(syncDir), 0);

  for (bool byDefault : {false, true}) {
    SCOPED_TRACE(byDefault ? "flush on commit" : "commit with flush");
    testing::FillPage(db.manager, 1, 2, byDefault ? 3 : 2);
    recording.events.clear();
    if (byDefault) {
      db.manager.SetFlushOnCommit(true);
      db.manager.Commit(1);
    } else {
      db.manager.Commit(1, true);
    }
    ASSERT_EQ(recording.Count(syncDir), 2);
    const int created = recording.Find("create cache.vdb-journal");
    const int sealed = recording.Find("flush cache.vdb-journal");
    const int firstSync = recording.Find(syncDir);
    const int firstInPlace = recording.Find("write cache.vdb");
    const int deleted = recording.Find("delete cache.vdb-journal");
    const int secondSync = recording.Find(syncDir, firstSync + 1);
    EXPECT_LT(created, sealed);
    EXPECT_LT(sealed, firstSync);
    EXPECT_LT(firstSync, firstInPlace);
    EXPECT_GT(recording.Find("flush cache.vdb", firstInPlace), firstInPlace);
    EXPECT_LT(recording.Find("flush cache.vdb", firstInPlace), deleted);
    EXPECT_LT(deleted, secondSync);
  }
}

TEST_F(DiskPageCacheTest, AFailedDirectorySyncIsReported) {
  {
    OpenDatabase db(path_);
    testing::AddPages(db.manager, 1, 2, 1);
    db.manager.Commit(1);
  }
  const std::vector<uint8_t> before = testing::ReadAllBytes(path_);
  RecordingFileSystem recording;
  OpenDatabase db(path_, true, &recording);
  auto message = [&] {
    try {
      db.manager.Commit(1, true);
    } catch (const EABSException& error) {
      EXPECT_EQ(error.NativeErrorCode(), 20303);
      return error.Message();
    }
    return std::string();
  };

  // Before the database is touched: nothing is written, the changes wait for another attempt.
  testing::FillPage(db.manager, 1, 2, 5);
  recording.failSyncAt = 1;
  EXPECT_EQ(message(), "Cannot flush rollback journal '" + JournalFileName(path_) +
                           "'. ErrorCode:5. ErrorMessage: injected failure - Native error: 20303");
  EXPECT_EQ(testing::ReadAllBytes(path_), before);
  EXPECT_FALSE(platform::FileSystem::Default().Exists(JournalFileName(path_)));
  EXPECT_TRUE(db.manager.HasChanges(1));

  // After the journal is gone the commit stands; only its durability is in doubt.
  recording.failSyncAt = 3;  // the second sync of the next commit
  EXPECT_NE(message(), "");
  EXPECT_FALSE(db.manager.HasChanges(1));
  EXPECT_FALSE(platform::FileSystem::Default().Exists(JournalFileName(path_)));
  EXPECT_EQ(testing::PageValue(db.manager, 2, 2), 5);
  OpenDatabase again(path_);
  EXPECT_FALSE(again.repairNeeded);
  EXPECT_EQ(testing::PageValue(again.manager, 1, 2), 5);
}

TEST_F(DiskPageCacheTest, ReopeningForgetsPagesCachedBefore) {
  OpenDatabase db(path_, false);
  testing::AddPages(db.manager, 1, 1, 1);
  db.manager.Commit(1);
  EXPECT_TRUE(db.manager.IsCached(2));
  db.manager.CloseDatabaseFile();
  {
    OpenDatabase other(path_, false);
    testing::FillPage(other.manager, 1, 2, 2);
    other.manager.Commit(1);
  }
  bool multiUser = false, repairNeeded = false, readOnly = false;
  db.manager.OpenDatabaseFile(path_, {}, multiUser, false, repairNeeded, readOnly);
  EXPECT_FALSE(db.manager.IsCached(2));
  EXPECT_EQ(testing::PageValue(db.manager, 1, 2), 2);
}

// Opens the database multi-user and changes page 2 on request: "write <value>" -> "done".
VIZ_CHILD_ROLE(page_writer) {
  OpenDatabase db(args.at(0));
  std::string command;
  while (testing::ReadCommand(&command)) {
    if (command.rfind("write ", 0) == 0) {
      testing::FillPage(db.manager, 1, 2, static_cast<uint8_t>(std::stoi(command.substr(6))));
      db.manager.Commit(1);
      testing::Reply("done");
    }
  }
  return 0;
}

TEST_F(DiskPageCacheTest, AnotherProcessCommitMakesTheCachedPageReadAgain) {
  OpenDatabase db(path_);
  ASSERT_TRUE(db.multiUser);
  testing::AddPages(db.manager, 1, 1, 1);
  db.manager.Commit(1);
  EXPECT_EQ(testing::PageValue(db.manager, 1, 2), 1);
  ASSERT_TRUE(db.manager.IsCached(2));

  ChildProcess writer("page_writer", {path_});
  ASSERT_EQ(writer.Ask("write 42"), "done");
  EXPECT_EQ(testing::PageValue(db.manager, 1, 2), 42);
  ASSERT_EQ(writer.Ask("write 43"), "done");
  EXPECT_EQ(testing::PageValue(db.manager, 1, 2), 43);
  EXPECT_EQ(writer.Finish(), 0);
}

}  // namespace
}  // namespace viz
