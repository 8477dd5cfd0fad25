// Atomic commits and lost pages: a commit cut short at any write, or a committing process killed at
// any moment, leaves the database exactly as before or exactly as after the commit, sound for the
// file checker and with no page lost to the free space; so does a process that dies while it
// allocates or rolls back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>

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
using testing::FaultFileSystem;
using testing::OpenDatabase;
using testing::TempDir;

// What a test looks at in a database: the value of every page it wrote, and which pages are used.
struct Snapshot {
  std::map<int32_t, int> values;  // page -> uniform data byte, for used pages
  std::vector<int32_t> used;      // used pages above the map pages, ascending

  bool operator==(const Snapshot&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Snapshot& snapshot) {
  for (const auto& [pageNo, value] : snapshot.values) out << pageNo << "=" << value << " ";
  return out;
}

Snapshot Take(OpenDatabase& db, int32_t lastPage) {
  Snapshot snapshot;
  TABSDatabaseFreeSpaceManager& freeSpace = *db.manager.FreeSpaceManager();
  const int32_t total = db.manager.GetTotalPageCount();
  for (int32_t pageNo = 2; pageNo <= lastPage; ++pageNo) {
    if (pageNo >= total || freeSpace.IsMapPage(pageNo) || !freeSpace.IsPageUsed(pageNo)) continue;
    snapshot.used.push_back(pageNo);
    snapshot.values[pageNo] = testing::PageValue(db.manager, 99, pageNo);
  }
  return snapshot;
}

// Opens a recovered file, checks that it needs no repair, and that the checker finds it sound and
// no page lost.
Snapshot Recover(const std::string& path, int32_t lastPage, const std::string& context,
                 const TABSPassword& password = {}) {
  Snapshot snapshot;
  {
    OpenDatabase db(path, true, nullptr, password);
    EXPECT_FALSE(db.repairNeeded) << context;
    EXPECT_FALSE(platform::FileSystem::Default().Exists(JournalFileName(path))) << context;
    snapshot = Take(db, lastPage);
  }
  testing::ExpectSoundWithNoLostPage(path, context, password.password);
  return snapshot;
}

// A database with pages 2..13 holding 1; plain, or enciphered with the parameter's cipher type.
class CommitCrashTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    if (GetParam() >= 0) password_ = {"crash test", static_cast<uint8_t>(GetParam())};
    path_ = dir_.File("crash.vdb");
    testing::CreateDatabase(path_, password_);
    {
      OpenDatabase db(path_, true, nullptr, password_);
      testing::AddPages(db.manager, 1, 12, 1);
      db.manager.Commit(1);
    }
    base_ = testing::ReadAllBytes(path_);
  }

  // Changes six pages, removes the two last ones and adds three new ones.
  static void Prepare(OpenDatabase& db) {
    for (int32_t pageNo = 2; pageNo <= 7; ++pageNo) testing::FillPage(db.manager, 1, pageNo, 2);
    db.manager.RemovePage(1, 12);
    db.manager.RemovePage(1, 13);
    testing::AddPages(db.manager, 1, 3, 2);
  }

  // Runs the prepared commit with the file system dying at commit write `failAt` (0: never).
  // Returns the number of writes the commit made.
  int64_t RunCommit(int64_t failAt, bool flush, int64_t* journalDeletion = nullptr) {
    FaultFileSystem faulty;
    OpenDatabase db(path_, true, &faulty, password_);
    Prepare(db);
    faulty.FailAtWrite(failAt);
    try {
      // Dying on the allocation-log write after the journal is gone is not reported: the commit
      // stands (and the entry left behind is harmless).
      db.manager.Commit(1, flush);
    } catch (const EABSException&) {
      EXPECT_TRUE(faulty.Dead());
    }
    if (journalDeletion) *journalDeletion = faulty.LastDeleteWrite();
    return faulty.Writes();
  }

  Snapshot RecoverHere(const std::string& context) { return Recover(path_, kLastPage, context, password_); }

  void DieAtEveryWrite(bool flush) {
    testing::WriteAllBytes(path_, base_);
    const Snapshot before = RecoverHere("before");
    testing::WriteAllBytes(path_, base_);
    int64_t journalDeletion = 0;
    const int64_t writes = RunCommit(0, flush, &journalDeletion);
    const Snapshot after = RecoverHere("after");
    ASSERT_NE(before, after);
    ASSERT_EQ(after.used.size(), before.used.size() + 1);
    ASSERT_GT(writes, 8);

    int sawBefore = 0;
    int sawAfter = 0;
    for (int64_t failAt = 1; failAt <= writes; ++failAt) {
      testing::WriteAllBytes(path_, base_);
      RunCommit(failAt, flush);
      const std::string context = "dying at commit write " + std::to_string(failAt);
      Snapshot now = RecoverHere(context);
      if (now == before) {
        ++sawBefore;
        EXPECT_LE(failAt, journalDeletion) << context;
      } else {
        ++sawAfter;
        EXPECT_EQ(now, after) << context;
        EXPECT_GT(failAt, journalDeletion) << context;
      }
    }
    // Dying before the journal is deleted undoes the commit; only the allocation-log write after it
    // finds a finished commit, whose new pages now hold data and stay.
    EXPECT_GT(sawBefore, 0);
    EXPECT_EQ(sawAfter, writes - journalDeletion);
  }

  static constexpr int32_t kLastPage = 40;
  TempDir dir_;
  std::string path_;
  TABSPassword password_;
  std::vector<uint8_t> base_;
};

TEST_P(CommitCrashTest, DyingAtAnyWriteOfACommitLeavesTheStateBeforeOrAfter) {
  DieAtEveryWrite(false);
}

TEST_P(CommitCrashTest, SlowDyingAtAnyWriteOfAFlushedCommitLeavesTheStateBeforeOrAfter) {
  DieAtEveryWrite(true);
}

// A connection that dies while it allocates (the file grows twice), rolls back, or commits loses no
// page: whatever it had allocated goes back to the free space at the next open, and the file grows
// again over what a growth cut short left behind. The first rollback frees page 15 alone from a full
// extent, so that a death between its two map writes cannot be mended by a later free nearby.
// Maps and new pages are never enciphered before they are written: the plain file covers this.
class AllocationCrashTest : public CommitCrashTest {};

TEST_P(AllocationCrashTest, DyingAtAnyWriteOfAllocationOrRollbackLosesNoPage) {
  auto firstPart = [](OpenDatabase& db) {
    testing::AddPages(db.manager, 1, 1, 3);
    db.manager.Commit(1);
  };
  auto work = [&](OpenDatabase& db) {
    firstPart(db);
    testing::AddPages(db.manager, 1, 11, 3);
    db.manager.Rollback(1);
    testing::AddPages(db.manager, 1, 2, 3);
    db.manager.RemovePage(1, 12);
    db.manager.Commit(1);
  };
  std::vector<Snapshot> states;
  int64_t writes = 0;
  for (bool whole : {false, true}) {
    testing::WriteAllBytes(path_, base_);
    FaultFileSystem counting;
    {
      OpenDatabase db(path_, true, &counting, password_);
      counting.FailAtWrite(0);
      whole ? work(db) : firstPart(db);
      writes = counting.Writes();
    }
    states.push_back(RecoverHere(whole ? "after" : "after the first commit"));
  }
  testing::WriteAllBytes(path_, base_);
  states.push_back(RecoverHere("before"));
  ASSERT_GT(writes, 40);
  for (int64_t failAt = 1; failAt <= writes; ++failAt) {
    testing::WriteAllBytes(path_, base_);
    const std::string context = "dying at write " + std::to_string(failAt);
    {
      FaultFileSystem faulty;
      OpenDatabase db(path_, true, &faulty, password_);
      faulty.FailAtWrite(failAt);
      try {
        work(db);
      } catch (const EABSException&) {
        EXPECT_TRUE(faulty.Dead()) << context;
      }
    }
    Snapshot now = RecoverHere(context);
    EXPECT_NE(std::find(states.begin(), states.end(), now), states.end()) << context << ": " << now;
    // What is left lets the file grow and shrink again.
    {
      OpenDatabase db(path_, true, nullptr, password_);
      testing::AddPages(db.manager, 1, 11, 4);
      db.manager.Commit(1);
    }
    testing::ExpectSoundWithNoLostPage(path_, context + ", grown again", password_.password);
  }
}

TEST_P(CommitCrashTest, AnUndoneCommitReturnsThePagesItAllocated) {
  {
    FaultFileSystem faulty;
    OpenDatabase db(path_, true, &faulty, password_);
    std::vector<int32_t> added = testing::AddPages(db.manager, 1, 4, 3);
    EXPECT_EQ(added, (std::vector<int32_t>{14, 15, 16, 17}));
    testing::FillPage(db.manager, 1, 2, 3);
    // Journal create, journal body with its seal, State 1, page 2, then die writing the new pages.
    faulty.FailAtWrite(5);
    try {
      db.manager.Commit(1);
      FAIL();
    } catch (const EABSException& error) {
      EXPECT_EQ(error.NativeErrorCode(), 10469);
    }
  }
  ASSERT_TRUE(platform::FileSystem::Default().Exists(JournalFileName(path_)));
  // The new pages held nothing before: the journal keeps their page headers, of the changed page
  // its whole image.
  const TABSJournalContents journal = ReadJournal(platform::FileSystem::Default(), JournalFileName(path_));
  ASSERT_EQ(journal.state, TABSJournalState::Complete);
  std::map<int32_t, size_t> lengths;
  for (const TABSJournalRecord& record : journal.records) lengths[record.pageNo] = record.bytes.size();
  EXPECT_EQ(lengths, (std::map<int32_t, size_t>{{-1, file_format::kDatabaseHeaderSize},
                                                {2, 4096},
                                                {14, file_format::kPageHeaderSize},
                                                {15, file_format::kPageHeaderSize},
                                                {16, file_format::kPageHeaderSize},
                                                {17, file_format::kPageHeaderSize}}));
  Snapshot now = RecoverHere("after play-back");
  std::vector<int32_t> expected;
  for (int32_t pageNo = 2; pageNo <= 13; ++pageNo) expected.push_back(pageNo);
  EXPECT_EQ(now.used, expected);
  for (const auto& [pageNo, value] : now.values) EXPECT_EQ(value, 1) << pageNo;
}

// A second connection that had the file open before a committer died builds on the state before
// that commit: its first allocation or commit plays the dead committer's journal back first, so it
// neither takes pages the dead commit freed nor writes over pages it half wrote.
TEST_P(CommitCrashTest, AnOpenConnectionPlaysBackADeadCommittersJournalBeforeBuildingOnIt) {
  for (bool allocateFirst : {true, false}) {
    testing::WriteAllBytes(path_, base_);
    const std::string context = allocateFirst ? "allocating first" : "committing first";
    OpenDatabase survivor(path_, true, nullptr, password_);
    EXPECT_EQ(testing::PageValue(survivor.manager, 1, 12), 1);  // cached before the other dies
    // The other connection dies on deleting its journal: everything is written (pages 12 and 13
    // freed, new pages in use), and the journal says to undo it all.
    int64_t journalDeletion = 0;
    ASSERT_GT(RunCommit(0, false, &journalDeletion), journalDeletion);
    testing::WriteAllBytes(path_, base_);
    RunCommit(journalDeletion, false);
    ASSERT_TRUE(platform::FileSystem::Default().Exists(JournalFileName(path_))) << context;

    int32_t added = -1;
    if (allocateFirst) added = testing::AddPages(survivor.manager, 1, 1, 5).front();
    testing::FillPage(survivor.manager, 1, 8, 5);
    survivor.manager.Commit(1);
    if (!allocateFirst) {
      added = testing::AddPages(survivor.manager, 1, 1, 5).front();
      survivor.manager.Commit(1);
    }
    // Allocating first finds the dead connection's new pages still taken (its commit returns
    // them); committing first has returned them. Never 12 or 13, which the undone commit freed.
    EXPECT_EQ(added, allocateFirst ? 17 : 14) << context;
    EXPECT_EQ(testing::PageValue(survivor.manager, 1, 12), 1) << context;
    EXPECT_EQ(testing::PageValue(survivor.manager, 1, 2), 1) << context;

    Snapshot expected;
    for (int32_t pageNo = 2; pageNo <= 13; ++pageNo) {
      expected.used.push_back(pageNo);
      expected.values[pageNo] = pageNo == 8 ? 5 : 1;
    }
    expected.used.push_back(added);
    expected.values[added] = 5;
    EXPECT_EQ(RecoverHere(context), expected) << context;
  }
}

INSTANTIATE_TEST_SUITE_P(PlainAndEnciphered, CommitCrashTest, ::testing::Values(-1, 0, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return info.param < 0 ? std::string("Plain")
                                                 : "CipherType" + std::to_string(info.param);
                         });

INSTANTIATE_TEST_SUITE_P(Plain, AllocationCrashTest, ::testing::Values(-1));

// One allocation pass of many pages on 64-byte pages grows the file several times and fills a
// second PFS page; its log entries, map pages and header each reach the file once. Dying at any
// write of it or of the commit after it leaves the state before or after, with no page lost.
TEST(BatchedAllocationCrash, DyingAtAnyWriteOfAPassOrItsCommitLosesNoPage) {
  TempDir dir;
  const std::string path = dir.File("batch.vdb");
  testing::CreateDatabase(path, {}, 8, 64);
  {
    OpenDatabase db(path);
    testing::AddPages(db.manager, 1, 5, 1);
    db.manager.Commit(1);
  }
  const std::vector<uint8_t> base = testing::ReadAllBytes(path);
  constexpr int32_t kLastPage = 420;
  auto work = [](OpenDatabase& db) {
    testing::AddPages(db.manager, 1, 1, 2);
    for (int32_t pageNo : db.manager.AddPages(1, ptTableRecord, 300))
      testing::FillPage(db.manager, 1, pageNo, 2);
    db.manager.Commit(1);
  };
  const Snapshot before = Recover(path, kLastPage, "before");
  int64_t writes = 0;
  testing::WriteAllBytes(path, base);
  {
    FaultFileSystem counting;
    OpenDatabase db(path, true, &counting);
    counting.FailAtWrite(0);
    work(db);
    writes = counting.Writes();
  }
  const Snapshot after = Recover(path, kLastPage, "after");
  ASSERT_EQ(after.used.size(), before.used.size() + 301);
  ASSERT_LT(writes, 200);  // not one write per page (over 600)
  for (int64_t failAt = 1; failAt <= writes; ++failAt) {
    testing::WriteAllBytes(path, base);
    const std::string context = "dying at write " + std::to_string(failAt);
    {
      FaultFileSystem faulty;
      OpenDatabase db(path, true, &faulty);
      faulty.FailAtWrite(failAt);
      try {
        work(db);
      } catch (const EABSException&) {
        EXPECT_TRUE(faulty.Dead()) << context;
      }
    }
    const Snapshot now = Recover(path, kLastPage, context);
    EXPECT_TRUE(now == before || now == after) << context << ": " << now;
    {
      OpenDatabase db(path);
      testing::AddPages(db.manager, 1, 40, 4);
      db.manager.Commit(1);
    }
    testing::ExpectSoundWithNoLostPage(path, context + ", grown again");
  }
}

// The value a commit writes after `value`: 2 .. 251 in turn, never the 1 of the database before any
// commit, so that a recovered 1 always means no commit stood (and no added pages).
int NextCommitValue(int value) {
  return (value - 1) % 250 + 2;
}

// Commits rewriting pages 2 .. 2 + count - 1 with one value per commit, each the next after the value
// found, forever; with `extra` above 0, each commit also adds that many pages holding the value and
// removes the pages the previous commit added, and every third round first allocates pages and
// rolls them back. Answers "<value>" after each commit.
VIZ_CHILD_ROLE(committer) {
  OpenDatabase db(args.at(0));
  const int count = std::stoi(args.at(1));
  const bool flush = args.at(2) == "flush";
  const int extra = std::stoi(args.at(3));
  int value = testing::PageValue(db.manager, 1, 2);
  std::vector<int32_t> added;
  {
    TABSDatabaseFreeSpaceManager& freeSpace = *db.manager.FreeSpaceManager();
    const int32_t total = db.manager.GetTotalPageCount();
    for (int32_t pageNo = 2 + count; pageNo < total; ++pageNo) {
      if (!freeSpace.IsMapPage(pageNo) && freeSpace.IsPageUsed(pageNo)) added.push_back(pageNo);
    }
  }
  testing::Reply("ready");
  for (int round = 0;; ++round) {
    value = NextCommitValue(value);
    if (extra > 0 && round % 3 == 2) {
      testing::AddPages(db.manager, 1, extra, 0);
      db.manager.Rollback(1);
    }
    for (int32_t pageNo = 2; pageNo < 2 + count; ++pageNo) {
      testing::FillPage(db.manager, 1, pageNo, static_cast<uint8_t>(value));
    }
    for (int32_t pageNo : added) db.manager.RemovePage(1, pageNo);
    added = testing::AddPages(db.manager, 1, extra, static_cast<uint8_t>(value));
    db.manager.Commit(1, flush);
    testing::Reply(std::to_string(value));
  }
}

void KillCommitterAtRandomMoments(int rounds, int pageCount, int extra, bool flush, uint32_t seed) {
  TempDir dir;
  const std::string path = dir.File("killed.vdb");
  testing::CreateDatabase(path);
  {
    OpenDatabase db(path);
    testing::AddPages(db.manager, 1, pageCount, 1);
    db.manager.Commit(1);
  }
  std::mt19937 random(seed);
  int lastValue = 1;
  for (int round = 0; round < rounds; ++round) {
    ChildProcess child("committer",
                       {path, std::to_string(pageCount), flush ? "flush" : "plain", std::to_string(extra)});
    ASSERT_EQ(child.ReadLine(), "ready");
    int reported = lastValue;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(std::uniform_int_distribution<>(1, 80)(random));
    while (std::chrono::steady_clock::now() < deadline) {
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      std::string line = child.ReadLine(static_cast<int>(std::max<int64_t>(left.count(), 0)));
      if (line == "<timeout>" || line == "<eof>") break;
      reported = std::stoi(line);
    }
    child.Kill();
    for (std::string line = child.ReadLine(100); line != "<eof>" && line != "<timeout>";
         line = child.ReadLine(100)) {
      reported = std::stoi(line);
    }

    const std::string context =
        "round " + std::to_string(round) + ", last reported " + std::to_string(reported);
    Snapshot now = Recover(path, 4 * (2 + pageCount + extra), context);
    const int value = now.values.begin()->second;
    // The pages it rewrites, and the pages of one commit's additions (none before the first).
    const int expectedPages = pageCount + (value == 1 ? 0 : extra);
    ASSERT_EQ(static_cast<int>(now.values.size()), expectedPages) << context << ": " << now;
    for (const auto& [pageNo, pageValue] : now.values)
      ASSERT_EQ(pageValue, value) << "torn commit, " << context;
    // The last commit the child reported, or the one it was writing when it was killed.
    EXPECT_TRUE(value == reported || value == NextCommitValue(reported))
        << context << ": " << value << " vs " << reported;
    lastValue = value;
  }
}

TEST(CommitKillTest, KilledCommitterLeavesWholeCommits) {
  KillCommitterAtRandomMoments(4, 40, 0, false, 7);
}

TEST(CommitKillTest, KilledCommitterThatAddsAndRemovesPagesLeavesWholeCommitsAndLosesNoPage) {
  KillCommitterAtRandomMoments(6, 20, 6, false, 5);
}

TEST(CommitKillTest, SlowKilledCommitterLeavesWholeCommits) {
  KillCommitterAtRandomMoments(60, 120, 0, false, 11);
  KillCommitterAtRandomMoments(20, 60, 0, true, 13);
}

TEST(CommitKillTest, SlowKilledCommitterThatAddsAndRemovesPagesLosesNoPage) {
  KillCommitterAtRandomMoments(120, 40, 12, false, 17);
  KillCommitterAtRandomMoments(30, 20, 6, true, 19);
}

}  // namespace
}  // namespace viz
