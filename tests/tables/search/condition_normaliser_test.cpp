// Normalising scan conditions: the decision table on examples, and against brute force over every
// key of a small domain (what is kept must describe exactly the keys all conditions accept).
#include "engine/tables/search/condition_normaliser.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/tables/btree/record_index.h"
#include "tables/search/search_fixture.h"

namespace viz {
namespace {

using testing::SearchTable;
using Op = TABSScanOperator;
using Meet = TABSConditionMeet;

struct Fixture {
  SearchTable table;
  std::vector<std::vector<uint8_t>> keys;  // owned key buffers

  int32_t IndexId() const { return table.IndexIdOf("byXName"); }
  TABSBTreeRecordIndex& Index() { return table.Index(2); }
  std::unique_ptr<TABSScanSearchCondition> Condition(Op op, int32_t x, const std::string& name,
                                                     int32_t count) {
    keys.push_back(table.Key(x, name));
    return TABSScanSearchCondition::ForIndex(IndexId(), op, keys.back().data(),
                                             static_cast<int32_t>(keys.back().size()), count);
  }
};

TEST(ConditionNormaliserTest, DecisionTableExamples) {
  Fixture f;
  struct Case {
    Op op1;
    int32_t x1;
    const char* name1;
    int32_t count1;
    Op op2;
    int32_t x2;
    const char* name2;
    int32_t count2;
    Meet expected;
  } cases[] = {
      {soEqual, 5, "", 1, soEqual, 6, "", 1, Meet::Disjoint},
      {soEqual, 5, "", 1, soEqual, 5, "", 1, Meet::KeepFirst},
      {soEqual, 5, "", 1, soEqual, 5, "b", 2, Meet::KeepSecond},  // the longer key implies the shorter
      {soLess, 3, "", 1, soGreater, 7, "", 1, Meet::Disjoint},
      {soGreaterOrEqual, 5, "", 1, soLessOrEqual, 3, "", 1, Meet::Disjoint},
      {soGreaterOrEqual, 5, "", 1, soLessOrEqual, 5, "", 1, Meet::MakeEqual},
      {soGreater, 5, "", 1, soLessOrEqual, 5, "", 1, Meet::Disjoint},
      {soGreaterOrEqual, 2, "", 1, soLess, 9, "", 1, Meet::KeepBoth},
      {soGreater, 2, "", 1, soGreater, 4, "", 1, Meet::KeepSecond},
      {soLess, 2, "", 1, soLessOrEqual, 2, "", 1, Meet::KeepFirst},
      {soEqual, 5, "", 1, soGreater, 3, "", 1, Meet::KeepFirst},
      {soEqual, 5, "", 1, soLess, 3, "", 1, Meet::Disjoint},
      {soEqual, 5, "", 1, soGreater, 5, "a", 2, Meet::KeepBoth},  // fewer key fields than the bound
      {soEqual, 5, "b", 2, soGreater, 5, "", 1, Meet::Disjoint},
      {soGreater, 5, "", 1, soGreaterOrEqual, 5, "z", 2, Meet::KeepFirst},
      {soGreaterOrEqual, 5, "", 1, soGreater, 5, "z", 2, Meet::KeepSecond},
      {soGreater, 5, "", 1, soLess, 5, "z", 2, Meet::Disjoint},
      {soGreaterOrEqual, 5, "", 1, soLess, 5, "z", 2, Meet::KeepBoth},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(c.op1) << " " << c.x1 << c.name1 << " / "
                                      << static_cast<int>(c.op2) << " " << c.x2 << c.name2);
    auto first = f.Condition(c.op1, c.x1, c.name1, c.count1);
    auto second = f.Condition(c.op2, c.x2, c.name2, c.count2);
    EXPECT_EQ(MeetConditions(*first, *second, f.Index()), c.expected);
  }
}

TEST(ConditionNormaliserTest, KeptConditionsAcceptExactlyWhatAllConditionsAccept) {
  Fixture f;
  TABSBTreeRecordIndex& index = f.Index();
  const std::vector<int32_t> xs = {-1, 0, 1, 2, 3};  // -1 = NULL
  const std::vector<std::string> names = {"", "a", "b", "c"};
  std::vector<std::vector<uint8_t>> universe;
  for (int32_t x : xs)
    for (const std::string& name : names) universe.push_back(f.table.Key(x, name));
  auto accepts = [&](const TABSScanSearchCondition& c, const std::vector<uint8_t>& record) {
    return ScanOperatorAccepts(c.Operator,
                               index.CompareRecordBuffers(record.data(), c.Key(), c.KeyFieldCount));
  };
  std::mt19937 random(3);
  int contradictions = 0, reductions = 0;
  for (int round = 0; round < 3000; ++round) {
    TABSScanSearchConditionArray conditions;
    std::vector<std::unique_ptr<TABSScanSearchCondition>> originals;
    const int count = 2 + static_cast<int>(random() % 3);
    for (int i = 0; i < count; ++i) {
      const Op op = static_cast<Op>(1 + random() % 5);
      auto condition = f.Condition(op, xs[random() % xs.size()], names[random() % names.size()],
                                   1 + static_cast<int32_t>(random() % 2));
      originals.push_back(condition->Clone());
      conditions.Add(std::move(condition));
    }
    const bool possible =
        NormaliseConditions(conditions, [&](int32_t) -> TABSBTreeRecordIndex& { return index; });
    ASSERT_LE(conditions.Count(), count);
    for (const auto& record : universe) {
      bool all = true, kept = true;
      for (const auto& original : originals) all = all && accepts(*original, record);
      for (int32_t i = 0; i < conditions.Count(); ++i) kept = kept && accepts(conditions[i], record);
      ASSERT_FALSE(!possible && all) << "round " << round
                                     << ": a satisfiable search was declared contradictory";
      if (possible) {
        ASSERT_EQ(kept, all) << "round " << round;
      }
    }
    contradictions += possible ? 0 : 1;
    reductions += possible && conditions.Count() < count ? 1 : 0;
  }
  EXPECT_GT(contradictions, 300);
  EXPECT_GT(reductions, 300);
}

TEST(ConditionNormaliserTest, GroupsByIndexAndPutsExpressionsLast) {
  Fixture f;
  testing::TestCondition expression([](const uint8_t*, const uint8_t*) { return true; });
  TABSScanSearchConditionArray conditions;
  conditions.Add(TABSScanSearchCondition::ForExpression(&expression));
  const auto key = f.table.Key(2);
  const int32_t byX = f.table.IndexIdOf("byX");
  conditions.Add(
      TABSScanSearchCondition::ForIndex(byX, soGreater, key.data(), static_cast<int32_t>(key.size()), 1));
  conditions.Add(f.Condition(soEqual, 1, "", 1));
  conditions.Add(
      TABSScanSearchCondition::ForIndex(byX, soLess, key.data(), static_cast<int32_t>(key.size()), 1));
  ASSERT_FALSE(NormaliseConditions(conditions, [&](int32_t id) -> TABSBTreeRecordIndex& {
    return id == byX ? f.table.Index(1) : f.Index();
  }));  // x > 2 and x < 2
  conditions.Clear();
  conditions.Add(TABSScanSearchCondition::ForExpression(&expression));
  conditions.Add(
      TABSScanSearchCondition::ForIndex(byX, soGreater, key.data(), static_cast<int32_t>(key.size()), 1));
  conditions.Add(f.Condition(soEqual, 1, "", 1));
  conditions.Add(
      TABSScanSearchCondition::ForIndex(byX, soLessOrEqual, key.data(), static_cast<int32_t>(key.size()), 1));
  ASSERT_FALSE(NormaliseConditions(conditions, [&](int32_t id) -> TABSBTreeRecordIndex& {
    return id == byX ? f.table.Index(1) : f.Index();
  }));
  conditions.Clear();
  conditions.Add(TABSScanSearchCondition::ForExpression(&expression));
  conditions.Add(TABSScanSearchCondition::ForIndex(byX, soGreaterOrEqual, key.data(),
                                                   static_cast<int32_t>(key.size()), 1));
  conditions.Add(f.Condition(soEqual, 1, "", 1));
  conditions.Add(
      TABSScanSearchCondition::ForIndex(byX, soLessOrEqual, key.data(), static_cast<int32_t>(key.size()), 1));
  ASSERT_TRUE(NormaliseConditions(conditions, [&](int32_t id) -> TABSBTreeRecordIndex& {
    return id == byX ? f.table.Index(1) : f.Index();
  }));
  ASSERT_EQ(conditions.Count(), 3);
  EXPECT_EQ(conditions[0].IndexID, byX);
  EXPECT_EQ(conditions[0].Operator, soEqual);  // >= 2 and <= 2
  EXPECT_EQ(conditions[1].IndexID, f.IndexId());
  EXPECT_EQ(conditions[2].Expression, &expression);
}

}  // namespace
}  // namespace viz
