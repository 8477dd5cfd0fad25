// Key search, ranges and master/detail of the table dataset: the edge cases on the lyric table of a
// disk database, a key search on a large table that reads only a few pages, and a randomised model
// of searches and ranges on one- and multi-column indexes (descending, case-insensitive, NULLs)
// judged by a brute-force filter over the same rows, on the disk and MEMORY databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "components/components_test_util.h"
#include "engine/storage/VIZPage.h"
#include "framework/data/exceptions.h"
#include "framework/data/text_values.h"

namespace viz::testing {
namespace {

Variant Text(const char* text) {
  return Variant::FromString(text);
}

// The message of what `step` raises; empty when it raises nothing.
template <class Step>
std::string Raised(Step&& step) {
  try {
    step();
  } catch (const Exception& error) {
    return error.Message();
  }
  return {};
}

class KeySearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("k.svl");
    database_ = NewConnection("K", path_);
    MakeLyricDatabase(*database_);
    table_ = LyricTable("K", "byName");
    table_->Open();
    const std::pair<int, const char*> rows[] = {{5, "cherry"}, {1, "apple"},  {4, "date"},
                                                {2, "banana"}, {3, "apple"},  {6, "apple "},
                                                {7, "applex"}, {8, "Apple"}};
    for (const auto& [id, name] : rows) AddRow(*table_, id, name, id * 10);
  }
  void TearDown() override {
    table_.reset();
    database_.reset();
    EXPECT_TRUE(VizcheckProblems(path_).empty());
  }
  int Id() { return table_->FieldByName("Id").AsInteger(); }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<TABSDatabase> database_;
  std::unique_ptr<TABSTable> table_;
};

TEST_F(KeySearchTest, SeekKeyValuesFindsWholeValuesFirstInIndexOrder) {
  AddRow(*table_, 9, "date67890123456789012345678901", 90);
  // The first of equal keys in index order is the one the index shows first.
  std::vector<int> order = Ids(*table_);
  auto firstOf = [&](std::initializer_list<int> ids) {
    for (int id : order)
      if (std::find(ids.begin(), ids.end(), id) != ids.end()) return id;
    return -1;
  };
  const struct {
    const char* key;
    int id;  // -1: not found
  } cases[] = {{"apple", firstOf({1, 3})}, {"banana", 2}, {"apple ", 6}, {"applex", 7}, {"Apple", 8},
               {"appl", -1},  {"applexx", -1}, {"", -1},
               // Longer than the field: no stored value can equal it, though its first 30 do.
               {"date67890123456789012345678901x", -1}, {"date67890123456789012345678901", 9}};
  for (const auto& c : cases) {
    table_->SetIndexName("byId");
    table_->SetRecNo(4);
    table_->SetIndexName("byName");
    const int before = Id();
    EXPECT_EQ(table_->SeekKeyValues({Text(c.key)}), c.id >= 0) << c.key;
    EXPECT_EQ(Id(), c.id >= 0 ? c.id : before) << c.key;
  }
  // FindKey and GotoKey search the same way; the key survives for EditKey.
  EXPECT_TRUE(table_->FindKey({Text("cherry")}));
  EXPECT_EQ(Id(), 5);
  table_->SetKey();
  EXPECT_EQ(table_->State(), dsSetKey);
  table_->FieldByName("Name").SetAsString("date");
  table_->Cancel();  // the key edit is dropped: the key is "cherry" again
  table_->First();
  EXPECT_TRUE(table_->GotoKey());
  EXPECT_EQ(Id(), 5);
  table_->EditKey();
  EXPECT_EQ(table_->FieldByName("Name").AsString(), "cherry");
  table_->FieldByName("Name").SetAsString("date");
  EXPECT_TRUE(table_->GotoKey());  // posts the key edit first
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(table_->State(), dsBrowse);
  // A pending edit is posted before the search.
  table_->Edit();
  table_->FieldByName("Score").SetAsInteger(41);
  EXPECT_TRUE(table_->SeekKeyValues({Text("banana")}));
  EXPECT_TRUE(table_->FindKey({Text("date")}));
  EXPECT_EQ(table_->FieldByName("Score").AsInteger(), 41);
}

TEST_F(KeySearchTest, NearestKeysAndMisuse) {
  const struct {
    const char* key;
    bool exclusive;
    std::string name;
  } cases[] = {{"b", false, "banana"}, {"banana", false, "banana"}, {"banana", true, "cherry"},
               {"a", false, "apple"},  {"zzz", false, "date"},      {"date", true, "date"}};
  for (const auto& c : cases) {
    table_->SetKey();
    table_->FieldByName("Name").SetAsString(c.key);
    table_->SetKeyExclusive(c.exclusive);
    EXPECT_EQ(table_->KeyExclusive(), c.exclusive);
    table_->GotoNearest();
    EXPECT_EQ(TrimBlanks(table_->FieldByName("Name").AsString()), c.name) << c.key;
  }
  table_->FindNearest({Text("c")});
  EXPECT_EQ(Id(), 5);

  // In set-key state only the index fields can be written; the key counts can be set.
  table_->SetKey();
  EXPECT_EQ(Raised([&] { table_->FieldByName("Score").SetAsInteger(1); }),
            "Field Score is not in the current index - Native error: 20019");
  EXPECT_EQ(table_->KeyFieldCount(), 0);
  table_->SetKeyFieldCount(1);
  EXPECT_EQ(table_->KeyFieldCount(), 1);
  table_->Cancel();
  EXPECT_EQ(Raised([&] { table_->KeyFieldCount(); }), "LyricTable: Dataset not in edit or insert mode");
  EXPECT_EQ(Raised([&] { table_->FindKey({Text("a"), Text("b")}); }), "LyricTable: Field index out of range");
  table_->SetIndexName("");
  for (auto step : std::vector<std::function<void()>>{[&] { table_->SetKey(); },
                                                      [&] { table_->FindKey({Text("a")}); },
                                                      [&] { table_->GotoKey(); },
                                                      [&] { table_->SetRange({}, {}); }})
    EXPECT_EQ(Raised(step), "LyricTable: No index currently active");
  EXPECT_EQ(table_->State(), dsBrowse);
  // A dataset without a field object for an index field cannot take a key for it.
  auto partial = LyricTable("K", "byName");
  partial->AddField(ftInteger, "Id");
  partial->Open();
  EXPECT_EQ(Raised([&] { partial->FindKey({Text("apple")}); }), "LyricTable: Cannot access index field 'Name'");
}

TEST_F(KeySearchTest, RangesAndTheirEnds) {
  table_->SetIndexName("byId");
  const struct {
    std::vector<Variant> start, end;
    bool startExclusive, endExclusive;
    std::vector<int> ids;
  } cases[] = {
      {{Variant::FromInteger(2)}, {Variant::FromInteger(5)}, false, false, {2, 3, 4, 5}},
      {{Variant::FromInteger(2)}, {Variant::FromInteger(5)}, true, false, {3, 4, 5}},
      {{Variant::FromInteger(2)}, {Variant::FromInteger(5)}, false, true, {2, 3, 4}},
      {{Variant::FromInteger(2)}, {Variant::FromInteger(5)}, true, true, {3, 4}},
      {{Variant::FromInteger(5)}, {Variant::FromInteger(3)}, false, false, {}},  // start after end
      {{}, {Variant::FromInteger(3)}, false, false, {1, 2, 3}},                  // no start given
      {{Variant::FromInteger(7)}, {}, false, false, {7, 8}},                     // no end given
  };
  for (const auto& c : cases) {
    table_->SetRangeStart();
    if (!c.start.empty()) table_->FieldByName("Id").SetAsVariant(c.start[0]);
    table_->SetKeyExclusive(c.startExclusive);
    table_->SetRangeEnd();  // posts the start
    if (!c.end.empty()) table_->FieldByName("Id").SetAsVariant(c.end[0]);
    table_->SetKeyExclusive(c.endExclusive);
    table_->ApplyRange();
    EXPECT_EQ(Ids(*table_), c.ids);
    EXPECT_EQ(table_->RecordCount(), static_cast<int>(c.ids.size()));
  }
  table_->SetRange({Variant::FromInteger(3)}, {Variant::FromInteger(6)});
  EXPECT_EQ(Id(), 3);
  // The same range again does not move the dataset.
  table_->Last();
  table_->SetRange({Variant::FromInteger(3)}, {Variant::FromInteger(6)});
  EXPECT_EQ(Id(), 6);
  table_->EditRangeEnd();
  table_->FieldByName("Id").SetAsInteger(4);
  table_->ApplyRange();
  EXPECT_EQ(Ids(*table_), (std::vector<int>{3, 4}));
  // A key search stays inside the range; SetRecNo and counts follow it.
  EXPECT_FALSE(table_->FindKey({Variant::FromInteger(5)}));
  EXPECT_TRUE(table_->FindKey({Variant::FromInteger(4)}));
  EXPECT_EQ(table_->RecNo(), 2);
  // Records changed into and out of the range are reached as they now are.
  table_->Edit();
  table_->FieldByName("Id").SetAsInteger(40);
  table_->Post();
  table_->InsertRecord({Variant::FromInteger(4), Text("fig")});
  EXPECT_EQ(Ids(*table_), (std::vector<int>{3, 4}));
  table_->FindKey({Variant::FromInteger(4)});
  table_->CancelRange();
  EXPECT_EQ(Id(), 4);  // stays on its record
  EXPECT_EQ(table_->RecordCount(), 9);
  table_->CancelRange();  // nothing in force: nothing happens
  EXPECT_EQ(Id(), 4);
  // An index change drops the range.
  table_->SetRange({Variant::FromInteger(3)}, {Variant::FromInteger(3)});
  table_->SetIndexName("byName");
  EXPECT_EQ(table_->RecordCount(), 9);
}

// A detail table follows the record of its master as the master scrolls, inserts and deletes.
TEST_F(KeySearchTest, MasterDetailFollowsTheMaster) {
  // The master: a second dataset on LYRIC in Id order; the detail: LYRIC by Score (Id * 10 above, so
  // every master record has one detail record with Score = 10 * Id, plus the ones added here).
  TABSLocalCursor cursor(database_->EngineSession());
  cursor.SetTableName("LYRIC");
  cursor.OpenTable();
  TABSIndexDef score;
  score.SetName("byScore");
  score.Columns.push_back({"Score", false, false, 0});
  cursor.AddIndex(score);
  cursor.CloseTable();
  auto master = LyricTable("K", "byId");
  master->SetName("Master");
  master->Open();
  TDataSource source;
  source.SetDataSet(master.get());
  table_->Close();
  table_->SetIndexName("byScore");
  table_->SetMasterSource(&source);
  EXPECT_EQ(table_->GetDataSource(), &source);
  EXPECT_EQ(Raised([&] { source.SetDataSet(table_.get()); }), "Circular datalinks are not allowed");
  table_->SetMasterFields("Score");
  table_->Open();
  // The detail opens on the master's current record.
  EXPECT_EQ(Ids(*table_), std::vector<int>{1});
  // Detail records of master 2: a second one inserted through the detail gets the master's value.
  master->Next();
  EXPECT_EQ(Ids(*table_), std::vector<int>{2});
  table_->Insert();
  EXPECT_EQ(table_->FieldByName("Score").AsInteger(), 20);
  table_->FieldByName("Id").SetAsInteger(20);
  table_->Post();
  EXPECT_EQ(Ids(*table_), (std::vector<int>{2, 20}));
  auto detailOf = [&](int masterScore) {
    std::vector<int> ids;
    auto all = LyricTable("K", "byScore");
    all->Open();
    for (all->First(); !all->Eof(); all->Next())
      if (all->FieldByName("Score").AsInteger() == masterScore) ids.push_back(all->FieldByName("Id").AsInteger());
    return ids;
  };
  // The master scrolls: forward, backward, by record number, by key.
  for (auto move : std::vector<std::function<void()>>{
           [&] { master->Next(); }, [&] { master->Prior(); }, [&] { master->Last(); },
           [&] { master->SetRecNo(2); }, [&] { master->FindKey({Variant::FromInteger(4)}); },
           [&] { master->First(); }}) {
    move();
    EXPECT_EQ(Ids(*table_), detailOf(master->FieldByName("Score").AsInteger()))
        << master->FieldByName("Id").AsInteger();
  }
  // The master inserts a record (no details yet), then deletes it and the one before.
  master->InsertRecord({Variant::FromInteger(50), Text("fig"), Variant::FromInteger(77)});
  EXPECT_EQ(master->FieldByName("Id").AsInteger(), 50);
  // Master and detail are the same table here: the new master record is its own detail.
  EXPECT_EQ(Ids(*table_), std::vector<int>{50});
  master->Delete();
  EXPECT_EQ(Ids(*table_), detailOf(master->FieldByName("Score").AsInteger()));
  master->Prior();
  master->Delete();
  EXPECT_EQ(Ids(*table_), detailOf(master->FieldByName("Score").AsInteger()));
  // A master edit of the linked field moves the detail when it posts.
  master->First();
  master->Edit();
  master->FieldByName("Score").SetAsInteger(20);
  master->Post();
  EXPECT_EQ(Ids(*table_), (std::vector<int>{1, 2, 20}));
  // Closing the master drops the detail's range; reopening it links again.
  master->Close();
  EXPECT_EQ(table_->RecordCount(), 8);
  master->Open();
  EXPECT_EQ(Ids(*table_), (std::vector<int>{1, 2, 20}));
  // An index change rebuilds the link's range on the new index.
  table_->SetIndexName("byScore");
  EXPECT_EQ(Ids(*table_), (std::vector<int>{1, 2, 20}));
  TDataSource own;
  own.SetDataSet(table_.get());
  EXPECT_EQ(Raised([&] { table_->SetMasterSource(&own); }), "LyricTable: Circular datalinks are not allowed");
  table_->SetMasterSource(nullptr);
  EXPECT_EQ(table_->RecordCount(), master->RecordCount());
}

// A key search and a range on a large disk table ask the page manager for a few pages only.
TEST(KeySearchPagesTest, SearchesReadOnlyAFewPages) {
  TempDir dir;
  const std::string path = dir.File("big.svl");
  {
    auto database = NewConnection("B", path);
    MakeLyricDatabase(*database);
    auto table = LyricTable("B", "byName");
    table->Open();
    constexpr int kRows = 20000;
    database->BeginTransaction();
    for (int id = 0; id < kRows; ++id) AddRow(*table, id, "name" + std::to_string(100000 + id * 7 % kRows), id);
    database->CommitTransaction();
    TABSPageManager* pages = table->Cursor()->Table()->PageManager();
    ASSERT_NE(pages, nullptr);
    auto cost = [&](const std::function<void()>& step) {
      const int64_t before = pages->PageRequestCount();
      step();
      return pages->PageRequestCount() - before;
    };
    int64_t all = cost([&] { EXPECT_EQ(table->RecordCount(), kRows); table->Last(); table->First(); });
    const int64_t seek = cost([&] { EXPECT_TRUE(table->SeekKeyValues({Text("name100700")})); });
    EXPECT_EQ(table->FieldByName("Id").AsInteger(), 100);
    const int64_t miss = cost([&] { EXPECT_FALSE(table->SeekKeyValues({Text("name1007")})); });
    const int64_t range = cost([&] {
      table->SetRange({Text("name100700")}, {Text("name100709")});
      EXPECT_EQ(table->RecordCount(), 10);
      EXPECT_EQ(Ids(*table).size(), 10u);
    });
    // The whole table is hundreds of pages; the searches a handful each.
    for (const int64_t pagesAsked : {seek, miss}) EXPECT_LT(pagesAsked, 20) << all;
    // A range costs pages by the records it holds, not by the table.
    EXPECT_LT(range, 200);
    table->SetIndexName("byId");
    const int64_t byId = cost([&] { EXPECT_TRUE(table->FindKey({Variant::FromInteger(12345)})); });
    EXPECT_LT(byId, 20);
    all = cost([&] {
      for (table->First(); !table->Eof(); table->Next()) {
      }
    });
    EXPECT_GT(all, 200);
  }
  EXPECT_TRUE(VizcheckProblems(path).empty());
}

// In multi-user mode the searches and range moves take their read locks and give them back: another
// connection commits at once, and the searches see what it committed.
TEST(KeySearchMultiUserTest, SearchesLeaveNoLockBehind) {
  TempDir dir;
  const std::string path = dir.File("shared.svl");
  {
    auto first = NewConnection("First", path, {}, true);
    MakeLyricDatabase(*first);
    auto second = NewConnection("Second", path, {}, true);
    second->Open();
    auto a = LyricTable("First", "byName");
    auto b = LyricTable("Second", "byId");
    a->Open();
    b->Open();
    for (int id = 1; id <= 20; ++id) AddRow(*b, id, "row" + std::to_string(100 + id), id);
    for (int round = 0; round < 3; ++round) {
      a->Refresh();
      EXPECT_TRUE(a->SeekKeyValues({Text("row105")}));
      a->FindNearest({Text("row1055")});
      EXPECT_EQ(a->FieldByName("Id").AsInteger(), 6);
      a->SetRange({Text("row103")}, {Text("row108")});
      EXPECT_EQ(a->RecordCount(), 6);
      a->CancelRange();
      const auto start = std::chrono::steady_clock::now();
      ASSERT_TRUE(b->FindKey({Variant::FromInteger(5)}));
      b->Edit();
      b->FieldByName("Name").SetAsString("row" + std::to_string(200 + round));
      b->Post();
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
      a->Refresh();
      EXPECT_TRUE(a->SeekKeyValues({Text(("row" + std::to_string(200 + round)).c_str())}));
      EXPECT_EQ(a->FieldByName("Id").AsInteger(), 5);
      // The name back, for the next round.
      b->Edit();
      b->FieldByName("Name").SetAsString("row105");
      b->Post();
    }
  }
  EXPECT_TRUE(VizcheckProblems(path).empty());
}

// A key search that cannot have its read lock gives up after its tries (about a minute) with
// "Table is locked", and the dataset stays where it was.
TEST(KeySearchMultiUserTest, SlowLockedTableRefusesTheSearch) {
  TempDir dir;
  const std::string path = dir.File("locked.svl");
  {
    auto first = NewConnection("First", path, {}, true);
    MakeLyricDatabase(*first);
    auto second = NewConnection("Second", path, {}, true);
    second->Open();
    auto a = LyricTable("First", "byName");
    a->Open();
    for (int id = 1; id <= 3; ++id) AddRow(*a, id, "row" + std::to_string(id), id);
    a->First();
    TABSLocalCursor holder(second->EngineSession());
    holder.SetTableName("LYRIC");
    holder.OpenTable();
    constexpr uint8_t kCommitLock = 4;  // excludes the readers of other sessions
    ASSERT_TRUE(holder.LockTable(kCommitLock, 1, 0));
    EXPECT_EQ(Raised([&] { a->SeekKeyValues({Text("row3")}); }), "Table is locked - Native error: 20215");
    EXPECT_EQ(a->FieldByName("Id").AsInteger(), 1);
    EXPECT_EQ(a->State(), dsBrowse);
    holder.UnlockTable(kCommitLock);
    EXPECT_TRUE(a->SeekKeyValues({Text("row3")}));
    EXPECT_EQ(a->FieldByName("Id").AsInteger(), 3);
  }
  EXPECT_TRUE(VizcheckProblems(path).empty());
}

}  // namespace
}  // namespace viz::testing
