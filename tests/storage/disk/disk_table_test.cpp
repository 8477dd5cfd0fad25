// Disk tables: creating, opening, the record operations and their storage, sessions of one
// program, and the catalogue operations.
#include <gtest/gtest.h>

#include <set>

#include "storage/disk/disk_test_util.h"
#include "storage/disk/table_fixture.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::CheckerProblems;
using testing::CreateLyricTable;
using testing::TableCursor;
using testing::TempDir;
using testing::TestDatabase;

TEST(DiskTable, RecordsSurviveReopening) {
  TempDir dir;
  {
    TestDatabase db(dir.Path());
    TABSDiskTableData& table = db.Table("LYRIC");
    CreateLyricTable(table, db.Session());
    TableCursor cursor(table, db.Session());
    for (int32_t id = 1; id <= 100; ++id) {
      cursor.Clear();
      cursor.SetInt(0, id);
      cursor.SetText(1, "song" + std::to_string(id));
      if (id % 3 == 0) cursor.SetBlob(3, std::string(static_cast<size_t>(id * 50), static_cast<char>('a' + id % 26)));
      ASSERT_TRUE(cursor.Insert());
    }
  }
  TestDatabase db(dir.Path(), {}, false);
  TableCursor cursor(db.Table("lyric"), db.Session());
  EXPECT_EQ(db.Table("LYRIC").RecordCount(&cursor), 100);
  int32_t seen = 0;
  for (bool more = cursor.First(); more; more = cursor.Next()) {
    ++seen;
    const int32_t id = cursor.Int(0);
    EXPECT_EQ(cursor.Text(1), "song" + std::to_string(id));
    if (id % 3 == 0)
      EXPECT_EQ(cursor.Blob(3), std::string(static_cast<size_t>(id * 50), static_cast<char>('a' + id % 26)));
    else
      EXPECT_TRUE(cursor.IsNull(3));
  }
  EXPECT_EQ(seen, 100);
  cursor.Close();
  db.Disconnect();
  EXPECT_EQ(CheckerProblems(db.Path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace viz
