#include <gtest/gtest.h>

#include <vector>

#include "engine/types/VIZVariant.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

std::string MessageOf(auto&& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

TEST(VariantExchangeTest, FrameworkKindsStoreAsTheirBaseTypes) {
  struct Case {
    Variant value;
    TABSBaseType type;
  } cases[] = {
      {Variant::FromSmallint(-2), bt::kSmallInt},
      {Variant::FromInteger(7), bt::kInteger},
      {Variant::FromSingle(1.5f), bt::kSingle},
      {Variant::FromDouble(2.5), bt::kFloat},
      {Variant::FromCurrency(3.25), bt::kCurrency},
      {Variant::FromDate(38868.5), bt::kDateTime},
      {Variant::FromWideString(u"w"), bt::kWideString},
      {Variant::FromBoolean(true), bt::kLogical},
      {Variant::FromShortInt(-8), bt::kShortInt},
      {Variant::FromByte(200), bt::kByte},
      {Variant::FromWord(60000), bt::kWord},
      {Variant::FromLongWord(4000000000u), bt::kCardinal},
      {Variant::FromInt64(-5000000000LL), bt::kLargeInt},
      {Variant::FromString("s"), bt::kString},
      {Variant::FromString("t", 287), bt::kString},
  };
  for (const Case& c : cases) {
    TABSVariant v;
    v.SetAsVariant(c.value);
    EXPECT_EQ(v.GetType(), c.type) << c.value.Kind();
    EXPECT_FALSE(v.IsNull());
    if (c.type != bt::kDateTime) {
      EXPECT_EQ(v.GetAsVariant(), c.value.Kind() == vk::kSingle || c.value.Kind() == vk::kCurrency
                                      ? Variant::FromDouble(c.value.AsDouble())
                                  : c.value.Kind() == 287 ? Variant::FromString("t")
                                                          : c.value)
          << c.value.Kind();
    }
  }
}

TEST(VariantExchangeTest, NullKindsKeepTheType) {
  TABSVariant v(bt::kInteger);
  v.SetAsInteger(3);
  v.SetAsVariant(Variant());
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.GetType(), bt::kInteger);
  v.SetAsInteger(3);
  v.SetAsVariant(Variant::Null());
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.GetAsVariant(), Variant::Null());
}

TEST(VariantExchangeTest, TypedVariantsConvertFrameworkValues) {
  TABSVariant v(bt::kString);
  v.SetAsVariant(Variant::FromInteger(12));
  EXPECT_EQ(v.GetType(), bt::kString);
  EXPECT_EQ(v.GetAsString(), "12");
}

TEST(VariantExchangeTest, DatesComeBackAsDatesOrDoubles) {
  TABSVariant v;
  v.SetAsVariant(Variant::FromDate(38868.25));
  EXPECT_EQ(v.GetAsVariant(), Variant::FromDate(38868.25));
  TABSVariant date;
  date.SetAsDate(38868.0);
  EXPECT_EQ(date.GetAsVariant(), Variant::FromDouble(38868.0));
  TABSVariant time;
  time.SetAsTime(0.5);
  EXPECT_EQ(time.GetAsVariant(), Variant::FromDouble(0.5));
  TABSVariant ext;
  ext.SetAsExtended(0.5L);
  EXPECT_EQ(ext.GetAsVariant(), Variant::FromDouble(0.5));
  TABSVariant blob;
  blob.SetAsBlob(std::vector<uint8_t>{'h', 'i'});
  EXPECT_EQ(blob.GetAsVariant(), Variant::FromString("hi"));
  TABSVariant wide;
  wide.SetAsWideChar(u"x");
  EXPECT_EQ(wide.GetAsVariant(), Variant::FromWideString(u"x"));
}

TEST(VariantExchangeTest, UnsupportedKindsAndTypes) {
  TABSVariant v;
  EXPECT_EQ(MessageOf([&] { v.SetAsVariant(Variant::OfKind(vk::kDispatch)); }),
            "Unsupported Variant Type 9 - Native error: 30113");
  EXPECT_EQ(MessageOf([&] { v.SetAsVariant(Variant::OfKind(288)); }),
            "Unsupported Variant Type 288 - Native error: 30113");
  TABSVariant memo;
  memo.SetAsMemo("m");
  EXPECT_EQ(MessageOf([&] { memo.GetAsVariant(); }), "Unsupported Variant Type MEMO - Native error: 30114");
  TABSVariant bytes;
  bytes.SetAsBytes(std::vector<uint8_t>{1});
  EXPECT_EQ(MessageOf([&] { bytes.GetAsVariant(); }), "Unsupported Variant Type BYTES - Native error: 30114");
}

}  // namespace
}  // namespace viz
