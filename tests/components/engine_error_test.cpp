#include "engine/components/engine_error.h"

#include <gtest/gtest.h>

namespace viz {
namespace {

TEST(EABSEngineErrorTest, CodeTable) {
  const std::pair<int, const char*> table[] = {
      {-1, "Error adding record"},
      {-2, "Error updating record"},
      {-3, "Error deleting record"},
      {-4, "Error updating record - record was modified by other process"},
      {-5, "Error deleting record - record was modified by other process"},
      {-6, "Error updating record - record was deleted by other process"},
      {-7, "Error deleting record - record was deleted by other process"},
      {-9, "Cannot update record in temporary mode"},
      {-10, "Cannot delete record in temporary mode"},
      {-11, "Cannot cancel operation in temporary mode"},
      {-12, "Record is locked"},
      {-13, "Table is locked"},
  };
  for (const auto& [code, text] : table) {
    EABSEngineError error(code, "ignored");
    EXPECT_EQ(error.Message(), "Zadezido Engine Error # " + std::to_string(code) + " " + text);
    EXPECT_EQ(error.ErrorCode(), code);
    EXPECT_EQ(error.ErrorText(), text);
  }
}

TEST(EABSEngineErrorTest, PassedTextAndUnknownCodes) {
  EXPECT_EQ(EABSEngineError(-8, "Primary Key constraint 'PK' violated. Duplicate found.").Message(),
            "Zadezido Engine Error # -8 Primary Key constraint 'PK' violated. Duplicate found.");
  EXPECT_EQ(EABSEngineError(-99, "ignored").Message(), "Zadezido Engine Error # -99 ");
  EXPECT_EQ(EABSEngineError(-99, "ignored").ErrorText(), "");
}

TEST(EABSEngineErrorTest, BelongsToTheDatabaseErrorFamily) {
  try {
    throw EABSEngineError(-12, "");
  } catch (const EDatabaseError& error) {
    EXPECT_STREQ(error.what(), "Zadezido Engine Error # -12 Record is locked");
  }
}

}  // namespace
}  // namespace viz
