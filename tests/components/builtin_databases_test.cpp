// The built-in databases through the components: a connection named "MEMORY" or "TEMP" reaches the
// process's one database of that name, whose tables a table dataset opens, fills, edits (where the
// backend allows it) and whose table a cursor drops again.
#include <gtest/gtest.h>

#include "components/components_test_util.h"
#include "engine/components/engine_manager.h"
#include "support/disk_tables.h"

namespace viz::testing {
namespace {

TEST(BuiltInDatabases, TablesOfTheMemoryAndTemporaryDatabases) {
  TABSEngineManager& manager = TABSEngineManager::Instance();
  EXPECT_EQ(manager.BuiltInDatabase("memory"), nullptr);  // the names are exact
  for (const char* alias : {"MEMORY", "TEMP"}) {
    SCOPED_TRACE(alias);
    const bool editable = std::string(alias) == "MEMORY";
    TABSDatabaseData* builtIn = manager.BuiltInDatabase(alias);
    ASSERT_NE(builtIn, nullptr);
    EXPECT_EQ(manager.BuiltInDatabase(alias), builtIn);
    auto database = NewConnection(alias, "");
    database->Open();
    EXPECT_EQ(database->EngineSession()->Database(), builtIn);
    {
      TABSLocalCursor cursor(database->EngineSession());
      cursor.SetTableName("LYRIC");
      cursor.CreateTable(*MakeFields({{"Id", dt::kInteger},
                                      {"Name", dt::kString, 30},
                                      {"Score", dt::kInteger},
                                      {"Notes", dt::kMemo, 0, 1, 1, 1000}}),
                         *MakeIndexes({{"byId", {"Id"}, true}, {"byName", {"Name"}}}), {});
    }
    EXPECT_TRUE(builtIn->TableExists("lyric"));
    auto table = LyricTable(alias, "byName");
    table->Open();
    AddRow(*table, 1, "pear", 10);
    AddRow(*table, 2, "apple", 20);
    table->Append();
    table->FieldByName("Id").SetAsInteger(3);
    table->FieldByName("Name").SetAsString("fig");
    table->FieldByName("Notes").SetAsString(std::string(3000, 'n'));
    table->Post();
    EXPECT_EQ(Ids(*table), (std::vector<int>{2, 3, 1}));
    EXPECT_TRUE(table->Locate("Id", {Variant::FromInteger(3)}, 0));
    EXPECT_EQ(table->FieldByName("Notes").AsString(), std::string(3000, 'n'));
    if (editable) {
      // A memo written and cancelled is dropped; one posted is kept.
      table->Edit();
      table->FieldByName("Notes").SetAsString("cancelled");
      table->Cancel();
      EXPECT_EQ(table->FieldByName("Notes").AsString(), std::string(3000, 'n'));
      table->Edit();
      table->FieldByName("Notes").SetAsString("posted");
      table->Post();
      EXPECT_EQ(table->FieldByName("Notes").AsString(), "posted");
      table->Delete();
      EXPECT_EQ(Ids(*table), (std::vector<int>{2, 1}));
    } else {
      // Work tables only grow: editing a record is refused.
      try {
        table->Edit();
        table->FieldByName("Name").SetAsString("changed");
        table->Post();
        ADD_FAILURE() << "no error";
      } catch (const EABSEngineError& error) {
        EXPECT_EQ(error.ErrorCode(), -9);
      }
      if (table->State() != dsBrowse) table->Cancel();
      EXPECT_EQ(Ids(*table), (std::vector<int>{2, 3, 1}));
    }
    table->Close();
    {
      TABSLocalCursor cursor(database->EngineSession());
      cursor.SetTableName("LYRIC");
      cursor.DeleteTable();
    }
    EXPECT_FALSE(builtIn->TableExists("LYRIC"));
    database->Close();
  }
}

}  // namespace
}  // namespace viz::testing
