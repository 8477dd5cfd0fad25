// Randomised model test of table navigation: random changes of a table and random cursor set-ups
// (order, range, filter with or without index conditions for other indexes, callback, distinct
// keys), each compared with the model's answer: the records forward and backward, the record count,
// ordinals and go-to-ordinal, before and after the record bitmap is built.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>

#include "engine/platform/collation.h"
#include "tables/search/search_fixture.h"

namespace viz {
namespace {

using testing::SearchTable;
using testing::TestCondition;

struct Row {
  int32_t id;
  int32_t x;         // -1 = NULL
  std::string name;  // "" = NULL
  TABSRecordAddress address;
};

// -1, 0, 1 on (X) or (X, Name) as the indexes order them: NULL first.
int CompareX(const Row& a, const Row& b) {
  return a.x == b.x ? 0 : (a.x < b.x ? -1 : 1);
}
int CompareName(const Row& a, const Row& b) {
  if (a.name.empty() || b.name.empty())
    return a.name.empty() == b.name.empty() ? 0 : (a.name.empty() ? -1 : 1);
  return platform::CollateAnsi(a.name, b.name, false);
}

class NavigationRun {
 public:
  explicit NavigationRun(uint32_t seed) : random_(seed) {}

  void Run(int32_t rounds) {
    for (int32_t round = 0; round < rounds; ++round) {
      Change();
      Configure();
      Verify(round);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }

 private:
  uint32_t Pick(uint32_t n) { return static_cast<uint32_t>(random_() % n); }

  Row RandomRow() {
    static const char* const names[] = {"", "ant", "Ant", "bee", "cat", "cat ", "dog"};
    return {nextId_++, Pick(9) == 0 ? -1 : static_cast<int32_t>(Pick(12)), names[Pick(7)], {}};
  }
  void Put(Row& row, bool insert) {
    auto record = t_.NewRecord();
    t_.SetInt(record, 0, row.id);
    if (row.x >= 0) t_.SetInt(record, 1, row.x);
    if (!row.name.empty()) t_.SetString(record, 2, row.name);
    if (insert)
      row.address = t_.Insert(record);
    else
      t_.Update(row.address, record);
  }

  void Change() {
    for (uint32_t n = Pick(12); n > 0; --n) {
      const uint32_t dice = Pick(10);
      if (rows_.size() < 20 || dice < 5) {
        Row row = RandomRow();
        Put(row, true);
        rows_.push_back(row);
      } else if (dice < 8) {
        const size_t at = Pick(static_cast<uint32_t>(rows_.size()));
        t_.Delete(rows_[at].address);
        rows_.erase(rows_.begin() + static_cast<ptrdiff_t>(at));
      } else {
        Row& row = rows_[Pick(static_cast<uint32_t>(rows_.size()))];
        Row changed = RandomRow();
        row.x = changed.x;
        row.name = changed.name;
        Put(row, false);
      }
    }
    t_.Commit();
  }

  void Configure() {
    static const char* const orders[] = {"", "byId", "byX", "byXName"};
    order_ = orders[Pick(4)];
    t_.Order(order_);
    TABSCursorNavigation& navigation = t_.Navigation();
    navigation.Range = {};
    navigation.FilterExpression = nullptr;
    navigation.FilterCallback = nullptr;
    navigation.DistinctKeyCount = 0;
    rangeStart_.reset();
    rangeEnd_.reset();
    // A range on the order index.
    if (!order_.empty() && Pick(2) == 0) {
      rangeStartKey_ = RandomRow();
      rangeEndKey_ = RandomRow();
      rangeStartKey_.id = static_cast<int32_t>(Pick(static_cast<uint32_t>(nextId_) + 1));
      rangeEndKey_.id = static_cast<int32_t>(Pick(static_cast<uint32_t>(nextId_) + 1));
      startBuffer_ = t_.Key(rangeStartKey_.x, rangeStartKey_.name, rangeStartKey_.id);
      endBuffer_ = t_.Key(rangeEndKey_.x, rangeEndKey_.name, rangeEndKey_.id);
      const int32_t columns = order_ == "byXName" ? 2 : 1;
      if (Pick(3) != 0) {
        rangeStart_ = {static_cast<int32_t>(1 + Pick(columns)), Pick(2) == 0};
        navigation.Range.Start = startBuffer_.data();
        navigation.Range.StartFieldCount = rangeStart_->first;
        navigation.Range.StartExclusive = rangeStart_->second;
      }
      if (Pick(3) != 0) {
        rangeEnd_ = {static_cast<int32_t>(1 + Pick(columns)), Pick(2) == 0};
        navigation.Range.End = endBuffer_.data();
        navigation.Range.EndFieldCount = rangeEnd_->first;
        navigation.Range.EndExclusive = rangeEnd_->second;
      }
    }
    // A filter on Id (offering byId conditions) or on X (offering a byX condition).
    filterKind_ = static_cast<int32_t>(Pick(4));
    low_ = static_cast<int32_t>(Pick(static_cast<uint32_t>(nextId_) + 1));
    high_ = low_ + static_cast<int32_t>(Pick(60));
    value_ = static_cast<int32_t>(Pick(12));
    lowKey_ = t_.Key(-1, "", low_);
    highKey_ = t_.Key(-1, "", high_);
    valueKey_ = t_.Key(value_);
    if (filterKind_ > 0) {
      filter_ = std::make_unique<TestCondition>([this](const uint8_t* record, const uint8_t*) {
        return PassesFilter(t_.IdOf(record), t_.XOf(record), record);
      });
      const bool redundant = Pick(2) == 0;
      filter_->Extract = [this, redundant](TABSScanSearchConditionArray& conditions) {
        auto add = [&](const char* index, TABSScanOperator op, const std::vector<uint8_t>& key) {
          auto condition = TABSScanSearchCondition::ForIndex(t_.IndexIdOf(index), op, key.data(),
                                                             static_cast<int32_t>(key.size()), 1);
          condition->Redundant = redundant;
          conditions.Add(std::move(condition));
        };
        if (filterKind_ == 1) {
          add("byId", soGreaterOrEqual, lowKey_);
          add("byId", soLess, highKey_);
        } else if (filterKind_ == 2) {
          add("byX", soEqual, valueKey_);
        }
      };
      navigation.FilterExpression = filter_.get();
    }
    callback_ = Pick(4) == 0;
    if (callback_)
      navigation.FilterCallback = [this](TABSCursor&, const uint8_t* record) {
        return t_.IdOf(record) % 3 != 1;
      };
    if ((order_ == "byX" || order_ == "byXName") && Pick(3) == 0)
      navigation.DistinctKeyCount = order_ == "byXName" ? static_cast<int32_t>(1 + Pick(2)) : 1;
  }

  bool PassesFilter(int32_t id, int32_t x, const uint8_t* record) const {
    const bool xNull = IsNullFlagSet(record, 1);
    switch (filterKind_) {
      case 1:
        return id >= low_ && id < high_;
      case 2:
        return !xNull && x == value_;
      case 3:
        return id % 2 == 0;
      default:
        return true;
    }
  }

  int CompareInOrder(const Row& a, const Row& b, int32_t columns) const {
    if (order_ == "byId") return a.id == b.id ? 0 : (a.id < b.id ? -1 : 1);
    const int r = CompareX(a, b);
    if (r != 0 || order_ == "byX" || columns < 2) return r;
    return CompareName(a, b);
  }

  std::vector<int32_t> Expected() {
    std::vector<Row> sorted = rows_;
    const int32_t all = order_ == "byXName" ? 2 : 1;
    std::sort(sorted.begin(), sorted.end(), [&](const Row& a, const Row& b) {
      if (order_.empty()) return a.address < b.address;
      const int r = CompareInOrder(a, b, all);
      return r != 0 ? r < 0 : a.address < b.address;
    });
    std::vector<int32_t> ids;
    const Row* kept = nullptr;
    for (const Row& row : sorted) {
      if (rangeStart_) {
        const int r = CompareInOrder(row, rangeStartKey_, rangeStart_->first);
        if (rangeStart_->second ? r <= 0 : r < 0) continue;
      }
      if (rangeEnd_) {
        const int r = CompareInOrder(row, rangeEndKey_, rangeEnd_->first);
        if (rangeEnd_->second ? r >= 0 : r > 0) continue;
      }
      auto record = t_.NewRecord();
      if (row.x < 0)
        SetNullFlag(record.data(), 1);
      else
        ClearNullFlag(record.data(), 1);
      if (filterKind_ > 0 && !PassesFilter(row.id, row.x, record.data())) continue;
      if (callback_ && row.id % 3 == 1) continue;
      const int32_t distinct = t_.Navigation().DistinctKeyCount;
      if (distinct > 0 && kept && CompareInOrder(row, *kept, distinct) == 0) continue;
      kept = &row;
      ids.push_back(row.id);
    }
    return ids;
  }

  void Verify(int32_t round) {
    SCOPED_TRACE(::testing::Message()
                 << "round " << round << " order '" << order_ << "' filter " << filterKind_ << " callback "
                 << callback_ << " distinct " << t_.Navigation().DistinctKeyCount << " range "
                 << rangeStart_.has_value() << rangeEnd_.has_value());
    const std::vector<int32_t> expected = Expected();
    reached_ += expected.size();
    const bool distinct = t_.Navigation().DistinctKeyCount > 0;
    ASSERT_EQ(t_.Steps(true), expected) << "searching";
    if (!distinct) {
      auto backward = t_.Steps(false);
      std::reverse(backward.begin(), backward.end());
      ASSERT_EQ(backward, expected) << "searching backwards";
    }
    TABSCursor& cursor = t_.Cursor();
    ASSERT_EQ(t_.table->CursorRecordCount(&cursor), static_cast<int64_t>(expected.size()));
    ASSERT_EQ(t_.Steps(true), expected) << "through the bitmap";
    if (!distinct || !t_.Navigation().IsRestricted()) {
      auto backward = t_.Steps(false);
      std::reverse(backward.begin(), backward.end());
      ASSERT_EQ(backward, expected) << "through the bitmap backwards";
    }
    for (int probe = 0; probe < 3 && !expected.empty(); ++probe) {
      const int64_t k = 1 + Pick(static_cast<uint32_t>(expected.size()));
      t_.table->GotoOrdinal(&cursor, k);
      ASSERT_EQ(t_.table->StepCursor(&cursor, TABSNavigationRecord::kCurrent), TABSNavigationRecord::kFound);
      ASSERT_EQ(t_.CurrentId(), expected[static_cast<size_t>(k - 1)]) << "go to " << k;
      ASSERT_EQ(t_.table->Ordinal(&cursor), k);
    }
  }

 public:
  size_t reached_ = 0;
  size_t Rows() const { return rows_.size(); }

 private:
  SearchTable t_;
  std::mt19937 random_;
  std::vector<Row> rows_;
  int32_t nextId_ = 0;
  std::string order_;
  Row rangeStartKey_{}, rangeEndKey_{};
  std::vector<uint8_t> startBuffer_, endBuffer_, lowKey_, highKey_, valueKey_;
  std::optional<std::pair<int32_t, bool>> rangeStart_, rangeEnd_;
  int32_t filterKind_ = 0, low_ = 0, high_ = 0, value_ = 0;
  bool callback_ = false;
  std::unique_ptr<TestCondition> filter_;
};

TEST(NavigationModelTest, RandomCursorsReachWhatTheModelSays) {
  NavigationRun run(21);
  run.Run(400);
  EXPECT_GT(run.Rows(), 300u);
  EXPECT_GT(run.reached_, 10000u);  // the runs reach records, not only empty answers
}

TEST(NavigationModelTest, SlowLongRandomCursorRuns) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    NavigationRun(seed).Run(1500);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace viz
