// The framework's date-time value and its text forms.
#include "framework/data/date_time.h"

#include <gtest/gtest.h>

#include <random>

namespace viz {
namespace {

TEST(FrameworkDateTimeTest, TextFormsReadAndWrite) {
  struct Case {
    const char* text;
    const char* written;  // DateTimeToText of what was read; null when the text is refused
  };
  for (Case c : {Case{"2006-05-31", "2006-05-31 00:00:00"}, Case{" 2006/5/1 ", "2006-05-01 00:00:00"},
                 Case{"2006.05.31T07:05:09.25", "2006-05-31 07:05:09.250"},
                 Case{"7:05", "1899-12-30 07:05:00"}, Case{"0001-01-01 00:00:00", "0001-01-01 00:00:00"},
                 Case{"9999-12-31 23:59:59.999", "9999-12-31 23:59:59.999"},
                 Case{"1899-12-29 06:00", "1899-12-29 06:00:00"}, Case{"2000-02-29", "2000-02-29 00:00:00"},
                 Case{"1900-02-29", nullptr}, Case{"2006-13-01", nullptr}, Case{"2006-05-31 24:00", nullptr},
                 Case{"20060531", nullptr}, Case{"2006-05/31", nullptr}, Case{"", nullptr},
                 Case{"2006-05-31 07:05:09x", nullptr}, Case{"12345-01-01", nullptr}}) {
    SCOPED_TRACE(c.text);
    std::optional<TDateTime> value = TextToDateTime(c.text);
    ASSERT_EQ(value.has_value(), c.written != nullptr);
    if (value) {
      EXPECT_EQ(DateTimeToText(*value), c.written);
    }
  }
  EXPECT_EQ(*EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(*EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(CombineDateTime(-1, 0.25), -1.25);
  EXPECT_EQ(DateToText(-1.25), "1899-12-29");
  EXPECT_EQ(TimeToText(-1.25), "06:00:00");
  EXPECT_EQ(TimeToText(0.99999999999), "23:59:59.999");  // never rounds into the next day
}

TEST(FrameworkDateTimeTest, TimeStampRecordsRoundTrip) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    int year = 1 + static_cast<int>(random() % 9999), month = 1 + static_cast<int>(random() % 12);
    int day = 1 + static_cast<int>(random() % 28);
    TDateTime value =
        CombineDateTime(*EncodeDate(year, month, day),
                        *EncodeTime(random() % 24, random() % 60, random() % 60, random() % 1000));
    TSQLTimeStamp stamp = DateTimeToSQLTimeStamp(value);
    ASSERT_EQ(stamp.Year, year);
    ASSERT_EQ(stamp.Month, month);
    ASSERT_EQ(stamp.Day, day);
    ASSERT_EQ(DateTimeToSQLTimeStamp(*SQLTimeStampToDateTime(stamp)), stamp);
    ASSERT_EQ(TextToDateTime(DateTimeToText(value)).value(), *SQLTimeStampToDateTime(stamp));
  }
  EXPECT_FALSE(SQLTimeStampToDateTime(TSQLTimeStamp{2006, 2, 30, 0, 0, 0, 0}));
  EXPECT_FALSE(SQLTimeStampToDateTime(TSQLTimeStamp{2006, 2, 3, 0, 0, 0, 1000}));
}

}  // namespace
}  // namespace viz
