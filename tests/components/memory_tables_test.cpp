// Table datasets on the built-in databases: a memory table edited at random against a simple model,
// in storage and index order; a temporary table, which only grows; and the SQL engine's ordering
// steps on a projected memory table.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>

#include "components/components_test_util.h"
#include "support/disk_tables.h"

namespace viz::testing {
namespace {

// Makes table `name` (Id INTEGER, Name STRING(30), Score INTEGER, Notes MEMO; byId unique, byName)
// in the built-in database `alias`.
std::unique_ptr<TABSDatabase> MakeBuiltInTable(const std::string& alias, const std::string& name) {
  auto database = NewConnection(alias, "");
  database->Open();
  TABSLocalCursor cursor(database->EngineSession());
  cursor.SetTableName(name);
  cursor.CreateTable(*MakeFields({{"Id", dt::kInteger},
                                  {"Name", dt::kString, 30},
                                  {"Score", dt::kInteger},
                                  {"Notes", dt::kMemo, 0, 1, 1, 1000}}),
                     *MakeIndexes({{"byId", {"Id"}, true}, {"byName", {"Name"}}}), {});
  return database;
}

void DropTable(TABSDatabase& database, const std::string& name) {
  TABSLocalCursor cursor(database.EngineSession());
  cursor.SetTableName(name);
  cursor.DeleteTable();
  EXPECT_FALSE(database.HasTable(name));
}

std::unique_ptr<TABSTable> Table(const std::string& alias, const std::string& name,
                                 const std::string& index) {
  auto table = LyricTable(alias, index);
  table->SetTableName(name);
  return table;
}

TEST(MemoryTableTest, RandomEditsFollowTheModel) {
  auto database = MakeBuiltInTable("MEMORY", "MODEL");
  auto table = Table("MEMORY", "MODEL", "byName");
  table->Open();
  EXPECT_TRUE(table->InMemory());
  std::map<int, std::pair<std::string, std::string>> model;  // Id -> Name, Notes
  std::mt19937 random(7);
  auto name = [&] { return "n" + std::to_string(10 + random() % 50); };  // two digits sort alike everywhere
  for (int step = 0; step < 300; ++step) {
    const int id = static_cast<int>(random() % 60);
    const bool present = model.count(id) != 0;
    switch (random() % 3) {
      case 0:
        if (present) break;
        table->Append();
        table->FieldByName("Id").SetAsInteger(id);
        table->FieldByName("Name").SetAsString(model[id].first = name());
        table->FieldByName("Notes").SetAsString(model[id].second = std::string(random() % 3000, 'm'));
        table->Post();
        break;
      case 1:
        ASSERT_EQ(table->Locate("Id", {Variant::FromInteger(id)}, 0), present);
        if (!present) break;
        table->Edit();
        table->FieldByName("Name").SetAsString(model[id].first = name());
        if (random() % 2) table->FieldByName("Notes").SetAsString(model[id].second = "edited");
        table->Post();
        break;
      default:
        ASSERT_EQ(table->Locate("Id", {Variant::FromInteger(id)}, 0), present);
        if (!present) break;
        table->Delete();
        model.erase(id);
        break;
    }
    if (step % 50 != 49) continue;
    ASSERT_EQ(table->RecordCount(), static_cast<int>(model.size()));
    // byName: names ascending, equal names in the order of their index entries; check the names.
    std::vector<std::string> names, expected;
    for (table->First(); !table->Eof(); table->Next()) {
      names.push_back(table->FieldByName("Name").AsString());
      const auto& row = model.at(table->FieldByName("Id").AsInteger());
      ASSERT_EQ(names.back(), row.first);
      ASSERT_EQ(table->FieldByName("Notes").AsString(), row.second);
    }
    for (const auto& [id, row] : model) expected.push_back(row.first);
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(names, expected);
    table->SetIndexName("byId");
    std::vector<int> ids;
    for (const auto& [id, row] : model) ids.push_back(id);
    ASSERT_EQ(Ids(*table), ids);
    table->SetIndexName("byName");
  }
  table->Close();
  DropTable(*database, "MODEL");
}

TEST(TemporaryTableTest, RecordsOnlyGrow) {
  auto database = MakeBuiltInTable("TEMP", "WORK");
  auto table = Table("TEMP", "WORK", "byName");
  table->Open();
  EXPECT_FALSE(table->InMemory());
  const std::pair<int, const char*> rows[] = {{3, "c"}, {1, "a"}, {2, "b"}};
  for (const auto& [id, name] : rows) AddRow(*table, id, name, id);
  EXPECT_EQ(Ids(*table), (std::vector<int>{1, 2, 3}));
  table->SetIndexName("");
  EXPECT_EQ(Ids(*table), (std::vector<int>{3, 1, 2}));
  table->First();
  struct Refused {
    std::function<void()> step;
    std::string message;
  };
  const Refused refused[] = {
      {[&] { table->Edit(); }, "Zadezido Engine Error # -9 Cannot update record in temporary mode"},
      {[&] { table->Delete(); }, "Zadezido Engine Error # -10 Cannot delete record in temporary mode"},
  };
  for (const Refused& r : refused) {
    try {
      r.step();
      ADD_FAILURE() << "no error: " << r.message;
    } catch (const EABSEngineError& error) {
      EXPECT_EQ(error.Message(), r.message);
    }
    EXPECT_EQ(table->State(), dsBrowse);
    EXPECT_EQ(Ids(*table), (std::vector<int>{3, 1, 2}));
  }
  table->Close();
  DropTable(*database, "WORK");
}

TEST(MemoryTableTest, OrderByFieldsOnAProjection) {
  auto database = MakeBuiltInTable("MEMORY", "ORDERED");
  auto table = Table("MEMORY", "ORDERED", "");
  table->Open();
  for (int id = 1; id <= 4; ++id) AddRow(*table, id, "n" + std::to_string(id), id * 10);
  table->SetProjection({"Score", "Id"}, {"Points", ""});
  std::vector<std::string> fields = {"Points", "Id"};
  const std::string index = table->MakeIndexOnFields(fields, {"DESC"}, {});
  EXPECT_EQ(fields, (std::vector<std::string>{"Score", "Id"}));
  EXPECT_NE(table->Cursor()->IndexDefs().FindIndex(index), nullptr);
  table->OrderByFields({"Points"}, {"DESC"}, {});
  EXPECT_EQ(table->IndexName(), table->Cursor()->CurrentIndexName());
  EXPECT_EQ(Ids(*table), (std::vector<int>{4, 3, 2, 1}));
  table->First();
  EXPECT_EQ(table->FieldByName("Points").AsInteger(), 40);
  table->Close();
  DropTable(*database, "ORDERED");
}

}  // namespace
}  // namespace viz::testing
