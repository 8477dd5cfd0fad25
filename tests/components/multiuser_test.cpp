// Several connections on one file in multi-user mode: in one process and in two processes, with the
// record locks of editing.
#include <gtest/gtest.h>

#include <chrono>

#include "components/components_test_util.h"
#include "support/child_process.h"

namespace viz::testing {
namespace {

// A second process with one multi-user connection and a table on byId. Commands: "edit <id>"
// (answers "editing" or the error code), "post <score>", "cancel", "score <id>", "close".
VIZ_CHILD_ROLE(lyricEditor) {
  auto database = NewConnection("Child", args.at(0), {}, true);
  database->Open();
  auto table = LyricTable("Child", "byId");
  table->Open();
  Reply("ready");
  std::string line;
  while (ReadCommand(&line)) {
    const std::string verb = line.substr(0, line.find(' '));
    const int value = line.find(' ') == std::string::npos ? 0 : std::stoi(line.substr(line.find(' ') + 1));
    try {
      if (verb == "edit") {
        table->Refresh();
        table->Locate("Id", {Variant::FromInteger(value)}, 0);
        table->Edit();
        Reply("editing");
      } else if (verb == "post") {
        table->FieldByName("Score").SetAsInteger(value);
        table->Post();
        Reply("posted");
      } else if (verb == "cancel") {
        table->Cancel();
        Reply("cancelled");
      } else if (verb == "score") {
        table->Refresh();
        table->Locate("Id", {Variant::FromInteger(value)}, 0);
        Reply(std::to_string(table->FieldByName("Score").AsInteger()));
      } else if (verb == "close") {
        table->Close();
        database->Close();
        Reply("closed");
      }
    } catch (const EABSEngineError& error) {
      Reply(std::to_string(error.ErrorCode()));
    } catch (const Exception& error) {
      Reply(error.Message());
    }
  }
  return 0;
}

class MultiUserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("shared.svl");
    auto maker = NewConnection("Maker", path_, {}, true);
    MakeLyricDatabase(*maker);
    auto table = LyricTable("Maker");
    table->Open();
    for (int id = 1; id <= 3; ++id) AddRow(*table, id, "row" + std::to_string(id), id);
  }
  void TearDown() override { EXPECT_TRUE(VizcheckProblems(path_).empty()); }

  int Score(TABSTable& table, int id) {
    table.Refresh();
    EXPECT_TRUE(table.Locate("Id", {Variant::FromInteger(id)}, 0));
    return table.FieldByName("Score").AsInteger();
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(MultiUserTest, TwoConnectionsSeeEachOthersCommittedRows) {
  auto first = NewConnection("First", path_, {}, true);
  auto second = NewConnection("Second", path_, {}, true);
  first->Open();
  second->Open();
  EXPECT_NE(first->EngineSession()->SessionNumber(), second->EngineSession()->SessionNumber());
  auto a = LyricTable("First", "byId");
  auto b = LyricTable("Second", "byId");
  a->Open();
  b->Open();
  AddRow(*a, 10, "from a", 100);
  b->Refresh();
  EXPECT_EQ(Ids(*b), (std::vector<int>{1, 2, 3, 10}));
  second->BeginTransaction();
  AddRow(*b, 11, "from b", 110);
  a->Refresh();
  EXPECT_EQ(a->RecordCount(), 4);
  second->CommitTransaction();
  a->Refresh();
  EXPECT_EQ(Ids(*a), (std::vector<int>{1, 2, 3, 10, 11}));
  EXPECT_EQ(Score(*a, 11), 110);
}

TEST_F(MultiUserTest, SecondProcessEditingTheRecordGetsTheLockErrorAndLosesNothing) {
  ChildProcess child("lyricEditor", {path_});
  ASSERT_EQ(child.ReadLine(), "ready");
  auto database = NewConnection("Parent", path_, {}, true);
  database->Open();
  auto table = LyricTable("Parent", "byId");
  table->Open();
  ASSERT_EQ(child.Ask("edit 2"), "editing");
  ASSERT_TRUE(table->Locate("Id", {Variant::FromInteger(2)}, 0));
  const auto start = std::chrono::steady_clock::now();
  try {
    table->Edit();
    ADD_FAILURE() << "no error";
  } catch (const EABSEngineError& error) {
    EXPECT_EQ(error.Message(), "Zadezido Engine Error # -12 Record is locked");
  }
  // The record lock is tried 15 times, about 100 ms apart.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1200));
  EXPECT_EQ(table->State(), dsBrowse);
  EXPECT_EQ(table->FieldByName("Score").AsInteger(), 2);
  ASSERT_EQ(child.Ask("post 222"), "posted");
  EXPECT_EQ(Score(*table, 2), 222);
  table->Edit();
  table->FieldByName("Score").SetAsInteger(223);
  table->Post();
  EXPECT_EQ(child.Ask("score 2"), "223");
  // Closing a dataset in edit mode cancels the edit and releases its locks.
  table->Edit();
  table->FieldByName("Score").SetAsInteger(0);
  table->Close();
  ASSERT_EQ(child.Ask("edit 2"), "editing");
  ASSERT_EQ(child.Ask("cancel"), "cancelled");
  EXPECT_EQ(child.Ask("score 2"), "223");
  EXPECT_EQ(child.Ask("close"), "closed");
  EXPECT_EQ(child.Finish(), 0);
}

}  // namespace
}  // namespace viz::testing
