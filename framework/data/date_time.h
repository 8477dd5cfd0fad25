// The framework's date-time value: days since 30 December 1899 as a double, the fraction being the
// time of day. Before that day the fraction is read by its magnitude (-1.25 is 29 December 1899,
// 06:00). Fields exchange dates as this value; the timestamp field uses the SQL-timestamp record.
//
// Text forms, independent of any locale: date YYYY-MM-DD, time HH:MM:SS (then .mmm when the
// milliseconds are not 0), date-time as date, one blank, time. Reading accepts 1 to 4 year digits,
// 1 or 2 digits for the other parts, '-', '/' or '.' between date parts, a blank or 'T' between
// date and time, seconds and milliseconds optional, and blanks around the text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace viz {

using TDateTime = double;

//! The framework's SQL-timestamp record (the native value of timestamp fields).
struct TSQLTimeStamp {
  int16_t Year = 0;
  uint16_t Month = 0;
  uint16_t Day = 0;
  uint16_t Hour = 0;
  uint16_t Minute = 0;
  uint16_t Second = 0;
  uint32_t Fractions = 0;  //!< milliseconds

  bool operator==(const TSQLTimeStamp&) const = default;
};

//! Returns the value of a calendar date (years 1 to 9999), or nothing when the date does not exist.
std::optional<TDateTime> EncodeDate(int year, int month, int day);
//! Returns the value of a time of day, or nothing when a part is out of range.
std::optional<TDateTime> EncodeTime(int hour, int minute, int second, int millisecond);
//! Returns date plus time, the time counted away from day 0 for dates before it.
TDateTime CombineDateTime(TDateTime date, TDateTime time);

//! The calendar date of a value (its whole days, toward zero).
void DecodeDate(TDateTime value, int& year, int& month, int& day);
//! The time of day of a value, rounded to the millisecond (a time that rounds to midnight gives
//! 23:59:59.999 so that the date stays).
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime value);
//! Nothing when the record holds no valid date and time.
std::optional<TDateTime> SQLTimeStampToDateTime(const TSQLTimeStamp& stamp);

std::string DateToText(TDateTime value);
std::string TimeToText(TDateTime value);
std::string DateTimeToText(TDateTime value);
//! Reads a date, a time, or a date with a time. Nothing when the text is none of them.
std::optional<TDateTime> TextToDateTime(std::string_view text);

}  // namespace viz
