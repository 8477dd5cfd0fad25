// The abstract table and database data through the test backend: installing definitions and
// constraints, constraint checks, indexes with their constraints, temporary indexes, renaming, and
// the database's session and table lists.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/platform/random.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/types/errors.h"
#include "test_backend.h"

namespace viz {
namespace {

using testing::TestCursor;
using testing::TestDatabaseData;
using testing::TestTableData;
using testing::MessageOf;

// Table "LYRIC": 0 Id AUTOINC, 1 FileName STRING(20), 2 Score INTEGER, 3 TheLyric MEMO.
class TableDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = new TestDatabaseData;
    database_->ConnectSession(&session_);
    session_.SetSessionNumber(3);
    cursor_ = std::make_unique<TestCursor>("LYRIC", &session_);
    table_ = static_cast<TestTableData*>(database_->FindOrCreateTableData(cursor_.get()));
  }
  void TearDown() override {
    database_->DisconnectSession(&session_);
    EXPECT_TRUE(database_->FreeIfUnused());
  }

  static TABSFieldDef& AddField(TABSFieldDefs& fields, const char* name, TABSDataType type,
                                int32_t size = 0) {
    TABSFieldDef& field = fields.AddCreated();
    field.SetName(name);
    field.SetDataType(type, size);
    return field;
  }
  void Create(const TABSIndexDefs& indexes = {}, const TABSConstraintDefs& constraints = {}) {
    TABSFieldDefs fields;
    AddField(fields, "Id", dt::kAutoInc);
    AddField(fields, "FileName", dt::kString, 20);
    AddField(fields, "Score", dt::kInteger);
    AddField(fields, "TheLyric", dt::kMemo);
    table_->CreateTable(cursor_.get(), fields, indexes, constraints);
  }
  // Sets the cursor's record to a new record with the given values (empty name / negative score =
  // NULL), leaving Id NULL for its automatic value.
  void NewRecord(std::string_view name, int32_t score) {
    const TABSFieldDefs& fields = table_->FieldManager()->FieldDefs();
    cursor_->Record.assign(static_cast<size_t>(fields.RecordBufferSize()), 0);
    cursor_->Record[0] = 0x0F;
    if (!name.empty()) {
      std::memcpy(&cursor_->Record[fields[1].BufferOffset], name.data(), name.size());
      ClearNullFlag(cursor_->Record.data(), 1);
    }
    if (score >= 0) {
      std::memcpy(&cursor_->Record[fields[2].BufferOffset], &score, 4);
      ClearNullFlag(cursor_->Record.data(), 2);
    }
  }
  void Insert(std::string_view name, int32_t score) {
    NewRecord(name, score);
    table_->InsertRecord(cursor_.get());
  }
  bool Check(bool isInsert = true, TABSRecordAddress address = {}) {
    return table_->ConstraintManager()->Check(cursor_->Record.data(), &session_, address, isInsert, false);
  }
  std::string CheckMessage(bool isInsert = true, TABSRecordAddress address = {}) {
    return MessageOf([&] {
      table_->ConstraintManager()->Check(cursor_->Record.data(), &session_, address, isInsert, true);
    });
  }
  static TABSIndexDef MakeIndex(const char* name, std::vector<const char*> columns, bool unique,
                                bool primary) {
    TABSIndexDef index;
    index.SetName(name);
    index.Unique = unique;
    index.Primary = primary;
    for (const char* column : columns) index.Columns.push_back({column, false, false, 20});
    return index;
  }
  const TABSConstraintDefs& Constraints() { return table_->ConstraintManager()->ConstraintDefs(); }

  TestDatabaseData* database_ = nullptr;
  TABSBaseSession session_;
  std::unique_ptr<TestCursor> cursor_;
  TestTableData* table_ = nullptr;
};

TEST_F(TableDataTest, DefinitionsGetObjectIdsOffsetsAndCounters) {
  Create();
  const TABSFieldDefs& fields = table_->FieldManager()->FieldDefs();
  ASSERT_EQ(fields.Count(), 4);
  EXPECT_EQ(fields[0].ObjectID, 1);
  EXPECT_EQ(fields[3].ObjectID, 4);
  EXPECT_EQ(fields[1].BufferOffset, 5);
  EXPECT_EQ(table_->RecordBufferSize(), 1 + 4 + 21 + 4 + 10);
  TABSRecordLayout layout;
  table_->GetRecordLayout(layout);
  EXPECT_EQ(layout.FieldDataOffset, 1);
  EXPECT_EQ(layout.RecordBufferSize, 40);
  EXPECT_EQ(table_->FieldManager()->AutoincCount(), 4);
}

TEST_F(TableDataTest, TableWithoutFields) {
  TABSRecordLayout layout;
  table_->GetRecordLayout(layout);
  EXPECT_EQ(layout.FieldDataOffset, 0);
  EXPECT_EQ(layout.RecordBufferSize, 0);
  EXPECT_EQ(MessageOf([&] { table_->RecordBufferSize(); }),
            "Error creating table - no fields were specified - Native error: 10131");
}

TEST_F(TableDataTest, DuplicateFieldNamesAreRefused) {
  TABSFieldDefs fields;
  AddField(fields, "Name", dt::kString, 5);
  AddField(fields, "NAME", dt::kInteger);
  EXPECT_EQ(MessageOf([&] { table_->SetFieldDefs(fields); }),
            "Duplicate field name NAME - Native error: 10424");
}

TEST_F(TableDataTest, AutoincThroughInsertsAndTheSessionsLastValue) {
  TABSFieldDefs fields;
  AddField(fields, "Id", dt::kAutoInc).Increment = 5;
  table_->CreateTable(cursor_.get(), fields, {}, {});
  std::vector<int32_t> ids;
  for (int i = 0; i < 3; ++i) {
    cursor_->Record.assign(5, 0x01);
    table_->InsertRecord(cursor_.get());
    int32_t id;
    std::memcpy(&id, &cursor_->Record[1], 4);
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{5, 10, 15}));
  EXPECT_EQ(table_->LastAutoincValue(0, &session_), 15);
  table_->EmptyTable(cursor_.get());
  EXPECT_EQ(table_->FieldManager()->AutoincValue(0), 0);
}

TEST_F(TableDataTest, NotNullConstraintGetsAGeneratedNameAndRefusesNull) {
  TABSConstraintDefs constraints;
  constraints.AddNotNull().TargetName = "filename";
  Create({}, constraints);
  ASSERT_EQ(Constraints().Count(), 1);
  const TABSConstraintDef& constraint = Constraints()[0];
  EXPECT_EQ(constraint.Name(), "$C_NotNull$LYRIC$filename");
  EXPECT_EQ(constraint.TableName, "LYRIC");
  EXPECT_EQ(constraint.TargetObjectID, table_->FieldManager()->FieldDefs()[1].ObjectID);
  EXPECT_GT(constraint.ObjectID, 0);

  NewRecord("", 1);
  EXPECT_FALSE(Check());
  EXPECT_EQ(
      CheckMessage(),
      "Constraint '$C_NotNull$LYRIC$filename' violated. Value in field 'FileName' cannot be null - Native "
      "error: 30026");
  NewRecord("song.mp3", -1);
  EXPECT_TRUE(Check());
}

TEST_F(TableDataTest, GeneratedNamesAvoidNamesInUse) {
  TABSConstraintDefs constraints;
  constraints.AddCheck().SetName("$C_Check$LYRIC$Score");
  constraints.AddCheck().TargetName = "Score";
  constraints[0].TargetName = "Score";
  platform::SetRandomSeed(0);
  Create({}, constraints);
  const std::string& generated = Constraints()[1].Name();
  EXPECT_EQ(generated.rfind("$C_Check$LYRIC$Score", 0), 0u);
  EXPECT_GT(generated.size(), std::string("$C_Check$LYRIC$Score").size());
  EXPECT_NE(Constraints().IndexOfName(generated), 0);
}

TEST_F(TableDataTest, ConstraintNamesMustResolve) {
  TABSConstraintDefs onField;
  onField.AddNotNull().TargetName = "Missing";
  EXPECT_EQ(MessageOf([&] { Create({}, onField); }), "Field 'Missing' not found - Native error: 30027");
  TABSConstraintDefs onIndex;
  TABSConstraintDefUnique& unique = onIndex.AddUnique();
  unique.SetName("U");
  unique.TargetName = "NoIndex";
  EXPECT_EQ(MessageOf([&] { table_->SetConstraintDefs(onIndex); }),
            "Index 'NoIndex' not found - Native error: 30325");
  TABSIndexDefs indexes;
  indexes.AddCreated().SetName("ix");
  table_->SetIndexDefs(indexes);
  unique.TargetName = "IX";
  unique.Columns.push_back({"Nope", 0});
  EXPECT_EQ(MessageOf([&] { table_->SetConstraintDefs(onIndex); }),
            "Field 'Nope' not found - Native error: 30332");
  TABSConstraintDefs unnamedKey;
  unnamedKey.AddPrimary().TargetName = "ix";
  EXPECT_EQ(MessageOf([&] { table_->SetConstraintDefs(unnamedKey); }),
            "Not implemented yet - Native error: 30038");
}

TEST_F(TableDataTest, CheckConstraintBoundsAndMessages) {
  TABSConstraintDefs constraints;
  TABSConstraintDefCheck& range = constraints.AddCheck();
  range.SetName("ScoreRange");
  range.TargetName = "Score";
  range.LowerBound = TABSVariant(bt::kInteger);
  range.LowerBound.SetAsInteger(1);
  range.UpperBound = TABSVariant(bt::kLargeInt);
  range.UpperBound.SetAsLargeInt(10);
  Create({}, constraints);
  for (int32_t score : {1, 5, 10}) {
    NewRecord("x", score);
    EXPECT_TRUE(Check()) << score;
  }
  NewRecord("x", -1);  // NULL passes
  EXPECT_TRUE(Check());
  NewRecord("x", 0);
  EXPECT_EQ(CheckMessage(),
            "Constraint 'ScoreRange' violated. Value in field 'Score' cannot be lower than '1' - Native "
            "error: 30029");
  NewRecord("x", 11);
  EXPECT_FALSE(Check());
  EXPECT_EQ(CheckMessage(),
            "Constraint 'ScoreRange' violated. Value in field 'Score' cannot be greater than '10' - Native "
            "error: 30030");
}

TEST_F(TableDataTest, CheckWithOnlyAnUpperBoundOnText) {
  TABSConstraintDefs constraints;
  TABSConstraintDefCheck& upper = constraints.AddCheck();
  upper.SetName("NameUpTo");
  upper.TargetName = "FileName";
  upper.UpperBound = TABSVariant(bt::kString);
  upper.UpperBound.SetAsString("m");
  Create({}, constraints);
  for (const char* name : {"a", "abc", "m"}) {
    NewRecord(name, 1);
    EXPECT_TRUE(Check()) << name;
  }
  NewRecord("", 1);
  EXPECT_TRUE(Check());
  NewRecord("n", 1);
  EXPECT_FALSE(Check());
}

TEST_F(TableDataTest, PrimaryKeyRefusesAllNullKeysAndDuplicates) {
  TABSIndexDefs indexes;
  TABSIndexDef primary = MakeIndex("PK", {"FileName", "Score"}, true, true);
  indexes.Add(primary.Clone());
  TABSConstraintDefs constraints;
  constraints.Add(TABSBaseConstraintManager::ConstraintForIndex(primary));
  Create(indexes, constraints);
  ASSERT_EQ(Constraints().Count(), 1);
  EXPECT_EQ(Constraints()[0].Name(), "C_PK$FileName$Score");
  EXPECT_EQ(Constraints()[0].TargetObjectID, table_->IndexManager()->IndexDefs()[0].ObjectID);

  NewRecord("", -1);
  EXPECT_EQ(CheckMessage(),
            "Constraint 'C_PK$FileName$Score' violated. Value in field 'FileName,Score' cannot be "
            "null - Native error: 30330");
  NewRecord("a.mp3", -1);  // one column NULL is not a null violation
  EXPECT_TRUE(Check());
  Insert("a.mp3", 1);
  NewRecord("a.mp3", 2);
  EXPECT_TRUE(Check());
  NewRecord("a.mp3", 1);
  EXPECT_EQ(CheckMessage(),
            "Primary Key constraint 'C_PK$FileName$Score' violated. Duplicate found. - Native "
            "error: 30319");
  EXPECT_THROW(table_->InsertRecord(cursor_.get()), EABSException);
  EXPECT_EQ(table_->Records().RecordCount, 1);
  // Updating the record to its own key is no duplicate.
  EXPECT_TRUE(Check(false, TABSRecordAddress{0, 0}));
  Insert("b.mp3", 1);
  NewRecord("b.mp3", 1);
  EXPECT_FALSE(Check(false, TABSRecordAddress{0, 0}));  // a.mp3 changed into the key of b.mp3
}

TEST_F(TableDataTest, UniqueIndexAddedLaterBringsItsConstraint) {
  Create();
  Insert("a.mp3", 1);
  Insert("b.mp3", 1);
  table_->AddIndex(MakeIndex("byName", {"FileName"}, true, false), cursor_.get());
  ASSERT_EQ(Constraints().Count(), 1);
  EXPECT_EQ(Constraints()[0].Kind(), TABSConstraintKind::Unique);
  EXPECT_EQ(Constraints()[0].Name(), "C_Unique$FileName");
  const TABSIndexDef& index = table_->IndexManager()->IndexDefs()[0];
  EXPECT_EQ(index.RootPage, 100 + index.ObjectID);  // taken over from the build
  NewRecord("a.mp3", 2);
  EXPECT_EQ(CheckMessage(),
            "Constraint unique 'C_Unique$FileName' violated. Duplicate found. - Native error: 30320");
  NewRecord("c.mp3", 2);
  EXPECT_TRUE(Check());

  table_->DropIndex(index.ObjectID, cursor_.get());
  EXPECT_EQ(Constraints().Count(), 0);
  EXPECT_EQ(table_->IndexManager()->IndexDefs().Count(), 0);
  NewRecord("a.mp3", 2);
  EXPECT_TRUE(Check());
  EXPECT_EQ(MessageOf([&] { table_->DropIndex(999, cursor_.get()); }),
            "Index not found - Native error: 20018");
}

TEST_F(TableDataTest, FailedIndexBuildLeavesNoDefinition) {
  Create();
  testing::TestIndex::FailNextCreate = true;
  EXPECT_THROW(table_->AddIndex(MakeIndex("byName", {"FileName"}, true, false), cursor_.get()),
               std::exception);
  EXPECT_EQ(table_->IndexManager()->IndexDefs().Count(), 0);
  EXPECT_EQ(Constraints().Count(), 0);
}

TEST_F(TableDataTest, IndexesFollowRecordChanges) {
  TABSIndexDefs indexes;
  indexes.Add(MakeIndex("byName", {"FileName"}, true, false).Clone());
  Create(indexes);
  Insert("a.mp3", 1);
  Insert("b.mp3", 1);
  TABSIndexDef& definition = table_->IndexManager()->IndexDefs()[0];
  auto& index = static_cast<testing::TestIndex&>(table_->IndexManager()->GetIndex(definition.ObjectID));
  EXPECT_EQ(index.Keys.size(), 2u);
  const int32_t changes = definition.ChangeCounter;
  NewRecord("c.mp3", 1);
  table_->UpdateRecord(cursor_.get());  // the cursor stands on b.mp3
  EXPECT_EQ(definition.ChangeCounter, changes + 1);
  table_->DeleteRecord(cursor_.get());
  EXPECT_EQ(index.Keys.size(), 1u);
  NewRecord("c.mp3", 1);
  EXPECT_TRUE(index.KeyIsFree(3, cursor_->Record.data()));
  NewRecord("a.mp3", 1);
  EXPECT_FALSE(index.KeyIsFree(3, cursor_->Record.data()));
}

TEST_F(TableDataTest, OrderingIndexIsReusedInTheSameSessionOnly) {
  Create();
  TABSIndexDefs indexes;
  TABSIndexDef existing = MakeIndex("byScoreDesc", {"Score"}, false, false);
  existing.Columns[0].Descending = true;
  table_->AddIndex(existing, cursor_.get());
  bool made = true;
  EXPECT_EQ(table_->FindOrCreateIndex(cursor_.get(), {"SCORE"}, {"DESC"}, {"CASE"}, made), "byScoreDesc");
  EXPECT_FALSE(made);

  const std::string name = table_->FindOrCreateIndex(cursor_.get(), {"FileName"}, {"ASC"}, {"NO_CASE"}, made);
  EXPECT_TRUE(made);
  EXPECT_EQ(name.rfind("TEMPORARY_INDEX_", 0), 0u);
  const TABSIndexDef* temporary = table_->IndexManager()->IndexDefs().FindIndex(name);
  ASSERT_NE(temporary, nullptr);
  EXPECT_EQ(temporary->Temporary, 255);
  EXPECT_EQ(temporary->OwnerSession, 3);
  EXPECT_EQ(temporary->Columns[0].KeyLength, 20);
  EXPECT_TRUE(temporary->Columns[0].CaseInsensitive);
  EXPECT_EQ(Constraints().Count(), 0);  // temporary indexes imply no constraint
  EXPECT_EQ(database_->Committed.back(), 3);

  EXPECT_EQ(table_->FindOrCreateIndex(cursor_.get(), {"FileName"}, {"ASC"}, {"NO_CASE"}, made), name);
  EXPECT_FALSE(made);
  // A case-sensitive ordering on text cannot use the case-insensitive index.
  EXPECT_NE(table_->FindOrCreateIndex(cursor_.get(), {"FileName"}, {"ASC"}, {"CASE"}, made), name);
  EXPECT_TRUE(made);

  TABSBaseSession other;
  other.SetSessionNumber(4);
  TestCursor otherCursor("LYRIC", &other);
  const std::string otherName =
      table_->FindOrCreateIndex(&otherCursor, {"FileName"}, {"ASC"}, {"NO_CASE"}, made);
  EXPECT_TRUE(made);
  EXPECT_NE(otherName, name);

  EXPECT_EQ(MessageOf([&] {
              table_->FindOrCreateIndex(cursor_.get(), {"A", "B"}, {"ASC"}, {"CASE", "CASE"}, made);
            }),
            "Error - different lists length. L1 = 2, L2 = 1 - Native error: 10276");
  // The temporary indexes are not stored.
  TABSMemoryStream stream;
  table_->IndexManager()->SaveToStream(stream);
  EXPECT_EQ(testing::ContentOf(stream)[0], 1);
}

TEST_F(TableDataTest, StaleTemporaryIndexesAreRebuiltOnRollback) {
  Create();
  table_->RegisterCursor(cursor_.get());
  bool made = false;
  const std::string name = table_->FindOrCreateIndex(cursor_.get(), {"Score"}, {"ASC"}, {"CASE"}, made);
  TABSIndexDef& temporary = *table_->IndexManager()->IndexDefs().FindIndex(name);
  const int32_t builds = testing::TestIndex::Builds;
  database_->Rollback(&session_);
  EXPECT_EQ(testing::TestIndex::Builds, builds);  // still current
  table_->RecordManager()->StateCounter += 3;     // changes the index did not see
  database_->Rollback(&session_);
  EXPECT_EQ(testing::TestIndex::Builds, builds + 1);
  EXPECT_EQ(temporary.ChangeCounter, table_->RecordManager()->StateCounter);
  EXPECT_EQ(database_->RolledBack, (std::vector<int32_t>{3, 3}));
  table_->UnregisterCursor(cursor_.get());
}

TEST_F(TableDataTest, RenamingFieldsAndIndexColumns) {
  TABSIndexDefs indexes;
  indexes.Add(MakeIndex("byName", {"filename", "Score"}, false, false).Clone());
  TABSConstraintDefs constraints;
  constraints.AddNotNull().TargetName = "FileName";
  Create(indexes, constraints);
  EXPECT_EQ(MessageOf([&] { table_->RenameField("Nope", "X"); }),
            "Field 'Nope' not found - Native error: 30343");
  EXPECT_EQ(MessageOf([&] { table_->RenameField("FileName", "SCORE"); }),
            "Cannot rename field 'FileName'. Field 'SCORE' already exists - Native error: 30344");
  table_->RenameField("FILENAME", "Track");
  EXPECT_EQ(table_->FieldManager()->FieldDefs()[1].Name(), "Track");
  EXPECT_EQ(table_->IndexManager()->IndexDefs()[0].Columns[0].FieldName, "Track");
  EXPECT_EQ(table_->IndexManager()->IndexDefs()[0].Columns[1].FieldName, "Score");
  EXPECT_EQ(Constraints()[0].TargetName, "Track");
  table_->RenameField("Track", "TRACK");  // only the case of its own name
  EXPECT_EQ(table_->FieldManager()->FieldDefs()[1].Name(), "TRACK");
}

TEST_F(TableDataTest, OpenTablesCannotBeDeletedOrRenamed) {
  Create();
  table_->RegisterCursor(cursor_.get());
  EXPECT_EQ(MessageOf([&] { table_->DeleteTable(&session_, false); }),
            "Cannot delete table 'LYRIC'. Table is open by another dataset - Native error: 20017");
  EXPECT_EQ(MessageOf([&] { table_->RenameTable("SONGS", cursor_.get()); }),
            "Cannot rename table 'LYRIC'. Table is open by another dataset - Native error: 10150");
  table_->DeleteTable(&session_, true);
  table_->UnregisterCursor(cursor_.get());
  table_->RenameTable("SONGS", cursor_.get());
  EXPECT_EQ(table_->TableName(), "SONGS");
  EXPECT_TRUE(database_->TableExists("songs"));
  EXPECT_FALSE(database_->TableExists("LYRIC"));
}

TEST_F(TableDataTest, BlobBlockSizeCheckAndRelease) {
  Create();
  std::vector<uint8_t> record(40, 0);
  table_->ReleaseAllBlobs(record.data());
  EXPECT_EQ(table_->ReleasedBlobs, (std::vector<int32_t>{3}));
  table_->FieldManager()->FieldDefs()[3].BlobBlockSize = 0;
  EXPECT_EQ(MessageOf([&] { table_->CheckBlobBlockSize(); }),
            "BLOB block size should be > 0 for field TheLyric - Native error: 10421");
}

TEST_F(TableDataTest, ConstraintOnAFieldThatIsGone) {
  TABSConstraintDefs constraints;
  constraints.AddNotNull().TargetName = "Score";
  Create({}, constraints);
  const int32_t objectId = Constraints()[0].TargetObjectID;
  NewRecord("a", 1);
  table_->FieldManager()->FieldDefs().Delete(2);
  EXPECT_EQ(CheckMessage(), "Field #" + std::to_string(objectId) + " not found - Native error: 30024");
}

TEST_F(TableDataTest, IndexDefinitionsRoundTripThroughTheIndexManager) {
  TABSIndexDefs indexes;
  indexes.Add(MakeIndex("byName", {"FileName"}, true, false).Clone());
  indexes.Add(MakeIndex("byScore", {"Score"}, false, false).Clone());
  Create(indexes);
  TABSBaseIndexManager& manager = *table_->IndexManager();
  const int32_t firstId = manager.IndexDefs()[0].ObjectID;
  manager.GetIndex(firstId);  // opened
  TABSMemoryStream stream;
  manager.SaveToStream(stream);
  stream.SetPosition(0);
  manager.LoadFromStream(stream);
  ASSERT_EQ(manager.IndexDefs().Count(), 2);
  EXPECT_EQ(manager.IndexDefs()[0].ObjectID, firstId);
  EXPECT_EQ(manager.IndexDefs()[1].Name(), "byScore");
  EXPECT_EQ(manager.IndexDefs()[0].RootPage, 100 + firstId);
  EXPECT_EQ(manager.GetIndex(firstId).Definition().Name(), "byName");  // reopened from the loaded definition
  EXPECT_EQ(MessageOf([&] { manager.GetIndex(12345); }), "Index not found - Native error: 20018");
}

TEST(DatabaseDataTest, SessionsTablesAndTransactions) {
  auto* database = new TestDatabaseData;
  TABSBaseSession first, second;
  database->ConnectSession(&first);
  database->ConnectSession(&second);
  EXPECT_EQ(first.SessionNumber(), 0);
  EXPECT_EQ(database->Sessions().size(), 2u);

  TestCursor lyric("LYRIC", &first), other("lyric", &second), songs("Songs", &first);
  TABSTableData* table = database->FindOrCreateTableData(&lyric);
  EXPECT_EQ(database->FindOrCreateTableData(&other), table);
  EXPECT_EQ(database->FindTableData(&songs), nullptr);
  database->FindOrCreateTableData(&songs);
  std::vector<std::string> names;
  database->ListTableNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{"LYRIC", "Songs"}));
  delete table;  // a table object leaves the list when destroyed
  EXPECT_EQ(database->Tables().size(), 1u);

  second.SetSessionNumber(7);
  database->Commit(&second, true);
  EXPECT_EQ(database->Committed, (std::vector<int32_t>{7}));
  database->DisconnectSession(&first);
  EXPECT_FALSE(database->FreeIfUnused());
  database->DisconnectSession(&second);
  EXPECT_TRUE(database->FreeIfUnused());
}

}  // namespace
}  // namespace viz
