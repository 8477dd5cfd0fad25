#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "engine/storage/memory_manager.h"
#include "engine/types/date_time.h"
#include "engine/types/errors.h"
#include "engine/types/extended.h"
#include "engine/types/raw_values.h"

namespace viz {
namespace {

int Cmp(const void* a, const void* b, TABSBaseType ta, TABSBaseType tb, bool ignoreCase = false,
        int32_t length = -1) {
  return CompareRawValues(a, b, ta, tb, kUserDefaultLocale, ignoreCase, length, false, false);
}

int CodeOf(auto&& action) {
  try {
    action();
  } catch (const EABSException& e) {
    return e.NativeErrorCode();
  }
  return 0;
}

TEST(CompareRawValuesTest, NullsDecideBeforeAnythingElse) {
  const int32_t one = 1;
  // Even incompatible types and absent values are not looked at.
  EXPECT_EQ(CompareRawValues(nullptr, nullptr, bt::kBlob, bt::kString, 1024, false, -1, true, true),
            kCompareBothNull);
  EXPECT_EQ(CompareRawValues(nullptr, &one, bt::kInteger, bt::kInteger, 1024, false, -1, true, false),
            kCompareFirstNull);
  EXPECT_EQ(CompareRawValues(&one, nullptr, bt::kInteger, bt::kInteger, 1024, false, -1, false, true),
            kCompareSecondNull);
  EXPECT_EQ(CodeOf([&] { Cmp(&one, nullptr, bt::kInteger, bt::kInteger); }), 30140);
}

TEST(CompareRawValuesTest, IntegersBySignedness) {
  const int8_t minusOne8 = -1, one8 = 1;
  EXPECT_EQ(Cmp(&minusOne8, &one8, bt::kShortInt, bt::kShortInt), kCompareLess);
  const uint8_t big8 = 255, small8 = 1;
  EXPECT_EQ(Cmp(&big8, &small8, bt::kByte, bt::kByte), kCompareGreater);
  const uint32_t bigCardinal = 0xFFFFFFFFu, smallCardinal = 1;
  EXPECT_EQ(Cmp(&bigCardinal, &smallCardinal, bt::kCardinal, bt::kCardinal), kCompareGreater);
  const int64_t a = INT64_MIN, b = INT64_MAX;
  EXPECT_EQ(Cmp(&a, &b, bt::kLargeInt, bt::kLargeInt), kCompareLess);
  EXPECT_EQ(Cmp(&b, &b, bt::kLargeInt, bt::kLargeInt), kCompareEqual);
  const int32_t dayA = -5, dayB = 3;
  EXPECT_EQ(Cmp(&dayA, &dayB, bt::kDate, bt::kDate), kCompareLess);
  const int32_t tA = 10, tB = 9;
  EXPECT_EQ(Cmp(&tA, &tB, bt::kTime, bt::kTime), kCompareGreater);
}

TEST(CompareRawValuesTest, DateTimeByDayThenMilliseconds) {
  const TABSDateTimePair early{700000, 86399999}, late{700001, 0}, lateToo{700001, 5};
  EXPECT_EQ(Cmp(&early, &late, bt::kDateTime, bt::kDateTime), kCompareLess);
  EXPECT_EQ(Cmp(&lateToo, &late, bt::kDateTime, bt::kDateTime), kCompareGreater);
  EXPECT_EQ(Cmp(&late, &late, bt::kDateTime, bt::kDateTime), kCompareEqual);
}

TEST(CompareRawValuesTest, FloatsLogicalAndMixedTypes) {
  const double nan = std::nan(""), one = 1.0, two = 2.0;
  EXPECT_EQ(Cmp(&nan, &one, bt::kFloat, bt::kFloat), kCompareEqual);  // neither less nor greater
  EXPECT_EQ(Cmp(&one, &two, bt::kCurrency, bt::kCurrency), kCompareLess);
  uint8_t e1[10], e2[10];
  LongDoubleToExtended(1.0L, e1);
  LongDoubleToExtended(1.0L + 1e-18L, e2);
  EXPECT_EQ(Cmp(e1, e2, bt::kExtended, bt::kExtended), kCompareLess);
  const int16_t trueA = -1, trueB = 1, falseValue = 0;
  EXPECT_EQ(Cmp(&trueA, &trueB, bt::kLogical, bt::kLogical), kCompareEqual);
  EXPECT_EQ(Cmp(&falseValue, &trueB, bt::kLogical, bt::kLogical), kCompareLess);
  // Different types meet in their common type.
  const int32_t three = 3;
  const double threeAndHalf = 3.5;
  EXPECT_EQ(Cmp(&three, &threeAndHalf, bt::kInteger, bt::kFloat), kCompareLess);
  const uint8_t byte = 200;
  const int8_t negative = -1;
  EXPECT_EQ(Cmp(&byte, &negative, bt::kByte, bt::kShortInt), kCompareGreater);
  EXPECT_EQ(Cmp(&three, "3", bt::kInteger, bt::kString), kCompareEqual);
}

TEST(CompareRawValuesTest, TextThroughTheCollation) {
  EXPECT_EQ(Cmp("abc", "ABC", bt::kString, bt::kString, true), kCompareEqual);
  EXPECT_EQ(Cmp("abc", "ABC", bt::kString, bt::kString, false), kCompareLess);  // lower case first
  EXPECT_EQ(Cmp("abd", "ABC", bt::kString, bt::kString, false), kCompareGreater);
  EXPECT_EQ(Cmp("abcx", "abcy", bt::kChar, bt::kChar, false, 3), kCompareEqual);
  EXPECT_EQ(Cmp("ab", "abc", bt::kString, bt::kString), kCompareLess);
  EXPECT_EQ(Cmp(u"abc", u"ABC", bt::kWideString, bt::kWideString, true), kCompareEqual);
  EXPECT_EQ(Cmp(u"b", u"a", bt::kWideChar, bt::kWideChar), kCompareGreater);
  // A wide payload at an odd address inside a record buffer.
  alignas(4) char record[16] = {};
  std::memcpy(record + 1, u"abc", 8);
  EXPECT_EQ(Cmp(record + 1, u"abc", bt::kWideString, bt::kWideString), kCompareEqual);
  // Single-byte text meets wide text as wide text.
  EXPECT_EQ(Cmp("caf\xE9", u"caf\u00e9", bt::kString, bt::kWideString), kCompareEqual);
}

TEST(CompareRawValuesTest, TextMeetsDatesAsDates) {
  const int32_t day = *EncodeDayNumber(2006, 5, 31);
  EXPECT_EQ(Cmp("2006-05-31", &day, bt::kString, bt::kDate), kCompareEqual);
  EXPECT_EQ(Cmp(&day, "2006-06-01", bt::kDate, bt::kString), kCompareLess);
  EXPECT_EQ(CodeOf([&] { Cmp("not a date", &day, bt::kString, bt::kDate); }), 30051);
}

TEST(CompareRawValuesTest, MemosAreComparedAsText) {
  const char memo[] = {'a', 'b', 'c'};
  EXPECT_EQ(CompareRawValues(memo, "abc", bt::kMemo, bt::kString, 1024, false, -1, false, false, 3, 4),
            kCompareEqual);
  EXPECT_EQ(CompareRawValues(memo, memo, bt::kMemo, bt::kMemo, 1024, false, -1, false, false, 2, 3),
            kCompareLess);
}

TEST(CompareRawValuesTest, ErrorsForTypesWithoutOrder) {
  const char blob[] = "x";
  const int64_t before = MemoryManager().GetMemoryInUse();
  try {
    Cmp("abc", blob, bt::kString, bt::kBlob);
    ADD_FAILURE();
  } catch (const EABSException& e) {
    EXPECT_EQ(e.Message(),
              "Cannot compare Incompatible DataTypes: 'STRING' and 'BLOB' - Native error: 30044");
  }
  EXPECT_EQ(CodeOf([&] { Cmp(blob, blob, bt::kBlob, bt::kBlob); }), 30047);
  EXPECT_EQ(CodeOf([&] { Cmp(blob, blob, bt::kBytes, bt::kBytes); }), 30047);
  // Two wide memos are not converted and have no order of their own.
  EXPECT_EQ(CodeOf([&] { Cmp(u"a", u"a", bt::kWideMemo, bt::kWideMemo); }), 30047);
  // A failed conversion releases the temporary of the other side.
  const int32_t day = 1;
  EXPECT_EQ(CodeOf([&] { Cmp(&day, "bad", bt::kDate, bt::kString); }), 30051);
  EXPECT_EQ(MemoryManager().GetMemoryInUse(), before);
}

TEST(CompareRawValuesTest, LikeTypedFixedValuesAllocateNothing) {
  const int64_t before = MemoryManager().GetMemoryInUse();
  const int32_t a = 1, b = 2;
  for (int i = 0; i < 100; ++i) Cmp(&a, &b, bt::kInteger, bt::kInteger);
  EXPECT_EQ(MemoryManager().GetMemoryInUse(), before);
}

TEST(MatchLikeTest, SingleByte) {
  EXPECT_TRUE(MatchLike("abc", "a%", false));
  EXPECT_TRUE(MatchLike("abc", "_b_", false));
  EXPECT_TRUE(MatchLike("", "%", false));
  EXPECT_FALSE(MatchLike("abc", "ab", false));
  EXPECT_FALSE(MatchLike("", "_", false));
  EXPECT_FALSE(MatchLike("ab", "abc", false));
  EXPECT_TRUE(MatchLike("abc", "%c", false));
  EXPECT_TRUE(MatchLike("abc", "%b%", false));
  EXPECT_TRUE(MatchLike("abc", "a%%c", false));
  EXPECT_TRUE(MatchLike("abc", "abc%%", false));  // trailing wildcards match nothing
  EXPECT_FALSE(MatchLike("abc", "%d%", false));
  EXPECT_TRUE(MatchLike("aXbXc", "a%b%c", false));
  EXPECT_FALSE(MatchLike("ABC", "a%", false));
  EXPECT_TRUE(MatchLike("ABC", "a%", true));
  EXPECT_TRUE(MatchLike("50%", "50%", false));       // no escape character: % in the text matches too
  EXPECT_FALSE(MatchLike("caf\xE9", "cafe", true));  // accents stay significant
}

TEST(MatchLikeTest, WideAndPathologicalPatterns) {
  EXPECT_TRUE(MatchLike(u"Stra\u00dfe", u"str%e", true));
  EXPECT_FALSE(MatchLike(u"Stra\u00dfe", u"str%e", false));
  EXPECT_TRUE(MatchLike(u"", u"%", false));
  EXPECT_FALSE(MatchLike(u"", u"_", false));
  // Many wildcards against a long text finish quickly.
  const std::string text(2000, 'a');
  EXPECT_FALSE(MatchLike(text, "%a%a%a%a%a%a%a%a%a%a%b", false));
  EXPECT_TRUE(MatchLike(text + "b", "%a%a%a%a%a%a%a%a%a%a%b", false));
}

TEST(WideCaseTest, UpperAndLower) {
  EXPECT_EQ(WideUpperCase(u"stra\u00dfe \u00e9t\u00e9"), u"STRA\u00dfE \u00c9T\u00c9");
  EXPECT_EQ(WideLowerCase(u"\u00c9COLE ABC"), u"\u00e9cole abc");
  EXPECT_EQ(WideUpperCase(u""), u"");
}

}  // namespace
}  // namespace viz
