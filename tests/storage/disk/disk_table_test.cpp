// Disk tables: record pages and their byte layout, record storage and the record page index,
// sessions of one program, and the catalogue operations.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "engine/storage/disk_page_manager.h"
#include "engine/storage/free_space_manager.h"
#include "storage/disk/disk_test_util.h"
#include "support/disk_tables.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using testing::CheckerProblems;
using testing::CodeOf;
using testing::CreateLyricTable;
using ::testing::IsEmpty;
using testing::MakeFields;
using testing::MakeIndexes;
using testing::RawPage;
using testing::TableCursor;
using testing::TempDir;
using testing::TestDatabase;

std::string SongName(int32_t id) {
  return "song" + std::to_string(id);
}

void InsertSongs(TableCursor& cursor, int32_t from, int32_t to) {
  for (int32_t id = from; id <= to; ++id) {
    cursor.Clear();
    cursor.SetInt(0, id);
    cursor.SetText(1, SongName(id));
    ASSERT_TRUE(cursor.Insert());
  }
}

std::set<int32_t> IdsInStorageOrder(TableCursor& cursor) {
  std::set<int32_t> ids;
  for (bool more = cursor.First(); more; more = cursor.Next()) ids.insert(cursor.Int(0));
  return ids;
}

bool PageUsed(TestDatabase& db, int32_t pageNo) {
  return db.Database().Pages().FreeSpaceManager()->IsPageUsed(pageNo);
}

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
      cursor.SetText(1, SongName(id));
      if (id % 3 == 0)
        cursor.SetBlob(3, std::string(static_cast<size_t>(id * 50), static_cast<char>('a' + id % 26)));
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
    EXPECT_EQ(cursor.Text(1), SongName(id));
    if (id % 3 == 0) {
      EXPECT_EQ(cursor.Blob(3), std::string(static_cast<size_t>(id * 50), static_cast<char>('a' + id % 26)));
    } else {
      EXPECT_TRUE(cursor.IsNull(3));
    }
  }
  EXPECT_EQ(seen, 100);
  cursor.Close();
  db.Disconnect();
  EXPECT_THAT(CheckerProblems(db.Path()), IsEmpty());
}

// Records per page R = trunc((D - 1) / (A + 0.125)); a stored record of D - 1 bytes cannot be
// stored at all. One BYTES(n) field gives A = n + 1.
TEST(DiskTable, RecordsPerPageFollowTheStoredRecordSize) {
  struct Case {
    int32_t bytes;
    int32_t recordsPerPage;  // 0: the table cannot be created
  } cases[] = {{99, 40}, {4053, 1}, {4054, 0}, {3, 983}};
  TempDir dir;
  TestDatabase db(dir.Path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    const std::string name = "T" + std::to_string(c.bytes);
    TABSDiskTableData& table = db.Table(name);
    TableCursor cursor(table, db.Session(), false);
    const int32_t pagesBefore = db.Database().Pages().Header().lastUsedPageNo;
    auto create = [&] { table.CreateTable(&cursor, *MakeFields({{"Data", dt::kBytes, c.bytes}}), {}, {}); };
    if (c.recordsPerPage == 0) {
      const auto error = testing::ErrorOf(create);
      EXPECT_EQ(error.first, 20174);
      EXPECT_THAT(error.second, ::testing::HasSubstr("Please increase page size of database file"));
      EXPECT_FALSE(db.Database().TableEntryExists(name));
      // The attempt's pages went back to the free space.
      for (int32_t pageNo = pagesBefore + 1; pageNo <= db.Database().Pages().Header().lastUsedPageNo;
           ++pageNo)
        EXPECT_FALSE(PageUsed(db, pageNo)) << pageNo;
      continue;
    }
    create();
    cursor.Open();
    EXPECT_EQ(table.Records().RecordsPerPage(), c.recordsPerPage);
  }
  db.Disconnect();
  EXPECT_THAT(CheckerProblems(db.Path()), IsEmpty());
}

// A record page with the records (Id INTEGER, Code STRING(3)) 7 "ab" in slot 1 and 9 NULL in
// slot 2, after the record of slot 0 was deleted: A = 1 + 4 + 4 = 9, R = 444, a 56-byte bitmap.
TEST(DiskTable, RecordPageBytesAsWorkedOutByHand) {
  TempDir dir;
  TestDatabase db(dir.Path());
  TABSDiskTableData& table = db.Table("CODES");
  TableCursor cursor(table, db.Session(), false);
  table.CreateTable(&cursor, *MakeFields({{"Id", dt::kInteger}, {"Code", dt::kString, 3}}), {}, {});
  cursor.Open();
  ASSERT_EQ(table.Records().RecordsPerPage(), 444);
  TABSRecordAddress addresses[3];
  for (int32_t index = 0; index < 3; ++index) {
    cursor.Clear();
    cursor.SetInt(0, index == 0 ? 5 : index == 1 ? 7 : 9);
    if (index == 1) cursor.SetText(1, "ab");
    ASSERT_TRUE(cursor.Insert());
    addresses[index] = cursor.Address();
  }
  ASSERT_TRUE(cursor.Go(addresses[0]));
  ASSERT_TRUE(cursor.Delete());
  const int32_t pageNo = addresses[1].PageNo;
  EXPECT_EQ(addresses[1].RecordNo, 1);
  EXPECT_EQ(addresses[2].RecordNo, 2);
  const int32_t tableId = table.TableId();  // the table object goes with the last session
  cursor.Close();
  db.Disconnect();

  const std::vector<uint8_t> page = RawPage(db.Path(), pageNo);
  EXPECT_EQ(file_format::GetU16(&page[8]), 10);
  EXPECT_EQ(file_format::GetI32(&page[22]), tableId);
  const uint8_t* data = &page[40];
  std::vector<uint8_t> bitmap(56, 0);
  bitmap[0] = 0x06;  // slots 1 and 2
  EXPECT_EQ(std::vector<uint8_t>(data, data + 56), bitmap);
  const std::vector<uint8_t> slot1 = {0x00, 7, 0, 0, 0, 'a', 'b', 0, 0};
  const std::vector<uint8_t> slot2 = {0x02, 9, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(data + 56 + 9, data + 56 + 18), slot1);
  EXPECT_EQ(std::vector<uint8_t>(data + 56 + 18, data + 56 + 27), slot2);
}

TEST(DiskTable, StorageOrderOrdinalsAndRecordNumbers) {
  TempDir dir;
  TestDatabase db(dir.Path());
  TABSDiskTableData& table = db.Table("LYRIC");
  CreateLyricTable(table, db.Session());
  TableCursor cursor(table, db.Session());
  InsertSongs(cursor, 1, 300);
  // Holes in the first pages: ordinals count only what is there.
  for (int32_t id = 1; id <= 300; id += 7) {
    table.GotoStorageOrdinal(&cursor, table.RecordCount(&cursor) - id / 7);
    ASSERT_TRUE(cursor.Go(cursor.Address()));
    ASSERT_TRUE(cursor.Delete());
  }
  const int64_t count = table.RecordCount(&cursor);
  int64_t ordinal = 0;
  for (bool more = cursor.First(); more; more = cursor.Next()) {
    ++ordinal;
    EXPECT_EQ(table.StorageOrdinal(&cursor), ordinal);
    const TABSRecordAddress address = cursor.Address();
    EXPECT_EQ(table.RecordNumberToAddress(table.AddressToRecordNumber(address)), address);
    EXPECT_LT(table.AddressToRecordNumber(address), table.RecordNumberBound(&cursor));
  }
  EXPECT_EQ(ordinal, count);
  table.GotoStorageOrdinal(&cursor, 1000000);
  ASSERT_TRUE(cursor.Go(cursor.Address()));
  EXPECT_EQ(table.StorageOrdinal(&cursor), count);
}

// The page that loses its last record leaves the record page index and is freed at commit, so that
// neither an insert nor a scan reaches it again; a scan from a record whose page went goes on with
// the pages after it.
TEST(DiskTable, EmptiedRecordPagesLeaveTheIndexAndAreReused) {
  TempDir dir;
  TestDatabase db(dir.Path());
  TABSDiskTableData& table = db.Table("LYRIC");
  CreateLyricTable(table, db.Session());
  TableCursor cursor(table, db.Session());
  InsertSongs(cursor, 1, 200);
  const int32_t perPage = table.Records().RecordsPerPage();
  ASSERT_GT(200, 2 * perPage);
  // Empty the second page, standing on its last record at the end.
  ASSERT_TRUE(cursor.First());
  for (int32_t skipped = 1; skipped < perPage; ++skipped) {
    ASSERT_TRUE(cursor.Next());
  }
  ASSERT_TRUE(cursor.Next());
  const int32_t secondPage = cursor.Address().PageNo;
  std::set<int32_t> gone;
  for (int32_t index = 0; index < perPage; ++index) {
    ASSERT_EQ(cursor.Address().PageNo, secondPage);
    gone.insert(cursor.Int(0));
    ASSERT_TRUE(cursor.Delete());
    if (index + 1 < perPage) {
      ASSERT_TRUE(cursor.Next());
    }
  }
  uint16_t count;
  EXPECT_FALSE(table.Records().PageIndex().GetValue(db.Session().SessionNumber(), secondPage, count));
  EXPECT_FALSE(PageUsed(db, secondPage));
  // The cursor still stands on the deleted record of the freed page.
  ASSERT_TRUE(cursor.Next());
  EXPECT_EQ(cursor.Int(0), 2 * perPage + 1);
  std::set<int32_t> expected;
  for (int32_t id = 1; id <= 200; ++id) {
    if (!gone.count(id)) expected.insert(id);
  }
  EXPECT_EQ(IdsInStorageOrder(cursor), expected);
  // New records fill the freed space: the file does not grow.
  const int32_t totalPages = db.Database().Pages().Header().totalPageCount;
  InsertSongs(cursor, 1001, 1000 + perPage);
  EXPECT_EQ(db.Database().Pages().Header().totalPageCount, totalPages);
  EXPECT_EQ(table.RecordCount(&cursor), 200);
  cursor.Close();
  db.Disconnect();
  EXPECT_THAT(CheckerProblems(db.Path()), IsEmpty());
}

TEST(DiskTable, ExclusiveOpenAndTableNames) {
  TempDir dir;
  TestDatabase db(dir.Path());
  TABSDiskTableData& table = db.Table("LYRIC");
  CreateLyricTable(table, db.Session());
  // A name that exists in another letter case.
  EXPECT_EQ(&db.Table("lyric"), &table);
  // The refused twin leaves every page it allocated free again.
  const auto usedPages = [&] {
    std::set<int32_t> used;
    for (int32_t pageNo = 0; pageNo < db.Database().Pages().Header().totalPageCount; ++pageNo)
      if (PageUsed(db, pageNo)) used.insert(pageNo);
    return used;
  };
  const std::set<int32_t> usedBefore = usedPages();
  TABSDiskTableData& twin = *new TABSDiskTableData(&db.Database(), "lyric");
  const auto duplicate = testing::ErrorOf([&] { CreateLyricTable(twin, db.Session()); });
  EXPECT_EQ(duplicate.first, 30395);
  EXPECT_EQ(duplicate.second, "Cannot create table. Table 'lyric' already exists - Native error: 30395");
  delete &twin;
  EXPECT_EQ(usedPages(), usedBefore);

  TableCursor reader(table, db.Session());
  TableCursor exclusive(table, db.Session(), false, true);
  const auto refused = testing::ErrorOf([&] { exclusive.Open(); });
  EXPECT_EQ(
      refused.second,
      "Cannot access table 'LYRIC' in exclusive mode. Probably the table is open by another cursors - Native "
      "error: 20242");
  reader.Close();
  exclusive.Open();
  EXPECT_TRUE(table.IsExclusive());
  exclusive.Close();
  EXPECT_FALSE(table.IsLoaded());
  EXPECT_EQ(CodeOf([&] { TableCursor missing(db.Table("NOPE"), db.Session()); }), 30396);
}

TEST(DiskTable, EmptyRenameAndDeleteFreeWhatTheyShould) {
  TempDir dir;
  TestDatabase db(dir.Path());
  const int32_t catalogueLastPage = db.Database().Pages().Header().lastUsedPageNo;
  TABSDiskTableData& table = db.Table("LYRIC");
  CreateLyricTable(table, db.Session());
  {
    TableCursor cursor(table, db.Session());
    for (int32_t id = 1; id <= 120; ++id) {
      cursor.Clear();
      cursor.SetInt(0, id);
      cursor.SetText(1, SongName(id));
      cursor.SetBlob(3, std::string(static_cast<size_t>(id % 2 ? 100 : 9000), 'x'));
      ASSERT_TRUE(cursor.Insert());
    }
  }
  TableCursor maintenance(table, db.Session(), false);
  table.EmptyTable(&maintenance);
  {
    TableCursor cursor(table, db.Session());
    EXPECT_EQ(table.RecordCount(&cursor), 0);
    EXPECT_FALSE(cursor.First());
    InsertSongs(cursor, 1, 3);
  }
  EXPECT_THAT(CheckerProblems(db.Path()), IsEmpty());
  table.RenameTable("SONGS", &maintenance);
  EXPECT_FALSE(db.Database().TableEntryExists("LYRIC"));
  {
    TableCursor cursor(db.Table("SONGS"), db.Session());
    EXPECT_EQ(IdsInStorageOrder(cursor), (std::set<int32_t>{1, 2, 3}));
  }
  table.DeleteTable(&db.Session(), false);
  EXPECT_FALSE(db.Database().TableEntryExists("SONGS"));
  // Only the catalogue's pages are left in use.
  for (int32_t pageNo = catalogueLastPage + 1; pageNo < db.Database().Pages().Header().totalPageCount;
       ++pageNo)
    EXPECT_FALSE(PageUsed(db, pageNo) && !db.Database().Pages().FreeSpaceManager()->IsMapPage(pageNo))
        << pageNo;
  db.Disconnect();
  EXPECT_THAT(CheckerProblems(db.Path()), IsEmpty());
}

// Connections of one program in single-user mode keep their changes apart: each has its own session
// number, so one's automatic commit does not commit the other's transaction.
TEST(DiskTable, SingleUserConnectionsKeepTheirChangesApart) {
  TempDir dir;
  TestDatabase db(dir.Path());
  TABSBaseSession& a = db.Session(0);
  TABSBaseSession& b = db.Session(1);
  EXPECT_NE(a.SessionNumber(), b.SessionNumber());
  TABSDiskTableData& table = db.Table("LYRIC");
  TABSDiskTableData& other = db.Table("OTHER");
  CreateLyricTable(table, a);
  CreateLyricTable(other, a);
  TableCursor cursorA(table, a);
  TableCursor cursorB(table, b);
  TableCursor otherB(other, b);
  InsertSongs(cursorA, 1, 5);

  a.SetInTransaction(true);
  InsertSongs(cursorA, 6, 8);
  // B works elsewhere meanwhile; its commits do not carry A's changes.
  InsertSongs(otherB, 1, 2);
  EXPECT_EQ(IdsInStorageOrder(cursorB), (std::set<int32_t>{1, 2, 3, 4, 5}));
  cursorB.Clear();
  cursorB.SetInt(0, 99);
  const auto blocked = testing::ErrorOf([&] { cursorB.Insert(); });
  EXPECT_EQ(
      blocked.second,
      "Cannot change table 'LYRIC'. Another connection has uncommitted changes to it - Native error: 20362");
  EXPECT_EQ(CodeOf([&] { table.DeleteTable(&b, true); }), 20363);
  db.Database().Rollback(&a);
  a.SetInTransaction(false);
  EXPECT_EQ(IdsInStorageOrder(cursorA), (std::set<int32_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(table.RecordCount(&cursorA), 5);

  a.SetInTransaction(true);
  InsertSongs(cursorA, 10, 11);
  db.Database().Commit(&a, false);
  a.SetInTransaction(false);
  EXPECT_EQ(IdsInStorageOrder(cursorB), (std::set<int32_t>{1, 2, 3, 4, 5, 10, 11}));
  InsertSongs(cursorB, 12, 12);
  EXPECT_EQ(table.RecordCount(&cursorA), 8);
  cursorA.Close();
  cursorB.Close();
  otherB.Close();
  db.Disconnect();
  EXPECT_THAT(CheckerProblems(db.Path()), IsEmpty());
}

TEST(DiskTable, SessionModesAndNumbers) {
  TempDir dir;
  testing::TestDiskDatabaseOptions multi;
  multi.MultiUser = true;
  TestDatabase db(dir.Path(), multi);
  TABSBaseSession single;
  EXPECT_EQ(CodeOf([&] { testing::ConnectDiskSession(db.Database(), single); }), 20235);
  EXPECT_EQ(db.Session(0).SessionNumber(), 0);
  EXPECT_EQ(db.Session(1).SessionNumber(), 1);
  EXPECT_EQ(db.Session(1).Connection().MaxConnections, 16);
}

// The header-data file after changes: the counter count, every field's counter, the state counter
// and the record count, little-endian.
TEST(DiskTable, HeaderDataHoldsTheCountersStateAndRecordCount) {
  TempDir dir;
  TestDatabase db(dir.Path());
  TABSDiskTableData& table = db.Table("LYRIC");
  CreateLyricTable(table, db.Session());
  TableCursor cursor(table, db.Session());
  InsertSongs(cursor, 1, 37);
  const TABSTableListEntry entry = db.Database().FindTableEntry("LYRIC");
  TABSInternalDBTransactedAccessFile headerData(db.Database().Pages(), ptTableMostUpdated);
  headerData.Open(entry.headerDataStartPageNo);
  const std::vector<uint8_t> content = headerData.ReadAll(kSystemSession);
  const TABSBaseFieldManager& fields = *table.FieldManager();
  ASSERT_EQ(content.size(), 4u + 8u * static_cast<size_t>(fields.AutoincCount()) + 8u);
  std::vector<uint8_t> expected;
  auto put = [&](auto value) {
    for (size_t i = 0; i < sizeof value; ++i) expected.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  put(fields.AutoincCount());
  for (int32_t field = 0; field < fields.AutoincCount(); ++field) put(fields.AutoincValue(field));
  put(table.RecordManager()->StateCounter);
  put(int32_t{37});
  EXPECT_EQ(content, expected);
}

TEST(DiskTable, DamagedHeaderDataIsRefused) {
  TempDir dir;
  TestDatabase db(dir.Path());
  TABSDiskTableData& table = db.Table("LYRIC");
  CreateLyricTable(table, db.Session());
  const TABSTableListEntry entry = db.Database().FindTableEntry("LYRIC");
  TABSInternalDBTransactedAccessFile headerData(db.Database().Pages(), ptTableMostUpdated);
  headerData.Open(entry.headerDataStartPageNo);
  // The layout for 4 fields is 4 + 32 + 8 = 44 bytes; one more is refused.
  std::vector<uint8_t> content = headerData.ReadAll(kSystemSession);
  ASSERT_EQ(content.size(), 44u);
  content.push_back(0);
  headerData.WriteFile(kSystemSession, content.data(), 0, 0, static_cast<int32_t>(content.size()));
  db.Database().Pages().Commit(kSystemSession);
  EXPECT_EQ(CodeOf([&] { TableCursor cursor(table, db.Session()); }), 20164);
}

}  // namespace
}  // namespace viz
