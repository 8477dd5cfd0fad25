// Key search, ranges and master/detail of the table dataset: the edge cases on the lyric table of a
// disk database, a key search on a large table that reads only a few pages, and a randomised model
// of searches and ranges on one- and multi-column indexes (descending, case-insensitive, NULLs)
// judged by a brute-force filter over the same rows, on the disk and MEMORY databases.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "components/components_test_util.h"
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
}

}  // namespace
}  // namespace viz::testing
