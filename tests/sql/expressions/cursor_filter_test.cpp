// Filters on a disk table: an expression bound to a cursor's records (memo fields read through the
// table), index placement driving real index range scans (checked through the page manager's
// request counter and against row-by-row evaluation and a model), LASTAUTOINC and ROWNUM.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/components/VIZMain.h"
#include "engine/sql/VIZExpressions.h"
#include "engine/storage/VIZPage.h"
#include "engine/tables/search/table_search.h"
#include "support/disk_tables.h"
#include "support/temp_dir.h"

namespace viz::testing {
namespace {

constexpr int kRows = 3000;
const char* const kWords[] = {"apple", "Apple", "banana", "cherry", "xenon", "xylophone", "x"};

// One row of the model: NULLs are empty optionals.
struct Row {
  int32_t Id = 0;
  std::optional<int32_t> A;
  std::optional<std::string> B;
  int16_t S = 0;
  std::string Notes;
};

// Runs on a disk table and on a table of the in-memory database.
class CursorFilterTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    const bool memory = GetParam() == "MEMORY";
    alias_ = memory ? "MEMORY" : "F";
    database_ = std::make_unique<TABSDatabase>(nullptr, "FConnection");
    database_->SetDatabaseName(alias_);
    if (!memory) {
      database_->SetDatabaseFileName(dir_.File("f.svl"));
      database_->MakeDatabaseFile();
    }
    database_->Open();
    {
      TABSLocalCursor create(database_->EngineSession());
      create.SetTableName("T");
      std::unique_ptr<TABSIndexDefs> indexes =
          MakeIndexes({{"byId", {"Id"}, true}, {"byA", {"A"}}, {"byBS", {"B", "S"}}});
      TABSConstraintDefs constraints;
      create.CreateTable(*MakeFields({{"Id", dt::kAutoInc},
                                      {"A", dt::kInteger},
                                      {"B", dt::kString, 12},
                                      {"S", dt::kSmallInt},
                                      {"Notes", dt::kMemo, 0, 1, 1, 1000}}),
                         *indexes, constraints);
    }
    table_ = std::make_unique<TABSTable>(nullptr);
    table_->SetName("FTable");
    table_->SetDatabaseName(alias_);
    table_->SetTableName("T");
    table_->Open();
    std::mt19937 random(22);
    database_->BeginTransaction();
    for (int i = 0; i < kRows; ++i) {
      Row row;
      row.Id = i + 1;
      if (random() % 10 != 0) row.A = static_cast<int32_t>(random() % 101) - 50;
      if (random() % 8 != 0) row.B = kWords[random() % std::size(kWords)];
      row.S = static_cast<int16_t>(random() % 4);
      if (random() % 3 == 0)
        row.Notes = std::string(random() % 3000, 'n') + (random() % 2 ? "lyric" : "verse");
      table_->Append();
      if (row.A) table_->FieldByName("A").SetAsInteger(*row.A);
      if (row.B) table_->FieldByName("B").SetAsString(*row.B);
      table_->FieldByName("S").SetAsInteger(row.S);
      if (!row.Notes.empty()) table_->FieldByName("Notes").SetAsString(row.Notes);
      table_->Post();
      rows_.push_back(row);
    }
    database_->CommitTransaction();
    cursor_ = std::make_unique<TABSLocalCursor>(database_->EngineSession());
    cursor_->SetTableName("T");
    cursor_->OpenTable();
    buffer_.assign(static_cast<size_t>(cursor_->RecordBufferSize()), 0);
    cursor_->SetRecordBuffer(buffer_.data());
  }
  void TearDown() override {
    cursor_.reset();
    table_.reset();
    // The in-memory database lives with the process: its table goes.
    TABSLocalCursor drop(database_->EngineSession());
    drop.SetTableName("T");
    drop.DeleteTable();
    database_.reset();
  }

  TABSTableData& Table() { return *cursor_->Table(); }

  // The Ids the cursor reaches under `filter` (in storage order), and the pages the count asked for.
  std::vector<int32_t> Filtered(const std::string& text, bool useIndexes, int64_t* pages = nullptr) {
    TABSExprSearchCondition filter(Table(), *cursor_);
    filter.ParseFilter(text, false, false);
    filter.UseIndexes = useIndexes;
    cursor_->Navigation().FilterExpression = &filter;
    cursor_->Navigation().Bitmap.Drop();
    TABSPageManager* manager = Table().PageManager();
    const int64_t before = manager ? manager->PageRequestCount() : 0;
    const int64_t count = cursor_->RecordCount();
    if (pages) *pages = manager ? manager->PageRequestCount() - before : -1;
    std::vector<int32_t> ids;
    TABSCursorRowSource rows(Table(), *cursor_);
    TABSVariant id;
    cursor_->GoBeforeFirst();
    while (cursor_->GetRecord(TABSLocalCursor::kGetNext) == TABSLocalCursor::kOk) {
      rows.ReadField(0, id);
      ids.push_back(id.GetAsInteger());
    }
    cursor_->Navigation().FilterExpression = nullptr;
    cursor_->Navigation().Bitmap.Drop();
    EXPECT_EQ(count, static_cast<int64_t>(ids.size())) << text;
    std::sort(ids.begin(), ids.end());
    return ids;
  }

  // The index the search for `text` scans (its name), or "" for a walk without one.
  std::string AccessPath(const std::string& text) {
    TABSExprSearchCondition filter(Table(), *cursor_);
    filter.ParseFilter(text, false, false);
    cursor_->Navigation().FilterExpression = &filter;
    TABSTableSearch search(Table(), *cursor_);
    TABSSearchRequest request;
    std::string name;
    if (search.Prepare(request)) {
      const TABSAccessPath path = search.ChooseAccessPath(request);
      if (path.IndexID >= 0)
        name = Table().IndexManager()->IndexDefs().FindIndexByObjectID(path.IndexID)->Name();
    }
    cursor_->Navigation().FilterExpression = nullptr;
    return name;
  }

  TempDir dir_;
  std::string alias_;
  std::unique_ptr<TABSDatabase> database_;
  std::unique_ptr<TABSTable> table_;
  std::unique_ptr<TABSLocalCursor> cursor_;
  std::vector<uint8_t> buffer_;
  std::vector<Row> rows_;
};

// The model of the integer comparisons on A (null-strict: a NULL A passes none).
bool ModelAccepts(const Row& row, const std::string& op, double c) {
  if (!row.A) return false;
  const double a = *row.A;
  if (op == "=") return a == c;
  if (op == "<>") return a != c;
  if (op == "<") return a < c;
  if (op == "<=") return a <= c;
  if (op == ">") return a > c;
  return a >= c;
}

TEST_P(CursorFilterTest, IndexRangeReadsOnlyTheRange) {
  const std::string narrow = "A >= 10 AND A < 12";
  EXPECT_EQ(AccessPath(narrow), "byA");
  EXPECT_EQ(AccessPath("B = 'cherry' AND S = 2"), "byBS");
  EXPECT_EQ(AccessPath("A + 0 >= 10"), "");
  if (!Table().PageManager()) GTEST_SKIP() << "the table's records are not kept in pages";
  int64_t indexed = 0, scanned = 0;
  const std::vector<int32_t> viaIndex = Filtered(narrow, true, &indexed);
  const std::vector<int32_t> rowByRow = Filtered(narrow, false, &scanned);
  EXPECT_EQ(viaIndex, rowByRow);
  ASSERT_FALSE(viaIndex.empty());
  // Without the index every record page is read; the range reads a few index pages and the pages
  // of its records (about 2% of the rows).
  int64_t unusable = 0;
  EXPECT_EQ(Filtered("A + 0 >= 10 AND A + 0 < 12", true, &unusable), viaIndex);
  EXPECT_GT(scanned, 20);
  EXPECT_GE(unusable, scanned);
  EXPECT_LT(indexed * 4, scanned) << indexed << " pages through the index, " << scanned << " without";
}

TEST_P(CursorFilterTest, RandomFiltersMatchRowByRowEvaluationAndTheModel) {
  std::mt19937 random(6);
  const char* const ops[] = {"=", "<>", "<", "<=", ">", ">="};
  const char* const constants[] = {"7", "-50", "50", "2.5", "-2.5", "5000000000", "-5000000000", "0", "11.0"};
  for (int round = 0; round < 60; ++round) {
    // An integer part the model knows...
    const std::string op = ops[random() % std::size(ops)];
    const std::string constant = constants[random() % std::size(constants)];
    const bool mirrored = random() % 4 == 0;
    std::string text = mirrored ? constant + " " + op + " A" : "A " + op + " " + constant;
    std::string modelOp = op;
    if (mirrored) modelOp = op == "<" ? ">" : op == ">" ? "<" : op == "<=" ? ">=" : op == ">=" ? "<=" : op;
    const int32_t s = static_cast<int32_t>(random() % 5);
    const bool withS = random() % 3 == 0;
    if (withS) text += " AND S = " + std::to_string(s);
    std::vector<int32_t> expected;
    for (const Row& row : rows_)
      if (ModelAccepts(row, modelOp, std::stod(constant)) && (!withS || row.S == s))
        expected.push_back(row.Id);
    EXPECT_EQ(Filtered(text, true), expected) << text;
    // ... and text, NULL and memo conjuncts that only row-by-row evaluation judges.
    const char* const extras[] = {"B = 'apple'",
                                  "B < 'banana'",
                                  "B >= 'x'",
                                  "B IS NULL",
                                  "B IS NOT NULL",
                                  "B = NULL",
                                  "B <> 'cherry'",
                                  "B LIKE 'x%'",
                                  "Notes LIKE '%lyric'",
                                  "A IS NULL",
                                  "A = NULL",
                                  "B <= 'apple' AND S = 1",
                                  "B = 'cherry' AND S = 3",
                                  "A > NULL",
                                  "B > 'Apple' AND B < 'cherry'"};
    const std::string extra = extras[random() % std::size(extras)];
    const std::string mixed = random() % 2 ? extra : text + " AND " + extra;
    EXPECT_EQ(Filtered(mixed, true), Filtered(mixed, false)) << mixed;
  }
}

TEST_P(CursorFilterTest, MemoFieldsAreReadThroughTheTable) {
  std::vector<int32_t> expected;
  for (const Row& row : rows_)
    if (row.Notes.size() > 2000 && row.Notes.ends_with("lyric")) expected.push_back(row.Id);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(Filtered("LENGTH(Notes) > 2000 AND Notes LIKE '%lyric'", true), expected);
}

TEST_P(CursorFilterTest, LastAutoincAndRowNumReadTheTable) {
  TABSSessionExprDatabase tables(database_->EngineSession());
  TABSExpression last;
  last.Database = &tables;
  last.ParseFilter(nullptr, "LASTAUTOINC(T, Id) = " + std::to_string(kRows), false, false);
  EXPECT_TRUE(last.GetBoolean());
  table_->Append();
  table_->FieldByName("A").SetAsInteger(1);
  table_->Post();
  EXPECT_FALSE(last.GetBoolean());
  TABSLexer lexer("LASTAUTOINC([T], Id) + 0", nullptr);
  ASSERT_TRUE(lexer.NextCommand());
  TABSExpression value;
  value.Database = &tables;
  ASSERT_TRUE(value.ParseValue(lexer));
  EXPECT_EQ(value.GetValue()->GetAsLargeInt(), kRows + 1);
  if (GetParam() == "MEMORY") {
    TABSExpression memory;
    memory.Database = &tables;
    memory.ParseFilter(nullptr, "LASTAUTOINC(T MEMORY, Id) = " + std::to_string(kRows + 1), false, false);
    EXPECT_TRUE(memory.GetBoolean());
  }
  TABSExpression type;
  type.Database = &tables;
  type.ParseFilter(nullptr, "LASTAUTOINC(T, Id) IS NOT NULL", false, false);
  EXPECT_EQ(type.Root()->Child(0).GetDataType(), dt::kAutoInc);

  TABSExpression missing;
  missing.Database = &tables;
  try {
    missing.ParseFilter(nullptr, "LASTAUTOINC(T, Nothing) = 1", false, false);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeErrorCode(), 30337);
    EXPECT_EQ(error.Message(), "Field 'Nothing' not found - Native error: 30337");
  }
  TABSExpression unbound;
  try {
    unbound.ParseFilter(nullptr, "LASTAUTOINC(T, Id) = 1", false, false);
    FAIL();
  } catch (const EABSException& error) {
    EXPECT_EQ(error.NativeErrorCode(), 30336);
  }

  // ROWNUM counts the records a filter is evaluated on; two ROWNUMs count independently.
  EXPECT_EQ(Filtered("ROWNUM <= 10", false).size(), 10u);
  EXPECT_EQ(Filtered("ROWNUM = ROWNUM", false).size(), static_cast<size_t>(kRows + 1));
}

INSTANTIATE_TEST_SUITE_P(Backends, CursorFilterTest, ::testing::Values("Disk", "MEMORY"));

}  // namespace
}  // namespace viz::testing
