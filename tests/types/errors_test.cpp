#include "engine/types/errors.h"

#include <gtest/gtest.h>

namespace viz {
namespace {

TEST(EABSExceptionTest, PlainTextPadsTheCodeWithZeros) {
  EXPECT_EQ(EABSException(10001, "Nil pointer occured").Message(),
            "Nil pointer occured - Native error: 10001");
  EXPECT_EQ(EABSException(2011, "Some text").Message(), "Some text - Native error: 02011");
  EXPECT_EQ(EABSException(0, "x").Message(), "x - Native error: 00000");
  EXPECT_EQ(EABSException(10001, "x").NativeErrorCode(), 10001);
}

TEST(EABSExceptionTest, FormatPadsTheCodeWithBlanks) {
  EXPECT_EQ(EABSException(2011, "Token '%s' at line %d", {"FROM", 3}).Message(),
            "Token 'FROM' at line 3 - Native error:  2011");
  EXPECT_EQ(EABSException(msg::kMemoryLimitExceeded, 4096).Message(),
            "Memory limit exceeded (Limit = 4096 bytes) - Native error: 30004");
}

TEST(EABSExceptionTest, MismatchedArgumentsNeverCrash) {
  const std::string suffix = " Arguments are invalid! - Native error: 30004";
  EXPECT_EQ(EABSException(30004, "Limit = %d bytes", {"text"}).Message(), "Limit = %d bytes" + suffix);
  EXPECT_EQ(EABSException(30004, "Name %s", {42}).Message(), "Name %s" + suffix);
  EXPECT_EQ(EABSException(30004, "%s and %s", {"one"}).Message(), "%s and %s" + suffix);
  EXPECT_EQ(EABSException(30004, "Value %f", {7}).Message(), "Value %f" + suffix);
  EXPECT_EQ(EABSException(30004, "Bad %q", {7}).Message(), "Bad %q" + suffix);
  EXPECT_EQ(EABSException(30004, "Trailing %", {}).Message(), "Trailing %" + suffix);
}

TEST(EABSExceptionTest, CatalogueMessagesChooseTheirForm) {
  EXPECT_EQ(EABSException(msg::kNilPointer).Message(), "Nil pointer occured - Native error: 10001");
  EXPECT_EQ(EABSException(msg::kTableNotFound.At(10151), "LYRIC").Message(),
            "Table not found, table name = LYRIC - Native error: 10151");
  EXPECT_EQ(EABSException(msg::kInvalidFieldNumber, 7, 3).Message(),
            "Invalid field number - FieldNo = 7, FieldCount = 3 - Native error: 10110");
}

TEST(EABSExceptionTest, IsAFrameworkExceptionButNotADatabaseError) {
  try {
    throw EABSException(msg::kNilPointer);
  } catch (const EDatabaseError&) {
    FAIL() << "engine exceptions must not reach the dataset error events";
  } catch (const Exception& error) {
    EXPECT_NE(std::string(error.what()).find("Nil pointer"), std::string::npos);
  }
}

}  // namespace
}  // namespace viz
