#include "framework/data/format.h"

#include <gtest/gtest.h>

#include "framework/data/exceptions.h"

namespace viz {
namespace {

std::string F(std::string_view format, std::initializer_list<FormatArg> args) {
  return FormatText(format, args).value_or("<invalid>");
}

TEST(FormatTextTest, IntegersWidthAndPrecision) {
  EXPECT_EQ(F("%d", {-42}), "-42");
  EXPECT_EQ(F("%5d|", {42}), "   42|");
  EXPECT_EQ(F("%-5d|", {42}), "42   |");
  EXPECT_EQ(F("%.5d", {123}), "00123");
  EXPECT_EQ(F("%.3d", {-7}), "-007");
  EXPECT_EQ(F("%x", {255}), "FF");
  EXPECT_EQ(F("%.8x", {255u}), "000000FF");
  EXPECT_EQ(F("%u", {-1}), "4294967295");
  EXPECT_EQ(F("%d", {int64_t{9000000000}}), "9000000000");
  EXPECT_EQ(F("%*d", {4, 7}), "   7");
}

TEST(FormatTextTest, TextFloatsAndIndexes) {
  EXPECT_EQ(F("'%s'", {"abc"}), "'abc'");
  EXPECT_EQ(F("%.2s", {"abc"}), "ab");
  EXPECT_EQ(F("%6s", {"ab"}), "    ab");
  EXPECT_EQ(F("%.2f", {3.14159}), "3.14");
  EXPECT_EQ(F("%f", {2.5}), "2.50");
  EXPECT_EQ(F("%n", {1234567.5}), "1,234,567.50");
  EXPECT_EQ(F("%1:s %0:s", {"a", "b"}), "b a");
  EXPECT_EQ(F("100%%", {}), "100%");
  EXPECT_EQ(F("%s", {std::string("x")}), "x");
}

TEST(FormatTextTest, RejectsWhatDoesNotFit) {
  EXPECT_FALSE(FormatText("%d", {"text"}));
  EXPECT_FALSE(FormatText("%s", {1}));
  EXPECT_FALSE(FormatText("%d", {true}));
  EXPECT_FALSE(FormatText("%f", {1}));
  EXPECT_FALSE(FormatText("%d %d", {1}));
  EXPECT_FALSE(FormatText("%", {1}));
  EXPECT_FALSE(FormatText("%5", {1}));
  EXPECT_FALSE(FormatText("%k", {1}));
  EXPECT_TRUE(FormatText("%d", {1, 2}));  // extra arguments are ignored
}

TEST(DatabaseErrorTest, PrefixesTheComponentName) {
  EXPECT_EQ(ComponentErrorText("Database name missing", "VIZTable1"), "VIZTable1: Database name missing");
  EXPECT_EQ(ComponentErrorText("Database name missing", ""), "Database name missing");
  try {
    DatabaseError("Missing TableName property", "VIZTable1");
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_STREQ(error.what(), "VIZTable1: Missing TableName property");
  }
}

}  // namespace
}  // namespace viz
