// The table dataset on a disk database: navigation, counts and numbers, editing, BLOB fields, the
// active index, bookmarks, and record operations that fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "components/components_test_util.h"
#include "framework/data/blob_field.h"
#include "framework/data/data_source.h"
#include "framework/data/exceptions.h"

namespace viz::testing {
namespace {

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("t.svl");
    database_ = NewConnection("T", path_);
    MakeLyricDatabase(*database_);
    table_ = LyricTable("T");
    table_->Open();
    const std::pair<int, const char*> rows[] = {{3, "cherry"}, {1, "apple"}, {4, "date"}, {2, "banana"}};
    for (const auto& [id, name] : rows) AddRow(*table_, id, name, id * 10);
  }
  void TearDown() override {
    table_.reset();
    database_.reset();
    EXPECT_TRUE(VizcheckProblems(path_).empty());
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<TABSDatabase> database_;
  std::unique_ptr<TABSTable> table_;
};

TEST_F(TableTest, OrderCountsAndNumbers) {
  EXPECT_EQ(table_->CurrentVersion(), "4.89 ");
  EXPECT_EQ(Ids(*table_), (std::vector<int>{3, 1, 4, 2}));
  const std::vector<std::pair<std::string, std::vector<int>>> orders = {
      {"byId", {1, 2, 3, 4}}, {"byName", {1, 2, 3, 4}}, {"", {3, 1, 4, 2}}};
  for (const auto& [index, ids] : orders) {
    table_->SetIndexName(index);
    EXPECT_EQ(Ids(*table_), ids) << index;
  }
  table_->SetIndexFieldNames("Name");
  EXPECT_EQ(table_->IndexName(), "");
  EXPECT_EQ(table_->IndexFieldNumbers(), std::vector<int>{2});
  EXPECT_EQ(table_->RecordCount(), 4);
  table_->Last();
  EXPECT_EQ(table_->RecNo(), 4);
  EXPECT_EQ(table_->FieldByName("Name").AsString(), "date");
  table_->SetRecNo(2);
  EXPECT_EQ(table_->FieldByName("Name").AsString(), "banana");
  table_->SetRecNo(99);
  EXPECT_EQ(table_->FieldByName("Name").AsString(), "date");
  table_->Insert();
  EXPECT_EQ(table_->RecNo(), -1);
  table_->Cancel();
  try {
    table_->SetIndexName("noSuchIndex");
    ADD_FAILURE() << "no error";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Cannot find index noSuchIndex - Native error: 10325");
  }
  table_->Close();
  EXPECT_EQ(table_->RecordCount(), 0);
}

TEST_F(TableTest, EditPostCancelDeleteAndBookmarks) {
  table_->SetIndexName("byId");
  table_->First();
  const TBookmark first = table_->GetBookmark();
  table_->Next();
  const TBookmark second = table_->GetBookmark();
  ASSERT_EQ(second.size(), 7u);
  EXPECT_EQ(second[6], 0);
  EXPECT_LT(table_->CompareBookmarks(first, second), 0);
  EXPECT_EQ(table_->CompareBookmarks(second, second), 0);
  table_->Edit();
  table_->FieldByName("Name").SetAsString("blueberry");
  table_->Post();
  table_->Edit();
  table_->FieldByName("Name").SetAsString("cancelled");
  table_->Cancel();
  EXPECT_EQ(table_->FieldByName("Name").AsString(), "blueberry");
  table_->GotoBookmark(first);
  EXPECT_EQ(table_->FieldByName("Id").AsInteger(), 1);
  table_->Delete();
  EXPECT_FALSE(table_->BookmarkValid(first));
  EXPECT_TRUE(table_->BookmarkValid(second));
  EXPECT_EQ(table_->FieldByName("Id").AsInteger(), 2);
  EXPECT_EQ(Ids(*table_), (std::vector<int>{2, 3, 4}));
  EXPECT_TRUE(table_->Locate("Name", {Variant::FromString("DATE")}, loCaseInsensitive));
  EXPECT_EQ(table_->FieldByName("Id").AsInteger(), 4);
  EXPECT_FALSE(table_->Locate("Name", {Variant::FromString("apple")}, 0));
  EXPECT_EQ(table_->Lookup("Id", {Variant::FromInteger(3)}, "Name")[0].AsString(), "cherry");
  // Data written survives closing and opening the connection.
  database_->Close();
  database_->Open();
  table_->Open();
  table_->SetIndexName("byName");
  EXPECT_EQ(Ids(*table_), (std::vector<int>{2, 3, 4}));
  table_->First();
  EXPECT_EQ(table_->FieldByName("Name").AsString(), "blueberry");
  EXPECT_EQ(table_->FieldByName("Score").AsInteger(), 20);
}

// After a delete the next record in the dataset's order becomes current (the new last one when the
// last was deleted), in every order and from every place in the window.
TEST_F(TableTest, DeleteMakesTheNextRecordCurrent) {
  for (const std::string index : {"byId", "byName", ""}) {
    for (int position = 1; position <= 4; ++position) {
      table_->SetIndexName(index);
      const std::vector<int> before = Ids(*table_);
      table_->SetRecNo(position);
      const int deleted = table_->FieldByName("Id").AsInteger();
      const std::string deletedName = table_->FieldByName("Name").AsString();
      table_->Delete();
      const int expected = before[position < 4 ? position : 2];
      EXPECT_EQ(table_->FieldByName("Id").AsInteger(), expected) << index << " at " << position;
      AddRow(*table_, deleted, deletedName, deleted * 10);
    }
  }
}

// The range a viewer of the table puts on its index in the tests below: Ids 2 to 4 in both index
// orders, none in storage order.
void ApplyIdRange(TABSTable& table, const std::string& index) {
  if (index == "byId") table.SetRange({Variant::FromInteger(2)}, {Variant::FromInteger(4)});
  if (index == "byName") table.SetRange({Variant::FromString("banana")}, {Variant::FromString("date")});
}

// When another dataset (on this connection or another one) deletes the record a dataset shows,
// Refresh shows its successor in the dataset's order (the predecessor for the last record), inside
// the dataset's range, whatever the size of its window.
TEST_F(TableTest, RefreshAfterAnotherDatasetDeletesTheShownRecord) {
  auto other = NewConnection("U", path_);
  other->Open();
  TDataSource source;
  TDataLink grid;
  grid.SetDataSource(&source);
  for (const std::string index : {"byId", "byName", ""}) {
    for (const bool ranged : {false, true}) {
      for (const int rows : {1, 3}) {
        for (const std::string alias : {"T", "U"}) {
          for (int position = 1;; ++position) {
            auto viewer = LyricTable("T", index);
            source.SetDataSet(viewer.get());
            grid.SetBufferCount(rows);
            viewer->Open();
            if (ranged) ApplyIdRange(*viewer, index);
            const std::vector<int> before = Ids(*viewer);
            const int count = static_cast<int>(before.size());
            if (position > count) break;
            const std::string where = index + (ranged ? " ranged" : "") + " rows " + std::to_string(rows) +
                                      " via " + alias + " at " + std::to_string(position);
            viewer->SetRecNo(position);
            const int deleted = viewer->FieldByName("Id").AsInteger();
            const std::string deletedName = viewer->FieldByName("Name").AsString();
            auto deleter = LyricTable(alias, index);
            deleter->Open();
            ASSERT_TRUE(deleter->Locate("Id", {Variant::FromInteger(deleted)}, 0)) << where;
            deleter->Delete();
            viewer->Refresh();
            const int expected = position < count ? position : position - 2;
            EXPECT_EQ(viewer->FieldByName("Id").AsInteger(), before[expected]) << where;
            EXPECT_EQ(viewer->RecNo(), position < count ? position : count - 1) << where;
            viewer->Close();
            AddRow(*deleter, deleted, deletedName, deleted * 10);
          }
        }
      }
    }
  }
  // The last record gone: an empty dataset.
  for (const std::string index : {"byId", ""}) {
    auto viewer = LyricTable("T", index);
    viewer->Open();
    auto deleter = LyricTable("U", index);
    deleter->Open();
    while (deleter->RecordCount() > 1) deleter->Delete();
    viewer->Refresh();
    deleter->First();
    deleter->Delete();
    viewer->Refresh();
    EXPECT_TRUE(viewer->IsEmpty()) << index;
    EXPECT_TRUE(viewer->Bof() && viewer->Eof()) << index;
    AddRow(*deleter, 1, "apple", 10);
  }
}

// When another dataset changes the key of the record a dataset shows, Refresh shows the record at
// its new place in the dataset's order; a record that left the dataset's range is passed like a
// deleted one.
TEST_F(TableTest, RefreshAfterAnotherDatasetMovesTheShownRecord) {
  auto other = NewConnection("U", path_);
  other->Open();
  const std::vector<std::pair<int, std::string>> moves = {
      {1, "elder"}, {4, "aaa"}, {2, "coconut"}, {3, "bamboo"}, {3, "dill"}};
  for (const bool ranged : {false, true}) {
    for (const auto& [id, newName] : moves) {
      const std::string where = std::to_string(id) + " to " + newName + (ranged ? " ranged" : "");
      // The byName order afterwards, and the dataset's part of it.
      std::vector<std::pair<std::string, int>> names = {{"apple", 1}, {"banana", 2}, {"cherry", 3}, {"date", 4}};
      std::vector<int> before, after;
      for (const auto& [name, rowId] : names)
        if (!ranged || (name >= "banana" && name <= "date")) before.push_back(rowId);
      for (auto& [name, rowId] : names)
        if (rowId == id) name = newName;
      std::sort(names.begin(), names.end());
      for (const auto& [name, rowId] : names)
        if (!ranged || (name >= "banana" && name <= "date")) after.push_back(rowId);
      const auto place = std::find(before.begin(), before.end(), id);
      if (place == before.end()) continue;
      auto viewer = LyricTable("T", "byName");
      viewer->Open();
      if (ranged) ApplyIdRange(*viewer, "byName");
      ASSERT_TRUE(viewer->Locate("Id", {Variant::FromInteger(id)}, 0)) << where;
      auto editor = LyricTable("U", "byName");
      editor->Open();
      ASSERT_TRUE(editor->Locate("Id", {Variant::FromInteger(id)}, 0)) << where;
      const std::string oldName = editor->FieldByName("Name").AsString();
      editor->Edit();
      editor->FieldByName("Name").SetAsString(newName);
      editor->Post();
      viewer->Refresh();
      int shown = id;
      if (std::find(after.begin(), after.end(), id) == after.end())
        shown = place + 1 < before.end() ? place[1] : place[-1];
      EXPECT_EQ(viewer->FieldByName("Id").AsInteger(), shown) << where;
      EXPECT_EQ(after.at(viewer->RecNo() - 1), shown) << where;
      EXPECT_EQ(Ids(*viewer), after) << where;
      editor->Edit();
      editor->FieldByName("Name").SetAsString(oldName);
      editor->Post();
    }
  }
}

TEST_F(TableTest, MemoFields) {
  const std::string lyric(5000, 'x');
  table_->SetIndexName("byId");
  table_->First();
  table_->Edit();
  table_->FieldByName("Notes").SetAsString(lyric + "!");
  table_->Post();
  table_->Next();
  table_->Edit();
  table_->FieldByName("Notes").SetAsString("dropped");
  table_->Cancel();
  table_->First();
  EXPECT_EQ(table_->FieldByName("Notes").AsString(), lyric + "!");
  table_->Next();
  EXPECT_TRUE(table_->FieldByName("Notes").IsNull());
  table_->Close();
  table_->Open();
  table_->First();
  EXPECT_EQ(table_->FieldByName("Notes").AsString(), lyric + "!");
}

TEST_F(TableTest, FailedRecordOperationsRaiseEngineErrors) {
  table_->SetIndexName("byId");
  // A duplicate key is refused with the constraint's message and nothing is stored; the dataset stays
  // inserting with the user's values.
  table_->Append();
  table_->FieldByName("Id").SetAsInteger(2);
  try {
    table_->Post();
    ADD_FAILURE() << "no error";
  } catch (const EABSEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), -8);
    EXPECT_EQ(error.Message(),
              "Zadezido Engine Error # -8 Constraint unique 'C_Unique$Id' violated. Duplicate found.");
  }
  EXPECT_EQ(table_->State(), dsInsert);
  EXPECT_EQ(table_->FieldByName("Id").AsInteger(), 2);
  table_->Cancel();
  // The whole-record step reports every non-zero result, not only -1.
  TABSLocalCursor& cursor = *table_->Cursor();
  std::vector<uint8_t> record(static_cast<size_t>(cursor.RecordBufferSize()));
  cursor.InitRecordBuffer(record.data(), false);
  const int32_t id = 2;
  std::memcpy(record.data() + cursor.FieldDefs()[0].BufferOffset, &id, 4);
  ClearNullFlag(record.data(), 0);
  table_->Append();
  try {
    table_->AddRecord(record.data());
    ADD_FAILURE() << "no error";
  } catch (const EABSEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), -8);
  }
  table_->Cancel();
  EXPECT_EQ(table_->RecordCount(), 4);
  // Another dataset of the connection changed the record after this edit began.
  auto other = LyricTable("T", "byId");
  other->Open();
  table_->First();
  table_->Edit();
  other->First();
  other->Edit();
  other->FieldByName("Score").SetAsInteger(99);
  other->Post();
  table_->FieldByName("Score").SetAsInteger(5);
  try {
    table_->Post();
    ADD_FAILURE() << "no error";
  } catch (const EABSEngineError& error) {
    EXPECT_EQ(error.Message(),
              "Zadezido Engine Error # -4 Error updating record - record was modified by other process");
  }
  EXPECT_EQ(table_->State(), dsEdit);
  table_->Cancel();
  other->First();
  other->Delete();
  try {
    table_->Delete();
    ADD_FAILURE() << "no error";
  } catch (const EABSEngineError& error) {
    EXPECT_EQ(error.ErrorCode(), -7);
  }
  table_->Refresh();
  EXPECT_EQ(table_->RecordCount(), 3);
}

// The steps the SQL engine takes through the dataset: a projection of the stored fields under
// aliases, an index on visible fields and the order it gives.
TEST_F(TableTest, ProjectionAndOrderByFields) {
  struct Refused {
    std::vector<std::string> names, aliases;
    std::string message;
  };
  const Refused refused[] = {
      {{"Id"}, {}, "Error - different lists length. L1 = 1, L2 = 0 - Native error: 10321"},
      {{}, {}, "No fields were specified while setting projection - Native error: 10322"},
      {{"Id", "Nope"}, {"", ""}, "Cannot find field Nope - Native error: 10323"},
  };
  for (const Refused& r : refused) {
    try {
      table_->SetProjection(r.names, r.aliases);
      ADD_FAILURE() << "no error";
    } catch (const EABSException& error) {
      EXPECT_EQ(error.Message(), r.message);
    }
    EXPECT_EQ(table_->FieldCount(), 4);  // a refused projection leaves the fields as they were
  }
  table_->SetProjection({"Name", "Id", "Score", "Id"}, {"Title", "", "Title", "Title"});
  ASSERT_TRUE(table_->Active());
  std::vector<std::string> names;
  for (int field = 0; field < table_->FieldCount(); ++field)
    names.push_back(table_->Fields()[field].FieldName());
  EXPECT_EQ(names, (std::vector<std::string>{"Title", "Id", "Title_1", "Title_2"}));
  table_->First();
  EXPECT_EQ(table_->FieldByName("Title").AsString(), "cherry");
  EXPECT_EQ(table_->FieldByName("Title_1").AsInteger(), 30);
  EXPECT_EQ(table_->FieldByName("Title_2").AsInteger(), 3);
  // Editing through a visible field writes the stored one.
  table_->Edit();
  table_->FieldByName("Title_1").SetAsInteger(31);
  table_->Post();

  // Closing drops the projection: the next opening shows the stored fields.
  table_->Close();
  table_->SetIndexName("");
  table_->Open();
  EXPECT_EQ(table_->FieldCount(), 4);
  EXPECT_EQ(table_->Fields()[0].FieldName(), "Id");
  table_->Close();
  try {
    table_->SetProjection({"Id"}, {""});
    ADD_FAILURE() << "no error";
  } catch (const EABSException& error) {
    EXPECT_EQ(error.Message(), "Nil pointer occured - Native error: 10357");
  }
}

TEST(TableOpenTest, OpenErrors) {
  TempDir dir;
  auto database = NewConnection("E", dir.File("e.svl"));
  MakeLyricDatabase(*database);
  struct Case {
    std::string databaseName, tableName, message;
  };
  const Case cases[] = {
      {"", "LYRIC", "LyricTable: DatabaseName property is blank"},
      {"E", " ", "LyricTable: Missing TableName property"},
      {"E", "NOPE", "Table 'NOPE' not exists. - Native error: 30396"},
  };
  for (const Case& c : cases) {
    auto table = LyricTable(c.databaseName);
    table->SetTableName(c.tableName);
    try {
      table->Open();
      ADD_FAILURE() << "no error";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Message(), c.message);
    }
    EXPECT_FALSE(table->Active());
    EXPECT_TRUE(database->DataSets().empty());
  }
  auto table = LyricTable("E");
  table->SetDatabaseName("memory");
  EXPECT_TRUE(table->InMemory());
  table->SetInMemory(false);
  table->SetDatabaseName("E");
  EXPECT_TRUE(table->Exists());
  table->SetTableName("NOPE");
  EXPECT_FALSE(table->Exists());
}

}  // namespace
}  // namespace viz::testing
