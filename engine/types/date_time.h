// Dates and times. A date-time value is the usual day-count float: the whole part counts days since
// 30 December 1899, the fraction is the part of the day. For values before that day the fraction is
// read by its magnitude (-1.25 is 29 December 1899, 06:00), so dates before 1900 keep their time of
// day through every conversion.
//
// Stored forms: DATE is a signed 32-bit day number (day 1 = 1 January of year 1, that is whole days
// of the date-time value + 693594); TIME is signed 32-bit milliseconds since midnight; DATETIME is the
// day number followed by the milliseconds.
//
// Text forms never depend on the machine's locale:
//   date       YYYY-MM-DD                  (2006-05-31)
//   time       HH:MM:SS, then .mmm when the milliseconds are not 0   (07:05:09, 07:05:09.250)
//   date-time  date, one blank, time       (2006-05-31 07:05:09)
// Reading accepts a little more: 1 to 4 year digits, 1 or 2 digits for the other parts, '-', '/' or
// '.' between date parts, a blank or 'T' between date and time, seconds and milliseconds optional,
// blanks around the whole text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace viz {

//! Day number of 30 December 1899, the date-time value 0.
inline constexpr int32_t kDateDelta = 693594;
inline constexpr int32_t kMillisecondsPerDay = 86400000;
//! The empty date marker: a DATE or DATETIME day number that stands for no date.
inline constexpr int32_t kEmptyDate = INT32_MIN;

//! A DATETIME value in its stored form.
struct TABSDateTimePair {
  int32_t dayNumber;
  int32_t milliseconds;
};

//! Returns the whole days of dt (toward zero) + 693594. Raises 30051 when that leaves 32 bits.
int32_t DateTimeToDayNumber(double dateTime);
//! Returns the time of day of dt in milliseconds, rounded half to even (0 ≤ result < 86400000).
int32_t DateTimeToMilliseconds(double dateTime);
double DayNumberToDateTime(int32_t dayNumber);
//! Returns the time of day of ms as a fraction of a day (ms / 86400000 without its whole days).
double MillisecondsToDateTime(int32_t milliseconds);
double PairToDateTime(TABSDateTimePair pair);
//! Day number and milliseconds of dt; a time that rounds up to midnight moves to the next day.
TABSDateTimePair DateTimeToPair(double dateTime);

//! Day number of a calendar date, or nothing when the date does not exist (years 1 to 9999).
std::optional<int32_t> EncodeDayNumber(int year, int month, int day);
//! Calendar date of a day number (proleptic Gregorian calendar).
void DecodeDayNumber(int32_t dayNumber, int& year, int& month, int& day);
//! Milliseconds of a time of day, or nothing when a part is out of range.
std::optional<int32_t> EncodeMilliseconds(int hours, int minutes, int seconds, int milliseconds);

//! Fixed-digit parsers: groups of exactly 4-2-2 (date), 2-2-2 (time) or 4-2-2-2-2-2 (date-time)
//! digits, each ended by any one non-digit, and nothing after the last group but that one character.
bool ParseDigitsDate(std::string_view text, double& dateTime);
bool ParseDigitsTime(std::string_view text, double& dateTime);
bool ParseDigitsDateTime(std::string_view text, double& dateTime);

//! The text forms above.
std::string DayNumberToText(int32_t dayNumber);
std::string MillisecondsToText(int32_t milliseconds);
std::string PairToText(TABSDateTimePair pair);
//! Readers of the text forms; nothing when the text is not one.
std::optional<int32_t> TextToDayNumber(std::string_view text);
std::optional<int32_t> TextToMilliseconds(std::string_view text);
//! Accepts a date with or without a time.
std::optional<TABSDateTimePair> TextToPair(std::string_view text);

}  // namespace viz
