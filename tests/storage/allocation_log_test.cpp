// The allocation log beside a database: pages allocated and not committed go back to the free space
// once their connection has ended, never while it lives; and the open that does it only touches a
// file proven to be the database, opened with the right password.
#include "engine/storage/allocation_log.h"

#include <gtest/gtest.h>

#include "engine/storage/free_space_manager.h"
#include "engine/storage/rollback_journal.h"
#include "engine/types/errors.h"
#include "storage/fault_file_system.h"
#include "storage/storage_test_util.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using namespace file_format;
using platform::FileSystem;
using testing::ErrorOf;
using testing::OpenDatabase;
using testing::TempDir;

class AllocationLogTest : public ::testing::Test {
 protected:
  // A database with pages 2..5 committed, holding 1.
  void SetUp() override {
    testing::CreateDatabase(path_);
    OpenDatabase db(path_);
    testing::AddPages(db.manager, 1, 4, 1);
    db.manager.Commit(1);
  }

  // The used pages above the map pages.
  static std::vector<int32_t> UsedPages(TABSDiskPageManager& manager) {
    std::vector<int32_t> used;
    TABSDatabaseFreeSpaceManager& freeSpace = *manager.FreeSpaceManager();
    const int32_t total = manager.GetTotalPageCount();
    for (int32_t pageNo = 2; pageNo < total; ++pageNo) {
      if (!freeSpace.IsMapPage(pageNo) && freeSpace.IsPageUsed(pageNo)) used.push_back(pageNo);
    }
    return used;
  }
  std::vector<TABSAllocationLogSlot> Slots() {
    return ReadAllocationLog(FileSystem::Default(), AllocationLogFileName(path_)).slots;
  }

  TempDir dir_;
  std::string path_ = dir_.File("log.vdb");
  const std::vector<int32_t> committed_{2, 3, 4, 5};
};

TEST_F(AllocationLogTest, EntriesSitInTheSlotOfTheirConnectionUntilItsCommit) {
  OpenDatabase db(path_);
  std::vector<int32_t> added = testing::AddPages(db.manager, 1, 3, 2);
  const std::vector<uint8_t> bytes = testing::ReadAllBytes(AllocationLogFileName(path_));
  ASSERT_GE(bytes.size(), 4096u + 12);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "VIZALLOC");
  EXPECT_EQ(GetU32(bytes.data() + 8), 1u);
  EXPECT_EQ(GetU32(bytes.data() + 12), 1024u);
  // The set-up's connection has ended and its slot 0 is free again: the next one takes it.
  for (size_t index = 0; index < added.size(); ++index)
    EXPECT_EQ(GetI32(bytes.data() + 4096 + 4 * index), added[index]);
  std::vector<TABSAllocationLogSlot> slots = Slots();
  ASSERT_EQ(slots.size(), 1u);
  EXPECT_EQ(slots[0].slot, 0);
  EXPECT_EQ(slots[0].owner, TABSSlotOwner::Alive);
  EXPECT_EQ(slots[0].pages, added);

  db.manager.Commit(1);
  EXPECT_TRUE(Slots().empty());
  testing::AddPages(db.manager, 1, 1, 2);
  db.manager.Rollback(1);
  EXPECT_TRUE(Slots().empty());
}

TEST_F(AllocationLogTest, PagesOfAConnectionThatEndedWithoutCommittingGoBackAtTheNextOpen) {
  {
    OpenDatabase db(path_);
    testing::AddPages(db.manager, 1, 40, 2);  // grows the file
    testing::FillPage(db.manager, 1, 2, 2);
  }  // ends: no commit, no rollback
  ASSERT_EQ(Slots().size(), 1u);
  EXPECT_EQ(Slots()[0].owner, TABSSlotOwner::Gone);
  {
    OpenDatabase db(path_);
    EXPECT_EQ(UsedPages(db.manager), committed_);
    EXPECT_EQ(testing::PageValue(db.manager, 1, 2), 1);
  }
  EXPECT_TRUE(Slots().empty());
  testing::ExpectSoundWithNoLostPage(path_, "after the open");
}

TEST_F(AllocationLogTest, AnOpenConnectionsCommitReturnsThePagesOfOneThatEnded) {
  OpenDatabase survivor(path_);
  {
    OpenDatabase ended(path_);
    testing::AddPages(ended.manager, 1, 3, 2);
  }
  EXPECT_EQ(UsedPages(survivor.manager).size(), 7u);
  testing::FillPage(survivor.manager, 1, 3, 9);
  survivor.manager.Commit(1);
  EXPECT_EQ(UsedPages(survivor.manager), committed_);
  EXPECT_TRUE(Slots().empty());
}

TEST_F(AllocationLogTest, ALiveConnectionKeepsItsUncommittedPagesWhateverOthersDo) {
  OpenDatabase owner(path_);
  std::vector<int32_t> added = testing::AddPages(owner.manager, 1, 3, 7);
  {
    // Another connection opens, commits and rolls back: it finds the slot held.
    OpenDatabase other(path_);
    testing::FillPage(other.manager, 1, 2, 8);
    other.manager.Commit(1);
    testing::AddPages(other.manager, 1, 2, 8);
    other.manager.Rollback(1);
  }
  OpenDatabase reopened(path_);
  std::vector<int32_t> expected = committed_;
  expected.insert(expected.end(), added.begin(), added.end());
  EXPECT_EQ(UsedPages(reopened.manager), expected);
  owner.manager.Commit(1);
  EXPECT_EQ(testing::PageValue(reopened.manager, 1, added[1]), 7);
}

// An entry may outlive its allocation: a page committed (the process died before it forgot the
// entry) or freed and taken by another connection since. Neither may be returned.
TEST_F(AllocationLogTest, EntriesThatOutliveTheirAllocationReturnNothing) {
  OpenDatabase live(path_);
  std::vector<int32_t> taken = testing::AddPages(live.manager, 1, 1, 6);  // page 6, uncommitted
  {
    TABSAllocationLog stale(FileSystem::Default(), AllocationLogFileName(path_));
    stale.Record(3);         // committed data
    stale.Record(taken[0]);  // the live connection has it
    stale.Record(300);       // past the file's end
  }
  ASSERT_EQ(Slots().size(), 2u);
  {
    OpenDatabase db(path_);
    std::vector<int32_t> expected = committed_;
    expected.push_back(taken[0]);
    EXPECT_EQ(UsedPages(db.manager), expected);
    EXPECT_EQ(testing::PageValue(db.manager, 1, 3), 1);
  }
  ASSERT_EQ(Slots().size(), 1u);  // the stale slot was emptied
  EXPECT_EQ(Slots()[0].owner, TABSSlotOwner::Alive);
}

TEST_F(AllocationLogTest, AFileOfThatNameThatIsNotALogIsLeftAlone) {
  const std::string logPath = AllocationLogFileName(path_);
  const std::vector<uint8_t> foreign(5000, 'x');
  testing::WriteAllBytes(logPath, foreign);
  OpenDatabase db(path_);  // opens; nothing to return
  EXPECT_EQ(ErrorOf([&] { db.manager.AddPage(1, ptTableRecord); }).second,
            "Cannot open allocation log '" + logPath +
                "'. ErrorCode:22. ErrorMessage: The file is not an allocation log - Native error: 20308");
  EXPECT_EQ(UsedPages(db.manager), committed_);
  EXPECT_EQ(testing::ReadAllBytes(logPath), foreign);
}

TEST_F(AllocationLogTest, WithoutByteLocksNothingIsRecordedAndAllocationGoesOn) {
  testing::FaultFileSystem noLocks;
  noLocks.locksUnsupported = true;
  OpenDatabase db(path_, true, &noLocks);
  EXPECT_EQ(testing::AddPages(db.manager, 1, 2, 3), (std::vector<int32_t>{6, 7}));
  db.manager.Commit(1);
  EXPECT_TRUE(Slots().empty());
}

TEST_F(AllocationLogTest, CreatingADatabaseDropsTheSideFilesOfTheOneItReplaces) {
  {
    OpenDatabase db(path_);
    testing::AddPages(db.manager, 1, 2, 2);
  }
  testing::WriteAllBytes(JournalFileName(path_), {1, 2, 3});
  ASSERT_TRUE(FileSystem::Default().Exists(AllocationLogFileName(path_)));
  testing::CreateDatabase(path_);
  EXPECT_FALSE(FileSystem::Default().Exists(JournalFileName(path_)));
  EXPECT_FALSE(FileSystem::Default().Exists(AllocationLogFileName(path_)));
}

// Only a file proven to be the database, opened with the right password, is touched by an open.
TEST(OpenRecoveryTest, AWrongPasswordLeavesTheFileItsJournalAndItsLogByteIdentical) {
  TempDir dir;
  const std::string path = dir.File("pw.vdb");
  const TABSPassword right{"right", 2};
  testing::CreateDatabase(path, right);
  {
    OpenDatabase db(path, true, nullptr, right);
    testing::AddPages(db.manager, 1, 6, 1);
    db.manager.Commit(1);
  }
  {
    testing::FaultFileSystem faulty;
    OpenDatabase db(path, true, &faulty, right);
    testing::FillPage(db.manager, 1, 2, 5);
    db.manager.RemovePage(1, 7);
    testing::AddPages(db.manager, 1, 2, 5);
    faulty.FailAtWrite(5);  // after the journal is sealed, among the page writes
    EXPECT_NE(testing::CodeOf([&] { db.manager.Commit(1); }), 0);
  }
  const std::string journal = JournalFileName(path);
  const std::string log = AllocationLogFileName(path);
  ASSERT_TRUE(FileSystem::Default().Exists(journal));
  const std::vector<uint8_t> file = testing::ReadAllBytes(path);
  const std::vector<uint8_t> journalBytes = testing::ReadAllBytes(journal);
  const std::vector<uint8_t> logBytes = testing::ReadAllBytes(log);
  for (const char* wrong : {"wrong", ""}) {
    EXPECT_EQ(testing::CodeOf([&] { OpenDatabase db(path, true, nullptr, {wrong, 2}); }), 30445) << wrong;
    EXPECT_EQ(testing::ReadAllBytes(path), file);
    EXPECT_EQ(testing::ReadAllBytes(journal), journalBytes);
    EXPECT_EQ(testing::ReadAllBytes(log), logBytes);
  }
  // The right password plays the journal back and returns the pages of the dead commit.
  {
    OpenDatabase db(path, true, nullptr, right);
    EXPECT_FALSE(db.repairNeeded);
    EXPECT_EQ(testing::PageValue(db.manager, 1, 2), 1);
  }
  EXPECT_FALSE(FileSystem::Default().Exists(journal));
  testing::ExpectSoundWithNoLostPage(path, "after the right password", right.password);
}

TEST(OpenRecoveryTest, PageSizesWithoutRoomForAnInternalFileHeaderAndARecordAreRefused) {
  TempDir dir;
  const std::string path = dir.File("small.vdb");
  for (uint16_t pageSize : {0, 40, 41, 45, 50}) {
    TABSDiskPageManager manager;
    EXPECT_EQ(ErrorOf([&] { manager.CreateDatabaseFile(path, {}, 8, pageSize); }).second,
              "Invalid database format - Native error: 20237")
        << pageSize;
    EXPECT_FALSE(FileSystem::Default().Exists(path)) << pageSize;
  }
  // 51 bytes: the page header, an internal file's 10-byte header and a one-byte record.
  testing::CreateDatabase(path, {}, 8, 51);
  {
    OpenDatabase db(path);
    EXPECT_EQ(testing::AddPages(db.manager, 1, 3, 1).size(), 3u);
    db.manager.Commit(1);
  }
  testing::ExpectSoundWithNoLostPage(path, "51-byte pages");
  // A stored page size below that is refused at open too.
  std::vector<uint8_t> size(2);
  PutU16(size.data(), 50);
  testing::WriteBytesAt(path, 26, size);
  TABSDiskPageManager manager;
  bool multiUser = true, repair = false, readOnly = false;
  EXPECT_EQ(ErrorOf([&] { manager.OpenDatabaseFile(path, {}, multiUser, false, repair, readOnly); }).first,
            20237);
}

}  // namespace
}  // namespace viz
