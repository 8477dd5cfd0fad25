#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "engine/sql/VIZDateFormat.h"
#include "engine/types/date_time.h"
#include "engine/types/errors.h"
#include "framework/data/common_errors.h"
#include "framework/data/math_errors.h"

namespace viz {
namespace {

double At(int year, int month, int day, int hour = 0, int minutes = 0, int seconds = 0) {
  return PairToDateTime({*EncodeDayNumber(year, month, day), *EncodeMilliseconds(hour, minutes, seconds, 0)});
}

double TimeOnly(int hour, int minutes, int seconds = 0) {
  return MillisecondsToDateTime(*EncodeMilliseconds(hour, minutes, seconds, 0));
}

std::string Show(double dateTime) {
  return PairToText(DateTimeToPair(dateTime));
}

std::string ParseError(std::string_view format, std::string_view text) {
  try {
    TDateFormater(format).ParseDate(text);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

// Every token name alone: its kind and declared length.
struct TokenCase {
  const char* name;
  TDateFormatType kind;
  int32_t declaredLength;
};

const TokenCase kTokenCases[] = {
    {"YYYY", dftYYYY, 4},   {"YY", dftYY, 2},     {"YEAR", dftYEAR, 4}, {"Q", dftQ, 1},
    {"MONTH", dftMONTH, 9}, {"MON", dftMON, 3},   {"MM", dftMM, 2},     {"M", dftM, 2},
    {"RM", dftRM, 2},       {"DDD", dftDDD, 3},   {"DD", dftDD, 2},     {"DAY", dftDAY, 12},
    {"DY", dftDY, 2},       {"DW", dftDW, 2},     {"D", dftD, 2},       {"HH12", dftHH12, 2},
    {"HH24", dftHH24, 2},   {"HH", dftHH, 2},     {"H12", dftH12, 2},   {"H24", dftH24, 2},
    {"H", dftH, 2},         {"NN", dftNN, 2},     {"N", dftN, 2},       {"SS", dftSS, 2},
    {"S", dftS, 2},         {"AMPM", dftAMPM, 2},
};

TEST(DateFormatTest, EveryTokenNameInAnyCase) {
  for (const TokenCase& c : kTokenCases) {
    std::string lower = c.name;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    for (const std::string& name : {std::string(c.name), lower}) {
      const TDateFormater format(name);
      ASSERT_EQ(format.Tokens().size(), 1u) << name;
      EXPECT_EQ(format.Tokens()[0].Kind, c.kind) << name;
      EXPECT_EQ(format.Tokens()[0].Text, name);
      EXPECT_EQ(format.GetDeclaredLength(), c.declaredLength) << name;
      EXPECT_EQ(format.GetResultType(), c.kind < dftHH12 ? dt::kDate : dt::kTime) << name;
    }
  }
}

TEST(DateFormatTest, CompilesLongestNamesAndLiterals) {
  struct Case {
    const char* format;
    std::vector<std::pair<TDateFormatType, std::string>> tokens;
  };
  const Case cases[] = {
      {"YYYY-MM-DD", {{dftYYYY, "YYYY"}, {dftLiteral, "-"}, {dftMM, "MM"}, {dftLiteral, "-"}, {dftDD, "DD"}}},
      {"\"yyyy\"", {{dftLiteral, "yyyy"}}},
      {"yyyy'T'hh24:nn",
       {{dftYYYY, "yyyy"}, {dftLiteral, "T"}, {dftHH24, "hh24"}, {dftLiteral, ":"}, {dftNN, "nn"}}},
      {"MonthMonDDDdy", {{dftMONTH, "Month"}, {dftMON, "Mon"}, {dftDDD, "DDD"}, {dftDY, "dy"}}},
      {"DDDDdy", {{dftDDD, "DDD"}, {dftDD, "Dd"}, {dftLiteral, "y"}}},
      {"at 'o''clock", {{dftLiteral, "at "}, {dftLiteral, "o"}, {dftLiteral, "clock"}}},
      {"HH12AMPM x 'open", {{dftHH12, "HH12"}, {dftAMPM, "AMPM"}, {dftLiteral, " x open"}}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    std::vector<std::pair<TDateFormatType, std::string>> got;
    const TDateFormater format(c.format);
    for (const TDateFormatToken& token : format.Tokens()) got.emplace_back(token.Kind, token.Text);
    // Literal pieces next to each other are one token.
    std::vector<std::pair<TDateFormatType, std::string>> expected;
    for (const auto& token : c.tokens) {
      if (!expected.empty() && token.first == dftLiteral && expected.back().first == dftLiteral) {
        expected.back().second += token.second;
      } else {
        expected.push_back(token);
      }
    }
    EXPECT_EQ(got, expected);
  }
  EXPECT_EQ(TDateFormater("'").Tokens().size(), 0u);
}

TEST(DateFormatTest, WritesEveryToken) {
  // A Thursday afternoon in a leap year, and a Tuesday morning with one-digit parts.
  const double august = At(2024, 8, 15, 13, 5, 9);
  const double march = At(2024, 3, 5, 9, 7, 4);
  struct Case {
    const char* format;
    const char* august;
    const char* march;
  };
  const Case cases[] = {
      {"YYYY", "2024", "2024"},
      {"YY", "24", "24"},
      {"YEAR", "2024", "2024"},
      {"Q", "3", "1"},
      {"MONTH", "August", "March"},
      {"MON", "Aug", "Mar"},
      {"MM", "08", "03"},
      {"M", "8", "3"},
      {"RM", "VIII", "III"},
      {"DDD", "Thu", "Tue"},
      {"DD", "15", "05"},
      {"DAY", "Thursday", "Tuesday"},
      {"DY", "228", "65"},
      {"DW", "4", "2"},
      {"D", "15", "5"},
      {"HH12", "01", "09"},
      {"HH24", "13", "09"},
      {"HH", "01", "09"},
      {"H12", "1", "9"},
      {"H24", "13", "9"},
      {"H", "1", "9"},
      {"NN", "05", "07"},
      {"N", "5", "7"},
      {"SS", "09", "04"},
      {"S", "9", "4"},
      {"AMPM", "PM", "AM"},
      {"YYYY-MM-DD HH24:NN:SS", "2024-08-15 13:05:09", "2024-03-05 09:07:04"},
      {"DAY, D MONTH YYYY 'at' H:NN AMPM", "Thursday, 15 August 2024 at 1:05 PM",
       "Tuesday, 5 March 2024 at 9:07 AM"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const TDateFormater format(c.format);
    EXPECT_EQ(format.FormatDate(august), c.august);
    EXPECT_EQ(format.FormatDate(march), c.march);
  }
  EXPECT_EQ(TDateFormater("HH12 AMPM").FormatDate(TimeOnly(12, 30)), "00 PM");
  EXPECT_EQ(TDateFormater("HH12 AMPM").FormatDate(TimeOnly(0, 30)), "00 AM");
  EXPECT_EQ(TDateFormater("HH12 AMPM").FormatDate(TimeOnly(11, 59)), "11 AM");
  EXPECT_EQ(TDateFormater("DY DW DDD YY").FormatDate(At(2023, 12, 31)), "365 7 Sun 23");
  EXPECT_EQ(TDateFormater("DY DW YYYY").FormatDate(At(2000, 12, 31)), "366 7 2000");
  EXPECT_EQ(TDateFormater("YYYY-MM-DD DAY").FormatDate(At(1, 1, 1)), "0001-01-01 Monday");
  EXPECT_EQ(TDateFormater("YYYY-MM-DD HH24:NN").FormatDate(At(1850, 6, 1, 10, 0)), "1850-06-01 10:00");
  EXPECT_EQ(TDateFormater("DAY").FormatDate(0), "Saturday");
  EXPECT_THROW(TDateFormater("YYYY").FormatDate(1e300), EIntOverflow);
}

TEST(DateFormatTest, ReadsEveryToken) {
  struct Case {
    const char* format;
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"DD-MM-YY", "05-03-24", At(2024, 3, 5)},
      {"DD-MM-YY", "05-03-29", At(2029, 3, 5)},
      {"DD-MM-YY", "05-03-30", At(1930, 3, 5)},
      {"DD-MM-YY", "05-03-99", At(1999, 3, 5)},
      {"YYYY-MM-DD", "2024-08-15", At(2024, 8, 15)},
      {"year/m/d", "2024/8/5", At(2024, 8, 5)},
      {"D.M.YYYY", "15.10.2024", At(2024, 10, 15)},
      {"D.M.YYYY", "5.1.2024", At(2024, 1, 5)},
      {"YYYYMMDD", "20240229", At(2024, 2, 29)},
      {"Q/DD/YYYY", "3/01/2024", At(2024, 7, 1)},
      {"Q/DD/YYYY", "1/01/2024", At(2024, 1, 1)},
      {"HH24:NN", "10:15", TimeOnly(10, 15)},
      {"H24:N:S", "9:5:7", TimeOnly(9, 5, 7)},
      {"HH24NNSS", "101520", TimeOnly(10, 15, 20)},
      {"HH:NN", "7:30", TimeOnly(7, 30)},
      {"YYYY-MM-DD HH24:NN:SS", "2024-08-15 13:05:09", At(2024, 8, 15, 13, 5, 9)},
      {"YYYY-MM-DD HH24:NN", "1850-06-01 10:00", At(1850, 6, 1, 10, 0)},
      // Names and the other skipped tokens pass over as many characters as their names have.
      {"DDD DD/MM/YYYY", "Thu 15/08/2024", At(2024, 8, 15)},
      {"MONTH DD YYYY MM", "Augus 15 2024 08", At(2024, 8, 15)},
      {"RM/DY/DW/H12/H DD.MM.YYYY", "ab/cd/ef/ghi/j 15.08.2024", At(2024, 8, 15)},
      {"MON DD YYYY", "Aug 15 2024", 0.0},  // no month: the date falls back to 1899-12-30
      {"YYYY-MM-DD", "2024-08-15 and more", At(2024, 8, 15)},
      // AM and PM, on a 12-hour clock.
      {"HH12 AMPM", "03 PM", TimeOnly(15, 0)},
      {"HH12 AMPM", "3 pm", TimeOnly(15, 0)},
      {"HH12 AMPM", "03 AM", TimeOnly(3, 0)},
      {"HH12 AMPM", "00 PM", TimeOnly(12, 0)},
      {"HH12 AMPM", "12 PM", TimeOnly(12, 0)},
      {"HH12 AMPM", "12 AM", TimeOnly(0, 0)},
      {"AMPM HH12:NN", "Pm 11:45", TimeOnly(23, 45)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " <- " + c.text);
    EXPECT_EQ(Show(TDateFormater(c.format).ParseDate(c.text)), Show(c.expected));
  }
}

TEST(DateFormatTest, ReadingErrors) {
  EXPECT_EQ(ParseError("HH24:NN AMPM", "10:15 xm"),
            "AM/PM word expected, but 'xm' found - Native error: 30129");
  EXPECT_EQ(ParseError("AMPM", "P"), "AM/PM word expected, but 'P' found - Native error: 30129");
  EXPECT_EQ(ParseError("YYYY", "ab12"), "'ab12' is not a valid integer value");
  EXPECT_EQ(ParseError("YYYY-MM-DD", "2024"), "'' is not a valid integer value");
  EXPECT_EQ(ParseError("YYYY-MM-DD", "2024-02-30"), "Invalid date (year 2024, month 2, day 30)");
  EXPECT_EQ(ParseError("Q/DD/YYYY", "5/01/2024"), "Invalid date (year 2024, month 13, day 1)");
  EXPECT_EQ(ParseError("HH24:NN", "25:00"), "Invalid time (hour 25, minutes 0, seconds 0)");
  EXPECT_EQ(ParseError("HH12 AMPM", "13 PM"), "Invalid time (hour 25, minutes 0, seconds 0)");
  EXPECT_THROW(TDateFormater("DD").ParseDate("x"), EConvertError);
  EXPECT_EQ(ParseError("", "anything"), "");
  EXPECT_EQ(TDateFormater("").ParseDate("x"), 0.0);
}

TEST(DateFormatTest, ResultTypeAndDeclaredLength) {
  const std::tuple<const char*, TABSDataType, int32_t> cases[] = {
      {"YYYY-MM-DD", dt::kDate, 10}, {"HH24:NN", dt::kTime, 5},
      {"HH12 AMPM", dt::kTime, 5},   {"YYYY-MM-DD HH24:NN", dt::kDateTime, 16},
      {"'text'", dt::kDateTime, 4},  {"", dt::kDateTime, 0},
      {"MONTH DAY", dt::kDate, 22},  {"DY RM", dt::kDate, 5},
  };
  for (const auto& [text, type, length] : cases) {
    const TDateFormater format(text);
    EXPECT_EQ(format.GetResultType(), type) << text;
    EXPECT_EQ(format.GetDeclaredLength(), length) << text;
  }
}

// Formats that keep every part read back what they wrote, for any date and time to the second.
TEST(DateFormatTest, RoundTripsThroughText) {
  const char* formats[] = {"YYYY-MM-DD HH24:NN:SS", "DD.MM.YYYY H24:N:S", "YYYYMMDDHH24NNSS",
                           "MM/DD/YYYY HH12:NN:SS AMPM", "AMPM HH:NN:SS D-M-YEAR"};
  std::mt19937 random(20240815);
  std::uniform_int_distribution<int32_t> days(1, 3652059);  // 0001-01-01 .. 9999-12-31
  std::uniform_int_distribution<int32_t> seconds(0, 86399);
  for (int i = 0; i < 2000; ++i) {
    const double value = PairToDateTime({days(random), seconds(random) * 1000});
    for (const char* text : formats) {
      const TDateFormater format(text);
      const std::string written = format.FormatDate(value);
      ASSERT_EQ(Show(format.ParseDate(written)), Show(value)) << text << ": " << written;
    }
  }
}

}  // namespace
}  // namespace viz
