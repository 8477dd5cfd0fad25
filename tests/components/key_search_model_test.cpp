// A randomised model of key searches and ranges: rows with NULLs on one-, two- and three-column
// indexes (descending and case-insensitive columns among them) are searched and ranged through a
// table dataset while records come and go, and every answer is judged by a brute-force filter over
// the same rows in the index's order. On a disk database and on MEMORY.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <random>

#include "components/components_test_util.h"
#include "support/disk_tables.h"

namespace viz::testing {
namespace {

// Id, A, B, C; a missing value is NULL.
struct Row {
  int id = 0;
  std::optional<int> a;
  std::optional<std::string> b;
  std::optional<int> c;
};
// A key value per index column: an integer, a text or NULL.
struct Value {
  std::optional<int> number;
  std::optional<std::string> text;
  bool IsNull() const { return !number && !text; }
};
struct Column {
  int field;  // 1 A, 2 B, 3 C
  bool descending;
  bool caseInsensitive;
};
struct IndexModel {
  const char* name;
  std::vector<Column> columns;
};

const std::vector<IndexModel> kIndexes = {
    {"byA", {{1, false, false}}},
    {"byBA", {{2, false, true}, {1, true, false}}},
    {"byACB", {{1, false, false}, {3, true, false}, {2, false, false}}},
};

std::string FieldName(int field) {
  return std::string(1, "IABC"[field]);
}

Value ValueOf(const Row& row, int field) {
  switch (field) {
    case 1:
      return {row.a, {}};
    case 2:
      return {{}, row.b};
    default:
      return {row.c, {}};
  }
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The engine's collation on the letters used here: letters ignoring case first, then (unless the
// column ignores case) case, lower case first.
int CompareText(const std::string& x, const std::string& y, bool caseInsensitive) {
  const int primary = Upper(x).compare(Upper(y));
  if (primary != 0 || caseInsensitive) return primary < 0 ? -1 : (primary > 0 ? 1 : 0);
  for (size_t i = 0; i < x.size(); ++i)
    if (x[i] != y[i]) return std::islower(static_cast<unsigned char>(x[i])) ? -1 : 1;
  return 0;
}

int CompareValues(const Value& x, const Value& y, const Column& column) {
  int r;
  if (x.IsNull() || y.IsNull()) {
    r = x.IsNull() == y.IsNull() ? 0 : (x.IsNull() ? -1 : 1);
  } else if (x.number) {
    r = *x.number < *y.number ? -1 : (*x.number > *y.number ? 1 : 0);
  } else {
    r = CompareText(*x.text, *y.text, column.caseInsensitive);
  }
  return column.descending ? -r : r;
}

// The order of a row against a key over its first `count` index columns.
int CompareRow(const Row& row, const std::vector<Value>& key, const IndexModel& index, size_t count) {
  for (size_t i = 0; i < count && i < index.columns.size(); ++i) {
    const int r = CompareValues(ValueOf(row, index.columns[i].field), key[i], index.columns[i]);
    if (r != 0) return r;
  }
  return 0;
}

// The row's values in the index's columns.
std::vector<Value> KeyOf(const Row& row, const IndexModel& index) {
  std::vector<Value> key;
  for (const Column& column : index.columns) key.push_back(ValueOf(row, column.field));
  return key;
}

Variant ToVariant(const Value& value) {
  if (value.number) return Variant::FromInteger(*value.number);
  if (value.text) return Variant::FromString(*value.text);
  return Variant::Null();
}

class KeySearchModelTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    onDisk_ = GetParam();
    path_ = dir_.File("m.svl");
    alias_ = onDisk_ ? "KM" : "MEMORY";
    database_ = NewConnection(alias_, onDisk_ ? path_ : "");
    if (onDisk_) database_->MakeDatabaseFile();
    database_->Open();
    TABSLocalCursor cursor(database_->EngineSession());
    cursor.SetTableName("MODEL");
    TABSIndexDefs indexes;
    for (const IndexModel& model : kIndexes) {
      auto index = std::make_unique<TABSIndexDef>();
      index->SetName(model.name);
      for (const Column& column : model.columns)
        index->Columns.push_back({FieldName(column.field), column.descending, column.caseInsensitive, 0});
      indexes.Add(std::move(index));
    }
    cursor.CreateTable(*MakeFields({{"Id", dt::kInteger}, {"A", dt::kInteger}, {"B", dt::kString, 8}, {"C", dt::kInteger}}),
                       indexes, {});
    table_ = std::make_unique<TABSTable>(nullptr);
    table_->SetName("Model");
    table_->SetDatabaseName(alias_);
    table_->SetTableName("MODEL");
    table_->Open();
  }
  void TearDown() override {
    table_.reset();
    if (!onDisk_) {
      TABSLocalCursor drop(database_->EngineSession());
      drop.SetTableName("MODEL");
      drop.DeleteTable();
    }
    database_.reset();
    if (onDisk_) {
      EXPECT_TRUE(VizcheckProblems(path_).empty());
    }
  }

  Value RandomValue(int field) {
    if (random_() % 6 == 0) return {};
    if (field != 2) return {static_cast<int>(random_() % 5), {}};
    std::string text;
    for (size_t n = 1 + random_() % 3; n > 0; --n) text += "aAbB"[random_() % 4];
    return {{}, text};
  }
  Row RandomRow() {
    Row row;
    row.id = nextId_++;
    row.a = RandomValue(1).number;
    row.b = RandomValue(2).text;
    row.c = RandomValue(3).number;
    return row;
  }
  void Write(const Row& row) {
    const Value values[] = {ValueOf(row, 1), ValueOf(row, 2), ValueOf(row, 3)};
    table_->FieldByName("Id").SetAsInteger(row.id);
    for (int field = 1; field <= 3; ++field)
      table_->FieldByName(FieldName(field)).SetAsVariant(ToVariant(values[field - 1]));
  }
  // The Ids the dataset reaches, in its order.
  std::vector<int> Reached() { return Ids(*table_); }
  int Id() { return table_->FieldByName("Id").AsInteger(); }
  // A key of `count` values: those of an existing row, or made up.
  std::vector<Value> RandomKey(const IndexModel& index, size_t count) {
    std::vector<Value> key;
    const bool fromRow = !rows_.empty() && random_() % 3 != 0;
    auto it = rows_.begin();
    if (fromRow) std::advance(it, static_cast<long>(random_() % rows_.size()));
    for (size_t i = 0; i < count; ++i)
      key.push_back(fromRow ? ValueOf(it->second, index.columns[i].field) : RandomValue(index.columns[i].field));
    return key;
  }
  std::vector<Variant> Variants(const std::vector<Value>& key) {
    std::vector<Variant> values;
    for (const Value& value : key) values.push_back(ToVariant(value));
    return values;
  }
  // Writes a key into the key being edited, either with its count of fields or with a count of 0,
  // where the fields not written count as NULL; the key and count the model then compares with.
  void WriteKey(const IndexModel& index, std::vector<Value>& key, size_t& count) {
    for (size_t i = 0; i < key.size(); ++i)
      table_->FieldByName(FieldName(index.columns[i].field)).SetAsVariant(ToVariant(key[i]));
    if (random_() % 2 == 0) {
      table_->SetKeyFieldCount(static_cast<int>(count));
    } else {
      key.resize(index.columns.size());
      count = index.columns.size();
    }
  }

  bool onDisk_ = false;
  TempDir dir_;
  std::string path_, alias_;
  std::unique_ptr<TABSDatabase> database_;
  std::unique_ptr<TABSTable> table_;
  std::map<int, Row> rows_;
  std::mt19937 random_{2024};
  int nextId_ = 1;
};

TEST_P(KeySearchModelTest, SearchesAndRangesMatchABruteForceFilter) {
  for (int n = 0; n < 120; ++n) {
    const Row row = RandomRow();
    table_->Append();
    Write(row);
    table_->Post();
    rows_[row.id] = row;
  }
  for (int step = 0; step < 160; ++step) {
    const IndexModel& index = kIndexes[random_() % kIndexes.size()];
    table_->SetIndexName(index.name);
    table_->CancelRange();
    // The index's order, checked against the model's comparison.
    const std::vector<int> order = Reached();
    ASSERT_EQ(order.size(), rows_.size());
    for (size_t i = 1; i < order.size(); ++i)
      ASSERT_LE(CompareRow(rows_[order[i - 1]], KeyOf(rows_[order[i]], index), index, index.columns.size()), 0)
          << index.name << " at " << i;
    auto filter = [&](auto&& accept) {
      std::vector<int> ids;
      for (int id : order)
        if (accept(rows_[id])) ids.push_back(id);
      return ids;
    };
    size_t count = 1 + random_() % index.columns.size();
    std::vector<Value> key = RandomKey(index, count);
    SCOPED_TRACE(std::string(index.name) + " step " + std::to_string(step) + " columns " + std::to_string(count));
    switch (random_() % 5) {
      case 0: {  // equal search
        const std::vector<int> equal = filter([&](const Row& r) { return CompareRow(r, key, index, count) == 0; });
        table_->First();
        const int before = table_->IsEmpty() ? -1 : Id();
        EXPECT_EQ(table_->FindKey(Variants(key)), !equal.empty());
        if (!table_->IsEmpty()) {
          EXPECT_EQ(Id(), equal.empty() ? before : equal[0]);
        }
        break;
      }
      case 1: {  // nearest, maybe exclusive
        const bool exclusive = random_() % 2 == 0;
        table_->SetKey();
        WriteKey(index, key, count);
        table_->SetKeyExclusive(exclusive);
        const std::vector<int> after = filter([&](const Row& r) {
          const int c = CompareRow(r, key, index, count);
          return exclusive ? c > 0 : c >= 0;
        });
        table_->GotoNearest();
        if (!order.empty()) {
          EXPECT_EQ(Id(), after.empty() ? order.back() : after[0]);
        }
        break;
      }
      case 2:
      case 3: {  // a range with its own counts and exclusive ends, then a key search inside it
        size_t endCount = 1 + random_() % index.columns.size();
        std::vector<Value> end = RandomKey(index, endCount);
        const bool startExclusive = random_() % 3 == 0, endExclusive = random_() % 3 == 0;
        const bool noStart = random_() % 6 == 0;
        table_->SetRangeStart();
        if (!noStart) WriteKey(index, key, count);
        table_->SetKeyExclusive(startExclusive);
        table_->SetRangeEnd();
        WriteKey(index, end, endCount);
        table_->SetKeyExclusive(endExclusive);
        table_->ApplyRange();
        const std::vector<int> inside = filter([&](const Row& r) {
          const int s = CompareRow(r, key, index, count), e = CompareRow(r, end, index, endCount);
          return (noStart || (startExclusive ? s > 0 : s >= 0)) && (endExclusive ? e < 0 : e <= 0);
        });
        EXPECT_EQ(Reached(), inside);
        EXPECT_EQ(table_->RecordCount(), static_cast<int>(inside.size()));
        if (!inside.empty()) {
          const Row& probe = rows_[inside[random_() % inside.size()]];
          const size_t probeCount = 1 + random_() % index.columns.size();
          std::vector<Value> probeKey = KeyOf(probe, index);
          probeKey.resize(probeCount);
          const std::vector<int> equal = filter([&](const Row& r) {
            return CompareRow(r, probeKey, index, probeCount) == 0 &&
                   std::find(inside.begin(), inside.end(), r.id) != inside.end();
          });
          EXPECT_TRUE(table_->FindKey(Variants(probeKey)));
          EXPECT_EQ(Id(), equal.empty() ? -1 : equal[0]);
        }
        break;
      }
      default: {  // the rows change: an insert, a delete or an edit of an index field
        const int change = static_cast<int>(random_() % 3);
        if (change == 0 || rows_.empty()) {
          const Row row = RandomRow();
          table_->Append();
          Write(row);
          table_->Post();
          rows_[row.id] = row;
        } else {
          auto it = rows_.begin();
          std::advance(it, static_cast<long>(random_() % rows_.size()));
          ASSERT_TRUE(table_->Locate("Id", {Variant::FromInteger(it->first)}, 0));
          if (change == 1) {
            table_->Delete();
            rows_.erase(it);
          } else {
            Row row = RandomRow();
            row.id = it->first;
            table_->Edit();
            Write(row);
            table_->Post();
            it->second = row;
          }
        }
        break;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, KeySearchModelTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Disk" : "Memory"; });

}  // namespace
}  // namespace viz::testing
