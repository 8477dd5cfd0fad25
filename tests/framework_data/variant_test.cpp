#include "framework/data/variant.h"

#include <gtest/gtest.h>

#include "framework/data/exceptions.h"

namespace viz {
namespace {

TEST(FrameworkVariantTest, KindCodes) {
  EXPECT_EQ(Variant().Kind(), 0);
  EXPECT_EQ(Variant::Null().Kind(), 1);
  EXPECT_EQ(Variant::FromSmallint(1).Kind(), 2);
  EXPECT_EQ(Variant::FromInteger(1).Kind(), 3);
  EXPECT_EQ(Variant::FromSingle(1).Kind(), 4);
  EXPECT_EQ(Variant::FromDouble(1).Kind(), 5);
  EXPECT_EQ(Variant::FromCurrency(1).Kind(), 6);
  EXPECT_EQ(Variant::FromDate(1).Kind(), 7);
  EXPECT_EQ(Variant::FromWideString(u"").Kind(), 8);
  EXPECT_EQ(Variant::FromBoolean(true).Kind(), 11);
  EXPECT_EQ(Variant::FromShortInt(1).Kind(), 16);
  EXPECT_EQ(Variant::FromByte(1).Kind(), 17);
  EXPECT_EQ(Variant::FromWord(1).Kind(), 18);
  EXPECT_EQ(Variant::FromLongWord(1).Kind(), 19);
  EXPECT_EQ(Variant::FromInt64(1).Kind(), 20);
  EXPECT_EQ(Variant::FromString("").Kind(), 256);
  EXPECT_EQ(Variant::FromString("", 300).Kind(), 256);  // not a string kind: the plain one
}

TEST(FrameworkVariantTest, AccessorsCheckTheKind) {
  EXPECT_TRUE(Variant().IsNull());
  EXPECT_TRUE(Variant::Null().IsNull());
  EXPECT_FALSE(Variant::FromInteger(0).IsNull());
  EXPECT_EQ(Variant::FromLongWord(4000000000u).AsInt64(), 4000000000LL);
  EXPECT_EQ(Variant::FromInteger(3).AsDouble(), 3.0);
  EXPECT_EQ(Variant::FromBoolean(true).AsInt64(), -1);
  EXPECT_TRUE(Variant::FromByte(2).AsBoolean());
  EXPECT_EQ(Variant::FromString("abc").AsString(), "abc");
  EXPECT_EQ(Variant::FromWideString(u"w").AsWideString(), u"w");
  EXPECT_THROW(Variant::FromString("1").AsInt64(), Exception);
  EXPECT_THROW(Variant::FromDouble(1).AsInt64(), Exception);
  EXPECT_THROW(Variant::Null().AsDouble(), Exception);
  EXPECT_THROW(Variant::FromInteger(1).AsString(), Exception);
  EXPECT_EQ(Variant::FromDouble(1), Variant::FromDouble(1));
  EXPECT_FALSE(Variant::FromDouble(1) == Variant::FromCurrency(1));
  EXPECT_FALSE(Variant::FromString("a") == Variant::FromString("b"));
}

}  // namespace
}  // namespace viz
