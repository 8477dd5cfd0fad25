#include "framework/data/date_time.h"

#include <cmath>
#include <cstdio>

namespace viz {
namespace {

constexpr int64_t kMsPerDay = 86400000;
// Days from 1 January 1970 to 30 December 1899, the day of value 0.
constexpr int64_t kEpochShift = 25569;

// Days since 1 January 1970 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2));
}

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

int64_t TimeOfDayMs(TDateTime value) {
  double fraction = std::fabs(value - std::trunc(value));
  int64_t ms = static_cast<int64_t>(std::nearbyint(fraction * kMsPerDay));
  return ms >= kMsPerDay ? kMsPerDay - 1 : ms;
}

// A small reader over the text forms.
struct Reader {
  std::string_view text;
  size_t pos = 0;

  bool AtEnd() const { return pos >= text.size(); }
  char Peek() const { return AtEnd() ? '\0' : text[pos]; }
  // Reads 1 to `maxDigits` digits.
  std::optional<int> Number(size_t maxDigits) {
    size_t start = pos;
    int value = 0;
    while (!AtEnd() && text[pos] >= '0' && text[pos] <= '9' && pos - start < maxDigits) {
      value = value * 10 + (text[pos] - '0');
      ++pos;
    }
    if (pos == start) return std::nullopt;
    if (!AtEnd() && text[pos] >= '0' && text[pos] <= '9') return std::nullopt;  // too many digits
    return value;
  }
};

std::optional<TDateTime> ReadTime(Reader& reader) {
  auto hour = reader.Number(2);
  if (!hour || reader.Peek() != ':') return std::nullopt;
  ++reader.pos;
  auto minute = reader.Number(2);
  if (!minute) return std::nullopt;
  int second = 0, millisecond = 0;
  if (reader.Peek() == ':') {
    ++reader.pos;
    auto s = reader.Number(2);
    if (!s) return std::nullopt;
    second = *s;
    if (reader.Peek() == '.') {
      ++reader.pos;
      size_t start = reader.pos;
      auto ms = reader.Number(3);
      if (!ms) return std::nullopt;
      for (size_t digits = reader.pos - start; digits < 3; ++digits) *ms *= 10;
      millisecond = *ms;
    }
  }
  return EncodeTime(*hour, *minute, second, millisecond);
}

}  // namespace

std::optional<TDateTime> EncodeDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return std::nullopt;
  return static_cast<double>(DaysFromCivil(year, month, day) + kEpochShift);
}

std::optional<TDateTime> EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0 ||
      millisecond > 999)
    return std::nullopt;
  int64_t ms = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + millisecond;
  return static_cast<double>(ms) / kMsPerDay;
}

TDateTime CombineDateTime(TDateTime date, TDateTime time) {
  double days = std::trunc(date);
  return days < 0 ? days - time : days + time;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  CivilFromDays(static_cast<int64_t>(std::trunc(value)) - kEpochShift, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  int64_t ms = TimeOfDayMs(value);
  millisecond = static_cast<int>(ms % 1000);
  second = static_cast<int>(ms / 1000 % 60);
  minute = static_cast<int>(ms / 60000 % 60);
  hour = static_cast<int>(ms / 3600000);
}

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime value) {
  int year, month, day, hour, minute, second, millisecond;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, millisecond);
  TSQLTimeStamp stamp;
  stamp.Year = static_cast<int16_t>(year);
  stamp.Month = static_cast<uint16_t>(month);
  stamp.Day = static_cast<uint16_t>(day);
  stamp.Hour = static_cast<uint16_t>(hour);
  stamp.Minute = static_cast<uint16_t>(minute);
  stamp.Second = static_cast<uint16_t>(second);
  stamp.Fractions = static_cast<uint32_t>(millisecond);
  return stamp;
}

std::optional<TDateTime> SQLTimeStampToDateTime(const TSQLTimeStamp& stamp) {
  auto date = EncodeDate(stamp.Year, stamp.Month, stamp.Day);
  auto time = EncodeTime(stamp.Hour, stamp.Minute, stamp.Second, static_cast<int>(stamp.Fractions));
  if (!date || !time || stamp.Fractions > 999) return std::nullopt;
  return CombineDateTime(*date, *time);
}

std::string DateToText(TDateTime value) {
  int year, month, day;
  DecodeDate(value, year, month, day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

std::string TimeToText(TDateTime value) {
  int hour, minute, second, millisecond;
  DecodeTime(value, hour, minute, second, millisecond);
  char text[32];
  if (millisecond != 0) {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", hour, minute, second, millisecond);
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
  }
  return text;
}

std::string DateTimeToText(TDateTime value) {
  return DateToText(value) + " " + TimeToText(value);
}

std::optional<TDateTime> TextToDateTime(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  Reader reader{text};
  std::optional<TDateTime> result;
  if (text.find(':') != std::string_view::npos && text.find_first_of("-/.") > text.find(':')) {
    result = ReadTime(reader);  // a time alone
  } else {
    auto year = reader.Number(4);
    char separator = reader.Peek();
    if (!year || (separator != '-' && separator != '/' && separator != '.')) return std::nullopt;
    ++reader.pos;
    auto month = reader.Number(2);
    if (!month || reader.Peek() != separator) return std::nullopt;
    ++reader.pos;
    auto day = reader.Number(2);
    if (!day) return std::nullopt;
    result = EncodeDate(*year, *month, *day);
    if (result && (reader.Peek() == ' ' || reader.Peek() == 'T')) {
      ++reader.pos;
      auto time = ReadTime(reader);
      result = time ? std::optional<TDateTime>(CombineDateTime(*result, *time)) : std::nullopt;
    }
  }
  if (!reader.AtEnd()) return std::nullopt;
  return result;
}

}  // namespace viz
