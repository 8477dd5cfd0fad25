// Space reuse: a table grown to many rows, then mostly deleted and refilled, round after round,
// takes the room its deletes freed instead of growing the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>

#include "storage/disk/disk_test_util.h"
#include "support/disk_tables.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::TableCursor;
using testing::TempDir;
using testing::TestDatabase;

std::string Memo(int32_t id) {
  if (id % 100 == 0) return std::string(9000, static_cast<char>('a' + id % 26));
  if (id % 10 == 0) return "the words of song " + std::to_string(id) + std::string(300, '.');
  return {};
}

void Fill(TableCursor& cursor, int32_t from, int32_t to) {
  for (int32_t id = from; id < to; ++id) {
    cursor.Clear();
    cursor.SetInt(0, id);
    cursor.SetText(1, "song " + std::to_string(id));
    cursor.SetInt(2, id % 1000);
    const std::string memo = Memo(id);
    if (!memo.empty()) cursor.SetBlob(3, memo);
    ASSERT_TRUE(cursor.Insert());
  }
}

// Deletes every record but each tenth.
void Thin(TableCursor& cursor) {
  int64_t position = 0;
  for (bool more = cursor.First(); more;) {
    if (position++ % 10 == 0) {
      more = cursor.Next();
      continue;
    }
    ASSERT_TRUE(cursor.Delete());
    more = cursor.Next();
  }
}

void GrowThinAndRefill(int32_t rows, int rounds) {
  TempDir dir;
  TestDatabase db(dir.Path());
  testing::CreateLyricTable(db.Table("LYRIC"), db.Session());
  TABSDiskTableData& table = db.Table("LYRIC");
  TableCursor cursor(table, db.Session());
  db.Session().SetInTransaction(true);
  Fill(cursor, 0, rows);
  db.Database().Commit(&db.Session(), false);
  const int64_t grown = testing::FileSize(db.Path());
  std::cout << "file size with " << rows << " rows: " << grown << " bytes" << std::endl;
  std::vector<int64_t> sizes;
  int32_t next = rows;
  for (int round = 1; round <= rounds; ++round) {
    Thin(cursor);
    db.Database().Commit(&db.Session(), false);
    const int64_t left = table.RecordCount(&cursor);
    Fill(cursor, next, next + rows - static_cast<int32_t>(left));
    next += rows - static_cast<int32_t>(left);
    db.Database().Commit(&db.Session(), false);
    ASSERT_EQ(table.RecordCount(&cursor), rows);
    sizes.push_back(testing::FileSize(db.Path()));
    std::cout << "file size after round " << round << " (" << left << " rows kept, refilled to " << rows
              << "): " << sizes.back() << " bytes" << std::endl;
  }
  db.Session().SetInTransaction(false);
  // Refilling takes the freed room: the file grows little in the first round and not after it.
  EXPECT_LE(sizes.front(), grown + grown / 4);
  for (size_t round = 1; round < sizes.size(); ++round) EXPECT_LE(sizes[round], sizes.front() + grown / 50);
  cursor.Close();
  db.Disconnect();
  EXPECT_THAT(testing::CheckerProblems(db.Path()), ::testing::IsEmpty());
}

TEST(DiskSpace, FiftyThousandRowsThinnedAndRefilledThreeTimes) {
  GrowThinAndRefill(50000, 3);
}

TEST(DiskSpace, SlowFiftyThousandRowsThinnedAndRefilledTenTimes) {
  GrowThinAndRefill(50000, 10);
}

}  // namespace
}  // namespace viz
