// Every parse error of the expression parser, with the token found and its line and column.
#include <gtest/gtest.h>

#include <string>

#include "sql/expressions/expression_test_util.h"

namespace viz::testing {
namespace {

struct ErrorCase {
  const char* text;
  int32_t code;
  const char* message;  // without the native error suffix
};

Raised FilterError(std::string_view text) {
  return RaisedBy([&] {
    TABSExpression expression;
    expression.ParseFilter(nullptr, text, false, false);
  });
}

void Check(const ErrorCase& c) {
  const Raised raised = FilterError(c.text);
  EXPECT_EQ(raised.code, c.code) << c.text;
  EXPECT_EQ(raised.message, std::string(c.message) + " - Native error: " + std::to_string(c.code)) << c.text;
}

TEST(ExpressionErrors, ConditionsAndPredicates) {
  const ErrorCase cases[] = {
      {"", 30119, "Blank SQL command"},
      {"/* only a comment */", 30119, "Blank SQL command"},
      {"a +", 30063, "Unexpected end of SQL command found at line 1, column 3"},
      {"a = ,", 30064, "Unexpected token ',' found at line 1, column 5"},
      {"a + 1", 30066, "Boolean expression expected, but 'a' found at line 1, column 1"},
      {"NOT 5", 30066, "Boolean expression expected, but '5' found at line 1, column 5"},
      {"EXISTS (1)", 30066, "Boolean expression expected, but 'EXISTS' found at line 1, column 1"},
      {"x > 1 AND", 30136, "Unexpected end of SQL command found at line 1, column 7"},
      {"x > 1 AND y", 30069, "Boolean expression expected, but 'y' found at line 1, column 11"},
      {"x > 1\nAND\n  y", 30069, "Boolean expression expected, but 'y' found at line 3, column 3"},
      {"x > 1 OR 2", 30070, "Boolean expression expected, but '2' found at line 1, column 10"},
      {"x IS MAYBE", 30067, "Token 'TRUE, FALSE or UNKNOWN' expected, but 'MAYBE' found at line 1, column 6"},
      {"(x > 1 y)", 30071, "Token ')' expected, but 'y' found at line 1, column 8"},
      {"x IN 1", 30106, "Token '(' expected, but '1' found at line 1, column 6"},
      {"x IN ()", 30107, "Argument expected for function 'IN' at line 1, column 7"},
      {"x IN (1 2)", 30108, "Token ')' expected, but '2' found at line 1, column 9"},
      {"x BETWEEN 1 OR 2", 30111, "Token 'AND' expected, but 'OR' found at line 1, column 13"},
      {"x LIKE 'a' ESCAPE 'ab'", 30068, "Escape character expected, but 'ab' found at line 1, column 19"},
      {"t. > 1", 30125, "Token 'field name' expected, but '>' found at line 1, column 4"},
      {"x = ALL (1)", 30064, "Unexpected token 'ALL' found at line 1, column 5"},
      {"x = 1 y", 30064, "Unexpected token 'y' found at line 1, column 7"},
      {"x = 1; y = 2", 30064, "Unexpected token 'y' found at line 1, column 8"},
      {"1 + 'a' - 1 = 'x'", 30064, "Unexpected token '-' found at line 1, column 9"},
      {"DATE 'x' > d", 20283, "Date string expected \"YYYY-MM-DD\", but found \"x\" at line 1, column 6"},
      {"TIME 5 > t", 20285, "Time string expected \"HH:MM:SS\", but found \"5\" at line 1, column 6"},
  };
  for (const ErrorCase& c : cases) Check(c);
}

TEST(ExpressionErrors, Functions) {
  const ErrorCase cases[] = {
      {"COUNT(DISTINCT x)", 30102, "Argument expected for function 'COUNT' at line 1, column 7"},
      {"SUM x", 30074, "Token '(' expected, but 'x' found at line 1, column 5"},
      {"SUM(x y)", 30075, "Token ')' expected, but 'y' found at line 1, column 7"},
      {"CAST(x AS BLOB)", 30077, "Cannot convert an expression to specified type: 'BLOB'"},
      {"CAST(x AS NUMBER)", 30077, "Cannot convert an expression to specified type: 'NUMBER'"},
      {"CAST x", 30073, "Token '(' expected, but 'x' found at line 1, column 6"},
      {"CAST()", 30078, "Argument expected for function 'CAST' at line 1, column 6"},
      {"CAST(x AS VARCHAR())", 30079, "Argument expected for function 'CAST' at line 1, column 19"},
      {"CAST(x AS VARCHAR(10 y))", 30465, "Token ')' expected, but 'y' found at line 1, column 22"},
      {"CAST(x AS INTEGER y)", 30076, "Token ')' expected, but 'y' found at line 1, column 19"},
      {"UPPER()", 30092, "String argument expected for function 'UPPER', but ')' found at line 1, column 7"},
      {"UPPER 1", 30080, "Token '(' expected, but '1' found at line 1, column 7"},
      {"UPPER(a b)", 30081, "Token ')' expected, but 'b' found at line 1, column 9"},
      {"LENGTH x", 30082, "Token '(' expected, but 'x' found at line 1, column 8"},
      {"LENGTH()", 30083, "Argument expected for function 'LENGTH' at line 1, column 8"},
      {"LENGTH(a b)", 30084, "Token ')' expected, but 'b' found at line 1, column 10"},
      {"POS x", 30085, "Token '(' expected, but 'x' found at line 1, column 5"},
      {"POSITION()", 30086, "Argument expected for function 'POSITION' at line 1, column 10"},
      {"POSITION('a' 'b')", 30087, "Token ',' or 'IN' expected, but 'b' found at line 1, column 14"},
      {"POSITION('a' IN)", 30088, "Argument expected for function 'POSITION' at line 1, column 16"},
      {"POSITION('a' IN 'b' 'c')", 30089, "Token ')' expected, but 'c' found at line 1, column 21"},
      {"SUBSTRING x", 30090, "Token '(' expected, but 'x' found at line 1, column 11"},
      {"SUBSTRING()", 30092, "String argument expected for function 'SUBSTRING', but ')' found at line 1, column 11"},
      {"SUBSTRING('a' 1)", 30091, "Token ',' or 'from' expected, but '1' found at line 1, column 15"},
      {"SUBSTRING('a' FROM)", 30093, "Argument expected for function 'SUBSTRING' at line 1, column 19"},
      {"SUBSTRING('a' FROM 1 'x')", 30094, "Token ')' or ',' or 'FOR' expected, but 'x' found at line 1, column 22"},
      {"SUBSTRING('a' FROM 1 FOR)", 30095, "Argument expected for function 'SUBSTRING' at line 1, column 25"},
      {"SUBSTRING('a' FROM 1 FOR 2 3)", 30097, "Token ')' expected, but '3' found at line 1, column 28"},
      {"TODATE x", 30098, "Token '(' expected, but 'x' found at line 1, column 8"},
      {"TODATE()", 30099, "Argument expected for function 'TODATE' at line 1, column 8"},
      {"TODATE('x')", 30100, "Token ',' expected, but ')' found at line 1, column 11"},
      {"TODATE('x', 5)", 30109, "Const DateFormat string expected, but '5' found at line 1, column 13"},
      {"TODATE('x', 'y' z)", 30101, "Token ')' expected, but 'z' found at line 1, column 17"},
      {"TOSTRING x", 30103, "Token '(' expected, but 'x' found at line 1, column 10"},
      {"TOSTRING()", 30104, "Argument expected for function 'TOSTRING' at line 1, column 10"},
      {"TOSTRING(x 'f')", 20261, "Token ',' expected, but 'f' found at line 1, column 12"},
      {"TOSTRING(x, y)", 30096, "Const DateFormat string expected, but 'y' found at line 1, column 13"},
      {"TOSTRING(x, 'y' z)", 20263, "Token ')' expected, but 'z' found at line 1, column 17"},
      {"EXTRACT YEAR", 20277, "Token '(' expected, but 'YEAR' found at line 1, column 9"},
      {"EXTRACT(5 FROM x)", 20278,
       "Token 'YEAR or MONTH or DAY or HOUR or MINUTE or SECOND' expected, but '5' found at line 1, column 9"},
      {"EXTRACT(WEEK FROM x)", 20279,
       "Token 'YEAR or MONTH or DAY or HOUR or MINUTE or SECOND' expected, but 'WEEK' found at line 1, column 9"},
      {"EXTRACT(YEAR x)", 20280, "Token 'FROM' expected, but 'x' found at line 1, column 14"},
      {"EXTRACT(YEAR FROM)", 20281, "Argument expected for function 'EXTRACT (... FROM ...)' at line 1, column 18"},
      {"EXTRACT(YEAR FROM x y)", 20282, "Token ')' expected, but 'y' found at line 1, column 21"},
      {"SQRT 4", 20275, "Token '(' expected, but '4' found at line 1, column 6"},
      {"SQRT()", 20262, "Argument expected for function 'SQRT' at line 1, column 6"},
      {"SQRT(4 5)", 20286, "Token ')' expected, but '5' found at line 1, column 8"},
      {"POWER(2 3)", 20267, "comma (\",\") expected but not found at line 1, column 9"},
      {"POWER(2,)", 20284, "Argument expected for function 'POWER' at line 1, column 9"},
      {"COALESCE 1", 20288, "Token '(' expected, but '1' found at line 1, column 10"},
      {"COALESCE()", 20276, "COALESCE arguments are missed at line 1, column 10"},
      {"COALESCE(1,)", 20289, "Argument expected for function 'COALESCE' at line 1, column 12"},
      {"COALESCE(1 2)", 30122, "Token ')' expected, but '2' found at line 1, column 12"},
      {"CASE END", 20264, "Input expression for CASE function expected, but 'END' found at line 1, column 6"},
      {"CASE x 1", 20251, "Token 'WHEN' expected, but '1' found at line 1, column 8"},
      {"CASE WHEN THEN", 20265, "Search Condition for CASE function expected, but 'THEN' found at line 1, column 11"},
      {"CASE WHEN 1 THEN 2 END", 20265, "Search Condition for CASE function expected, but '1' found at line 1, column 11"},
      {"CASE x WHEN THEN 1 END", 20266, "When Expression for CASE function expected, but 'THEN' found at line 1, column 13"},
      {"CASE x WHEN 1 2", 20252, "Token 'THEN' expected, but '2' found at line 1, column 15"},
      {"CASE x WHEN 1 THEN END", 20287, "Argument expected for function 'CASE' at line 1, column 20"},
      {"CASE x WHEN 1 THEN 2 ELSE END", 20268,
       "'Else Result Expression' for CASE function expected, but 'END' found at line 1, column 27"},
      {"CASE x WHEN 1 THEN 2", 20253, "Token 'END' expected, but '' found at line 1, column 20"},
      {"MIMETOBIN x", 20273, "Token '(' expected, but 'x' found at line 1, column 11"},
      {"MIMETOBIN(5)", 30105, "String argument expected for function 'MimeToBin()', but '5' found at line 1, column 11"},
      {"MIMETOBIN('a' 'b')", 20274, "Token ')' expected, but 'b' found at line 1, column 15"},
  };
  for (const ErrorCase& c : cases) Check(c);
}

std::string Repeated(std::string_view text, int count) {
  std::string result;
  for (int i = 0; i < count; ++i) result += text;
  return result;
}

// Each bracketed operand is parsed once: a deep text parses in time linear in its length, and
// nesting beyond the bound is refused instead of exhausting the stack.
TEST(ExpressionErrors, DeepNestingParsesOnceAndIsBounded) {
  std::string concatenation = "'a'";
  for (int level = 0; level < 40; ++level) concatenation = "(" + concatenation + ")||'b'";
  EXPECT_EQ(Evaluate(concatenation + " = 'x'").value, "FALSE");
  EXPECT_EQ(Evaluate(Repeated("(", 40) + "1 = 1" + Repeated(")", 40)).value, "TRUE");
  EXPECT_EQ(Evaluate(Repeated("UPPER(", 40) + "'a'" + Repeated(")", 40)).value, "A");

  const Raised brackets = FilterError(Repeated("(", 200) + "1 = 1" + Repeated(")", 200));
  EXPECT_EQ(brackets.message, "Expression nested too deeply at line 1, column 129 - Native error: 30065");
  EXPECT_EQ(FilterError(Repeated("NOT ", 300) + "1 = 1").code, 30065);
  std::string alternating = "x = 1";
  for (int i = 0; i < 300; ++i) alternating += i % 2 ? " * 2" : " / 2";
  EXPECT_EQ(FilterError(alternating).code, 30065);
  // Long flat lists are no nesting.
  std::string disjunction = "1 = 0";
  for (int i = 0; i < 2000; ++i) disjunction += " OR 1 = 0";
  EXPECT_EQ(Evaluate(disjunction).value, "FALSE");
}

}  // namespace
}  // namespace viz::testing
