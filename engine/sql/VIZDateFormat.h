// Date formats: a text such as 'YYYY-MM-DD HH24:NN:SS' compiled into tokens, used both ways: to
// write a date-time value as text and to read one back from text.
//
// Tokens (case-insensitive; at each place the longest name that fits wins, up to 5 characters):
//   YYYY YEAR  year, 4 digits            YY    year, 2 digits (read: 00-29 → 20xx, 30-99 → 19xx)
//   Q          quarter 1-4 (read: the first month of the quarter)
//   MONTH MON  month name, long / short (read: skipped)       MM M    month, 2 / 1-2 digits
//   RM         month in Roman numerals (read: skipped)
//   DDD DAY    day name, short / long (read: skipped)         DD D    day of month, 2 / 1-2 digits
//   DY         day of the year from 1 (read: skipped)         DW      weekday, Monday 1 to Sunday 7
//   HH12 HH    hour 0-11, 2 digits       H12 H   hour 0-11, 1-2 digits (read: skipped)
//   HH24       hour 0-23, 2 digits       H24     hour 0-23, 1-2 digits
//   NN N       minutes, 2 / 1-2 digits   SS S    seconds, 2 / 1-2 digits
//   AMPM       "AM" or "PM"
// Anything else, and text in single or double quotes (the quotes dropped), is literal text.
// "Skipped" tokens make reading pass over as many characters as the token's name has. Names of
// months and days are English, whatever the machine's locale.
//
// Reading: with AMPM, an hour of 12 counts as 0 ("12 AM" is midnight, "12 PM" noon) and "PM"
// adds 12, wherever AMPM stands in the format. A date without year, month or day reads as
// 1899-12-30 (the date-time value 0), so a time alone stays a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/types/data_types.h"

namespace viz {

//! Kinds of date format tokens (one byte); the numbers are fixed.
enum TDateFormatType : uint8_t {
  dftYYYY = 0,
  dftYY = 1,
  dftYEAR = 2,
  dftQ = 3,
  dftMONTH = 4,
  dftMON = 5,
  dftMM = 6,
  dftM = 7,
  dftRM = 8,
  dftDDD = 9,
  dftDD = 10,
  dftDAY = 11,
  dftDY = 12,
  dftDW = 13,
  dftD = 14,
  dftHH12 = 15,
  dftHH24 = 16,
  dftHH = 17,
  dftH12 = 18,
  dftH24 = 19,
  dftH = 20,
  dftNN = 21,
  dftN = 22,
  dftSS = 23,
  dftS = 24,
  dftAMPM = 25,
  dftLiteral = 26,
};

//! One token: its kind and the characters it came from (a literal's text without quotes).
struct TDateFormatToken {
  TDateFormatType Kind = dftLiteral;
  std::string Text;
};

class TDateFormater {
 public:
  //! Compiles the format text.
  explicit TDateFormater(std::string_view format);

  const std::vector<TDateFormatToken>& Tokens() const { return tokens_; }

  //! Returns the date-time value written in the format. Raises EIntOverflow for a value outside
  //! the calendar's day numbers.
  std::string FormatDate(double dateTime) const;
  //! Reads a date-time value written in the format. Characters after the last token are ignored.
  //! Raises 30129 "AM/PM word expected, but '%s' found" for an AMPM part that is neither AM nor
  //! PM, and EConvertError for digits that are not a number and for a date or time that does not
  //! exist.
  double ParseDate(std::string_view text) const;
  //! DATE (25) for a format with date tokens only, TIME (26) with time tokens only (AMPM counts
  //! as a time token), DATETIME (27) otherwise.
  TABSDataType GetResultType() const;
  //! Sum of the declared lengths of the tokens.
  int32_t GetDeclaredLength() const;

 private:
  std::vector<TDateFormatToken> tokens_;
};

}  // namespace viz
