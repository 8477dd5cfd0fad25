// vizcheck on whole databases: the table checks find each kind of damage a table can suffer, and
// --tables lists the tables with their record counts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "engine/storage/disk/page_use.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/tables/btree/record_index.h"
#include "storage/disk/disk_test_util.h"
#include "support/disk_tables.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::CheckerProblems;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::TableCursor;
using testing::TempDir;
using testing::TestDatabase;

std::string Noise(size_t size, uint32_t seed) {
  std::string text(size, '\0');
  for (char& c : text) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 23);
  }
  return text;
}

// Where the damages go, found through the engine before the file is damaged.
struct Layout {
  int32_t recordPage = -1;  // the first record page
  int32_t recordsPerPage = 0;
  int32_t recordSize = 0;
  int32_t notesOffset = 0;   // stored offset of the BLOB field
  int32_t idIndexRoot = -1;  // a single leaf: byId holds 150 short keys
  int32_t headerData = -1;
  int32_t blobIndexRoot = -1;
  TABSRecordAddress smallValue;  // of the record in slot 1 of the first page
  TABSRecordAddress largeValue;
};

Layout BuildDatabase(const std::string& folder) {
  TestDatabase db(folder);
  TABSDiskTableData& table = db.Table("SONGS");
  testing::CreateLyricTable(table, db.Session());
  TableCursor cursor(table, db.Session());
  for (int32_t id = 1; id <= 150; ++id) {
    cursor.Clear();
    cursor.SetInt(0, id);
    cursor.SetText(1, "song " + std::to_string(id));
    cursor.SetBlob(3, id % 5 == 0 ? Noise(9000, id) : "a few words for song " + std::to_string(id));
    EXPECT_TRUE(cursor.Insert());
  }
  Layout layout;
  const int32_t session = db.Session().SessionNumber();
  layout.recordPage = table.Records().PageIndex().FirstPage(session);
  layout.recordsPerPage = table.Records().RecordsPerPage();
  layout.recordSize = table.Records().StoredRecordSize();
  layout.notesOffset = table.FieldManager()->FieldDefs()[3].StoredOffset;
  layout.idIndexRoot = table.IndexManager()->IndexDefs()[0].RootPage;
  layout.headerData = table.HeaderDataFile().StartPageNo();
  layout.blobIndexRoot = table.Blobs()->PageIndex()->RootPage();
  for (bool more = cursor.First(); more; more = cursor.Next()) {
    const TABSRecordAddress value =
        TABSDiskBlobManager::AddressOf(table.FieldManager()->FieldDefs()[3], cursor.Buffer());
    if (cursor.Address() == TABSRecordAddress{layout.recordPage, 1}) layout.smallValue = value;
    if (value.RecordNo == TABSDiskBlobManager::kLargeSlot && layout.largeValue.PageNo < 0)
      layout.largeValue = value;
  }
  return layout;
}

int64_t DataAt(int32_t pageNo, int32_t offset) {
  return file_format::kPrefixSize + int64_t{pageNo} * 4096 + file_format::kPageHeaderSize + offset;
}

void PutI32At(const std::string& path, int64_t position, int32_t value) {
  std::vector<uint8_t> bytes(4);
  file_format::PutI32(bytes.data(), value);
  testing::WriteBytesAt(path, position, bytes);
}

TEST(TableChecker, FindsEveryKindOfTableDamage) {
  TempDir dir;
  const Layout layout = BuildDatabase(dir.Path());
  const std::string path = dir.File("test.svl");
  ASSERT_THAT(CheckerProblems(path), IsEmpty());
  ASSERT_EQ(layout.smallValue.RecordNo, 1) << "the second value takes id 1 in its page";
  ASSERT_GE(layout.largeValue.PageNo, 0);
  const int32_t bitmapSize = (layout.recordsPerPage + 7) / 8;
  auto slot = [&](int32_t index) {
    return DataAt(layout.recordPage, bitmapSize + index * layout.recordSize);
  };
  struct Damage {
    const char* name;
    std::function<void()> apply;
    const char* problem;
  };
  const std::vector<Damage> damages{
      {"a record page's bitmap", [&] { testing::WriteBytesAt(path, DataAt(layout.recordPage, 0), {0xFE}); },
       "records of table 'SONGS', its record page index entry says"},
      {"a record page's owner",
       [&] { PutI32At(path, file_format::kPrefixSize + int64_t{layout.recordPage} * 4096 + 22, 999); },
       "it is not a record page of the table"},
      {"a key of an index", [&] { PutI32At(path, DataAt(layout.idIndexRoot, 18 + 3 * 11 + 1), 100000); },
       "the index 'byId' of table 'SONGS'"},
      {"the record count", [&] { PutI32At(path, DataAt(layout.headerData, 10 + 40), 7); },
       "the header data of table 'SONGS' counts 7 records, its pages hold 150"},
      {"compressed bytes of a small value",
       [&] {
         testing::WriteBytesAt(path, DataAt(layout.smallValue.PageNo, 2 + 22 + 20 + 3), {0x55, 0xAA});
       },
       "cannot be read"},
      {"the page list of a large value", [&] { PutI32At(path, DataAt(layout.largeValue.PageNo, 28), 9); },
       "cannot be read"},
      {"the room of a BLOB page",
       [&] {
         testing::WriteBytesAt(path, DataAt(layout.blobIndexRoot, 18 + 4), {1, 0});
       },
       "the BLOB page index of table 'SONGS' says 1"},
      {"a value nobody refers to", [&] { PutI32At(path, slot(1) + layout.notesOffset, -1); },
       "that no record of table 'SONGS' refers to"},
      {"a value two records refer to",
       [&] {
         const std::vector<uint8_t> address = testing::ReadBytesAt(path, slot(1) + layout.notesOffset, 6);
         testing::WriteBytesAt(path, slot(2) + layout.notesOffset, address);
       },
       "is also another record's value"},
  };
  const std::vector<uint8_t> base = testing::ReadAllBytes(path);
  for (const Damage& damage : damages) {
    testing::WriteAllBytes(path, base);
    damage.apply();
    const std::vector<std::string> problems = CheckerProblems(path);
    EXPECT_THAT(problems, Contains(HasSubstr(damage.problem))) << damage.name;
  }
  // A record page of nobody's.
  testing::WriteAllBytes(path, base);
  {
    testing::OpenDatabase db(path);
    TABSPageUse page(db.manager, db.manager.AddPage(1, ptTableRecord));
    page.Reset(nullptr);
    db.manager.Commit(1);
  }
  EXPECT_THAT(CheckerProblems(path), Contains(HasSubstr("holds a TableRecord Page but belongs to no table")));
}

TEST(TableChecker, ListsTablesWithTheirRecordCounts) {
  TempDir dir;
  {
    TestDatabase db(dir.Path());
    testing::CreateLyricTable(db.Table("LYRIC"), db.Session());
    testing::CreateLyricTable(db.Table("EMPTY"), db.Session());
    TableCursor cursor(db.Table("LYRIC"), db.Session());
    for (int32_t id = 1; id <= 3; ++id) {
      cursor.Clear();
      cursor.SetInt(0, id);
      ASSERT_TRUE(cursor.Insert());
    }
  }
  const std::vector<std::string> lines = testing::CheckerReport(dir.File("test.svl"), "", true);
  if (lines.empty()) GTEST_SKIP() << "vizcheck is not part of this build";
  EXPECT_EQ(lines, (std::vector<std::string>{"LYRIC\t3", "EMPTY\t0", "No problems found."}));
}

}  // namespace
}  // namespace viz
