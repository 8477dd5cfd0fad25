#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>

#include "engine/storage/memory_manager.h"
#include "engine/types/date_time.h"
#include "engine/types/errors.h"
#include "engine/types/extended.h"
#include "engine/types/raw_access.h"
#include "engine/types/raw_values.h"

namespace viz {
namespace {

// Converts and returns the result block.
TABSMemBlock Conv(const void* value, int32_t size, TABSBaseType from, TABSBaseType to) {
  return ConvertRawValue(value, size, from, to);
}

TABSMemBlock FromText(const char* text, TABSBaseType to, TABSBaseType from = bt::kString) {
  return Conv(text, static_cast<int32_t>(std::strlen(text) + 1), from, to);
}

std::string AsText(const TABSMemBlock& block) {
  return static_cast<const char*>(block.data());
}

std::u16string AsWide(const TABSMemBlock& block) {
  return WidePayload(block.data(), block.size());
}

template <class T>
T As(const TABSMemBlock& block) {
  return LoadRaw<T>(block.data());
}

template <class T>
std::string ToText(T value, TABSBaseType from) {
  return AsText(Conv(&value, sizeof value, from, bt::kString));
}

int CodeOf(auto&& action) {
  try {
    action();
  } catch (const EABSException& e) {
    return e.NativeErrorCode();
  }
  return 0;
}

TEST(ConvertRawValueTest, TextToNumbers) {
  EXPECT_EQ(As<int32_t>(FromText(" -123 ", bt::kInteger)), -123);
  EXPECT_EQ(As<int64_t>(FromText("9000000000", bt::kLargeInt)), 9000000000LL);
  // The 32-bit parse is narrowed to the target.
  EXPECT_EQ(As<uint8_t>(FromText("300", bt::kByte)), 44);
  EXPECT_EQ(As<int16_t>(FromText("-1", bt::kSmallInt)), -1);
  EXPECT_EQ(CodeOf([] { FromText("9000000000", bt::kInteger); }), 30051);
  // A CARDINAL reads back from its own text.
  const uint32_t cardinal = 4000000000u;
  const TABSMemBlock cardinalText = Conv(&cardinal, 4, bt::kCardinal, bt::kString);
  EXPECT_EQ(As<uint32_t>(Conv(cardinalText.data(), cardinalText.size(), bt::kString, bt::kCardinal)),
            cardinal);
  EXPECT_EQ(CodeOf([] { FromText("12a", bt::kInteger); }), 30051);
  EXPECT_EQ(CodeOf([] { FromText("", bt::kInteger); }), 30051);
  // MEMO reads LARGEINT through the 32-bit parse.
  const char memo[] = "9000000000";
  EXPECT_EQ(CodeOf([&] { Conv(memo, 10, bt::kMemo, bt::kLargeInt); }), 30051);
  const char smallMemo[] = "77";
  EXPECT_EQ(As<int64_t>(Conv(smallMemo, 2, bt::kMemo, bt::kLargeInt)), 77);

  EXPECT_DOUBLE_EQ(As<double>(FromText("12.5", bt::kFloat)), 12.5);
  EXPECT_DOUBLE_EQ(As<double>(FromText("-1.5e3", bt::kFloat)), -1500.0);
  EXPECT_FLOAT_EQ(As<float>(FromText("0.25", bt::kSingle)), 0.25f);
  EXPECT_DOUBLE_EQ(As<double>(FromText("7.25", bt::kCurrency)), 7.25);
  EXPECT_EQ(ExtendedToLongDouble(FromText("0.5", bt::kExtended).data()), 0.5L);
  for (const char* bad : {"12,5", "1 000", "inf", "nan", "0x10", "1e99999", ""}) {
    EXPECT_EQ(CodeOf([&] { FromText(bad, bt::kFloat); }), 30051) << bad;
  }
  EXPECT_EQ(CodeOf([] { FromText("12,5", bt::kCurrency); }), 30051);
}

TEST(ConvertRawValueTest, FloatsReadWithAFullStopWhateverTheLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const bool switched = std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8");
  EXPECT_DOUBLE_EQ(As<double>(FromText("12.5", bt::kFloat)), 12.5);
  EXPECT_EQ(CodeOf([] { FromText("12,5", bt::kFloat); }), 30051);
  EXPECT_EQ(ToText(2.5, bt::kFloat), "2.5");
  const TABSDateTimePair pair{732000, 3600000};
  EXPECT_EQ(AsText(Conv(&pair, 8, bt::kDateTime, bt::kString)), "2005-02-23 01:00:00");
  std::setlocale(LC_ALL, saved.c_str());
  if (!switched) GTEST_SKIP() << "no other locale installed; checked in the default locale only";
}

TEST(ConvertRawValueTest, NumbersToText) {
  EXPECT_EQ(ToText<int8_t>(-5, bt::kShortInt), "-5");
  EXPECT_EQ(ToText<uint32_t>(4000000000u, bt::kCardinal), "4000000000");
  EXPECT_EQ(ToText<int64_t>(INT64_MIN, bt::kLargeInt), "-9223372036854775808");
  EXPECT_EQ(ToText(0.1, bt::kFloat), "0.1");
  EXPECT_EQ(ToText(1e20, bt::kFloat), "1e+20");
  EXPECT_EQ(ToText(-2.5, bt::kCurrency), "-2.5");
  EXPECT_EQ(ToText(0.1f, bt::kSingle), "0.1");
  uint8_t extended[10];
  LongDoubleToExtended(1.0L / 3, extended);
  const std::string third = AsText(Conv(extended, 10, bt::kExtended, bt::kString));
  EXPECT_EQ(ExtendedToLongDouble(FromText(third.c_str(), bt::kExtended).data()), 1.0L / 3);
  // Floating text reads back to the same value.
  const double value = 1234.5678901234567;
  const std::string text = ToText(value, bt::kFloat);
  EXPECT_EQ(As<double>(FromText(text.c_str(), bt::kFloat)), value);
  EXPECT_EQ(AsWide(Conv(&value, 8, bt::kFloat, bt::kWideString)), u"1234.5678901234567");
}

TEST(ConvertRawValueTest, NumberToNumber) {
  const int32_t big = 70000;
  EXPECT_EQ(As<int16_t>(Conv(&big, 4, bt::kInteger, bt::kSmallInt)), static_cast<int16_t>(70000));
  EXPECT_DOUBLE_EQ(As<double>(Conv(&big, 4, bt::kInteger, bt::kFloat)), 70000.0);
  const double negative = -7.9;
  EXPECT_EQ(As<int32_t>(Conv(&negative, 8, bt::kFloat, bt::kInteger)), -7);
  EXPECT_EQ(As<int16_t>(Conv(&negative, 8, bt::kFloat, bt::kLogical)), -1);
  const double huge = 1e300;
  EXPECT_EQ(CodeOf([&] { Conv(&huge, 8, bt::kFloat, bt::kLargeInt); }), 30051);
  EXPECT_EQ(CodeOf([&] { Conv(&huge, 8, bt::kFloat, bt::kSingle); }), 30051);
  const int16_t yes = -1;
  EXPECT_EQ(As<int32_t>(Conv(&yes, 2, bt::kLogical, bt::kInteger)), 1);
  EXPECT_DOUBLE_EQ(As<double>(Conv(&yes, 2, bt::kLogical, bt::kFloat)), 1.0);
  const int32_t zero = 0;
  EXPECT_EQ(As<int16_t>(Conv(&zero, 4, bt::kInteger, bt::kLogical)), 0);
}

// LARGEINT holds -2^63 .. 2^63 - 1: both ends are checked one representable FLOAT (and EXTENDED)
// step on either side, where an off-by-one range test would let 2^63 wrap to -2^63.
TEST(ConvertRawValueTest, FloatToLargeIntAcceptsExactlyTheSixtyFourBitRange) {
  struct Case {
    double value;
    bool fits;
    int64_t expected;
  };
  const double two63 = 0x1p63;
  const Case cases[] = {
      {two63, false, 0},
      {std::nextafter(two63, 0.0), true, 9223372036854774784LL},  // 2^63 - 1024
      {-two63, true, INT64_MIN},
      {std::nextafter(-two63, -1e300), false, 0},
      {std::nextafter(-two63, 0.0), true, -9223372036854774784LL},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.value);
    if (test.fits) {
      EXPECT_EQ(As<int64_t>(Conv(&test.value, 8, bt::kFloat, bt::kLargeInt)), test.expected);
    } else {
      EXPECT_EQ(CodeOf([&] { Conv(&test.value, 8, bt::kFloat, bt::kLargeInt); }), 30051);
    }
  }
  // EXTENDED has 64 mantissa bits, so 2^63 - 1 itself is representable and fits.
  uint8_t extended[10];
  LongDoubleToExtended(0x1p63L, extended);
  EXPECT_EQ(CodeOf([&] { Conv(extended, 10, bt::kExtended, bt::kLargeInt); }), 30051);
  LongDoubleToExtended(0x1p63L - 1, extended);
  EXPECT_EQ(As<int64_t>(Conv(extended, 10, bt::kExtended, bt::kLargeInt)), INT64_MAX);
  LongDoubleToExtended(-0x1p63L - 1, extended);
  EXPECT_EQ(CodeOf([&] { Conv(extended, 10, bt::kExtended, bt::kLargeInt); }), 30051);
}

TEST(ConvertRawValueTest, TextToLogical) {
  EXPECT_EQ(As<int16_t>(FromText("yes", bt::kLogical)), 0);
  EXPECT_EQ(As<int16_t>(FromText("true", bt::kLogical)), -1);
  EXPECT_EQ(As<int16_t>(FromText("TrUe", bt::kLogical)), -1);
  EXPECT_EQ(As<int16_t>(FromText("1", bt::kLogical)), -1);
  EXPECT_EQ(As<int16_t>(FromText(" 1", bt::kLogical)), 0);
  const std::u16string wide = u"TRUE";
  EXPECT_EQ(As<int16_t>(Conv(wide.c_str(), 10, bt::kWideString, bt::kLogical)), -1);
  const int16_t no = 0;
  EXPECT_EQ(AsText(Conv(&no, 2, bt::kLogical, bt::kString)), "False");
  EXPECT_EQ(AsWide(Conv(&no, 2, bt::kLogical, bt::kWideChar)), u"False");
  const int16_t other = 7;
  EXPECT_EQ(AsText(Conv(&other, 2, bt::kLogical, bt::kChar)), "True");
}

TEST(ConvertRawValueTest, TextToDates) {
  EXPECT_EQ(As<int32_t>(FromText("2006-05-31", bt::kDate)), *EncodeDayNumber(2006, 5, 31));
  EXPECT_EQ(As<int32_t>(FromText("2006/05/31", bt::kDate)), *EncodeDayNumber(2006, 5, 31));
  EXPECT_EQ(As<int32_t>(FromText("0001-01-01", bt::kDate)), 1);
  // The fixed-digit date-time form also gives a DATE (its day).
  EXPECT_EQ(As<int32_t>(FromText("2006-05-31 23:59:59", bt::kDate)), *EncodeDayNumber(2006, 5, 31));
  // The free form accepts short parts and milliseconds.
  EXPECT_EQ(As<int32_t>(FromText("2006-5-3", bt::kDate)), *EncodeDayNumber(2006, 5, 3));
  const TABSMemBlock pair = FromText("2006-05-31 07:05:09.250", bt::kDateTime);
  EXPECT_EQ(As<int32_t>(pair), *EncodeDayNumber(2006, 5, 31));
  EXPECT_EQ(LoadRaw<int32_t>(static_cast<char*>(pair.data()) + 4), 25509250);
  EXPECT_EQ(As<int32_t>(FromText("12:30:15", bt::kTime)), 45015000);
  EXPECT_EQ(As<int32_t>(FromText("12:30", bt::kTime)), 45000000);
  for (const char* bad : {"20060531", "2006-02-30", "31.05.2006x", "2006-05-31 25:00:00", "", "tomorrow"}) {
    EXPECT_EQ(CodeOf([&] { FromText(bad, bt::kDateTime); }), 30051) << bad;
  }
  EXPECT_EQ(CodeOf([] { FromText("24:00:00", bt::kTime); }), 30051);
  // Wide text and memos use only the free form, which reads the same texts.
  const std::u16string wide = u"2006-05-31";
  EXPECT_EQ(As<int32_t>(Conv(wide.c_str(), 22, bt::kWideString, bt::kDate)), *EncodeDayNumber(2006, 5, 31));
  const char memo[] = "2006-05-31 01:02:03";
  EXPECT_EQ(As<int32_t>(Conv(memo, 19, bt::kMemo, bt::kDate)), *EncodeDayNumber(2006, 5, 31));
}

TEST(ConvertRawValueTest, DatesToTextAndBack) {
  const int32_t day = *EncodeDayNumber(2006, 5, 31);
  EXPECT_EQ(ToText(day, bt::kDate), "2006-05-31");
  EXPECT_EQ(ToText<int32_t>(kEmptyDate, bt::kDate), "");
  EXPECT_EQ(ToText<int32_t>(0, bt::kTime), "");
  EXPECT_EQ(ToText<int32_t>(25509250, bt::kTime), "07:05:09.250");
  EXPECT_EQ(ToText<int32_t>(25509000, bt::kTime), "07:05:09");
  const TABSDateTimePair full{day, 25509250};
  EXPECT_EQ(AsText(Conv(&full, 8, bt::kDateTime, bt::kString)), "2006-05-31 07:05:09.250");
  const TABSDateTimePair empty{kEmptyDate, 0};
  EXPECT_EQ(AsText(Conv(&empty, 8, bt::kDateTime, bt::kString)), "");
  const TABSDateTimePair timeOnly{kEmptyDate, 3600000};
  EXPECT_EQ(AsText(Conv(&timeOnly, 8, bt::kDateTime, bt::kString)), "01:00:00");
  // Every text form reads back to the stored value.
  const TABSMemBlock text = Conv(&full, 8, bt::kDateTime, bt::kString);
  const TABSMemBlock back = Conv(text.data(), text.size(), bt::kString, bt::kDateTime);
  EXPECT_EQ(std::memcmp(back.data(), &full, 8), 0);
  const TABSMemBlock wide = Conv(&full, 8, bt::kDateTime, bt::kWideString);
  EXPECT_EQ(AsWide(wide), u"2006-05-31 07:05:09.250");
}

TEST(ConvertRawValueTest, DateKindsAmongThemselvesAndToNumbers) {
  const TABSDateTimePair noon{732000, 43200000};
  EXPECT_DOUBLE_EQ(As<double>(Conv(&noon, 8, bt::kDateTime, bt::kFloat)), 732000.5);
  EXPECT_EQ(As<int32_t>(Conv(&noon, 8, bt::kDateTime, bt::kInteger)), 732000);
  EXPECT_EQ(As<int32_t>(Conv(&noon, 8, bt::kDateTime, bt::kDate)), 732000);
  EXPECT_EQ(As<int32_t>(Conv(&noon, 8, bt::kDateTime, bt::kTime)), 43200000);
  const TABSDateTimePair empty{kEmptyDate, 0};
  EXPECT_EQ(As<int16_t>(Conv(&empty, 8, bt::kDateTime, bt::kLogical)), 0);
  EXPECT_DOUBLE_EQ(As<double>(Conv(&empty, 8, bt::kDateTime, bt::kFloat)), 0.0);
  const TABSDateTimePair timeOnly{kEmptyDate, 21600000};
  EXPECT_DOUBLE_EQ(As<double>(Conv(&timeOnly, 8, bt::kDateTime, bt::kFloat)), 0.25);

  const int32_t emptyDate = kEmptyDate;
  EXPECT_EQ(As<int16_t>(Conv(&emptyDate, 4, bt::kDate, bt::kLogical)), 0);
  const int32_t day = 732000;
  EXPECT_EQ(As<int16_t>(Conv(&day, 4, bt::kDate, bt::kLogical)), -1);
  const TABSMemBlock dayPair = Conv(&day, 4, bt::kDate, bt::kDateTime);
  EXPECT_EQ(As<int32_t>(dayPair), 732000);
  EXPECT_EQ(LoadRaw<int32_t>(static_cast<char*>(dayPair.data()) + 4), 0);
  EXPECT_EQ(As<int32_t>(Conv(&day, 4, bt::kDate, bt::kTime)), 732000);
  const int32_t time = 5000;
  const TABSMemBlock timePair = Conv(&time, 4, bt::kTime, bt::kDateTime);
  EXPECT_EQ(As<int32_t>(timePair), kEmptyDate);
  EXPECT_EQ(LoadRaw<int32_t>(static_cast<char*>(timePair.data()) + 4), 5000);
  EXPECT_EQ(As<int32_t>(Conv(&time, 4, bt::kTime, bt::kDate)), 5000);

  const double mixed = 732000.75;
  const TABSMemBlock fromFloat = Conv(&mixed, 8, bt::kFloat, bt::kDateTime);
  EXPECT_EQ(As<int32_t>(fromFloat), 732000);
  EXPECT_EQ(LoadRaw<int32_t>(static_cast<char*>(fromFloat.data()) + 4), 64800000);
  const double large = 86400001.0;
  EXPECT_EQ(As<int32_t>(Conv(&large, 8, bt::kFloat, bt::kTime)), 1);
  const int64_t days = 5;
  const TABSMemBlock fromInt = Conv(&days, 8, bt::kLargeInt, bt::kDateTime);
  EXPECT_EQ(As<int32_t>(fromInt), 5);
}

TEST(ConvertRawValueTest, TextKindsAndWindows1252) {
  const char ansi[] = "caf\xE9 \x80";  // é and the euro sign
  const TABSMemBlock wide = Conv(ansi, sizeof ansi, bt::kString, bt::kWideString);
  EXPECT_EQ(AsWide(wide), u"caf\u00e9 \u20ac");
  EXPECT_EQ(wide.size(), 14);
  const TABSMemBlock narrow = Conv(wide.data(), wide.size(), bt::kWideString, bt::kChar);
  EXPECT_EQ(AsText(narrow), ansi);
  const std::u16string unmappable = u"\u4e2d";
  EXPECT_EQ(AsText(Conv(unmappable.c_str(), 4, bt::kWideChar, bt::kString)), "?");
  // Memos carry no terminator; their size bounds the text.
  const char memo[] = {'a', 'b', 'c', 'X'};
  const TABSMemBlock fromMemo = Conv(memo, 3, bt::kMemo, bt::kString);
  EXPECT_EQ(AsText(fromMemo), "abc");
  EXPECT_EQ(fromMemo.size(), 4);
  const char16_t wideMemo[] = {u'h', u'i'};
  EXPECT_EQ(AsText(Conv(wideMemo, 4, bt::kWideMemo, bt::kString)), "hi");
  // Text to BLOB keeps the text with its terminator.
  const TABSMemBlock blob = FromText("xyz", bt::kBlob);
  EXPECT_EQ(blob.size(), 4);
  EXPECT_EQ(std::memcmp(blob.data(), "xyz", 4), 0);
  const TABSMemBlock wideBlob = Conv(u"xy", 6, bt::kWideString, bt::kBlob);
  EXPECT_EQ(wideBlob.size(), 6);
}

TEST(ConvertRawValueTest, UnsupportedPairsRaise30052) {
  const char bytes[4] = {1, 2, 3, 4};
  const int32_t number = 1;
  const int16_t logical = -1;
  struct Pair {
    const void* value;
    TABSBaseType from, to;
  } pairs[] = {
      {bytes, bt::kBlob, bt::kString},
      {bytes, bt::kBytes, bt::kInteger},
      {bytes, bt::kVarBytes, bt::kString},
      {"ab", bt::kString, bt::kMemo},
      {"ab", bt::kString, bt::kWideMemo},
      {"ab", bt::kString, bt::kBytes},
      {&number, bt::kInteger, bt::kBlob},
      {&logical, bt::kLogical, bt::kDate},
      {&logical, bt::kLogical, bt::kDateTime},
      {&number, bt::kDate, bt::kMemo},
      {&number, bt::kInteger, 0},
      {&number, 0, bt::kInteger},
  };
  for (const Pair& p : pairs) {
    try {
      ConvertRawValue(p.value, 4, p.from, p.to);
      ADD_FAILURE() << int(p.from) << " -> " << int(p.to);
    } catch (const EABSException& e) {
      EXPECT_EQ(e.NativeErrorCode(), 30052);
      EXPECT_NE(
          e.Message().find("Cannot cast from '" + BaseTypeName(p.from) + "' to '" + BaseTypeName(p.to) + "'"),
          std::string::npos);
    }
  }
}

TEST(ConvertRawValueTest, SameTypeCopiesAndTemporariesNeverLeak) {
  const int64_t before = MemoryManager().GetMemoryInUse();
  {
    const char bytes[5] = {9, 0, 8, 0, 7};
    const TABSMemBlock copy = ConvertRawValue(bytes, 5, bt::kVarBytes, bt::kVarBytes);
    EXPECT_EQ(copy.size(), 5);
    EXPECT_EQ(std::memcmp(copy.data(), bytes, 5), 0);
    const TABSMemBlock text = ConvertRawValue("abc\0def", 8, bt::kString, bt::kString);
    EXPECT_EQ(text.size(), 4);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(CodeOf([] { FromText("nope", bt::kInteger); }), 30051);
  }
  EXPECT_EQ(MemoryManager().GetMemoryInUse(), before);
}

TEST(CopyValueToNewMemoryTest, SizesByType) {
  EXPECT_EQ(CopyValueToNewMemory(bt::kString, "abc").size(), 4);
  EXPECT_EQ(CopyValueToNewMemory(bt::kWideChar, u"abc").size(), 8);
  const int64_t value = 5;
  const TABSMemBlock block = CopyValueToNewMemory(bt::kLargeInt, &value);
  EXPECT_EQ(block.size(), 8);
  EXPECT_EQ(As<int64_t>(block), 5);
  EXPECT_EQ(MemoryManager().GetMemSize(block.data()), 8u);
}

TEST(DateOperationsTest, DayNumbersAndMilliseconds) {
  EXPECT_EQ(DateTimeToDayNumber(0.0), 693594);
  EXPECT_EQ(DateTimeToDayNumber(1.75), 693595);
  EXPECT_EQ(DateTimeToDayNumber(-1.5), 693593);
  EXPECT_EQ(*EncodeDayNumber(1899, 12, 30), 693594);
  EXPECT_EQ(*EncodeDayNumber(1, 1, 1), 1);
  EXPECT_FALSE(EncodeDayNumber(1900, 2, 29));
  EXPECT_TRUE(EncodeDayNumber(2000, 2, 29));
  EXPECT_DOUBLE_EQ(DayNumberToDateTime(693595), 1.0);
  EXPECT_EQ(DateTimeToMilliseconds(0.5), 43200000);
  // Half a millisecond rounds to the even neighbour.
  // (1/2048 and 3/2048 of a day are exactly 42187.5 and 126562.5 ms.)
  EXPECT_EQ(DateTimeToMilliseconds(1.0 / 2048), 42188);
  EXPECT_EQ(DateTimeToMilliseconds(3.0 / 2048), 126562);
  EXPECT_EQ(DateTimeToMilliseconds(-3.0 / 2048), 126562);
  EXPECT_DOUBLE_EQ(MillisecondsToDateTime(129600000), 0.5);
  EXPECT_DOUBLE_EQ(PairToDateTime({693596, 21600000}), 2.25);
  int year, month, day;
  DecodeDayNumber(732000, year, month, day);
  EXPECT_EQ(year * 10000 + month * 100 + day, 20050223);
  // Overflowing 32 bits is an error.
  EXPECT_THROW(DateTimeToDayNumber(3e9), Exception);
}

TEST(DateOperationsTest, DatesBeforeTheEpochKeepTheirTimeOfDay) {
  // -1.25 is 29 December 1899, 06:00.
  const TABSDateTimePair pair = DateTimeToPair(-1.25);
  EXPECT_EQ(pair.dayNumber, 693593);
  EXPECT_EQ(pair.milliseconds, 21600000);
  EXPECT_DOUBLE_EQ(PairToDateTime(pair), -1.25);
  const TABSDateTimePair old{*EncodeDayNumber(1850, 7, 1), 45296789};
  const TABSDateTimePair back = DateTimeToPair(PairToDateTime(old));
  EXPECT_EQ(back.dayNumber, old.dayNumber);
  EXPECT_EQ(back.milliseconds, old.milliseconds);
  // A time that rounds up to midnight moves to the next day.
  const TABSDateTimePair late = DateTimeToPair(1.0 - 1e-12);
  EXPECT_EQ(late.dayNumber, 693595);
  EXPECT_EQ(late.milliseconds, 0);
}

TEST(FixedDigitParserTest, GroupsMustHaveTheirWidth) {
  double value = -1;
  EXPECT_TRUE(ParseDigitsDate("2006-05-31", value));
  EXPECT_DOUBLE_EQ(value, DayNumberToDateTime(*EncodeDayNumber(2006, 5, 31)));
  EXPECT_TRUE(ParseDigitsDate("2006/05/31", value));
  EXPECT_TRUE(ParseDigitsDate("2006-05-31.", value));  // one trailing character is the skipped end
  EXPECT_FALSE(ParseDigitsDate("20060531", value));
  EXPECT_FALSE(ParseDigitsDate("2006-5-31", value));
  EXPECT_FALSE(ParseDigitsDate("2006-05-31 x", value));
  EXPECT_FALSE(ParseDigitsDate("2006-13-01", value));
  EXPECT_TRUE(ParseDigitsTime("23:59:58", value));
  EXPECT_EQ(DateTimeToMilliseconds(value), 86398000);
  EXPECT_FALSE(ParseDigitsTime("24:00:00", value));
  EXPECT_FALSE(ParseDigitsTime("1:00:00", value));
  EXPECT_TRUE(ParseDigitsDateTime("2006-05-31 12:00:00", value));
  EXPECT_EQ(DateTimeToPair(value).milliseconds, 43200000);
  EXPECT_FALSE(ParseDigitsDateTime("2006-05-31", value));
  EXPECT_FALSE(ParseDigitsDateTime("2006-05-31 12:00:00.5", value));
}

TEST(ExtendedTest, StoredBytesRoundTripExactly) {
  const uint8_t patterns[][10] = {
      {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F},                       // 1.0
      {0x35, 0xC2, 0x68, 0x21, 0xA2, 0xDA, 0x0F, 0xC9, 0x00, 0x40},  // pi
      {1, 0, 0, 0, 0, 0, 0, 0, 0, 0},                                // smallest denormal
      {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x7F},  // largest finite
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80},                             // -0
  };
  for (const auto& pattern : patterns) {
    uint8_t out[10];
    LongDoubleToExtended(ExtendedToLongDouble(pattern), out);
    EXPECT_EQ(std::memcmp(out, pattern, 10), 0);
    detail::EncodeExtendedPortable(detail::DecodeExtendedPortable(pattern), out);
    EXPECT_EQ(std::memcmp(out, pattern, 10), 0);
    EXPECT_EQ(detail::DecodeExtendedPortable(pattern), ExtendedToLongDouble(pattern));
  }
  uint8_t out[10];
  detail::EncodeExtendedPortable(-2.5L, out);
  EXPECT_EQ(ExtendedToLongDouble(out), -2.5L);
}

}  // namespace
}  // namespace viz
