// Disk tables shared by processes in multi-user mode: what one process commits reaches the others'
// counts and reads, and processes inserting into one table at the same time lose nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "storage/disk/disk_test_util.h"
#include "support/child_process.h"
#include "support/disk_tables.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::ChildProcess;
using ::testing::IsEmpty;
using testing::TableCursor;
using testing::TempDir;
using testing::TestDatabase;

testing::TestDiskDatabaseOptions MultiUser() {
  testing::TestDiskDatabaseOptions options;
  options.MultiUser = true;
  return options;
}

// The cursor's side of a post in a transaction: the transaction-write lock, then the insert.
constexpr TABSLockRetry kTestEditRetry{5, 20000};

bool InsertInTransaction(TableCursor& cursor, TABSDiskTableData& table, int32_t id) {
  if (!table.LockTable(&cursor, ltTransactionWrite, kTestEditRetry)) return false;
  cursor.Clear();
  cursor.SetInt(0, id);
  cursor.SetText(1, "row " + std::to_string(id));
  cursor.SetInt(2, id % 97);
  if (id % 10 == 0) cursor.SetBlob(3, std::string(static_cast<size_t>(id % 3000), 'm'));
  return cursor.Insert();
}

// Inserts COUNT rows with ids from FIRST into table LYRIC of FOLDER/test.svl, in transactions of
// BATCH rows, beside other processes doing the same; answers "done" at the end.
VIZ_CHILD_ROLE(inserter) {
  TestDatabase db(args.at(0), MultiUser(), false);
  TABSDiskTableData& table = db.Table("LYRIC");
  TableCursor cursor(table, db.Session());
  const int32_t first = std::stoi(args.at(1));
  const int32_t count = std::stoi(args.at(2));
  const int32_t batch = std::stoi(args.at(3));
  testing::Reply("ready");
  std::string go;
  if (!testing::ReadCommand(&go)) return 1;
  for (int32_t done = 0; done < count;) {
    db.Session().SetInTransaction(true);
    for (int32_t step = 0; step < batch && done < count; ++step, ++done) {
      if (!InsertInTransaction(cursor, table, first + done)) {
        testing::Reply("insert failed");
        return 2;
      }
    }
    db.Database().Commit(&db.Session(), false);
    db.Session().SetInTransaction(false);
  }
  testing::Reply("done");
  return 0;
}

// Inserts one row outside a transaction: FOLDER ID.
VIZ_CHILD_ROLE(oneinsert) {
  TestDatabase db(args.at(0), MultiUser(), false);
  TABSDiskTableData& table = db.Table("LYRIC");
  TableCursor cursor(table, db.Session());
  if (!table.LockTable(&cursor, ltCommit, kTestEditRetry)) return 1;
  cursor.Clear();
  cursor.SetInt(0, std::stoi(args.at(1)));
  const bool inserted = cursor.Insert();
  table.UnlockTable(&cursor, ltCommit);
  testing::Reply(inserted ? "inserted" : "failed");
  return 0;
}

TEST(DiskMultiUser, AnotherProcessInsertReachesTheCountAtTheNextRead) {
  TempDir dir;
  TestDatabase db(dir.Path(), MultiUser());
  testing::CreateLyricTable(db.Table("LYRIC"), db.Session());
  TABSDiskTableData& table = db.Table("LYRIC");
  TableCursor cursor(table, db.Session());
  EXPECT_EQ(table.RecordCount(&cursor), 0);
  {
    ChildProcess child("oneinsert", {dir.Path(), "42"});
    ASSERT_EQ(child.ReadLine(), "inserted");
  }
  EXPECT_EQ(table.RecordCount(&cursor), 1);
  ASSERT_TRUE(cursor.First());
  EXPECT_EQ(cursor.Int(0), 42);
}

void InsertFromProcesses(int processes, int32_t rows, int32_t batch) {
  TempDir dir;
  {
    TestDatabase db(dir.Path(), MultiUser());
    testing::CreateLyricTable(db.Table("LYRIC"), db.Session());
  }
  std::vector<std::unique_ptr<ChildProcess>> children;
  for (int index = 0; index < processes; ++index) {
    children.push_back(std::make_unique<ChildProcess>(
        "inserter", std::vector<std::string>{dir.Path(), std::to_string(1 + index * 100000),
                                             std::to_string(rows), std::to_string(batch)}));
    ASSERT_EQ(children.back()->ReadLine(), "ready");
  }
  for (auto& child : children) child->Send("go");
  for (auto& child : children) EXPECT_EQ(child->ReadLine(600000), "done");
  children.clear();

  TestDatabase db(dir.Path(), MultiUser(), false);
  TABSDiskTableData& table = db.Table("LYRIC");
  TableCursor cursor(table, db.Session());
  EXPECT_EQ(table.RecordCount(&cursor), int64_t{processes} * rows);
  std::set<int32_t> ids;
  for (bool more = cursor.First(); more; more = cursor.Next()) {
    EXPECT_TRUE(ids.insert(cursor.Int(0)).second) << "twice: " << cursor.Int(0);
    EXPECT_EQ(cursor.Text(1), "row " + std::to_string(cursor.Int(0)));
  }
  std::set<int32_t> expected;
  for (int index = 0; index < processes; ++index)
    for (int32_t id = 1 + index * 100000; id < 1 + index * 100000 + rows; ++id) expected.insert(id);
  EXPECT_EQ(ids, expected);
  cursor.Close();
  db.Disconnect();
  EXPECT_THAT(testing::CheckerProblems(dir.File("test.svl")), IsEmpty());
}

TEST(DiskMultiUser, FourProcessesInsertTenThousandRows) {
  InsertFromProcesses(4, 2500, 25);
}

TEST(DiskMultiUser, SlowFourProcessesInsertTenThousandRowsOneTransactionEach) {
  InsertFromProcesses(4, 2500, 1);
}

}  // namespace
}  // namespace viz
