// Atomic commits: a commit cut short at any write, or a committing process killed at any moment,
// leaves the database exactly as before or exactly as after the commit, sound for the file checker.
#include <gtest/gtest.h>

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
    if (pageNo >= total || !freeSpace.IsPageUsed(pageNo)) continue;
    snapshot.used.push_back(pageNo);
    snapshot.values[pageNo] = testing::PageValue(db.manager, 99, pageNo);
  }
  return snapshot;
}

// Opens a recovered file, checks that it needs no repair and that the checker finds it sound.
Snapshot Recover(const std::string& path, int32_t lastPage, const std::string& context) {
  Snapshot snapshot;
  {
    OpenDatabase db(path);
    EXPECT_FALSE(db.repairNeeded) << context;
    EXPECT_FALSE(platform::FileSystem::Default().Exists(JournalFileName(path))) << context;
    snapshot = Take(db, lastPage);
  }
  int verdict = testing::RunFileChecker(path);
  EXPECT_TRUE(verdict == 0 || verdict == -1) << "vizcheck found problems " << context;
  return snapshot;
}

class CommitCrashTest : public ::testing::Test {
 protected:
  // A database with pages 2..13 holding 1.
  void SetUp() override {
    path_ = dir_.File("crash.vdb");
    testing::CreateDatabase(path_);
    {
      OpenDatabase db(path_);
      testing::AddPages(db.manager, 1, 12, 1);
      db.manager.Commit(1);
    }
    base_ = testing::ReadAllBytes(path_);
  }

  // Changes six pages and removes the two last ones; returns the session's commit to run.
  static void Prepare(OpenDatabase& db) {
    for (int32_t pageNo = 2; pageNo <= 7; ++pageNo) testing::FillPage(db.manager, 1, pageNo, 2);
    db.manager.RemovePage(1, 12);
    db.manager.RemovePage(1, 13);
  }

  // Runs the prepared commit with the file system dying at commit write `failAt` (0: never).
  // Returns the number of writes the commit made.
  int64_t RunCommit(int64_t failAt, bool flush) {
    FaultFileSystem faulty;
    OpenDatabase db(path_, true, &faulty);
    Prepare(db);
    faulty.FailAtWrite(failAt);
    try {
      db.manager.Commit(1, flush);
      EXPECT_EQ(failAt, 0);
    } catch (const EABSException&) {
      EXPECT_TRUE(faulty.Dead());
    }
    return faulty.Writes();
  }

  void DieAtEveryWrite(bool flush) {
    testing::WriteAllBytes(path_, base_);
    const Snapshot before = Recover(path_, 13, "before");
    testing::WriteAllBytes(path_, base_);
    const int64_t writes = RunCommit(0, flush);
    const Snapshot after = Recover(path_, 13, "after");
    ASSERT_NE(before, after);
    ASSERT_GT(writes, 8);

    int sawBefore = 0;
    int sawAfter = 0;
    for (int64_t failAt = 1; failAt <= writes; ++failAt) {
      testing::WriteAllBytes(path_, base_);
      RunCommit(failAt, flush);
      const std::string context = "dying at commit write " + std::to_string(failAt);
      Snapshot now = Recover(path_, 13, context);
      if (now == before) {
        ++sawBefore;
      } else {
        ++sawAfter;
        EXPECT_EQ(now, after) << context;
      }
    }
    // Only dying at the very last step (deleting the journal) can leave a finished commit: the
    // journal's play-back would undo it, so every death before that reads as "before".
    EXPECT_GT(sawBefore, 0);
    EXPECT_LE(sawAfter, 1);
  }

  TempDir dir_;
  std::string path_;
  std::vector<uint8_t> base_;
};

TEST_F(CommitCrashTest, DyingAtAnyWriteOfACommitLeavesTheStateBeforeOrAfter) {
  DieAtEveryWrite(false);
}

TEST_F(CommitCrashTest, SlowDyingAtAnyWriteOfAFlushedCommitLeavesTheStateBeforeOrAfter) {
  DieAtEveryWrite(true);
}

TEST_F(CommitCrashTest, AnUndoneCommitReturnsThePagesItAllocated) {
  int32_t total = 0;
  {
    FaultFileSystem faulty;
    OpenDatabase db(path_, true, &faulty);
    total = db.manager.GetTotalPageCount();
    std::vector<int32_t> added = testing::AddPages(db.manager, 1, 4, 3);
    EXPECT_EQ(added, (std::vector<int32_t>{14, 15, 16, 17}));
    testing::FillPage(db.manager, 1, 2, 3);
    // Journal create, journal body, seal, State 1, page 2, then die among the page writes.
    faulty.FailAtWrite(6);
    EXPECT_EQ(db.manager.GetTotalPageCount() > total, true);
    try {
      db.manager.Commit(1);
      FAIL();
    } catch (const EABSException& error) {
      EXPECT_EQ(error.NativeErrorCode(), 10469);
    }
  }
  ASSERT_TRUE(platform::FileSystem::Default().Exists(JournalFileName(path_)));
  Snapshot now = Recover(path_, 20, "after play-back");
  std::vector<int32_t> expected;
  for (int32_t pageNo = 2; pageNo <= 13; ++pageNo) expected.push_back(pageNo);
  EXPECT_EQ(now.used, expected);
  for (const auto& [pageNo, value] : now.values) EXPECT_EQ(value, 1) << pageNo;
}

// Rewrites pages 2 .. 2 + count - 1 with one value per commit, each the next after the value found,
// forever; answers "<value>" after each commit.
VIZ_CHILD_ROLE(committer) {
  OpenDatabase db(args.at(0));
  const int count = std::stoi(args.at(1));
  const bool flush = args.at(2) == "flush";
  int value = testing::PageValue(db.manager, 1, 2);
  testing::Reply("ready");
  for (;;) {
    value = value % 250 + 1;
    for (int32_t pageNo = 2; pageNo < 2 + count; ++pageNo) {
      testing::FillPage(db.manager, 1, pageNo, static_cast<uint8_t>(value));
    }
    db.manager.Commit(1, flush);
    testing::Reply(std::to_string(value));
  }
}

void KillCommitterAtRandomMoments(int rounds, int pageCount, bool flush, uint32_t seed) {
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
    ChildProcess child("committer", {path, std::to_string(pageCount), flush ? "flush" : "plain"});
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

    const std::string context = "round " + std::to_string(round);
    Snapshot now = Recover(path, 2 + pageCount, context);
    ASSERT_EQ(static_cast<int>(now.values.size()), pageCount) << context;
    const int value = now.values.begin()->second;
    for (const auto& [pageNo, pageValue] : now.values)
      ASSERT_EQ(pageValue, value) << "torn commit, " << context;
    // The last commit the child reported, or the one it was writing when it was killed.
    EXPECT_TRUE(value == reported || value == reported % 250 + 1)
        << context << ": " << value << " vs " << reported;
    lastValue = value;
  }
}

TEST(CommitKillTest, KilledCommitterLeavesWholeCommits) {
  KillCommitterAtRandomMoments(4, 40, false, 7);
}

TEST(CommitKillTest, SlowKilledCommitterLeavesWholeCommits) {
  KillCommitterAtRandomMoments(60, 120, false, 11);
  KillCommitterAtRandomMoments(20, 60, true, 13);
}

}  // namespace
}  // namespace viz
