// Randomised model test of B-tree record indexes: long runs of inserts (most after a search that
// keeps its descent for them), deletes and updates, each step compared with a sorted reference model (order both ways, ordinals, go-to-ordinal, positions
// and range scans for every operator, uniqueness, estimates) and followed by the invariant checker.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <random>
#include <variant>

#include "engine/platform/collation.h"
#include "tables/btree/btree_fixture.h"

namespace viz {
namespace {

using testing::BTreeTable;
using testing::TestColumn;

// One column of a layout: an INTEGER or a STRING(size) field.
struct ModelColumn {
  bool text = false;
  int32_t size = 0;
  bool descending = false;
  bool caseInsensitive = false;
  int32_t keyLength = 0;
  bool nulls = false;
};

struct Layout {
  const char* name;
  std::vector<ModelColumn> columns;
};

const std::vector<Layout>& Layouts() {
  static const std::vector<Layout> layouts = {
      {"integer", {{false, 0}}},
      {"string", {{true, 24}}},
      {"string-no-case", {{true, 24, false, true}}},
      {"int-and-descending-string", {{false, 0}, {true, 12, true}}},
      {"truncated", {{true, 60, false, false, 8}}},
      {"nulls", {{false, 0, false, false, 0, true}, {true, 16, true, true, 0, true}}},
      // Four entries per 1024-byte page: deep trees.
      {"wide", {{true, 200}}},
  };
  return layouts;
}

using Value = std::optional<std::variant<int32_t, std::string>>;

struct Row {
  std::vector<Value> values;
  TABSRecordAddress address;
};

class Model {
 public:
  explicit Model(const Layout& layout) : layout_(layout) {}

  // The reference order on the first `columns` columns (NULL first, descending reversed).
  int Compare(const std::vector<Value>& a, const std::vector<Value>& b, size_t columns) const {
    for (size_t i = 0; i < columns; ++i) {
      const ModelColumn& column = layout_.columns[i];
      int r;
      if (!a[i] || !b[i]) {
        r = a[i].has_value() == b[i].has_value() ? 0 : (a[i] ? 1 : -1);
      } else if (!column.text) {
        const int32_t x = std::get<int32_t>(*a[i]), y = std::get<int32_t>(*b[i]);
        r = x < y ? -1 : (x > y ? 1 : 0);
      } else {
        r = platform::CollateAnsi(std::get<std::string>(*a[i]), std::get<std::string>(*b[i]),
                                  column.caseInsensitive);
      }
      if (column.descending) r = -r;
      if (r != 0) return r;
    }
    return 0;
  }
  bool Before(const Row& a, const Row& b) const {
    const int r = Compare(a.values, b.values, layout_.columns.size());
    return r != 0 ? r < 0 : a.address < b.address;
  }
  void Insert(Row row) {
    auto at = std::lower_bound(rows.begin(), rows.end(), row,
                               [&](const Row& x, const Row& y) { return Before(x, y); });
    rows.insert(at, std::move(row));
  }
  void Erase(const TABSRecordAddress& address) {
    rows.erase(
        std::find_if(rows.begin(), rows.end(), [&](const Row& row) { return row.address == address; }));
  }

  std::vector<Row> rows;

 private:
  const Layout& layout_;
};

class ModelRun {
 public:
  ModelRun(const Layout& layout, uint16_t pageSize, uint32_t seed, bool unique = true)
      : layout_(layout), table_(pageSize, 0), model_(layout), random_(seed), unique_(unique) {
    std::vector<TestColumn> columns;
    for (size_t i = 0; i < layout.columns.size(); ++i) {
      const ModelColumn& column = layout.columns[i];
      const std::string name = "F" + std::to_string(i);
      table_.AddField(name, column.text ? dt::kString : dt::kInteger, column.size);
      columns.push_back({name, column.descending, column.caseInsensitive, column.keyLength});
    }
    table_.AddIndexDef("model", columns, unique);
    table_.Create();
  }

  void Run(int32_t steps, int32_t maxRows) {
    bool growing = true;
    for (int32_t step = 0; step < steps; ++step) {
      // Grow to maxRows, shrink to a tenth of it, grow again: splits, merges and root collapses.
      const int32_t rows = static_cast<int32_t>(model_.rows.size());
      if (growing && rows >= maxRows) growing = false;
      if (!growing && rows <= maxRows / 10) growing = true;
      const uint32_t dice = Pick(100);
      if (model_.rows.empty() || (growing ? dice < 80 : dice < 10)) {
        InsertRandom();
      } else if (dice < 90) {
        DeleteRandom();
      } else {
        UpdateRandom();
      }
      Verify(step);
      if (step % 50 == 0) maxHeight_ = std::max(maxHeight_, Height());
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  // Inserts `count` random rows in index order (each one past the last: appends), or in reverse
  // index order, checking every step; a unique index gets no repeated keys.
  void LoadInOrder(int32_t count, bool reverse) {
    std::vector<std::vector<Value>> keys;
    for (int32_t i = 0; i < count; ++i) keys.push_back(RandomValues());
    const size_t columns = layout_.columns.size();
    std::stable_sort(keys.begin(), keys.end(),
                     [&](const auto& a, const auto& b) { return model_.Compare(a, b, columns) < 0; });
    if (unique_)
      keys.erase(std::unique(keys.begin(), keys.end(),
                             [&](const auto& a, const auto& b) { return model_.Compare(a, b, columns) == 0; }),
                 keys.end());
    if (reverse) std::reverse(keys.begin(), keys.end());
    for (size_t i = 0; i < keys.size(); ++i) {
      Row row{keys[i], {}};
      const std::vector<uint8_t> record = RecordOf(row.values);
      if (i % 4 != 3) KeepDescent(record);
      row.address = table_.Insert(record);
      model_.Insert(std::move(row));
      Verify(static_cast<int32_t>(i));
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

  // The fewest leaves that hold the rows: what key-order loads leave.
  int32_t FewestLeaves() {
    TABSBTreeRecordIndex& index = table_.Index();
    TABSKeyPath path;
    if (!index.Tree().First(1, path)) return 0;
    TABSBTreePage leaf(index.Tree().Pages(), index.KeyRef());
    leaf.Load(1, path.Leaf().PageNo);
    const auto rows = static_cast<int32_t>(model_.rows.size());
    return (rows + leaf.Capacity() - 1) / leaf.Capacity();
  }
  int32_t LeafPages() { return table_.Index().Check(1).LeafPages; }
  int32_t Height() { return table_.Index().Check(1).Height; }
  int32_t maxHeight_ = 0;

 private:
  uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(random_() % n); }

  Value RandomValue(const ModelColumn& column) {
    if (column.nulls && Pick(8) == 0) return std::nullopt;
    if (!column.text) return Value(static_cast<int32_t>(Pick(120)) - 20);
    // Long shared beginnings, letter case and a few short values.
    static const char* const stems[] = {"", "a", "A", "alpha", "Alpha", "beta-", "beta ", "gamma", "GAMMA"};
    std::string text = stems[Pick(9)];
    const uint32_t extra = Pick(static_cast<uint32_t>(std::min(column.size, 14)));
    for (uint32_t i = 0; i < extra; ++i) text.push_back("aAbB-z 1"[Pick(8)]);
    if (static_cast<int32_t>(text.size()) > column.size) text.resize(static_cast<size_t>(column.size));
    // Empty strings are stored as NULL by the engine's datasets; keep them apart here.
    if (text.empty()) text = "e";
    return Value(text);
  }

  std::vector<Value> RandomValues() {
    std::vector<Value> values;
    for (const ModelColumn& column : layout_.columns) values.push_back(RandomValue(column));
    return values;
  }

  std::vector<uint8_t> RecordOf(const std::vector<Value>& values) {
    auto record = table_.NewRecord();
    for (size_t i = 0; i < values.size(); ++i) {
      if (!values[i]) continue;
      if (layout_.columns[i].text)
        table_.SetString(record, static_cast<int32_t>(i), std::get<std::string>(*values[i]));
      else
        table_.SetInt(record, static_cast<int32_t>(i), std::get<int32_t>(*values[i]));
    }
    return record;
  }

  // Searches the key of `record` as a uniqueness check does, keeping the descent for the next
  // insertion; on any index, with any key (also one that is taken).
  void KeepDescent(const std::vector<uint8_t>& record) {
    TABSBTreeRecordIndex& index = table_.Index();
    std::vector<uint8_t> key(static_cast<size_t>(index.KeyRef().KeySize));
    index.KeyRef().BuildKey(record.data(), key.data());
    const TABSBTreeProbe probe{key.data(), record.data(), nullptr, index.KeyRef().ColumnCount()};
    TABSKeyPath path;
    index.Tree().FindKeepingDescent(1, probe, path);
  }

  // An insertion after a search for its own key (as a uniqueness check does), for another key, or
  // after none.
  void InsertRandom() {
    Row row{RandomValues(), {}};
    const std::vector<uint8_t> record = RecordOf(row.values);
    const uint32_t before = Pick(3);
    if (before == 1) KeepDescent(record);
    if (before == 2) KeepDescent(RecordOf(RandomValues()));
    row.address = table_.Insert(record);
    model_.Insert(std::move(row));
  }
  void DeleteRandom() {
    const TABSRecordAddress address = model_.rows[Pick(static_cast<uint32_t>(model_.rows.size()))].address;
    table_.Delete(address);
    model_.Erase(address);
  }
  void UpdateRandom() {
    const TABSRecordAddress address = model_.rows[Pick(static_cast<uint32_t>(model_.rows.size()))].address;
    Row row{RandomValues(), address};
    if (Pick(4) == 0) {
      // Only the letter case changes: keys that compare equal without case, with other bytes.
      row.values = std::find_if(model_.rows.begin(), model_.rows.end(), [&](const Row& r) {
                     return r.address == address;
                   })->values;
      for (Value& value : row.values)
        if (value && std::holds_alternative<std::string>(*value))
          for (char& c : std::get<std::string>(*value))
            c = static_cast<char>(std::isupper(c) ? std::tolower(c) : std::toupper(c));
    }
    table_.Update(address, RecordOf(row.values));
    model_.Erase(address);
    model_.Insert(std::move(row));
  }

  std::vector<TABSRecordAddress> Expected() const {
    std::vector<TABSRecordAddress> order;
    for (const Row& row : model_.rows) order.push_back(row.address);
    return order;
  }

  std::vector<TABSRecordAddress> Walk(bool forward) {
    TABSBTreeRecordIndex& index = table_.Index();
    TABSIndexPositionCache cache;
    TABSNavigationRecord navigation;
    navigation.Direction = forward ? TABSNavigationRecord::kNext : TABSNavigationRecord::kPrior;
    (forward ? navigation.FromBeginning : navigation.FromEnd) = true;
    std::vector<TABSRecordAddress> order;
    const auto ahead = navigation.Direction;
    const auto back = forward ? TABSNavigationRecord::kPrior : TABSNavigationRecord::kNext;
    for (;;) {
      index.GetRecord(1, navigation, &cache);
      if (navigation.Outcome != TABSNavigationRecord::kFound) break;
      order.push_back(navigation.Address);
      if (Pick(8) != 0) continue;
      // A step back and one ahead again, through the same cache, come back to this record.
      const TABSRecordAddress here = navigation.Address;
      navigation.Direction = back;
      index.GetRecord(1, navigation, &cache);
      EXPECT_EQ(navigation.Outcome == TABSNavigationRecord::kFound, order.size() > 1);
      if (order.size() > 1) {
        EXPECT_EQ(navigation.Address, order[order.size() - 2]);
      }
      navigation.Direction = ahead;
      index.GetRecord(1, navigation, &cache);
      EXPECT_EQ(navigation.Outcome, TABSNavigationRecord::kFound);
      EXPECT_EQ(navigation.Address, here);
    }
    // Past the end, a step back finds the last record again.
    navigation.Direction = back;
    index.GetRecord(1, navigation, &cache);
    EXPECT_EQ(navigation.Outcome == TABSNavigationRecord::kFound, !order.empty());
    if (!order.empty()) {
      EXPECT_EQ(navigation.Address, order.back());
    }
    if (!forward) std::reverse(order.begin(), order.end());
    return order;
  }

  // Expected first and last rows satisfying `op key` on `columns` columns; -1 when none.
  std::pair<int64_t, int64_t> Satisfying(TABSScanOperator op, const std::vector<Value>& key,
                                         size_t columns) const {
    int64_t first = -1, last = -1;
    for (size_t i = 0; i < model_.rows.size(); ++i) {
      if (!ScanOperatorAccepts(op, model_.Compare(model_.rows[i].values, key, columns))) continue;
      if (first < 0) first = static_cast<int64_t>(i);
      last = static_cast<int64_t>(i);
    }
    return {first, last};
  }

  void VerifyConditions(int32_t step) {
    TABSBTreeRecordIndex& index = table_.Index();
    const std::vector<Value> key = Pick(2) == 0 && !model_.rows.empty()
                                       ? model_.rows[Pick(static_cast<uint32_t>(model_.rows.size()))].values
                                       : RandomValues();
    const size_t columns = 1 + Pick(static_cast<uint32_t>(layout_.columns.size()));
    const std::vector<uint8_t> keyRecord = RecordOf(key);
    const int64_t total = static_cast<int64_t>(model_.rows.size());
    for (int op = 1; op <= 5; ++op) {
      SCOPED_TRACE(::testing::Message() << "step " << step << " operator " << op << " columns " << columns);
      auto condition = TABSScanSearchCondition::ForIndex(
          table_.IndexID(), static_cast<TABSScanOperator>(op), keyRecord.data(),
          static_cast<int32_t>(keyRecord.size()), static_cast<int32_t>(columns));
      const auto [first, last] = Satisfying(condition->Operator, key, columns);
      for (bool wantLast : {false, true}) {
        TABSKeyPath path;
        const bool found = index.PositionOnCondition(1, condition.get(), wantLast, path);
        ASSERT_EQ(found, first >= 0);
        if (found) {
          ASSERT_EQ(index.AddressAt(1, path),
                    model_.rows[static_cast<size_t>(wantLast ? last : first)].address);
        }
      }
      const int64_t estimate = index.EstimateKeys(1, *condition, *condition, total);
      const int64_t exact = first < 0 ? 0 : last - first + 1;
      if (exact == 0) {
        ASSERT_EQ(estimate, 0);
      }
      ASSERT_LE(std::abs(estimate - exact), total / 2 + 2) << "estimate " << estimate << " exact " << exact;
      // A forward and a backward range scan over the condition.
      for (bool backwards : {false, true}) {
        TABSScanState state;
        TABSRecordAddress address;
        std::vector<TABSRecordAddress> scanned;
        for (bool firstStep = true;; firstStep = false) {
          if (!index.ScanStep(1, firstStep, state, address, nullptr, nullptr, condition.get(), backwards))
            break;
          scanned.push_back(address);
        }
        if (backwards) std::reverse(scanned.begin(), scanned.end());
        std::vector<TABSRecordAddress> expected;
        for (int64_t i = first; first >= 0 && i <= last; ++i)
          expected.push_back(model_.rows[static_cast<size_t>(i)].address);
        ASSERT_EQ(scanned, expected) << (backwards ? "backwards" : "forwards");
      }
    }
    // Uniqueness over all columns.
    const bool taken = std::any_of(model_.rows.begin(), model_.rows.end(), [&](const Row& row) {
      return model_.Compare(row.values, key, layout_.columns.size()) == 0;
    });
    if (unique_) {
      ASSERT_EQ(index.KeyIsFree(1, keyRecord.data()), !taken) << "step " << step;
    }
  }

  void Verify(int32_t step) {
    const std::string problems = table_.CheckAll();
    ASSERT_EQ(problems, "") << "step " << step;
    const auto expected = Expected();
    ASSERT_EQ(Walk(true), expected) << "step " << step;
    ASSERT_EQ(Walk(false), expected) << "step " << step;
    TABSBTreeRecordIndex& index = table_.Index();
    if (!expected.empty()) {
      const size_t k = Pick(static_cast<uint32_t>(expected.size()));
      ASSERT_EQ(index.RecordOrdinal(1, expected[k], nullptr), static_cast<int64_t>(k) + 1) << "step " << step;
      ASSERT_EQ(index.GotoOrdinal(1, static_cast<int64_t>(k) + 1), expected[k]) << "step " << step;
    }
    VerifyConditions(step);
  }

  const Layout& layout_;
  BTreeTable table_;
  Model model_;
  std::mt19937 random_;
  bool unique_;
};

void RunLayouts(const std::vector<uint16_t>& pageSizes, int32_t steps, int32_t maxRows, uint32_t seed) {
  for (uint16_t pageSize : pageSizes) {
    int32_t deepest = 0;
    for (const Layout& layout : Layouts()) {
      SCOPED_TRACE(::testing::Message() << layout.name << ", page size " << pageSize << ", seed " << seed);
      ModelRun run(layout, pageSize, seed);
      run.Run(steps, maxRows);
      deepest = std::max(deepest, run.maxHeight_);
      if (::testing::Test::HasFatalFailure()) return;
    }
    EXPECT_GE(deepest, 3) << "page size " << pageSize;
  }
}

TEST(BTreeModelTest, RandomChangesKeepTheIndexEqualToTheModel) {
  RunLayouts({1024}, 800, 250, 7);
}

TEST(BTreeModelTest, DeepTreesOnSmallPages) {
  // The string layouts reach three and more levels here; the run checks every step as above.
  int32_t deepest = 0;
  for (const Layout& layout : Layouts()) {
    if (!layout.columns[0].text || layout.columns[0].size > 60) continue;
    SCOPED_TRACE(layout.name);
    ModelRun run(layout, 512, 11);
    run.Run(700, 400);
    if (::testing::Test::HasFatalFailure()) return;
    deepest = std::max(deepest, run.maxHeight_);
  }
  EXPECT_GE(deepest, 3);
}

TEST(BTreeModelTest, KeyOrderLoadsFillPagesAndRandomChangesAfterThemKeepTheIndexEqualToTheModel) {
  // Keys in index order leave full pages behind (each split at the end of the last page starts a
  // new one); reverse order splits evenly. Random inserts into the middle, deletes and merges of
  // the full pages follow, every step checked. Non-unique indexes load repeated keys as well.
  for (const Layout& layout : Layouts()) {
    for (bool unique : {true, false}) {
      for (bool reverse : {false, true}) {
        SCOPED_TRACE(::testing::Message() << layout.name << (unique ? " unique" : " non-unique")
                                          << (reverse ? " reverse" : " in order"));
        ModelRun run(layout, 1024, 5, unique);
        run.LoadInOrder(unique ? 300 : 250, reverse);
        if (::testing::Test::HasFatalFailure()) return;
        // In order: every leaf but the last is full. Reverse: even splits, more leaves.
        const int32_t fewest = run.FewestLeaves();
        if (!reverse) {
          EXPECT_EQ(run.LeafPages(), fewest);
        } else if (fewest > 2) {
          EXPECT_GT(run.LeafPages(), fewest);
        }
        run.Run(120, 200);
        if (::testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

TEST(BTreeModelTest, SlowLongRandomRuns) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    RunLayouts({1024, 4096}, 4000, 1500, seed);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace viz
