// Placing filter conditions on indexes: which conjuncts become scan conditions, with what operator
// and key, and a randomised check that the index conditions plus what stays in the filter select
// exactly the rows the filter selects when evaluated row by row.
#include <gtest/gtest.h>

#include <random>

#include "sql/expressions/expression_test_util.h"

namespace viz::testing {
namespace {

constexpr int32_t kSession = 7;

class IndexConditions : public ::testing::Test {
 protected:
  IndexConditions()
      : rows_({{"id", dt::kInteger}, {"name", dt::kString, 10}, {"qty", dt::kSmallInt}, {"price", dt::kFloat},
               {"born", dt::kDate}}) {
    AddIndex("byIdName", {{"id", false, false}, {"name", false, false}});
    AddIndex("byId", {{"id", false, false}});
    AddIndex("byNameNoCase", {{"name", false, true}});
    AddIndex("byQtyDown", {{"qty", true, false}});
    AddIndex("byPriceTemporary", {{"price", false, false}}).Temporary = TABSIndexDef::kTemporary;
    indexes_[4].OwnerSession = kSession;
    AddIndex("byBorn", {{"born", false, false}});
  }

  struct ColumnSpec {
    const char* field;
    bool descending;
    bool caseInsensitive;
  };
  TABSIndexDef& AddIndex(const char* name, std::vector<ColumnSpec> columns) {
    TABSIndexDef& index = indexes_.AddCreated();
    index.SetName(name);
    for (const ColumnSpec& spec : columns) {
      TABSIndexColumn column;
      column.FieldName = spec.field;
      column.Descending = spec.descending;
      column.CaseInsensitive = spec.caseInsensitive;
      index.Columns.push_back(column);
    }
    return index;
  }

  // The conditions as "index op keys" separated by blanks, then "|" and the number of conjuncts
  // left in the filter.
  std::string Placed(std::string_view filter, bool caseInsensitive = false, int32_t session = kSession,
                     bool partial = false) {
    TABSExpression expression;
    expression.ParseFilter(&rows_.Source(), filter, partial, caseInsensitive);
    const std::vector<TABSExprIndexCondition> conditions = expression.ExtractIndexConditions(indexes_, session);
    std::string text;
    static const char* kOperators[] = {"?", "=", "<", ">", "<=", ">="};
    for (const TABSExprIndexCondition& condition : conditions) {
      text += std::to_string(condition.IndexNo) + kOperators[condition.Operator];
      for (size_t k = 0; k < condition.KeyValues.size(); ++k) {
        const TABSVariant& key = condition.KeyValues[k];
        const TABSIndexColumn& column = indexes_[condition.IndexNo].Columns[k];
        const TABSFieldDef& field = *rows_.Fields().FindField(column.FieldName);
        if (key.GetType() != field.BaseType()) text += "(wrong key type)";
        text += (k ? "," : "") + Show(key);
      }
      text += " ";
    }
    const size_t left = expression.IsEmpty()                                 ? 0
                        : expression.Root()->Operator() == eoAnd ? expression.Root()->ChildCount()
                                                                 : 1;
    return text + "| " + std::to_string(left);
  }

  TestRows rows_;
  TABSIndexDefs indexes_;
};

TEST_F(IndexConditions, ComparisonsWithConstantsOnTheFirstColumn) {
  const std::pair<const char*, const char*> cases[] = {
      {"id = 5", "0=5 | 0"},
      {"5 = id", "0=5 | 0"},
      {"id >= 2.0", "0>=2 | 0"},
      {"id > 2.5", "0>=3 | 0"},
      {"5 > id", "0<5 0>NULL | 0"},  // mirrored, and NULL keys kept out
      {"id < 2.5", "0<=2 0>NULL | 0"},
      {"id <= -2.5", "0<=-3 0>NULL | 0"},
      {"id = 2.5", "| 1"},  // never equal: stays in the filter
      {"id < 5000000000", "| 1"},
      {"id > -5000000000", "| 1"},
      {"id <> 5", "| 1"},
      {"id = '5'", "| 1"},  // compared as text, which is not the index's order
      {"id + 0 = 5", "| 1"},
      {"id = qty", "| 1"},
      {"id = NULL", "0=NULL | 0"},
      {"id IS NOT NULL", "0>NULL | 0"},
      {"qty > 3", "3<3 | 0"},  // a descending column reverses the operators
      {"qty <= 3", "3>=3 3<NULL | 0"},
      {"qty IS NOT NULL", "3<NULL | 0"},
      {"qty > 40000", "| 1"},
      {"price < 5", "4<5 4>NULL | 0"},
      {"born > '2024-01-31'", "5>2024-01-31 | 0"},
      {"born < '2024-02-01'", "5<2024-02-01 | 0"},  // null-ordered: NULL is less, as in the index
      {"born < TIMESTAMP '2024-02-01 12:00:00'", "5<=2024-02-01 | 0"},
      {"born = TIMESTAMP '2024-02-01 12:00:00'", "| 1"},
      {"born >= TIMESTAMP '2024-02-01 00:00:00'", "5>=2024-02-01 | 0"},
      {"id = 1 OR id = 2", "| 1"},
  };
  for (const auto& [filter, expected] : cases) EXPECT_EQ(Placed(filter), expected) << filter;
  EXPECT_EQ(Placed("price < 5", false, kSession + 1), "| 1");  // another session's temporary index
}

TEST_F(IndexConditions, TextCaseAndLongerKeys) {
  EXPECT_EQ(Placed("name = 'abc'"), "| 1");
  EXPECT_EQ(Placed("name = 'abc'", true), "2=abc | 0");
  EXPECT_EQ(Placed("name IS NULL", true), "2=NULL | 0");
  EXPECT_EQ(Placed("name = 5", true), "2=5 | 0");
  EXPECT_EQ(Placed("name = 'abcdefghijk'", true), "| 1");
  EXPECT_EQ(Placed("name = 'Jo*'", true, kSession, true), "| 1");
}

TEST_F(IndexConditions, LaterColumnsExtendAnEqualCondition) {
  EXPECT_EQ(Placed("id = 1 AND name = 'x'"), "0=1,x | 0");
  EXPECT_EQ(Placed("id = 1 AND name = 'x' AND qty > 0"), "0=1,x 3<0 | 0");
  EXPECT_EQ(Placed("id > 1 AND name = 'x'"), "0>1 | 1");
  EXPECT_EQ(Placed("name = 'x' AND id = 1"), "0=1 | 1");
  EXPECT_EQ(Placed("id = 1 AND name > 'x'"), "0=1 | 1");
  // What stays is evaluated as before.
  TABSExpression expression;
  expression.ParseFilter(&rows_.Source(), "qty > 0 AND id = 1 AND price > 1", false, false);
  EXPECT_EQ(expression.ExtractIndexConditions(indexes_, kSession + 1).size(), 2u);
  ASSERT_EQ(expression.Root()->ChildCount(), 1u);
  rows_.Add({Int(1), Text("a"), Int(1), Real(0.5), Null()});
  rows_.Select(0);
  EXPECT_FALSE(expression.GetBoolean());
}

// Index semantics, modelled: a key comparison with NULL before every value, reversed for a
// descending column, over the condition's key values.
bool HoldsOnIndex(const TABSExprIndexCondition& condition, const TABSIndexDef& index, TABSExprRowSource& source) {
  int order = 0;
  for (size_t k = 0; k < condition.KeyValues.size() && order == 0; ++k) {
    const TABSIndexColumn& column = index.Columns[k];
    TABSVariant value;
    source.ReadField(source.FindField("", column.FieldName), value);
    order = value.Compare(condition.KeyValues[k], false, column.CaseInsensitive);
    const int sign = order == kCompareLess ? -1 : order == kCompareGreater ? 1 : 0;
    order = column.Descending ? -sign : sign;
  }
  switch (condition.Operator) {
    case soEqual:
      return order == 0;
    case soLess:
      return order < 0;
    case soGreater:
      return order > 0;
    case soLessOrEqual:
      return order <= 0;
    default:
      return order >= 0;
  }
}

TEST_F(IndexConditions, IndexRangesSelectWhatTheFilterSelects) {
  std::mt19937 random(2024);
  const auto pick = [&](auto& items) -> decltype(auto) { return items[random() % std::size(items)]; };
  const char* names[] = {"'a'", "'B'", "'b'", "'ab'", "NULL", "'zzzzzzzzzzzz'"};
  const char* numbers[] = {"0", "1", "-1", "2.5", "-2.5", "3.0", "40000", "-40000", "5000000000", "NULL", "'2'"};
  const char* dates[] = {"DATE '2024-01-31'", "TIMESTAMP '2024-01-31 06:00:00'", "'2024-02-01'", "NULL"};
  const char* operators[] = {"=", "<", ">", "<=", ">=", "<>"};
  const char* rowNames[] = {"a", "B", "b", "ab", "A"};
  for (int i = 0; i < 40; ++i) {
    const int day = 31 + static_cast<int>(random() % 3) - 1;
    const std::string born = day == 30 ? "2024-01-30" : day == 31 ? "2024-01-31" : "2024-02-01";
    const bool nulls = random() % 4 == 0;
    rows_.Add({nulls ? Null() : Int(static_cast<int32_t>(random() % 7) - 3), random() % 5 ? Text(pick(rowNames)) : Null(),
               nulls ? Null() : Int(static_cast<int32_t>(random() % 7) - 3), Real(static_cast<double>(random() % 9) / 2),
               random() % 5 ? Text(born) : Null()});
  }
  for (int trial = 0; trial < 600; ++trial) {
    std::string filter;
    const int conjuncts = 1 + static_cast<int>(random() % 3);
    for (int c = 0; c < conjuncts; ++c) {
      if (c) filter += " AND ";
      const int kind = static_cast<int>(random() % 5);
      const std::string op = pick(operators);
      if (kind == 0) {
        filter += random() % 2 ? "id IS NULL" : "qty IS NOT NULL";
      } else if (kind == 1) {
        filter += std::string("name ") + op + " " + pick(names);
      } else if (kind == 2) {
        filter += std::string("born ") + op + " " + pick(dates);
      } else {
        const std::string field = random() % 2 ? "id" : "qty";
        filter += random() % 4 ? field + " " + op + " " + pick(numbers) : std::string(pick(numbers)) + " " + op + " " + field;
      }
    }
    const bool caseInsensitive = random() % 2;
    SCOPED_TRACE(filter + (caseInsensitive ? " (no case)" : ""));
    TABSExpression whole, rest;
    whole.ParseFilter(&rows_.Source(), filter, false, caseInsensitive);
    rest.ParseFilter(&rows_.Source(), filter, false, caseInsensitive);
    const std::vector<TABSExprIndexCondition> conditions = rest.ExtractIndexConditions(indexes_, kSession);
    for (size_t row = 0; row < rows_.Count(); ++row) {
      rows_.Select(row);
      bool byIndex = rest.IsEmpty() || rest.GetBoolean();
      for (const TABSExprIndexCondition& condition : conditions) {
        byIndex = byIndex && HoldsOnIndex(condition, indexes_[condition.IndexNo], rows_.Source());
      }
      ASSERT_EQ(byIndex, whole.GetBoolean()) << "row " << row;
    }
  }
}

}  // namespace
}  // namespace viz::testing
