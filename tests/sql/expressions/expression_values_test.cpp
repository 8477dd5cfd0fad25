// Expression texts without a table: each with the value, data type and declared size it gives.
#include <gtest/gtest.h>

#include "sql/expressions/expression_test_util.h"

namespace viz::testing {
namespace {

struct ValueCase {
  const char* text;
  const char* value;
  TABSDataType type;
  int32_t size = 0;
};

void Check(const ValueCase& c) {
  SCOPED_TRACE(c.text);
  Evaluated result;
  ASSERT_NO_THROW(result = Evaluate(c.text)) << EvaluationError(c.text).message;
  EXPECT_EQ(result.value, c.value);
  EXPECT_EQ(static_cast<int>(result.type), static_cast<int>(c.type));
  EXPECT_EQ(result.size, c.size);
}

constexpr TABSDataType kInt = dt::kInteger, kLarge = dt::kLargeInt, kDouble = dt::kFloat, kStr = dt::kString,
                       kBool = dt::kLogical, kDate = dt::kDate;

TEST(ExpressionValues, LiteralsAndArithmetic) {
  const ValueCase cases[] = {
      {"2147483646", "2147483646", kInt},
      {"2147483647", "2147483647", kLarge},
      {"-2147483647", "-2147483647", kLarge},
      {"99999999999999999999", "1e+20", kDouble},
      {"1.5", "1.5", kDouble},
      {"'It''s'", "It's", kStr, 4},
      {"''", "", kStr, 0},
      {"TRUE", "TRUE", kBool},
      {"DATE '2024-08-15'", "2024-08-15", kDate},
      {"TIME '10:15:30'", "10:15:30", dt::kTime},
      {"TIMESTAMP '2024-08-15 10:15:30'", "2024-08-15 10:15:30", dt::kDateTime},
      {"10 - 3 - 2", "5", kInt},
      {"2 * 3 + 4", "10", kInt},
      {"2 + 3 * 4", "14", kInt},
      {"-2 * 3", "-6", kInt},
      {"-(2 + 3) * 2", "-10", kInt},
      {"2 * 3 * 4 / 5", "4", kInt},
      {"100 / 10 / 5", "2", kInt},
      {"7 / 2", "3", kInt},
      {"-7 / 2", "-3", kInt},
      {"7.0 / 2", "3.5", kDouble},
      {"1 + 2.5", "3.5", kDouble},
      {"2147483646 + 2147483647", "4294967293", kLarge},
      {"DATE '2024-01-31' + 1", "2024-02-01", kDate},
      {"+5", "5", kInt},
      {"((((1))))", "1", kInt},
  };
  for (const ValueCase& c : cases) Check(c);
}

TEST(ExpressionValues, ConcatenationAndStringFunctions) {
  const ValueCase cases[] = {
      {"'ab' || 'cd'", "abcd", kStr, 4},
      {"'ab' + 'cd'", "abcd", kStr, 4},
      {"1 + 2 || 'x'", "12x", kStr, 23},
      {"'x' || 1 + 2", "x12", kStr, 23},
      {"'n' || 1.5", "n1.5", kStr, 27},
      {"1 || 2", "12", kStr, 22},
      {"'a' || 2 * 3", "a6", kStr, 12},
      {"UPPER('abc')", "ABC", kStr, 3},
      {"LOWER('AbC')", "abc", kStr, 3},
      {"UPPER(12)", "12", kStr, 11},
      {"TRIM('  a b  ')", "a b", kStr, 7},
      {"LTRIM('  a  ')", "a  ", kStr, 5},
      {"RTRIM('  a  ')", "  a", kStr, 5},
      {"LENGTH('abcd')", "4", kInt},
      {"LENGTH(NULL)", "0", kInt},
      {"LENGTH(12345)", "5", kInt},
      {"SUBSTRING('abcdef' FROM 2 FOR 3)", "bcd", kStr, 6},
      {"SUBSTRING('abcdef', 3)", "cdef", kStr, 6},
      {"SUBSTRING('abcdef', 0, 2)", "ab", kStr, 6},
      {"SUBSTRING('abcdef' FROM 5 FOR 10)", "ef", kStr, 6},
      {"SUBSTRING('abc', 9)", "", kStr, 3},
      {"POS('c', 'abc')", "3", kInt},
      {"POSITION('z' IN 'abc')", "0", kInt},
      {"POSITION('bc', 'abcbc')", "2", kInt},
      {"POSITION(NULL IN 'abc')", "0", kInt},
      {"MIMETOBIN('aGVsbG8=')", "hello", kStr, 5},
      {"MIMETOBIN('aGVs\nbG8=')", "hello", kStr, 5},
  };
  for (const ValueCase& c : cases) Check(c);
}

TEST(ExpressionValues, NumericFunctions) {
  const ValueCase cases[] = {
      {"ROUND(2.5)", "2", kLarge},
      {"ROUND(3.5)", "4", kLarge},
      {"ROUND(-2.5)", "-2", kLarge},
      {"ROUND(7)", "7", kInt},
      {"SIGN(-0.1)", "-1", kInt},
      {"SIGN(0)", "0", kInt},
      {"POWER(2, 10)", "1024", kDouble},
      {"VIZ(-3)", "3", kInt},
      {"ABS(-3)", "3", kInt},
      {"abs(-2.5)", "2.5", kDouble},
      {"SQR(3)", "9", kInt},
      {"SQRT(16)", "4", kDouble},
      {"SQRT(-1)", "NULL", kDouble},
      {"LOG(0)", "NULL", kDouble},
      {"EXP(0)", "1", kDouble},
      {"COS(0)", "1", kDouble},
      {"RAND(1)", "0", kInt},
      // Results beyond 32 bits are LARGEINT values, not wrapped integers.
      {"CEIL(3000000000.5)", "3000000001", kLarge},
      {"FLOOR(-3000000000.5)", "-3000000001", kLarge},
      {"ROUND(2147483648.4)", "2147483648", kLarge},
      {"CEIL(5)", "5", kInt},
      {"FLOOR(9000000000)", "9000000000", kLarge},
  };
  for (const ValueCase& c : cases) Check(c);
}

TEST(ExpressionValues, CastCaseAndCoalesce) {
  const ValueCase cases[] = {
      {"CAST(123 AS VARCHAR)", "123", kStr, 11},
      {"CAST('abcdef' AS CHAR(3))", "abc", dt::kChar, 3},
      {"CAST(1.5 AS STRING)", "1.5", kStr, 26},
      {"CAST('12' AS INTEGER) + 1", "13", kInt},
      {"CAST(1.9, INTEGER)", "1", kInt},
      {"CAST(7 SMALLINT)", "7", dt::kSmallInt},
      {"CAST('2024-08-15' AS DATE)", "2024-08-15", kDate},
      {"CAST('abc' AS MEMO)", "abc", dt::kMemo, 3},
      {"CAST(NULL AS INTEGER)", "NULL", kInt},
      {"CASE NULL WHEN NULL THEN 1 ELSE 2 END", "1", kInt},
      {"CASE 'B' WHEN 'a' THEN 1 WHEN 'b' THEN 2 END", "2", kInt},
      {"CASE 3 WHEN 1 THEN 'x' END", "NULL", kStr, 1},
      {"CASE WHEN 1 > 2 THEN 'a' WHEN 2 > 1 THEN 'bb' END", "bb", kStr, 2},
      {"CASE WHEN NULL THEN 1 ELSE 2 END", "2", kInt},
      {"CASE 1 WHEN 1 THEN 1 ELSE 2.5 END", "1", kDouble},
      {"CASE 1 WHEN 1 THEN 'abc' ELSE 12345 END", "abc", kStr, 11},
      {"COALESCE(NULL, NULL, 5)", "5", kInt},
      {"COALESCE(NULL, 'ab', 1)", "ab", kStr, 11},
      {"COALESCE(NULL)", "NULL", dt::kNone},
  };
  for (const ValueCase& c : cases) Check(c);
}

TEST(ExpressionValues, DateFunctions) {
  const ValueCase cases[] = {
      {"EXTRACT(MONTH FROM DATE '2024-08-15')", "8", dt::kWord},
      {"EXTRACT(YEAR FROM TIMESTAMP '2024-08-15 10:20:30')", "2024", dt::kWord},
      {"EXTRACT(MINUTE FROM TIMESTAMP '2024-08-15 10:20:30')", "20", dt::kWord},
      {"EXTRACT(SECOND FROM TIME '10:20:30')", "30", dt::kWord},
      {"EXTRACT(DAY FROM '2024-08-15')", "15", dt::kWord},
      {"TODATE('05-03-24', 'DD-MM-YY')", "2024-03-05", kDate},
      {"TODATE('05-03-30', 'DD-MM-YY')", "1930-03-05", kDate},
      {"TODATE('10:15', 'HH24:NN')", "10:15:00", dt::kTime},
      {"TODATE('2024-03-05 10:15', 'YYYY-MM-DD HH24:NN')", "2024-03-05 10:15:00", dt::kDateTime},
      {"TOSTRING(DATE '2024-08-15', 'RM')", "VIII", kStr, 2},
      {"TOSTRING(DATE '2024-08-15', 'Q')", "3", kStr, 1},
      {"TOSTRING(DATE '2024-08-15', 'DW')", "4", kStr, 2},
      {"TOSTRING(TIME '12:30:00' FROM 'HH12 AMPM')", "00 PM", kStr, 5},
      {"TOSTRING(DATE '2024-08-15', 'YYYY-MM-DD')", "2024-08-15", kStr, 10},
      {"TOSTRING(NULL, 'YYYY')", "NULL", kStr, 4},
  };
  for (const ValueCase& c : cases) Check(c);
  EXPECT_EQ(Evaluate("CURRENT_DATE").type, kDate);
  EXPECT_EQ(Evaluate("CURRENT_TIME").type, dt::kTime);
  EXPECT_EQ(Evaluate("NOW()").type, dt::kDateTime);
  EXPECT_EQ(Evaluate("EXTRACT(YEAR FROM SYSDATE) > 2000").value, "TRUE");
}

TEST(ExpressionValues, Conditions) {
  const ValueCase cases[] = {
      {"1 < 2", "TRUE", kBool},
      {"'abc' = 'ABC'", "FALSE", kBool},
      {"'a' < 'b'", "TRUE", kBool},
      {"2 >= 2.0", "TRUE", kBool},
      {"NOT (1 = 1)", "FALSE", kBool},
      {"NOT NOT 1 = 1", "TRUE", kBool},
      {"NULL AND FALSE", "FALSE", kBool},
      {"NULL AND TRUE", "NULL", kBool},
      {"NULL OR TRUE", "TRUE", kBool},
      {"NULL OR FALSE", "NULL", kBool},
      {"NOT NULL", "NULL", kBool},
      {"1 = 1 AND (2 = 3 OR 4 = 4)", "TRUE", kBool},
      {"5 IN (1, NULL)", "FALSE", kBool},
      {"NULL IN (1)", "NULL", kBool},
      {"5 NOT IN (1, 2)", "TRUE", kBool},
      {"'B' IN ('a', 'b')", "TRUE", kBool},
      {"1 BETWEEN 0 AND 2", "TRUE", kBool},
      {"3 NOT BETWEEN 0 AND 2", "TRUE", kBool},
      {"NULL BETWEEN 0 AND 1", "NULL", kBool},
      {"'b' BETWEEN 'A' AND 'C'", "TRUE", kBool},
      {"1 IS NULL", "FALSE", kBool},
      {"NULL IS NULL", "TRUE", kBool},
      {"NULL IS NOT NULL", "FALSE", kBool},
      {"(1 = 1) IS TRUE", "TRUE", kBool},
      {"1 = 2 IS NOT TRUE", "TRUE", kBool},
      {"1 = 2 IS FALSE", "TRUE", kBool},
      {"NULL IS UNKNOWN", "TRUE", kBool},
      {"1 = 1 IS NOT UNKNOWN", "TRUE", kBool},
      {"NULL > 1", "FALSE", kBool},
      {"NULL = NULL", "FALSE", kBool},
  };
  for (const ValueCase& c : cases) Check(c);
}

TEST(ExpressionValues, LikeWithWildcardsAndEscapes) {
  const ValueCase cases[] = {
      {"'abc' LIKE 'a%'", "TRUE", kBool},
      {"'abc' LIKE '_b_'", "TRUE", kBool},
      {"'' LIKE '%'", "TRUE", kBool},
      {"'abc' LIKE 'abc%%'", "TRUE", kBool},
      {"'abc' LIKE '%'", "TRUE", kBool},
      {"'abc' LIKE 'ab'", "FALSE", kBool},
      {"'' LIKE '_'", "FALSE", kBool},
      {"'abc' LIKE 'A%'", "FALSE", kBool},
      {"'abcabd' LIKE '%ab_'", "TRUE", kBool},
      {"'abc' LIKE '%c%c'", "FALSE", kBool},
      {"'abc' NOT LIKE 'x%'", "TRUE", kBool},
      {"'a%c' LIKE 'a!%c' ESCAPE '!'", "TRUE", kBool},
      {"'abc' LIKE 'a!%c' ESCAPE '!'", "FALSE", kBool},
      {"'a_c' LIKE 'a#_c' ESCAPE '#'", "TRUE", kBool},
      {"'abc' LIKE 'a#_c' ESCAPE '#'", "FALSE", kBool},
      {"'a!' LIKE 'a!!' ESCAPE '!'", "TRUE", kBool},
      {"'50% off' LIKE '%!%%' ESCAPE '!'", "TRUE", kBool},
      {"'50 off' LIKE '%!%%' ESCAPE '!'", "FALSE", kBool},
      {"'abc' LIKE NULL", "NULL", kBool},
      {"NULL LIKE '%'", "NULL", kBool},
  };
  for (const ValueCase& c : cases) Check(c);
  EXPECT_EQ(EvaluationError("1 LIKE '1'").message, "Not string argument in function 'LIKE' - Native error: 30120");
}

// A NULL operand gives NULL through every operator and function (FALSE for the comparisons,
// which are never NULL; 0 for LENGTH and POSITION).
TEST(ExpressionValues, NullPropagatesThroughEveryOperator) {
  const char* nullResults[] = {
      "NULL + 1", "1 + NULL", "1 - NULL", "-NULL", "NULL * 2", "2 / NULL", "NULL || 'a'", "'a' || NULL",
      "UPPER(NULL)", "LOWER(NULL)", "TRIM(NULL)", "LTRIM(NULL)", "RTRIM(NULL)", "SUBSTRING(NULL, 1)",
      "SUBSTRING('abc', NULL)", "SUBSTRING('abc', 1, NULL)", "VIZ(NULL)", "ABS(NULL)", "ACOS(NULL)",
      "ASIN(NULL)", "ATAN(NULL)", "CEIL(NULL)", "COS(NULL)", "EXP(NULL)", "FLOOR(NULL)", "LOG(NULL)",
      "POWER(NULL, 2)", "POWER(2, NULL)", "RAND(NULL)", "ROUND(NULL)", "SIGN(NULL)", "SIN(NULL)",
      "SQR(NULL)", "SQRT(NULL)", "CAST(NULL AS VARCHAR(5))", "TODATE(NULL, 'YYYY')", "TOSTRING(NULL, 'YYYY')",
      "EXTRACT(YEAR FROM NULL)", "MIMETOBIN(NULL)", "NOT NULL", "NULL AND TRUE", "NULL OR FALSE",
      "NULL IN (1, 2)", "NULL BETWEEN 1 AND 2", "1 BETWEEN NULL AND 2", "1 BETWEEN 0 AND NULL",
      "NULL LIKE 'a'", "'a' LIKE NULL", "'a' LIKE 'a' ESCAPE NULL", "COALESCE(NULL, NULL)",
      "CASE WHEN 1 = 1 THEN NULL END",
  };
  for (const char* text : nullResults) EXPECT_EQ(Evaluate(text).value, "NULL") << text;
  for (const char* text : {"NULL = 1", "NULL <> 1", "1 > NULL", "NULL < 1", "NULL >= NULL", "1 <= NULL"}) {
    EXPECT_EQ(Evaluate(text).value, "FALSE") << text;
  }
  for (const char* text : {"LENGTH(NULL)", "POSITION(NULL IN 'a')", "POS('a', NULL)"}) {
    EXPECT_EQ(Evaluate(text).value, "0") << text;
  }
}

TEST(ExpressionValues, RuntimeErrors) {
  EXPECT_EQ(EvaluationError("1 / 0").code, 30128);
  EXPECT_EQ(EvaluationError("CAST('abc' AS INTEGER)").code, 30051);
  EXPECT_EQ(EvaluationError("CEIL(1e300)").code, 30051);
  EXPECT_EQ(EvaluationError("'abc' - 1").code, 30064);
  EXPECT_EQ(EvaluationError("UPPER('a') * 2").code, 30126);
}

}  // namespace
}  // namespace viz::testing
