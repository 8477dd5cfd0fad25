// The search types: bit arrays, record bitmaps in both numberings, condition arrays and the plain
// arrays.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine/tables/search/VIZTypes.h"
#include "engine/tables/streams.h"
#include "engine/types/errors.h"
#include "tables/test_backend.h"

namespace viz {
namespace {

using testing::MessageOf;

TEST(BitsArrayTest, AgreesWithASetOfBitsUnderRandomChanges) {
  std::mt19937 random(5);
  TABSBitsArray bits;
  std::set<int64_t> model;
  int64_t size = 0;
  for (int step = 0; step < 4000; ++step) {
    const int action = static_cast<int>(random() % 10);
    if (action == 0) {
      size = static_cast<int64_t>(random() % 300);
      bits.SetBitCount(size);
      model.erase(model.lower_bound(size), model.end());
    } else if (size > 0) {
      const int64_t bit = static_cast<int64_t>(random() % static_cast<uint32_t>(size));
      const bool value = random() % 2 == 0;
      bits.SetBit(bit, value);
      value ? (void)model.insert(bit) : (void)model.erase(bit);
    }
    ASSERT_EQ(bits.SetCount(), static_cast<int64_t>(model.size()));
    if (size == 0) continue;
    const int64_t probe = static_cast<int64_t>(random() % static_cast<uint32_t>(size));
    ASSERT_EQ(bits.GetBit(probe), model.count(probe) == 1);
    ASSERT_EQ(bits.Rank(probe),
              static_cast<int64_t>(std::distance(model.begin(), model.upper_bound(probe))) - 1);
    auto after = model.upper_bound(probe);
    ASSERT_EQ(bits.FindNextSet(probe, true), after == model.end() ? -1 : *after);
    auto at = model.lower_bound(probe);
    ASSERT_EQ(bits.FindNextSet(probe, false), at == model.begin() ? -1 : *std::prev(at));
    if (!model.empty()) {
      const int64_t k = static_cast<int64_t>(random() % model.size());
      ASSERT_EQ(bits.KthSetBit(k), *std::next(model.begin(), k));
      ASSERT_EQ(bits.FindNextSet(-1, true), *model.begin());
      ASSERT_EQ(bits.FindNextSet(size, false), *model.rbegin());
    }
    ASSERT_EQ(bits.FindFirst(false), [&] {
      for (int64_t i = 0; i < size; ++i)
        if (!model.count(i)) return i;
      return int64_t{-1};
    }());
  }
}

TEST(BitsArrayTest, ByteFormRoundTripsAndBadPositionsRaise) {
  TABSBitsArray bits;
  bits.SetBitCount(13);
  bits.SetBit(0, true);
  bits.SetBit(9, true);
  bits.SetBit(12, true);
  TABSMemoryStream stream;
  bits.SaveToStream(stream);
  EXPECT_EQ(testing::ContentOf(stream), testing::Hex("0D000000 03000000 01 12"));
  stream.SetPosition(0);
  TABSBitsArray loaded;
  loaded.LoadFromStream(stream);
  EXPECT_EQ(loaded.BitCount(), 13);
  EXPECT_EQ(loaded.SetCount(), 3);
  EXPECT_TRUE(loaded.GetBit(9));
  loaded.SetAll(true);
  EXPECT_EQ(loaded.SetCount(), 13);
  loaded.SetBitCount(4);  // shrinking recounts
  EXPECT_EQ(loaded.SetCount(), 4);

  EXPECT_EQ(MessageOf([&] { bits.GetBit(13); }),
            "Invalid bit no = 13, number of bits = 13 - Native error: 10394");
  EXPECT_EQ(MessageOf([&] { bits.SetBit(-1, true); }),
            "Invalid bit no = -1, number of bits = 13 - Native error: 10395");
  EXPECT_EQ(MessageOf([&] { bits.KthSetBit(3); }),
            "Invalid bit no = 3, number of bits = 3 - Native error: 10428");
  EXPECT_EQ(MessageOf([&] { bits.Rank(20); }),
            "Invalid bit no = 20, number of bits = 13 - Native error: 10429");
  auto truncated = testing::StreamOf(testing::Hex("0D000000 03000000 01"));
  EXPECT_NE(MessageOf([&] { loaded.LoadFromStream(*truncated); }).find("Native error: 10402"),
            std::string::npos);
  EXPECT_EQ(loaded.BitCount(), 4);  // a failed load keeps the array
}

TEST(RecordBitmapTest, BothNumberingsCountRankAndStep) {
  for (bool indexNumbering : {false, true}) {
    SCOPED_TRACE(indexNumbering);
    TABSRecordBitmap bitmap;
    bitmap.Reset(indexNumbering, 10);
    // Path numbers of deep trees are far apart and beyond 32 bits; a record-number bitmap grows.
    const uint64_t scale = indexNumbering ? (uint64_t{1} << 40) : 3;
    for (uint64_t n : {7u, 2u, 30u}) bitmap.Set(n * scale, true);
    bitmap.Set(2 * scale, true);
    EXPECT_EQ(bitmap.Count(), 3);
    EXPECT_TRUE(bitmap.Get(30 * scale));
    EXPECT_FALSE(bitmap.Get(8 * scale));
    EXPECT_EQ(bitmap.Ordinal(7 * scale), 2);
    EXPECT_EQ(bitmap.Ordinal(100 * scale), -1);
    EXPECT_EQ(bitmap.NumberAt(3), 30 * scale);
    uint64_t number = 0;
    ASSERT_TRUE(bitmap.Step(0, true, true, number));
    EXPECT_EQ(number, 2 * scale);
    ASSERT_TRUE(bitmap.Step(7 * scale, false, true, number));
    EXPECT_EQ(number, 30 * scale);
    EXPECT_FALSE(bitmap.Step(30 * scale, false, true, number));
    ASSERT_TRUE(bitmap.Step(0, true, false, number));
    EXPECT_EQ(number, 30 * scale);
    EXPECT_FALSE(bitmap.Step(2 * scale, false, false, number));
    bitmap.Set(7 * scale, false);
    EXPECT_EQ(bitmap.Count(), 2);
    EXPECT_EQ(bitmap.Ordinal(30 * scale), 2);
    bitmap.Drop();
    EXPECT_FALSE(bitmap.InUse());
    EXPECT_EQ(bitmap.Count(), 0);
  }
}

TEST(ScanConditionArrayTest, RefusesInvalidConditionsAndPositions) {
  TABSScanSearchConditionArray conditions;
  EXPECT_EQ(MessageOf([&] { conditions.Add(std::make_unique<TABSScanSearchCondition>()); }),
            "Invalid scan condition - indexID = -1, count = 0 - Native error: 10388");
  const uint8_t key[4] = {1, 2, 3, 4};
  conditions.Add(TABSScanSearchCondition::ForIndex(5, soLess, key, 4, 1));
  EXPECT_NE(conditions[0].Key(), key);  // copied unless borrowed
  EXPECT_EQ(conditions[0].Key()[3], 4);
  auto clone = conditions[0].Clone();
  EXPECT_EQ(clone->IndexID, 5);
  EXPECT_EQ(clone->Key()[2], 3);
  EXPECT_EQ(MessageOf([&] { conditions.At(1); }),
            "Invalid condition number = 1, count = 1 - Native error: 10382");
  EXPECT_EQ(MessageOf([&] { conditions.Remove(2); }),
            "Invalid item number - ItemNo = 2, ItemCount = 1 - Native error: 10413");
  EXPECT_EQ(ScanOperatorDirection(soGreaterOrEqual), -1);
  EXPECT_EQ(ScanOperatorDirection(soLess), 1);
  EXPECT_EQ(ScanOperatorDirection(soEqual), 0);
}

TEST(EngineArraysTest, IntegerArrayAndSortedNames) {
  TABSIntegerArray integers;
  for (int32_t value : {5, 3, 9, 3}) integers.Append(value);
  EXPECT_EQ(integers.Find(3), 1);
  EXPECT_TRUE(integers.RemoveValue(3));
  EXPECT_EQ(integers.Find(3), 2);
  integers.Insert(0, 7);
  EXPECT_EQ(integers.At(0), 7);
  EXPECT_EQ(MessageOf([&] { integers.At(4); }),
            "Invalid item number - ItemNo = 4, ItemCount = 4 - Native error: 10413");

  TABSSortedStringPtrArray names;
  int a = 0, b = 0, c = 0;
  names.Insert("Lyric", &a);
  names.Insert("artist", &b);
  names.Insert("ALBUM", &c);
  EXPECT_EQ(names.NameAt(0), "ALBUM");
  EXPECT_EQ(names.NameAt(1), "artist");
  EXPECT_EQ(names.Find("LYRIC"), &a);
  EXPECT_EQ(names.IndexOf("none"), -1);
  EXPECT_TRUE(names.Remove("Artist"));
  EXPECT_EQ(names.Count(), 2);
  EXPECT_EQ(names.Find("artist"), nullptr);
}

}  // namespace
}  // namespace viz
