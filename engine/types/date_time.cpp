#include "engine/types/date_time.h"

#include <cmath>
#include <cstdio>

#include "framework/data/math_errors.h"

namespace viz {
namespace {

// Day number of 1 January 1970, where the civil-day algorithm below counts from.
constexpr int64_t kUnixEpochDayNumber = 719163;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned mp = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2);
}

// Rounds the magnitude of the fraction of a day to milliseconds, ties to even.
int64_t FractionToMilliseconds(double dateTime) {
  const double fraction = std::fabs(dateTime - std::trunc(dateTime));
  return static_cast<int64_t>(std::nearbyint(fraction * kMillisecondsPerDay));  // default mode: to even
}

// Reads a run of digits of exactly `width` at `pos`, then skips the one character that ends it.
bool ReadDigitGroup(std::string_view text, size_t& pos, size_t width, int& value) {
  size_t end = pos;
  while (end < text.size() && IsDigit(text[end])) ++end;
  if (end - pos != width) return false;
  value = 0;
  for (size_t i = pos; i < end; ++i) value = value * 10 + (text[i] - '0');
  pos = end < text.size() ? end + 1 : end;
  return true;
}

bool ReadGroups(std::string_view text, const size_t* widths, size_t count, int* values) {
  size_t pos = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!ReadDigitGroup(text, pos, widths[i], values[i])) return false;
  }
  return pos == text.size();
}

// Reads 1 to maxWidth digits.
bool ReadNumber(std::string_view text, size_t& pos, size_t maxWidth, int& value) {
  size_t end = pos;
  while (end < text.size() && end - pos < maxWidth && IsDigit(text[end])) ++end;
  if (end == pos || (end < text.size() && IsDigit(text[end]))) return false;
  value = 0;
  for (size_t i = pos; i < end; ++i) value = value * 10 + (text[i] - '0');
  pos = end;
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsDateSeparator(char c) {
  return c == '-' || c == '/' || c == '.';
}

std::optional<int32_t> ReadDate(std::string_view text, size_t& pos) {
  int year, month, day;
  if (!ReadNumber(text, pos, 4, year) || pos >= text.size() || !IsDateSeparator(text[pos])) return {};
  const char separator = text[pos++];
  if (!ReadNumber(text, pos, 2, month) || pos >= text.size() || text[pos] != separator) return {};
  ++pos;
  if (!ReadNumber(text, pos, 2, day)) return {};
  return EncodeDayNumber(year, month, day);
}

std::optional<int32_t> ReadTime(std::string_view text, size_t& pos) {
  int hours, minutes, seconds = 0, milliseconds = 0;
  if (!ReadNumber(text, pos, 2, hours) || pos >= text.size() || text[pos] != ':') return {};
  ++pos;
  if (!ReadNumber(text, pos, 2, minutes)) return {};
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!ReadNumber(text, pos, 2, seconds)) return {};
    if (pos < text.size() && text[pos] == '.') {
      ++pos;
      const size_t start = pos;
      if (!ReadNumber(text, pos, 3, milliseconds)) return {};
      for (size_t digits = pos - start; digits < 3; ++digits) milliseconds *= 10;
    }
  }
  return EncodeMilliseconds(hours, minutes, seconds, milliseconds);
}

}  // namespace

int32_t DateTimeToDayNumber(double dateTime) {
  const double days = std::trunc(dateTime) + kDateDelta;
  if (!(days >= INT32_MIN && days <= INT32_MAX)) throw EIntOverflow();
  return static_cast<int32_t>(days);
}

int32_t DateTimeToMilliseconds(double dateTime) {
  const int64_t milliseconds = FractionToMilliseconds(dateTime);
  return static_cast<int32_t>(milliseconds % kMillisecondsPerDay);
}

double DayNumberToDateTime(int32_t dayNumber) {
  return static_cast<double>(dayNumber) - kDateDelta;
}

double MillisecondsToDateTime(int32_t milliseconds) {
  const double days = static_cast<double>(milliseconds) / kMillisecondsPerDay;
  return days - std::trunc(days);
}

double PairToDateTime(TABSDateTimePair pair) {
  const double days = DayNumberToDateTime(pair.dayNumber);
  const double time = MillisecondsToDateTime(pair.milliseconds);
  return days < 0 ? days - time : days + time;
}

TABSDateTimePair DateTimeToPair(double dateTime) {
  int32_t dayNumber = DateTimeToDayNumber(dateTime);
  int64_t milliseconds = FractionToMilliseconds(dateTime);
  if (milliseconds >= kMillisecondsPerDay) {
    milliseconds -= kMillisecondsPerDay;
    dayNumber = DateTimeToDayNumber(dateTime + (dateTime < 0 ? -1.0 : 1.0));
  }
  return {dayNumber, static_cast<int32_t>(milliseconds)};
}

std::optional<int32_t> EncodeDayNumber(int year, int month, int day) {
  static constexpr int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return {};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int monthDays = kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0);
  if (day > monthDays) return {};
  return static_cast<int32_t>(DaysFromCivil(year, month, day) + kUnixEpochDayNumber);
}

void DecodeDayNumber(int32_t dayNumber, int& year, int& month, int& day) {
  int64_t longYear;
  unsigned m, d;
  CivilFromDays(static_cast<int64_t>(dayNumber) - kUnixEpochDayNumber, longYear, m, d);
  year = static_cast<int>(longYear);
  month = static_cast<int>(m);
  day = static_cast<int>(d);
}

std::optional<int32_t> EncodeMilliseconds(int hours, int minutes, int seconds, int milliseconds) {
  if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59 ||
      milliseconds < 0 || milliseconds > 999) {
    return {};
  }
  return ((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds;
}

bool ParseDigitsDate(std::string_view text, double& dateTime) {
  static constexpr size_t kWidths[] = {4, 2, 2};
  int v[3];
  if (!ReadGroups(text, kWidths, 3, v)) return false;
  const std::optional<int32_t> dayNumber = EncodeDayNumber(v[0], v[1], v[2]);
  if (!dayNumber) return false;
  dateTime = DayNumberToDateTime(*dayNumber);
  return true;
}

bool ParseDigitsTime(std::string_view text, double& dateTime) {
  static constexpr size_t kWidths[] = {2, 2, 2};
  int v[3];
  if (!ReadGroups(text, kWidths, 3, v)) return false;
  const std::optional<int32_t> milliseconds = EncodeMilliseconds(v[0], v[1], v[2], 0);
  if (!milliseconds) return false;
  dateTime = MillisecondsToDateTime(*milliseconds);
  return true;
}

bool ParseDigitsDateTime(std::string_view text, double& dateTime) {
  static constexpr size_t kWidths[] = {4, 2, 2, 2, 2, 2};
  int v[6];
  if (!ReadGroups(text, kWidths, 6, v)) return false;
  const std::optional<int32_t> dayNumber = EncodeDayNumber(v[0], v[1], v[2]);
  const std::optional<int32_t> milliseconds = EncodeMilliseconds(v[3], v[4], v[5], 0);
  if (!dayNumber || !milliseconds) return false;
  dateTime = PairToDateTime({*dayNumber, *milliseconds});
  return true;
}

std::string DayNumberToText(int32_t dayNumber) {
  int year, month, day;
  DecodeDayNumber(dayNumber, year, month, day);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
  return buffer;
}

std::string MillisecondsToText(int32_t milliseconds) {
  // Times outside one day (made by arithmetic) are shown as their time of day.
  int64_t ms = milliseconds % kMillisecondsPerDay;
  if (ms < 0) ms += kMillisecondsPerDay;
  const int hours = static_cast<int>(ms / 3600000);
  const int minutes = static_cast<int>(ms / 60000 % 60);
  const int seconds = static_cast<int>(ms / 1000 % 60);
  const int fraction = static_cast<int>(ms % 1000);
  char buffer[32];
  if (fraction != 0) {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", hours, minutes, seconds, fraction);
  } else {
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", hours, minutes, seconds);
  }
  return buffer;
}

std::string PairToText(TABSDateTimePair pair) {
  return DayNumberToText(pair.dayNumber) + " " + MillisecondsToText(pair.milliseconds);
}

std::optional<int32_t> TextToDayNumber(std::string_view text) {
  text = Trim(text);
  size_t pos = 0;
  std::optional<int32_t> dayNumber = ReadDate(text, pos);
  if (!dayNumber || pos != text.size()) return {};
  return dayNumber;
}

std::optional<int32_t> TextToMilliseconds(std::string_view text) {
  text = Trim(text);
  size_t pos = 0;
  std::optional<int32_t> milliseconds = ReadTime(text, pos);
  if (!milliseconds || pos != text.size()) return {};
  return milliseconds;
}

std::optional<TABSDateTimePair> TextToPair(std::string_view text) {
  text = Trim(text);
  size_t pos = 0;
  const std::optional<int32_t> dayNumber = ReadDate(text, pos);
  if (!dayNumber) return {};
  if (pos == text.size()) return TABSDateTimePair{*dayNumber, 0};
  if (text[pos] != ' ' && text[pos] != 'T') return {};
  ++pos;
  const std::optional<int32_t> milliseconds = ReadTime(text, pos);
  if (!milliseconds || pos != text.size()) return {};
  return TABSDateTimePair{*dayNumber, *milliseconds};
}

}  // namespace viz
