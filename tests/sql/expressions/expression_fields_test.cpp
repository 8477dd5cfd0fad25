// Expressions bound to records: field lookup, NULL rules of field comparisons, filter options, key
// conditions, aggregates over rows, and evaluation without allocation.
#include <gtest/gtest.h>

#include "engine/sql/expressions/nodes.h"
#include "engine/storage/memory_manager.h"
#include "sql/expressions/expression_test_util.h"

namespace viz::testing {
namespace {

// id INTEGER, name STRING(10), qty SMALLINT, price FLOAT, born DATE, wide WIDESTRING(10), note MEMO,
// and a field called ABS.
class ExpressionFields : public ::testing::Test {
 protected:
  ExpressionFields()
      : rows_({{"id", dt::kInteger},
               {"name", dt::kString, 10},
               {"qty", dt::kSmallInt},
               {"price", dt::kFloat},
               {"born", dt::kDate},
               {"wide", dt::kWideString, 10},
               {"note", dt::kMemo},
               {"ABS", dt::kInteger}}) {
    rows_.Add({Int(1), Text("John"), Int(5), Real(2.5), Text("2024-01-31"), Text("Ab"), Null(), Int(-1)});
    rows_.Add({Int(2), Null(), Null(), Null(), Null(), Null(), Null(), Null()});
    rows_.Add({Int(3), Text("jolly"), Int(-4), Real(10), Text("2024-02-01"), Text("ab"), Null(), Int(7)});
  }

  // The rows (by id) for which the filter holds.
  std::string Matching(std::string_view filter, bool partial = false, bool caseInsensitive = false) {
    TABSExpression expression;
    expression.ParseFilter(&rows_.Source(), filter, partial, caseInsensitive);
    return Matching(expression);
  }
  std::string Matching(TABSExpression& expression) {
    std::string ids;
    for (size_t row = 0; row < rows_.Count(); ++row) {
      rows_.Select(row);
      if (expression.GetBoolean()) ids += std::to_string(row + 1);
    }
    return ids;
  }
  std::string ValueAt(size_t row, std::string_view text) {
    rows_.Select(row);
    return Evaluate(text, &rows_.Source()).value;
  }

  TestRows rows_;
};

TEST_F(ExpressionFields, FieldsAreFoundByNameQualifierOrBrackets) {
  EXPECT_EQ(ValueAt(0, "id + qty"), "6");
  EXPECT_EQ(ValueAt(0, "T.id"), "1");
  EXPECT_EQ(ValueAt(0, "t.[name]"), "John");
  EXPECT_EQ(ValueAt(0, "NAME"), "John");
  EXPECT_EQ(ValueAt(0, "ABS + ABS(ABS)"), "0");  // a field named ABS, and the function
  EXPECT_EQ(Evaluate("id", &rows_.Source()).type, dt::kInteger);
  EXPECT_EQ(Evaluate("name", &rows_.Source()).size, 10);
  EXPECT_EQ(Evaluate("name || 'x'", &rows_.Source()).size, 11);
  EXPECT_EQ(EvaluationError("zz = 1", &rows_.Source()).message, "Field 'zz' not found - Native error: 30115");
  EXPECT_EQ(EvaluationError("other.id = 1", &rows_.Source()).message,
            "Field 'other.id' not found - Native error: 30115");
  EXPECT_EQ(EvaluationError("id = 1").message, "Dataset and AO not assigned - Native error: 30196");
  rows_.Select(0);
  EXPECT_EQ(EvaluationError("note = 'a'", &rows_.Source()).code, 0);  // NULL memo: nothing to read
}

TEST_F(ExpressionFields, ArithmeticTreesOfTheGrammar) {
  TABSExpression difference;
  TABSLexer lexer("id - qty - price", nullptr);
  lexer.NextCommand();
  ASSERT_TRUE(difference.ParseValue(lexer));
  const TABSExprNode& sum = *difference.Root();
  ASSERT_EQ(sum.Operator(), eoAdd);  // a - b - c is the sum of a, -b, -c
  ASSERT_EQ(sum.ChildCount(), 3u);
  EXPECT_EQ(sum.Child(1).Operator(), eoNegate);
  EXPECT_EQ(sum.Child(2).Operator(), eoNegate);
  difference.Bind(&rows_.Source());
  rows_.Select(0);
  EXPECT_EQ(Show(*difference.GetValue()), "-6.5");

  TABSLexer negated("-id * qty", nullptr);
  negated.NextCommand();
  TABSExpression product;
  ASSERT_TRUE(product.ParseValue(negated));
  EXPECT_EQ(product.Root()->Operator(), eoMultiply);
  EXPECT_EQ(product.Root()->Child(0).Operator(), eoNegate);
  EXPECT_EQ(ValueAt(2, "-id * qty"), "12");
}

TEST_F(ExpressionFields, NullRulesOfFieldComparisons) {
  // Null-ordered against NULL, text and date constants; null-strict against numbers.
  EXPECT_EQ(Matching("qty = NULL"), "2");
  EXPECT_EQ(Matching("qty <> NULL"), "13");
  EXPECT_EQ(Matching("qty > NULL"), "13");
  EXPECT_EQ(Matching("qty < NULL"), "");
  EXPECT_EQ(Matching("qty > -100"), "13");
  EXPECT_EQ(Matching("qty < 100"), "13");
  EXPECT_EQ(Matching("NOT qty > 0"), "23");  // a NULL qty makes qty > 0 FALSE, not NULL
  EXPECT_EQ(Matching("name <> 'a'"), "123");
  EXPECT_EQ(Matching("name < 'b'"), "2");
  EXPECT_EQ(Matching("born < DATE '2024-02-01'"), "12");
  EXPECT_EQ(Matching("born < '2024-02-01'"), "12");
  EXPECT_EQ(Matching("qty + 0 = NULL"), "");  // not a field: null-strict
  EXPECT_EQ(Matching("name IS NULL"), "2");
  EXPECT_EQ(Matching("name IS NOT NULL AND qty IS NOT NULL"), "13");

  // A NULL parameter of a text type compared by = or <> is built as IS [NOT] NULL.
  TABSSQLParams params;
  TABSSQLParam& param = params.Add();
  param.Name = "p";
  param.Clear(bt::kString);
  TABSLexer lexer("name = :p", &params);
  lexer.NextCommand();
  TABSExpression expression;
  expression.ParseCondition(lexer);
  EXPECT_EQ(expression.Root()->Operator(), eoIsNull);
  expression.Bind(&rows_.Source());
  EXPECT_EQ(Matching(expression), "2");
}

TEST_F(ExpressionFields, FilterOptions) {
  EXPECT_EQ(Matching("name = 'john'"), "");
  EXPECT_EQ(Matching("name = 'john'", false, true), "1");
  EXPECT_EQ(Matching("name LIKE 'J%'", false, true), "13");
  EXPECT_EQ(Matching("name LIKE 'J%'"), "1");
  // Partial compare: a constant ending in '*' compares by prefix; a shorter value does not match.
  EXPECT_EQ(Matching("name = 'Jo*'", true), "1");
  EXPECT_EQ(Matching("name = 'jo*'", true, true), "13");
  EXPECT_EQ(Matching("name = 'Johnny*'", true), "");
  EXPECT_EQ(Matching("name = 'Jo*'"), "");  // without the option the star is a character
  // Wide fields meet narrow constants and the other way round.
  EXPECT_EQ(Matching("wide = 'ab'"), "3");
  EXPECT_EQ(Matching("wide = 'AB'", false, true), "13");
  EXPECT_EQ(Matching("name IN ('JOHN', 'x')"), "1");  // IN ignores case in any case
}

TEST_F(ExpressionFields, KeyConditionsAndFieldComparisons) {
  TABSExpression key;
  const TABSVariant oneKey[] = {Text("jol")};
  key.BuildKeyCondition(&rows_.Source(), "name", oneKey, true, true);
  EXPECT_EQ(Matching(key), "3");
  const TABSVariant twoKeys[] = {Int(3), Text("jolly")};
  key.BuildKeyCondition(&rows_.Source(), "id; name", twoKeys, false, false);
  EXPECT_EQ(Matching(key), "3");
  EXPECT_EQ(key.Root()->Operator(), eoAnd);
  const Raised mismatch = RaisedBy([&] { key.BuildKeyCondition(&rows_.Source(), "id;name;qty", twoKeys, false, false); });
  EXPECT_EQ(mismatch.message, "Count of FieldNames (3) not equal counts of KeyValues (2) - Native error: 30112");

  TABSExpression comparison;
  comparison.BuildFieldComparison(&rows_.Source(), "price", Int(3), eoLess);
  EXPECT_EQ(Matching(comparison), "1");
}

TEST_F(ExpressionFields, TreeQueries) {
  TABSExpression expression;
  expression.ParseFilter(&rows_.Source(), "T.id > 1 AND (qty IS NULL AND name IS NULL)", false, false);
  EXPECT_EQ(expression.Root()->ChildCount(), 3u);  // nested AND lists become one
  EXPECT_TRUE(expression.ReferencesOnlyTable("t"));
  EXPECT_FALSE(expression.ReferencesOnlyTable("other"));
  EXPECT_TRUE(expression.IsApplicable(rows_.Source()));
  EXPECT_FALSE(expression.IsAggregated());
  EXPECT_FALSE(expression.IsField());
  EXPECT_EQ(RaisedBy([&] {
              std::string table, field;
              expression.GetFieldName(table, field);
            }).message,
            "Node is not field - Native error: 30198");

  TABSExpression field;
  TABSLexer lexer("T.name", nullptr);
  lexer.NextCommand();
  ASSERT_TRUE(field.ParseValue(lexer));
  std::string table, name;
  field.GetFieldName(table, name);
  EXPECT_EQ(table + "." + name, "T.name");

  TABSExpression more;
  more.ParseFilter(&rows_.Source(), "id < 3", false, false);
  expression.AndWith(more);
  EXPECT_TRUE(more.IsEmpty());
  EXPECT_EQ(expression.Root()->ChildCount(), 4u);
  EXPECT_EQ(Matching(expression), "2");
  TABSExpression none;
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_EQ(none.GetValue(), nullptr);
  EXPECT_EQ(RaisedBy([&] { none.GetBoolean(); }).message, "Value is Null - Native error: 30110");
}

// A record source that reports itself as an operator, for the operator form of the messages.
class OperatorRows : public TABSRecordRowSource {
 public:
  using TABSRecordRowSource::TABSRecordRowSource;
  bool IsOperator() const override { return true; }
  bool IsGrouping() const override { return true; }
};

TEST_F(ExpressionFields, OuterReferencesAndOperatorMessages) {
  OperatorRows outer(rows_.Fields(), "O");
  TestRows inner({{"k", dt::kInteger}}, "I");
  inner.Add({Int(3)});
  inner.Select(0);
  outer.SetRecordBuffer(nullptr);
  rows_.Select(2);
  TABSExpression correlated;
  TABSLexer lexer("k = T.id", nullptr);
  lexer.NextCommand();
  correlated.ParseCondition(lexer);
  correlated.Bind(&inner.Source(), &rows_.Source());
  EXPECT_TRUE(correlated.GetBoolean());
  EXPECT_EQ(RaisedBy([&] { correlated.Bind(&outer); }).message, "Field 'k' not found - Native error: 30197");
}

TEST_F(ExpressionFields, AggregatesOverRows) {
  struct Case {
    const char* text;
    const char* value;
    TABSDataType type;
  };
  const Case cases[] = {
      {"SUM(qty)", "1", dt::kLargeInt},      {"SUM(price)", "12.5", dt::kFloat},
      {"AVG(id)", "2", dt::kFloat},          {"AVG(qty)", "0.5", dt::kFloat},
      {"MIN(name)", "John", dt::kString},    {"MAX(name)", "jolly", dt::kString},
      {"MIN(qty)", "-4", dt::kSmallInt},     {"COUNT(qty)", "2", dt::kInteger},
      {"COUNT(*)", "3", dt::kInteger},       {"COUNT(note)", "0", dt::kInteger},
      {"SUM(qty + price)", "13.5", dt::kFloat}, {"MAX(born)", "2024-02-01", dt::kDate},
      {"SUM(qty) * 2 + COUNT(*)", "5", dt::kLargeInt},
      {"COUNT DISTINCT (wide)", "2", dt::kInteger},
  };
  for (const Case& c : cases) {
    TABSLexer lexer(c.text, nullptr);
    lexer.NextCommand();
    TABSExpression aggregate;
    ASSERT_TRUE(aggregate.ParseValue(lexer)) << c.text;
    aggregate.Bind(&rows_.Source());
    EXPECT_TRUE(aggregate.IsAggregated());
    aggregate.ResetAggregates();
    for (size_t row = 0; row < rows_.Count(); ++row) {
      rows_.Select(row);
      aggregate.AccumulateAggregates();
    }
    EXPECT_EQ(Show(*aggregate.GetValue(true)), c.value) << c.text;
    EXPECT_EQ(aggregate.GetDataType(), c.type) << c.text;
    aggregate.ResetAggregates();  // a new, empty group
    EXPECT_EQ(Show(*aggregate.GetValue(true)), std::string(c.text).starts_with("COUNT") ? "0" : "NULL") << c.text;
  }
}

// Runs an aggregate over rows of one column.
std::string Aggregate(std::string_view text, TABSDataType type, const std::vector<TABSVariant>& values) {
  TestRows rows({{"x", type, 10}});
  for (const TABSVariant& value : values) rows.Add({value});
  TABSLexer lexer(text, nullptr);
  lexer.NextCommand();
  TABSExpression aggregate;
  aggregate.ParseValue(lexer);
  aggregate.Bind(&rows.Source());
  aggregate.ResetAggregates();
  for (size_t row = 0; row < rows.Count(); ++row) {
    rows.Select(row);
    aggregate.AccumulateAggregates();
  }
  return Show(*aggregate.GetValue(true));
}

TEST(ExpressionAggregates, SumsInSixtyFourBitsAndDistinctValues) {
  const std::vector<TABSVariant> big = {Int(2000000000), Int(2000000000), Int(2000000000)};
  EXPECT_EQ(Aggregate("SUM(x)", dt::kInteger, big), "6000000000");
  EXPECT_EQ(Aggregate("SUM(x)", dt::kSmallInt, {Int(30000), Int(30000), Int(30000)}), "90000");
  EXPECT_EQ(Aggregate("AVG(x)", dt::kInteger, {Int(1), Int(2)}), "1.5");
  EXPECT_EQ(Aggregate("SUM(x)", dt::kInteger, {}), "NULL");
  EXPECT_EQ(Aggregate("SUM(x)", dt::kInteger, {Null(), Null()}), "NULL");
  EXPECT_EQ(Aggregate("COUNT(x)", dt::kInteger, {Null(), Null()}), "0");
  EXPECT_EQ(Aggregate("COUNT(*)", dt::kInteger, {Null(), Null()}), "2");
  EXPECT_EQ(Aggregate("SUM(x + 0.5)", dt::kInteger, {Int(1), Int(2)}), "4");

  const std::vector<TABSVariant> repeated = {Int(1), Int(2), Int(2), Null(), Int(3), Int(3), Int(3)};
  EXPECT_EQ(Aggregate("COUNT(x)", dt::kInteger, repeated), "6");
  EXPECT_EQ(Aggregate("COUNT DISTINCT (x)", dt::kInteger, repeated), "3");
  EXPECT_EQ(Aggregate("SUM(x)", dt::kInteger, repeated), "14");
  EXPECT_EQ(Aggregate("SUM DISTINCT (x)", dt::kInteger, repeated), "6");
  EXPECT_EQ(Aggregate("AVG DISTINCT (x)", dt::kInteger, repeated), "2");
  EXPECT_EQ(Aggregate("MAX DISTINCT (x)", dt::kInteger, repeated), "3");
  // Text compares with its case for DISTINCT in statements, and without for MIN and MAX.
  const std::vector<TABSVariant> names = {Text("a"), Text("A"), Text("b"), Text("a")};
  EXPECT_EQ(Aggregate("COUNT DISTINCT (x)", dt::kString, names), "3");
  EXPECT_EQ(Aggregate("MAX(x)", dt::kString, {Text("b"), Text("B"), Text("a")}), "b");

  EXPECT_EQ(RaisedBy([] { Aggregate("SUM(x)", dt::kString, {Text("a")}); }).message,
            "Not numeric argument in numeric operator 'SUM' - Native error: 30132");
  EXPECT_EQ(RaisedBy([] { Aggregate("AVG(x)", dt::kString, {Text("a")}); }).code, 30133);
}

TEST(ExpressionSystem, RowNumbersCountPerNode) {
  TABSExpression first, second;
  for (TABSExpression* expression : {&first, &second}) {
    TABSLexer lexer("ROWNUM", nullptr);
    lexer.NextCommand();
    ASSERT_TRUE(expression->ParseValue(lexer));
  }
  EXPECT_EQ(Show(*first.GetValue()), "1");
  EXPECT_EQ(Show(*first.GetValue()), "2");
  EXPECT_EQ(Show(*second.GetValue()), "1");
  EXPECT_EQ(Evaluate("ROWNUM * 10 + ROWNUM").value, "11");
}

// A comparison of a field with a constant (and the benchmark's filter) allocates nothing per row.
TEST_F(ExpressionFields, EvaluationAllocatesNothingPerRow) {
  for (const char* filter : {"id > 10 AND name LIKE 'x%'", "id = 2", "qty > 3", "price >= 2", "name = 'John'",
                             "name < 'k' OR qty IS NULL", "born = DATE '2024-01-31'", "id BETWEEN 1 AND 2",
                             "qty IN (1, 5)", "NOT (name <> 'jolly')"}) {
    TABSExpression expression;
    expression.ParseFilter(&rows_.Source(), filter, false, false);
    Matching(expression);  // the first evaluation makes each node's result
    const int64_t before = MemoryManager().GetMemCallCount();
    for (int pass = 0; pass < 100; ++pass) Matching(expression);
    EXPECT_EQ(MemoryManager().GetMemCallCount() - before, 0) << filter;
  }
  // The counter does see conversions made per row.
  TABSExpression converting;
  converting.ParseFilter(&rows_.Source(), "CAST(qty AS FLOAT) > 1", false, false);
  Matching(converting);
  const int64_t before = MemoryManager().GetMemCallCount();
  Matching(converting);
  EXPECT_GT(MemoryManager().GetMemCallCount() - before, 0);
}

}  // namespace
}  // namespace viz::testing
