// Table behaviour that does not depend on where a table lives, run against every registered backend:
// creating, inserting, reading in storage and index order, automatic values, constraints, BLOB
// values, updating and deleting (where the backend allows it), emptying, ordering indexes, ordinals,
// dropping the table, and a random run compared with a simple model.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"
#include "support/suite_table.h"

namespace viz {
namespace {

using testing::EngineMessage;
using ::testing::HasSubstr;
using testing::SuiteTable;

enum : int32_t { kId = 0, kName = 1, kScore = 2, kNotes = 3 };

class TableSuite : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { backend_ = testing::TableBackends().at(GetParam())(); }
  void TearDown() override {
    table_.reset();
    EXPECT_EQ(backend_->Check(), "");
  }

  // "T": Id AUTOINC (primary index "byId"), Name STRING(20) (index "byName", case-insensitive),
  // Score INTEGER, Notes MEMO compressed with zlib in small blocks.
  SuiteTable& Make(bool uniqueNames = false) {
    table_ = std::make_unique<SuiteTable>(*backend_, "T");
    table_->AddField("Id", dt::kAutoInc);
    table_->AddField("Name", dt::kString, 20);
    table_->AddField("Score", dt::kInteger);
    TABSFieldDef& notes = table_->AddField("Notes", dt::kMemo);
    notes.BlobCompressionAlgorithm = 1;
    notes.BlobCompressionMode = 6;
    notes.BlobBlockSize = 4096;
    table_->AddIndexDef("byId", {{"Id"}}, true, true);
    table_->AddIndexDef("byName", {{"Name", false, true, 20}}, uniqueNames);
    table_->Create();
    return *table_;
  }
  bool Add(const std::string& name, int32_t score, const std::string& notes = "") {
    table_->New();
    table_->SetText(kName, name);
    table_->SetInt(kScore, score);
    if (!notes.empty()) table_->SetBlob(kNotes, notes);
    return table_->Post();
  }
  bool Editable() const { return backend_->Editable(); }

  std::unique_ptr<testing::TableBackend> backend_;
  std::unique_ptr<SuiteTable> table_;
};

TEST_P(TableSuite, CreateNeedsFieldsAndHappensOnce) {
  SuiteTable empty(*backend_, "Empty");
  EXPECT_THAT(EngineMessage([&] { empty.Create(); }),
              HasSubstr("Error creating table - no fields were specified"));
  Make();
  table_.reset();  // closed: nothing but the table's existence stands in the way
  {
    SuiteTable twice(*backend_, "t");
    twice.AddField("A", dt::kInteger);
    EXPECT_THAT(EngineMessage([&] { twice.Create(); }),
                ::testing::MatchesRegex(".*Table '?T'? already exists.*"));
  }
  EXPECT_TRUE(backend_->Database().TableExists("t"));
  // A create that fails leaves the table uncreated; the next one starts afresh.
  {
    SuiteTable bad(*backend_, "Again");
    bad.AddField("A", dt::kInteger);
    bad.AddIndexDef("byB", {{"B"}});
    EXPECT_THAT(EngineMessage([&] { bad.Create(); }), HasSubstr("Cannot find index field 'B'"));
  }
  SuiteTable good(*backend_, "Again");
  good.AddField("A", dt::kInteger);
  good.AddField("B", dt::kInteger);
  good.AddIndexDef("byB", {{"B"}});
  good.Create();
  EXPECT_EQ(good.Table().FieldManager()->FieldDefs().Count(), 2);
  good.New();
  good.SetInt(1, 5);
  EXPECT_TRUE(good.Post());
  EXPECT_EQ(good.CheckIndexes(), "");
}

TEST_P(TableSuite, RecordsReadBackInStorageAndIndexOrder) {
  SuiteTable& table = Make();
  for (const char* name : {"pear", "Apple", "fig", "banana"}) ASSERT_TRUE(Add(name, 7));
  EXPECT_EQ(table.Table().RecordCount(&table.Cursor()), 4);
  EXPECT_EQ(table.Column(kName), (std::vector<std::string>{"pear", "Apple", "fig", "banana"}));
  EXPECT_EQ(table.Column(kId), (std::vector<std::string>{"1", "2", "3", "4"}));
  table.UseIndex("byName");
  EXPECT_EQ(table.Column(kName), (std::vector<std::string>{"Apple", "banana", "fig", "pear"}));
  ASSERT_TRUE(table.Last());
  EXPECT_EQ(table.Text(kName), "pear");
  ASSERT_TRUE(table.Prior());
  EXPECT_EQ(table.Text(kName), "fig");
  EXPECT_EQ(table.CheckIndexes(), "");
}

TEST_P(TableSuite, AutomaticValuesFollowExplicitOnes) {
  SuiteTable& table = Make();
  ASSERT_TRUE(Add("a", 1));
  table.New();
  table.SetInt(kId, 100);
  table.SetText(kName, "b");
  ASSERT_TRUE(table.Post());
  ASSERT_TRUE(Add("c", 1));
  EXPECT_EQ(table.Column(kId), (std::vector<std::string>{"1", "100", "101"}));
  EXPECT_EQ(table.Table().LastAutoincValue(kId, &backend_->Session()), 101);
}

TEST_P(TableSuite, ConstraintsRefuseBadRecordsAndLeaveTheTableAlone) {
  if (!backend_->ChecksConstraints()) GTEST_SKIP() << "the temporary backend posts without constraint checks";
  SuiteTable& table = Make(true);
  ASSERT_TRUE(Add("same", 1));
  EXPECT_THAT(EngineMessage([&] { Add("SAME", 2); }),
              HasSubstr("Constraint unique 'C_Unique$Name' violated"));
  table.New();
  table.SetInt(kId, 1);
  table.SetText(kName, "other");
  EXPECT_THAT(EngineMessage([&] { table.Post(); }), HasSubstr("Primary Key constraint 'C_PK$Id' violated"));
  EXPECT_EQ(table.Column(kName), (std::vector<std::string>{"same"}));
  EXPECT_EQ(table.CheckIndexes(), "");
}

TEST_P(TableSuite, BlobValuesOfEverySizeReadBack) {
  SuiteTable& table = Make();
  std::mt19937 random(7);
  std::vector<std::string> values = {"", "x", std::string(4096, 'a'), std::string(4097, 'b')};
  std::string noise(300000, '\0');
  for (char& c : noise) c = static_cast<char>('a' + random() % 26);
  values.push_back(noise);
  for (const std::string& value : values) ASSERT_TRUE(Add("n", 1, value));
  std::vector<std::string> expected = values;
  expected[0] = "<null>";
  EXPECT_EQ(table.Column(kNotes), expected);
  // A value written into the buffer is read back before it is posted; releasing the buffer's cached
  // values keeps it, discarding them (a cancelled edit) drops it.
  ASSERT_TRUE(table.First() && table.Next());
  table.SetBlob(kNotes, "pending");
  EXPECT_EQ(table.Blob(kNotes), "pending");
  table.Table().ReleaseAllBlobs(table.Cursor().Record.data());
  EXPECT_EQ(table.Blob(kNotes), "pending");
  table.Table().DiscardRecordBlobs(table.Cursor().Record.data());
  EXPECT_EQ(table.Blob(kNotes), "x");
  EXPECT_EQ(table.Column(kNotes), expected);
}

TEST_P(TableSuite, UpdatesAndDeletesWhereTheBackendAllowsThem) {
  SuiteTable& table = Make();
  for (const char* name : {"d", "c", "b", "a"}) ASSERT_TRUE(Add(name, 1, std::string("notes of ") + name));
  ASSERT_TRUE(table.First());
  table.SetText(kName, "z");
  table.SetBlob(kNotes, "new notes");
  const bool updated = table.Update();
  ASSERT_TRUE(table.First());
  ASSERT_TRUE(table.Next());
  const bool deleted = table.Delete();
  EXPECT_EQ(updated, Editable());
  EXPECT_EQ(deleted, Editable());
  table.UseIndex("byName");
  if (Editable()) {
    EXPECT_EQ(table.Column(kName), (std::vector<std::string>{"a", "b", "z"}));
    table.UseStorageOrder();
    EXPECT_EQ(table.Column(kNotes), (std::vector<std::string>{"new notes", "notes of b", "notes of a"}));
  } else {
    EXPECT_EQ(table.Column(kName), (std::vector<std::string>{"a", "b", "c", "d"}));
    table.UseStorageOrder();
    EXPECT_EQ(table.Column(kNotes),
              (std::vector<std::string>{"notes of d", "notes of c", "notes of b", "notes of a"}));
  }
  EXPECT_EQ(table.CheckIndexes(), "");
}

TEST_P(TableSuite, EmptyingRemovesEveryRecordAndRestartsCounters) {
  SuiteTable& table = Make();
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(Add("n" + std::to_string(i), i, std::string(100, 'x')));
  table.Empty();
  EXPECT_EQ(table.Table().RecordCount(&table.Cursor()), 0);
  EXPECT_FALSE(table.First());
  EXPECT_EQ(table.CheckIndexes(), "");
  ASSERT_TRUE(Add("again", 1, "notes"));
  EXPECT_EQ(table.Column(kId), (std::vector<std::string>{"1"}));
  EXPECT_EQ(table.Column(kNotes), (std::vector<std::string>{"notes"}));
}

TEST_P(TableSuite, OrderingIndexIsMadeOnceAndFollowsChanges) {
  SuiteTable& table = Make();
  for (int32_t score : {30, 10, 20}) ASSERT_TRUE(Add("n", score));
  bool made = false;
  const std::string name =
      table.Table().FindOrCreateIndex(&table.Cursor(), {"Score"}, {"DESC"}, {"CASE"}, made);
  EXPECT_TRUE(made);
  EXPECT_EQ(table.Table().FindOrCreateIndex(&table.Cursor(), {"Score"}, {"DESC"}, {"CASE"}, made), name);
  EXPECT_FALSE(made);
  ASSERT_TRUE(Add("n", 25));
  table.UseIndex(name);
  EXPECT_EQ(table.Column(kScore), (std::vector<std::string>{"30", "25", "20", "10"}));
  EXPECT_EQ(table.CheckIndexes(), "");
}

TEST_P(TableSuite, OrdinalsStayConsecutive) {
  SuiteTable& table = Make();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Add("n", i));
  if (Editable()) {
    for (int32_t ordinal : {1, 4, 4}) {  // the first, the fourth and then the fifth original record
      table.Table().GotoOrdinal(&table.Cursor(), ordinal);
      ASSERT_TRUE(table.Delete());
    }
    ASSERT_TRUE(Add("n", 10));
  }
  const std::vector<std::string> scores = table.Column(kScore);
  for (int64_t ordinal = 1; ordinal <= static_cast<int64_t>(scores.size()); ++ordinal) {
    table.Table().GotoOrdinal(&table.Cursor(), ordinal);
    ASSERT_EQ(table.Table().StepCursor(&table.Cursor(), TABSNavigationRecord::kCurrent),
              TABSNavigationRecord::kFound);
    EXPECT_EQ(std::to_string(table.Int(kScore)), scores[static_cast<size_t>(ordinal - 1)]);
    EXPECT_EQ(table.Table().Ordinal(&table.Cursor()), ordinal);
  }
  EXPECT_EQ(scores.size(), Editable() ? 8u : 10u);
}

TEST_P(TableSuite, DroppingTheTableGivesBackItsMemory) {
  const int64_t before = MemoryManager().GetMemoryInUse();
  SuiteTable& table = Make();
  for (int i = 0; i < 2000; ++i) ASSERT_TRUE(Add("name " + std::to_string(i), i, std::string(i % 300, 'q')));
  EXPECT_EQ(table.Table().RecordCount(&table.Cursor()), 2000);
  TABSTableData& data = table.Table();
  EXPECT_THAT(EngineMessage([&] { data.DeleteTable(&backend_->Session(), false); }),
              HasSubstr("Cannot delete table 'T'. Table is open by another dataset"));
  table.Drop();
  EXPECT_FALSE(backend_->Database().TableExists("T"));
  table_.reset();
  // The suite table's own buffer is freed with it; everything the table held is freed by now.
  if (backend_->GivesMemoryBack()) {
    EXPECT_EQ(MemoryManager().GetMemoryInUse(), before);
  }
  EXPECT_EQ(testing::OpenTemporaryFiles(), 0);
}

// Random inserts, updates and deletes, compared after every step with a model of the table: the
// records in storage order, their order by name, their BLOB values, and sound indexes.
TEST_P(TableSuite, RandomRunMatchesModel) {
  SuiteTable& table = Make();
  std::mt19937 random(20240601);
  struct Row {
    std::string name;
    int32_t score;
    std::string notes;
  };
  std::map<int32_t, Row> model;  // by Id: the order of index byId
  auto nameFor = [&] {
    return std::string(1, static_cast<char>('a' + random() % 26)) + std::to_string(random() % 50);
  };
  auto notesFor = [&] {
    return random() % 3 == 0 ? std::string()
                             : std::string(random() % 9000, static_cast<char>('A' + random() % 26));
  };
  auto seek = [&](int32_t id) {
    for (bool found = table.First(); found; found = table.Next())
      if (table.Int(kId) == id) return true;
    return false;
  };
  int32_t nextId = 1;
  for (int step = 0; step < 400; ++step) {
    const int op = static_cast<int>(random() % 10);
    if (model.empty() || op < 5 || !Editable()) {
      Row row{nameFor(), static_cast<int32_t>(random() % 1000), notesFor()};
      ASSERT_TRUE(Add(row.name, row.score, row.notes));
      model[nextId++] = row;
    } else {
      auto it = model.begin();
      std::advance(it, random() % model.size());
      table.UseIndex("byId");
      ASSERT_TRUE(seek(it->first));
      if (op < 8) {
        it->second.name = nameFor();
        table.SetText(kName, it->second.name);
        if (random() % 2) {
          it->second.notes = notesFor();
          table.SetBlob(kNotes, it->second.notes);
        }
        ASSERT_TRUE(table.Update());
      } else {
        ASSERT_TRUE(table.Delete());
        model.erase(it);
      }
    }
    if (step % 40 != 39) continue;
    table.UseIndex("byId");
    std::vector<std::string> names, notes, sorted;
    for (const auto& [id, row] : model) {
      names.push_back(row.name);
      notes.push_back(row.notes.empty() ? "<null>" : row.notes);
    }
    ASSERT_EQ(table.Column(kName), names);
    ASSERT_EQ(table.Column(kNotes), notes);
    table.UseIndex("byName");
    sorted = table.Column(kName);
    ASSERT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
    std::sort(names.begin(), names.end());
    ASSERT_EQ(sorted, names);
    ASSERT_EQ(table.CheckIndexes(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, TableSuite, ::testing::ValuesIn(testing::TableBackendNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace viz
