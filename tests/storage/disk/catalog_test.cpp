// The catalogue of a disk database: the system directory at page 2, the table list and the sessions
// file, byte for byte on disk, with their operations and errors, and what vizcheck makes of them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "engine/storage/disk/disk_catalog.h"
#include "storage/disk/disk_test_util.h"
#include "support/temp_dir.h"

namespace viz {
namespace {

using namespace file_format;
using ::testing::Contains;
using testing::ErrorOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::OpenDatabase;
using testing::TempDir;

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  return std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + from + count);
}
int64_t PageAt(int32_t pageNo, int offset) {
  return kPrefixSize + int64_t{pageNo} * 4096 + offset;
}
void PutRawI32(const std::string& path, int64_t position, int32_t value) {
  std::vector<uint8_t> bytes(4);
  PutI32(bytes.data(), value);
  testing::WriteBytesAt(path, position, bytes);
}

TEST(CatalogTest, ANewDatabaseHasItsDirectoryAtPage2WithExactlyTwoEntries) {
  TempDir dir;
  const std::string path = dir.File("new.vdb");
  testing::CreateCatalogDatabase(path, 500, 0);
  // Page 2: the directory, 10 bytes of entries (sessions file at page 3, table list at page 4).
  const std::vector<uint8_t> directory = testing::RawPage(path, 2);
  EXPECT_EQ(GetU16(&directory[8]), ptFileSystemDirectory);
  EXPECT_EQ(GetI32(&directory[10]), -1);
  EXPECT_EQ(Slice(directory, 40, 20),
            (std::vector<uint8_t>{0x0A, 0x0A, 0, 0, 0, 0x0A, 0, 0, 0, 0x00,  // header
                                  0x02, 0x03, 0, 0, 0,                       // kind 2: sessions file
                                  0x01, 0x04, 0, 0, 0}));                    // kind 1: table list
  // Page 3: the sessions file, 500 slots = 0x1F4 bytes, one page.
  const std::vector<uint8_t> sessions = testing::RawPage(path, 3);
  EXPECT_EQ(GetU16(&sessions[8]), ptActiveSessionList);
  EXPECT_EQ(GetI32(&sessions[10]), -1);
  EXPECT_EQ(Slice(sessions, 40, 10), (std::vector<uint8_t>{0x0A, 0xF4, 0x01, 0, 0, 0, 0, 0, 0, 0}));
  // Page 4: the empty table list.
  const std::vector<uint8_t> tables = testing::RawPage(path, 4);
  EXPECT_EQ(GetU16(&tables[8]), ptTableList);
  EXPECT_EQ(Slice(tables, 40, 10), (std::vector<uint8_t>{0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  OpenDatabase db(path);
  TABSDiskCatalog catalog(db.manager);
  catalog.Open();
  ASSERT_EQ(catalog.Directory().Entries().size(), 2u);
  EXPECT_EQ(catalog.Directory().Find(TABSSystemDirectory::kSessionsFile), 3);
  EXPECT_EQ(catalog.Directory().Find(TABSSystemDirectory::kTableListFile), 4);
  EXPECT_EQ(catalog.Directory().Find(7), -1);
  EXPECT_EQ(catalog.MaxConnections(), 500);
  EXPECT_TRUE(catalog.Tables().Entries().empty());
  EXPECT_THAT(testing::CheckerProblems(path), IsEmpty());
}

TEST(CatalogTest, AnEncipheredCatalogueIsReadAndCheckedWithItsPassword) {
  TempDir dir;
  const std::string path = dir.File("secret.vdb");
  const TABSPassword password{"wimbl47", 2};
  testing::CreateCatalogDatabase(path, 20, 2, password);
  // The table list is enciphered on disk; the locks files are plain.
  EXPECT_NE(testing::RawPage(path, 4)[40], 0x0A);
  OpenDatabase db(path, true, nullptr, password);
  TABSDiskCatalog catalog(db.manager);
  catalog.Open();
  EXPECT_EQ(catalog.Tables().Names(), (std::vector<std::string>{"T0", "T1"}));
  EXPECT_EQ(testing::RawPage(path, catalog.Tables().Find("T1").locksStartPageNo)[40], 0x0A);
  const std::vector<std::string> report = testing::CheckerReport(path, "wimbl47");
  if (report.empty()) GTEST_SKIP() << "vizcheck is not part of this build";
  EXPECT_THAT(report, Contains("Tables: 2"));
  EXPECT_THAT(testing::CheckerProblems(path, "wimbl47"), IsEmpty());
}

TEST(CatalogTest, TheDirectoryMustLandOnPage2) {
  TempDir dir;
  const std::string path = dir.File("late.vdb");
  testing::CreateDatabase(path);
  OpenDatabase db(path);
  db.manager.ReleasePage(db.manager.AddPage(kSystemSession, ptTableRecord));  // takes page 2
  TABSSystemDirectory directory(db.manager);
  auto [code, text] = ErrorOf([&] { directory.Create(); });
  EXPECT_EQ(code, 30392);
  EXPECT_THAT(text, HasSubstr("Error Creating SystemDirectory. SystemDirectoryPageNo=2. Real PageNo=3."));
  db.manager.Rollback(kSystemSession);
}

TEST(CatalogTest, TableListEntriesAreLaidOutByteForByte) {
  TABSTableListEntry entry{"Lyric", 7, 8, 9, 10};
  std::vector<uint8_t> bytes(TABSTableListFile::kEntrySize, 0xEE);
  TABSTableListFile::EncodeEntry(entry, bytes.data());
  std::vector<uint8_t> expected(272, 0);
  expected[0] = 5;
  std::memcpy(&expected[1], "Lyric", 5);
  expected[256] = 7;   // table id
  expected[260] = 8;   // metadata file
  expected[264] = 9;   // header-data file
  expected[268] = 10;  // locks file
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(TABSTableListFile::DecodeEntry(bytes.data()), entry);

  // On disk after a save, and a 300-character name is stored cut to 255.
  TempDir dir;
  const std::string path = dir.File("list.vdb");
  testing::CreateCatalogDatabase(path, 8, 0);
  {
    OpenDatabase db(path);
    TABSDiskCatalog catalog(db.manager);
    catalog.Open();
    catalog.Tables().Add(7, "Lyric", 10, 9, 8);
    catalog.Tables().Add(8, std::string(300, 'n'), 11, 12, 13);
    catalog.Tables().Save();
    db.manager.Commit(kSystemSession);
  }
  const std::vector<uint8_t> page = testing::RawPage(path, 4);
  EXPECT_EQ(Slice(page, 40, 10), (std::vector<uint8_t>{0x0A, 0x20, 0x02, 0, 0, 0x20, 0x02, 0, 0, 0}));  // 544
  EXPECT_EQ(Slice(page, 50, 272), expected);
  EXPECT_EQ(page[50 + 272], 255);
  EXPECT_EQ(GetI32(&page[50 + 272 + 268]), 11);
}

TEST(CatalogTest, TableListOperationsIgnoreLetterCaseAndReportMissingNames) {
  TempDir dir;
  const std::string path = dir.File("ops.vdb");
  testing::CreateCatalogDatabase(path, 8, 0);
  OpenDatabase db(path);
  TABSDiskCatalog catalog(db.manager);
  catalog.Open();
  TABSTableListFile& tables = catalog.Tables();
  tables.Add(1, "Lyric", 10, 11, 12);
  tables.Add(2, "Artist", 20, 21, 22);
  tables.Add(3, "Album", 30, 31, 32);

  EXPECT_TRUE(tables.Exists("LYRIC"));
  EXPECT_EQ(tables.Find("lyric").tableId, 1);
  EXPECT_EQ(tables.Find("ARTIST").locksStartPageNo, 20);
  auto duplicate = ErrorOf([&] { tables.Add(4, "lYrIc", 0, 0, 0); });
  EXPECT_EQ(duplicate.first, 30395);
  EXPECT_THAT(duplicate.second, HasSubstr("Cannot create table. Table 'lYrIc' already exists"));
  for (auto [code, action] : std::vector<std::pair<int32_t, std::function<void()>>>{
           {30396, [&] { tables.Find("Nothing"); }},
           {30405, [&] { tables.Delete("Nothing"); }},
           {30397, [&] { tables.Rename("Nothing", "Else"); }}}) {
    auto error = ErrorOf(action);
    EXPECT_EQ(error.first, code);
    EXPECT_THAT(error.second, HasSubstr("Table 'Nothing' not exists."));
  }
  tables.Delete("ARTIST");  // closes the gap
  EXPECT_EQ(tables.Names(), (std::vector<std::string>{"Lyric", "Album"}));
  tables.Rename("lyric", "LYRIC");  // another case of its own name
  tables.Rename("album", std::string(300, 'b'));
  EXPECT_EQ(tables.Names(), (std::vector<std::string>{"LYRIC", std::string(255, 'b')}));
  EXPECT_TRUE(tables.Exists(std::string(255, 'B')));
  tables.Save();
  db.manager.Commit(kSystemSession);

  EXPECT_EQ(ErrorOf([&] { tables.Open(tables.StartPageNo()); }).first, 30393);
  TABSTableListFile again(db.manager);
  again.Open(tables.StartPageNo());
  again.Load();
  EXPECT_EQ(again.Entries(), tables.Entries());
}

TEST(CatalogTest, CheckerReportsTheCatalogueAndTheSlotsInUse) {
  TempDir dir;
  const std::string path = dir.File("report.vdb");
  testing::CreateCatalogDatabase(path, 16, 2);
  testing::CatalogDatabase db(path);
  EXPECT_EQ(db.catalog.Sessions().Connect(), 0);
  EXPECT_EQ(db.catalog.Sessions().Connect(), 1);
  const std::vector<std::string> report = testing::CheckerReport(path);
  if (report.empty()) GTEST_SKIP() << "vizcheck is not part of this build";
  EXPECT_THAT(report, Contains("Connection slots: 16, in use: 0 1"));
  EXPECT_THAT(report, Contains("Tables: 2"));
  EXPECT_THAT(report, Contains("No problems found."));
  db.catalog.Sessions().Disconnect(0);
  db.catalog.Sessions().Disconnect(1);
  EXPECT_THAT(testing::CheckerReport(path), Contains("Connection slots: 16, none in use"));
}

// Damage done to a catalogue database and the problem vizcheck must report for it.
TEST(CatalogTest, CheckerFindsBrokenChains) {
  TempDir dir;
  const std::string path = dir.File("damaged.vdb");
  testing::CreateCatalogDatabase(path, 16, 2);
  TABSTableListEntry t0, t1;
  int32_t sessionsStart = -1;
  {
    OpenDatabase db(path);
    TABSDiskCatalog catalog(db.manager);
    catalog.Open();
    t0 = catalog.Tables().Find("T0");
    t1 = catalog.Tables().Find("T1");
    sessionsStart = catalog.Sessions().StartPageNo();
    // An internal file that nothing names.
    TABSInternalDBTransactedAccessFile orphan(db.manager, ptTableMetaData);
    orphan.Create(1);
    db.manager.Commit(1);
  }
  ASSERT_THAT(testing::CheckerProblems(path), ::testing::SizeIs(1));
  const std::vector<uint8_t> base = testing::ReadAllBytes(path);
  const int64_t listEntries = PageAt(4, 50);
  struct Damage {
    const char* name;
    std::function<void()> apply;
    const char* problem;
  };
  const std::vector<Damage> damages{
      {"a chain that comes back",
       [&] { PutRawI32(path, PageAt(t0.metadataStartPageNo, 10), t0.metadataStartPageNo); },
       "comes back to this page"},
      {"one page in two chains", [&] { PutRawI32(path, listEntries + 272 + 260, t0.metadataStartPageNo); },
       "belongs both to the metadata file of table 'T0' and to the metadata file of table 'T1'"},
      {"a size the chain cannot hold", [&] { PutRawI32(path, PageAt(sessionsStart, 41), 5000); },
       "the sessions file holds 5000 bytes, which need 2 pages, but its chain has 1"},
      {"a page of another type", [&] { PutRawI32(path, PageAt(t1.headerDataStartPageNo, 8), ptTableRecord); },
       "is not a TableMostUpdated Page"},
      {"a link out of the file", [&] { PutRawI32(path, PageAt(t1.locksStartPageNo, 10), 999); },
       "links to page 999, outside the file"},
      {"a locks file of odd size", [&] { PutRawI32(path, PageAt(t1.locksStartPageNo, 41), 190); },
       "holds 190 bytes, not 12 per connection"},
  };
  for (const Damage& damage : damages) {
    testing::WriteAllBytes(path, base);
    damage.apply();
    const std::vector<std::string> problems = testing::CheckerProblems(path);
    if (problems.empty()) GTEST_SKIP() << "vizcheck is not part of this build";
    bool found = false;
    for (const std::string& problem : problems)
      found = found || problem.find(damage.problem) != std::string::npos;
    EXPECT_TRUE(found) << damage.name << ": " << ::testing::PrintToString(problems);
  }
  testing::WriteAllBytes(path, base);
  EXPECT_THAT(testing::CheckerProblems(path),
              Contains(HasSubstr("holds a TableMetaData Page but belongs to no internal file")));
}

}  // namespace
}  // namespace viz
