#include <algorithm>
#include <array>
#include <cstdio>

#include "engine/sql/VIZDateFormat.h"
#include "engine/types/date_time.h"
#include "engine/types/errors.h"
#include "engine/types/text_forms.h"
#include "framework/data/common_errors.h"

namespace viz {
namespace {

// How a token is read back.
enum class Reading : uint8_t {
  Skip,      // pass over as many characters as the token's name has
  Fixed,     // exactly `width` characters
  OneOrTwo,  // two characters when the second is a digit, else one
  AmPm,
};

// What a token reads into.
enum class Part : uint8_t { None, Year, ShortYear, Quarter, Month, Day, Hour, Minutes, Seconds };

struct TokenInfo {
  std::string_view name;
  uint8_t declaredLength;
  Reading reading;
  uint8_t width;
  Part part;
};

// Indexed by TDateFormatType.
constexpr TokenInfo kTokens[] = {
    {"YYYY", 4, Reading::Fixed, 4, Part::Year},    {"YY", 2, Reading::Fixed, 2, Part::ShortYear},
    {"YEAR", 4, Reading::Fixed, 4, Part::Year},    {"Q", 1, Reading::Fixed, 1, Part::Quarter},
    {"MONTH", 9, Reading::Skip, 0, Part::None},    {"MON", 3, Reading::Skip, 0, Part::None},
    {"MM", 2, Reading::Fixed, 2, Part::Month},     {"M", 2, Reading::OneOrTwo, 0, Part::Month},
    {"RM", 2, Reading::Skip, 0, Part::None},       {"DDD", 3, Reading::Skip, 0, Part::None},
    {"DD", 2, Reading::Fixed, 2, Part::Day},       {"DAY", 12, Reading::Skip, 0, Part::None},
    {"DY", 2, Reading::Skip, 0, Part::None},       {"DW", 2, Reading::Skip, 0, Part::None},
    {"D", 2, Reading::OneOrTwo, 0, Part::Day},     {"HH12", 2, Reading::OneOrTwo, 0, Part::Hour},
    {"HH24", 2, Reading::Fixed, 2, Part::Hour},    {"HH", 2, Reading::OneOrTwo, 0, Part::Hour},
    {"H12", 2, Reading::Skip, 0, Part::None},      {"H24", 2, Reading::OneOrTwo, 0, Part::Hour},
    {"H", 2, Reading::Skip, 0, Part::None},        {"NN", 2, Reading::Fixed, 2, Part::Minutes},
    {"N", 2, Reading::OneOrTwo, 0, Part::Minutes}, {"SS", 2, Reading::Fixed, 2, Part::Seconds},
    {"S", 2, Reading::OneOrTwo, 0, Part::Seconds}, {"AMPM", 2, Reading::AmPm, 2, Part::None},
};
static_assert(std::size(kTokens) == dftLiteral);

constexpr size_t kLongestName = [] {
  size_t longest = 0;
  for (const TokenInfo& info : kTokens) longest = std::max(longest, info.name.size());
  return longest;
}();

constexpr std::string_view kLongMonthNames[] = {"January",   "February", "March",    "April",
                                                "May",       "June",     "July",     "August",
                                                "September", "October",  "November", "December"};
constexpr std::string_view kShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::string_view kRomanMonths[] = {"I",   "II",   "III", "IV", "V",  "VI",
                                             "VII", "VIII", "IX",  "X",  "XI", "XII"};
// From Monday.
constexpr std::string_view kLongDayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                              "Friday", "Saturday", "Sunday"};
constexpr std::string_view kShortDayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Returns the kind whose name is `candidate` (compared in upper case), or dftLiteral.
TDateFormatType FindToken(std::string_view candidate) {
  for (size_t kind = 0; kind < std::size(kTokens); ++kind) {
    const std::string_view name = kTokens[kind].name;
    if (name.size() != candidate.size()) continue;
    if (std::equal(name.begin(), name.end(), candidate.begin(),
                   [](char a, char b) { return a == AsciiUpper(b); })) {
      return static_cast<TDateFormatType>(kind);
    }
  }
  return dftLiteral;
}

const TokenInfo& InfoOf(const TDateFormatToken& token) {
  if (token.Kind >= dftLiteral) throw Exception(msg::kUnknownDateFormatType);
  return kTokens[token.Kind];
}

bool IsLeapYear(int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DayOfYear(int year, int month, int day) {
  static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return kDaysBefore[month - 1] + day + (month > 2 && IsLeapYear(year) ? 1 : 0);
}

std::string Decimal(int value, bool twoDigits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, twoDigits ? "%.2d" : "%d", value);
  return buffer;
}

// The calendar and clock parts of one date-time value.
struct Parts {
  int year, month, day;
  int weekday;  // Monday 0 .. Sunday 6
  int hour, minutes, seconds;
};

Parts Decompose(double dateTime) {
  const TABSDateTimePair pair = DateTimeToPair(dateTime);
  Parts parts{};
  DecodeDayNumber(pair.dayNumber, parts.year, parts.month, parts.day);
  // Day number 1 (1 January of year 1) was a Monday.
  parts.weekday = static_cast<int>(((static_cast<int64_t>(pair.dayNumber) - 1) % 7 + 7) % 7);
  parts.hour = pair.milliseconds / 3600000;
  parts.minutes = pair.milliseconds / 60000 % 60;
  parts.seconds = pair.milliseconds / 1000 % 60;
  return parts;
}

std::string WriteToken(const TDateFormatToken& token, const Parts& p) {
  switch (token.Kind) {
    case dftYYYY:
    case dftYEAR: {
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "%.4d", p.year);
      return buffer;
    }
    case dftYY:
      return Decimal((p.year % 100 + 100) % 100, true);
    case dftQ:
      return Decimal((p.month - 1) / 3 + 1, false);
    case dftMONTH:
      return std::string(kLongMonthNames[p.month - 1]);
    case dftMON:
      return std::string(kShortMonthNames[p.month - 1]);
    case dftMM:
      return Decimal(p.month, true);
    case dftM:
      return Decimal(p.month, false);
    case dftRM:
      return std::string(kRomanMonths[p.month - 1]);
    case dftDDD:
      return std::string(kShortDayNames[p.weekday]);
    case dftDD:
      return Decimal(p.day, true);
    case dftDAY:
      return std::string(kLongDayNames[p.weekday]);
    case dftDY:
      return Decimal(DayOfYear(p.year, p.month, p.day), false);
    case dftDW:
      return Decimal(p.weekday + 1, false);
    case dftD:
      return Decimal(p.day, false);
    case dftHH12:
    case dftHH:
      return Decimal(p.hour % 12, true);
    case dftHH24:
      return Decimal(p.hour, true);
    case dftH12:
    case dftH:
      return Decimal(p.hour % 12, false);
    case dftH24:
      return Decimal(p.hour, false);
    case dftNN:
      return Decimal(p.minutes, true);
    case dftN:
      return Decimal(p.minutes, false);
    case dftSS:
      return Decimal(p.seconds, true);
    case dftS:
      return Decimal(p.seconds, false);
    case dftAMPM:
      return p.hour > 11 ? "PM" : "AM";
    case dftLiteral:
      return token.Text;
  }
  throw Exception(msg::kUnknownDateFormatType);
}

int ReadInteger(std::string_view digits) {
  const std::optional<int32_t> value = TextToInt32(digits);
  if (!value) throw EConvertError::NotInteger(digits);
  return *value;
}

}  // namespace

TDateFormater::TDateFormater(std::string_view format) {
  std::string literal;
  const auto flushLiteral = [&] {
    if (literal.empty()) return;
    tokens_.push_back({dftLiteral, std::move(literal)});
    literal.clear();
  };
  size_t pos = 0;
  while (pos < format.size()) {
    const char c = format[pos];
    if (c == '\'' || c == '"') {
      // A quoted part is literal text; an unclosed one runs to the end.
      const size_t close = format.find(c, pos + 1);
      const size_t end = close == std::string_view::npos ? format.size() : close;
      literal.append(format.substr(pos + 1, end - pos - 1));
      pos = close == std::string_view::npos ? format.size() : close + 1;
      continue;
    }
    bool matched = false;
    for (size_t length = std::min(kLongestName, format.size() - pos); length > 0 && !matched; --length) {
      const std::string_view candidate = format.substr(pos, length);
      const TDateFormatType kind = FindToken(candidate);
      if (kind == dftLiteral) continue;
      flushLiteral();
      tokens_.push_back({kind, std::string(candidate)});
      pos += length;
      matched = true;
    }
    if (!matched) literal += format[pos++];
  }
  flushLiteral();
}

std::string TDateFormater::FormatDate(double dateTime) const {
  const Parts parts = Decompose(dateTime);
  std::string text;
  for (const TDateFormatToken& token : tokens_) text += WriteToken(token, parts);
  return text;
}

double TDateFormater::ParseDate(std::string_view text) const {
  int year = 0, month = 0, day = 0, hour = 0, minutes = 0, seconds = 0;
  bool hasAmPm = false, pm = false;
  size_t pos = 0;
  const auto take = [&](size_t count) {
    const std::string_view part = pos < text.size() ? text.substr(pos, count) : std::string_view();
    pos += count;
    return part;
  };
  for (const TDateFormatToken& token : tokens_) {
    if (token.Kind == dftLiteral) {
      pos += token.Text.size();
      continue;
    }
    const TokenInfo& info = InfoOf(token);
    if (info.reading == Reading::Skip) {
      pos += token.Text.size();
      continue;
    }
    if (info.reading == Reading::AmPm) {
      const std::string_view word = take(2);
      const std::string upper{word.size() > 0 ? AsciiUpper(word[0]) : ' ',
                              word.size() > 1 ? AsciiUpper(word[1]) : ' '};
      if (upper != "AM" && upper != "PM") throw EABSException(msg::kAmPmExpected, word);
      hasAmPm = true;
      pm = upper == "PM";
      continue;
    }
    size_t width = info.width;
    if (info.reading == Reading::OneOrTwo) {
      width = pos + 1 < text.size() && text[pos + 1] >= '0' && text[pos + 1] <= '9' ? 2 : 1;
    }
    const int value = ReadInteger(take(width));
    switch (info.part) {
      case Part::Year:
        year = value;
        break;
      case Part::ShortYear:
        year = 1900 + value + (value < 30 ? 100 : 0);
        break;
      case Part::Quarter:
        month = 3 * (value - 1) + 1;
        break;
      case Part::Month:
        month = value;
        break;
      case Part::Day:
        day = value;
        break;
      case Part::Hour:
        hour = value;
        break;
      case Part::Minutes:
        minutes = value;
        break;
      case Part::Seconds:
        seconds = value;
        break;
      case Part::None:
        break;
    }
  }
  // On a 12-hour clock 12 o'clock is the first hour of its half of the day.
  if (hasAmPm) {
    if (hour == 12) hour = 0;
    if (pm) hour += 12;
  }

  int32_t dayNumber = kDateDelta;
  if (year != 0 && month != 0 && day != 0) {
    const std::optional<int32_t> encoded = EncodeDayNumber(year, month, day);
    if (!encoded) {
      throw EConvertError("Invalid date (year " + std::to_string(year) + ", month " + std::to_string(month) +
                          ", day " + std::to_string(day) + ")");
    }
    dayNumber = *encoded;
  }
  const std::optional<int32_t> milliseconds = EncodeMilliseconds(hour, minutes, seconds, 0);
  if (!milliseconds) {
    throw EConvertError("Invalid time (hour " + std::to_string(hour) + ", minutes " +
                        std::to_string(minutes) + ", seconds " + std::to_string(seconds) + ")");
  }
  return PairToDateTime({dayNumber, *milliseconds});
}

TABSDataType TDateFormater::GetResultType() const {
  bool hasDate = false, hasTime = false;
  for (const TDateFormatToken& token : tokens_) {
    if (token.Kind < dftHH12)
      hasDate = true;
    else if (token.Kind <= dftAMPM)
      hasTime = true;
  }
  if (hasDate && !hasTime) return dt::kDate;
  if (hasTime && !hasDate) return dt::kTime;
  return dt::kDateTime;
}

int32_t TDateFormater::GetDeclaredLength() const {
  int64_t length = 0;
  for (const TDateFormatToken& token : tokens_) {
    length +=
        token.Kind == dftLiteral ? static_cast<int64_t>(token.Text.size()) : InfoOf(token).declaredLength;
  }
  return static_cast<int32_t>(std::min<int64_t>(length, INT32_MAX));
}

}  // namespace viz
