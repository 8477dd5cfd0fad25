#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/storage/memory_manager.h"
#include "engine/types/VIZVariant.h"
#include "engine/types/errors.h"
#include "engine/types/raw_access.h"

namespace viz {
namespace {

int CodeOf(auto&& action) {
  try {
    action();
  } catch (const EABSException& e) {
    return e.NativeErrorCode();
  }
  return 0;
}

std::string MessageOf(auto&& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

// Checks that the memory manager holds as many bytes at the end of a test as at its start.
class VariantTest : public ::testing::Test {
 protected:
  void SetUp() override { before_ = MemoryManager().GetMemoryInUse(); }
  void TearDown() override { EXPECT_EQ(MemoryManager().GetMemoryInUse(), before_) << "engine memory leaked"; }

  int64_t before_ = 0;
};

TABSVariant Integer(int32_t value) {
  TABSVariant v(bt::kInteger);
  v.SetAsInteger(value);
  return v;
}

TEST_F(VariantTest, NewValuesAreNullOfTheirType) {
  TABSVariant v(bt::kString);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.GetType(), bt::kString);
  EXPECT_EQ(v.GetData(), nullptr);
  EXPECT_FALSE(v.IsBorrowed());
  EXPECT_EQ(v.StringLength(), -1);
  EXPECT_EQ(MessageOf([&] { v.CheckNotNull(); }), "Value is Null - Native error: 30016");
  EXPECT_EQ(CodeOf([&] { (void)v.GetAsInteger(); }), 30016);
}

TEST_F(VariantTest, SetNullKeepsTypeAndPayloadClearFreesIt) {
  TABSVariant v = Integer(5);
  const void* payload = v.GetData();
  v.SetNull();
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.GetData(), payload);
  EXPECT_EQ(v.GetType(), bt::kInteger);
  v.SetAsInteger(6);  // reuses the payload in place
  EXPECT_EQ(v.GetData(), payload);
  EXPECT_EQ(v.GetAsInteger(), 6);
  v.Clear(bt::kFloat);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.GetType(), bt::kFloat);
  EXPECT_EQ(v.GetData(), nullptr);
}

TEST_F(VariantTest, BorrowedPayloadsAreNeverFreedAndNeverWritten) {
  alignas(8) char record[16];
  StoreRaw<int32_t>(record + 3, 41);
  {
    TABSVariant v;
    v.SetRaw(record + 3, 4, bt::kInteger, TABSCopyMode::Borrow);
    EXPECT_TRUE(v.IsBorrowed());
    EXPECT_EQ(v.GetData(), record + 3);
    EXPECT_EQ(v.GetAsInteger(), 41);
    // Writing first makes the value its own.
    v.SetAsInteger(42);
    EXPECT_FALSE(v.IsBorrowed());
    EXPECT_EQ(LoadRaw<int32_t>(record + 3), 41);
    v.SetRaw(record + 3, 4, bt::kInteger, TABSCopyMode::Borrow);
    v.Negate();
    EXPECT_EQ(v.GetAsInteger(), -41);
    EXPECT_EQ(LoadRaw<int32_t>(record + 3), 41);
    v.SetRaw(record + 3, 4, bt::kInteger, TABSCopyMode::Borrow);
    v.Add(Integer(1));
    EXPECT_EQ(v.GetAsInteger(), 42);
    EXPECT_EQ(LoadRaw<int32_t>(record + 3), 41);
    v.SetRaw(record + 3, 4, bt::kInteger, TABSCopyMode::Borrow);
  }  // destroyed while borrowing: nothing freed (the fixture checks the balance, ASan a bad free)
  EXPECT_EQ(LoadRaw<int32_t>(record + 3), 41);
}

TEST_F(VariantTest, AssignSharesOrCopies) {
  TABSVariant source;
  source.SetAsString("hello");
  TABSVariant shared, copied;
  shared.Assign(source, TABSCopyMode::Borrow);
  copied.Assign(source, TABSCopyMode::Copy);
  EXPECT_TRUE(shared.IsBorrowed());
  EXPECT_EQ(shared.GetData(), source.GetData());
  EXPECT_FALSE(copied.IsBorrowed());
  EXPECT_NE(copied.GetData(), source.GetData());
  EXPECT_EQ(copied.GetAsString(), "hello");
  EXPECT_EQ(copied.GetSize(), 6);
  TABSVariant nullSource(bt::kDate);
  copied.Assign(nullSource, TABSCopyMode::Copy);
  EXPECT_TRUE(copied.IsNull());
  EXPECT_EQ(copied.GetType(), bt::kDate);
  // Copies and moves keep ownership single.
  TABSVariant copy(source);
  TABSVariant moved(std::move(copy));
  EXPECT_EQ(moved.GetAsString(), "hello");
  EXPECT_TRUE(copy.IsNull());
  moved = source;
  moved = std::move(moved);
  EXPECT_EQ(moved.GetAsString(), "hello");
}

TEST_F(VariantTest, SetRawCopyReusesAnExactSizeOwnedPayload) {
  TABSVariant v;
  const int64_t a = 1, b = 2;
  v.SetRaw(&a, 8, bt::kLargeInt, TABSCopyMode::Copy);
  const void* payload = v.GetData();
  v.SetRaw(&b, 8, bt::kFloat, TABSCopyMode::Copy);
  EXPECT_EQ(v.GetData(), payload);
  EXPECT_EQ(v.GetType(), bt::kFloat);
  const int32_t c = 3;
  v.SetRaw(&c, 4, bt::kInteger, TABSCopyMode::Copy);
  EXPECT_EQ(v.GetAsInteger(), 3);
  EXPECT_FALSE(v.IsNull());
}

TEST_F(VariantTest, CopyRawTo) {
  TABSVariant v;
  v.SetAsString("abc");
  char buffer[8] = {};
  EXPECT_TRUE(v.CopyRawTo(buffer, 4));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_TRUE(v.CopyRawTo(buffer, -1));
  EXPECT_EQ(MessageOf([&] { v.CopyRawTo(buffer, 3); }), "Buffer size exceeded - Native error: 20056");
  // The empty string (terminator only) copies nothing.
  const char empty[] = "";
  v.SetRaw(empty, 1, bt::kString, TABSCopyMode::Copy);
  EXPECT_FALSE(v.IsNull());
  EXPECT_FALSE(v.CopyRawTo(buffer, 8));
  v.SetNull();
  EXPECT_FALSE(v.CopyRawTo(buffer, 8));
}

TEST_F(VariantTest, EmptyTextAssignsNull) {
  TABSVariant v(bt::kString);
  v.SetAsString("x");
  v.SetAsString("");
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.GetType(), bt::kString);
  TABSVariant wide(bt::kWideString);
  wide.SetAsWideString(u"");
  EXPECT_TRUE(wide.IsNull());
}

TEST_F(VariantTest, SettersConvertIntoTheVariantsOwnType) {
  TABSVariant v(bt::kString);
  v.SetAsInteger(42);
  EXPECT_EQ(v.GetType(), bt::kString);
  EXPECT_EQ(v.GetAsString(), "42");
  EXPECT_EQ(v.StringLength(), 2);
  TABSVariant n(bt::kSmallInt);
  n.SetAsString("123");
  EXPECT_EQ(n.GetType(), bt::kSmallInt);
  EXPECT_EQ(n.GetAsSmallInt(), 123);
  // A failed conversion leaves the value as it was.
  EXPECT_EQ(CodeOf([&] { n.SetAsString("abc"); }), 30051);
  EXPECT_EQ(n.GetAsSmallInt(), 123);
  TABSVariant untyped;
  untyped.SetAsFloat(2.5);
  EXPECT_EQ(untyped.GetType(), bt::kFloat);
  EXPECT_EQ(untyped.GetAsString(), "2.5");
  EXPECT_EQ(untyped.GetAsInteger(), 2);
  TABSVariant wide(bt::kWideChar);
  wide.SetAsString("caf\xE9");
  EXPECT_EQ(wide.GetAsWideChar(), u"caf\u00e9");
  EXPECT_EQ(wide.StringLength(), 4);
  EXPECT_EQ(wide.GetSize(), 10);
}

TEST_F(VariantTest, TypedValuesRoundTrip) {
  TABSVariant v;
  v.SetAsExtended(1.0L / 3);
  EXPECT_EQ(v.GetSize(), 10);
  EXPECT_EQ(v.GetAsExtended(), 1.0L / 3);
  v.Clear();
  v.SetAsDateTime(38868.25);  // 2006-05-31 06:00
  EXPECT_EQ(v.GetType(), bt::kDateTime);
  EXPECT_DOUBLE_EQ(v.GetAsDateTime(), 38868.25);
  EXPECT_EQ(v.GetAsString(), "2006-05-31 06:00:00");
  EXPECT_DOUBLE_EQ(v.GetAsDate(), 38868.0);
  EXPECT_DOUBLE_EQ(v.GetAsTime(), 0.25);
  v.Clear();
  v.SetAsDate(38868.9);
  EXPECT_EQ(v.GetAsString(), "2006-05-31");
  v.Clear();
  v.SetAsLogical(true);
  EXPECT_EQ(LoadRaw<int16_t>(v.GetData()), -1);
  EXPECT_TRUE(v.GetAsLogical());
  v.Clear();
  const std::vector<uint8_t> bytes = {1, 0, 2};
  v.SetAsBlob(bytes);
  EXPECT_EQ(v.GetSize(), 4);
  EXPECT_EQ(v.GetAsBlob(), std::string("\x01\x00\x02", 3));
  v.Clear();
  v.SetAsVarBytes(bytes);
  EXPECT_EQ(v.GetAsBytes(), std::string("\x01\x00\x02", 3));
  v.Clear();
  v.SetAsMemo("memo text");
  EXPECT_EQ(v.GetAsMemo(), "memo text");
  EXPECT_EQ(v.GetAsString(), "memo text");
  v.Clear();
  v.SetAsCardinal(4000000000u);
  EXPECT_EQ(v.GetAsLargeInt(), 4000000000LL);
  EXPECT_EQ(v.GetAsFloat(), 4e9);
}

TEST_F(VariantTest, ConvertToAndCastToOrNull) {
  TABSVariant memo;
  memo.SetAsMemo("lyric");
  EXPECT_EQ(memo.GetSize(), 5);
  memo.ConvertTo(bt::kString);
  EXPECT_EQ(memo.GetType(), bt::kString);
  EXPECT_EQ(memo.GetSize(), 6);
  EXPECT_EQ(memo.GetAsString(), "lyric");
  TABSVariant v = Integer(7);
  v.ConvertTo(bt::kFloat);
  EXPECT_EQ(v.GetType(), bt::kFloat);
  EXPECT_EQ(v.GetAsFloat(), 7.0);
  TABSVariant text;
  text.SetAsString("x1");
  EXPECT_EQ(CodeOf([&] { text.ConvertTo(bt::kInteger); }), 30051);
  EXPECT_EQ(text.GetType(), bt::kString);
  EXPECT_EQ(text.GetAsString(), "x1");
  text.CastToOrNull(bt::kInteger);
  EXPECT_TRUE(text.IsNull());
  EXPECT_EQ(text.GetType(), bt::kInteger);
  TABSVariant nullValue(bt::kString);
  nullValue.ConvertTo(bt::kDate);
  EXPECT_EQ(nullValue.GetType(), bt::kDate);
  EXPECT_TRUE(nullValue.IsNull());
  TABSVariant blob;
  blob.SetAsBlob(std::vector<uint8_t>{1});
  blob.CastToOrNull(bt::kInteger);
  EXPECT_TRUE(blob.IsNull());
}

TEST_F(VariantTest, IntegerArithmeticWrapsAndTruncates) {
  TABSVariant v = Integer(2147483647);
  v.Add(Integer(1));
  EXPECT_EQ(v.GetAsInteger(), -2147483648);
  v = Integer(7);
  v.Divide(Integer(2));
  EXPECT_EQ(v.GetAsInteger(), 3);
  v = Integer(-7);
  v.Divide(Integer(2));
  EXPECT_EQ(v.GetAsInteger(), -3);
  v = Integer(65536);
  v.Multiply(Integer(65536));
  EXPECT_EQ(v.GetAsInteger(), 0);
  TABSVariant small(bt::kSmallInt);
  small.SetAsSmallInt(32767);
  small.Add(Integer(1));  // INTEGER wins: no wrap at 16 bits
  EXPECT_EQ(small.GetType(), bt::kInteger);
  EXPECT_EQ(small.GetAsInteger(), 32768);
  TABSVariant large(bt::kLargeInt);
  large.SetAsLargeInt(INT64_MIN);
  TABSVariant minusOne(bt::kLargeInt);
  minusOne.SetAsLargeInt(-1);
  large.Divide(minusOne);
  EXPECT_EQ(large.GetAsLargeInt(), INT64_MIN);
  TABSVariant f(bt::kFloat);
  f.SetAsFloat(1.0);
  f.Divide(Integer(4));
  EXPECT_EQ(f.GetAsFloat(), 0.25);
  TABSVariant i = Integer(1);
  TABSVariant half(bt::kFloat);
  half.SetAsFloat(0.5);
  i.Add(half);
  EXPECT_EQ(i.GetType(), bt::kFloat);
  EXPECT_EQ(i.GetAsFloat(), 1.5);
}

TEST_F(VariantTest, DivisionErrors) {
  TABSVariant v = Integer(1);
  EXPECT_EQ(MessageOf([&] { v.Divide(Integer(0)); }),
            "Division error: Division by zero - Native error: 30128");
  TABSVariant f(bt::kFloat);
  f.SetAsFloat(1.0);
  TABSVariant zero(bt::kFloat);
  zero.SetAsFloat(0.0);
  EXPECT_EQ(MessageOf([&] { f.Divide(zero); }),
            "Division error: Floating point division by zero - Native error: 30128");
  f.SetAsFloat(0.0);
  EXPECT_EQ(CodeOf([&] { f.Divide(zero); }), 30128);
  f.SetAsFloat(1e308);
  TABSVariant tiny(bt::kFloat);
  tiny.SetAsFloat(1e-308);
  EXPECT_EQ(MessageOf([&] { f.Divide(tiny); }),
            "Division error: Floating point overflow - Native error: 30128");
  TABSVariant text;
  text.SetAsString("a");
  EXPECT_EQ(MessageOf([&] { text.Divide(Integer(1)); }),
            "Not numeric argument in numeric operator '/' - Native error: 30127");
}

TEST_F(VariantTest, NullRulesOfArithmetic) {
  TABSVariant text;
  text.SetAsString("ab");
  text.Add(TABSVariant(bt::kString));
  EXPECT_EQ(text.GetAsString(), "ab");
  TABSVariant five = Integer(5);
  five.Add(TABSVariant(bt::kInteger));
  EXPECT_TRUE(five.IsNull());
  TABSVariant nullText(bt::kString);
  TABSVariant ab;
  ab.SetAsString("ab");
  nullText.Add(ab);
  EXPECT_EQ(nullText.GetAsString(), "ab");
  TABSVariant nullText2(bt::kString);
  nullText2.Add(Integer(12));
  EXPECT_EQ(nullText2.GetType(), bt::kString);
  EXPECT_EQ(nullText2.GetAsString(), "12");
  TABSVariant nullNumber(bt::kInteger);
  nullNumber.Add(Integer(1));
  EXPECT_TRUE(nullNumber.IsNull());
  TABSVariant product = Integer(3);
  product.Multiply(TABSVariant(bt::kInteger));
  EXPECT_TRUE(product.IsNull());
  TABSVariant negated(bt::kInteger);
  negated.Negate();
  EXPECT_TRUE(negated.IsNull());
}

TEST_F(VariantTest, ConcatenationAndTypeErrors) {
  TABSVariant text;
  text.SetAsString("ab");
  text.Add(Integer(5));
  EXPECT_EQ(text.GetAsString(), "ab5");
  TABSVariant wide;
  wide.SetAsWideString(u"\u00e9");
  TABSVariant more;
  more.SetAsString("x");
  wide.Add(more);
  EXPECT_EQ(wide.GetType(), bt::kWideString);
  EXPECT_EQ(wide.GetAsWideString(), u"\u00e9x");
  TABSVariant a;
  a.SetAsString("a");
  EXPECT_EQ(CodeOf([&] { a.Multiply(Integer(2)); }), 30126);
  TABSVariant blob;
  blob.SetAsBlob(std::vector<uint8_t>{1});
  EXPECT_EQ(MessageOf([&] { blob.Add(Integer(1)); }),
            "Not numeric argument in numeric operator '+' - Native error: 30124");
  EXPECT_EQ(MessageOf([&] { a.Negate(); }),
            "Cannot invert value with not numeric type 'STRING' - Native error: 30123");
}

TEST_F(VariantTest, DateTimeArithmeticCarriesMilliseconds) {
  auto pair = [](int32_t day, int32_t ms) {
    TABSDateTimePair p{day, ms};
    TABSVariant v;
    v.SetRaw(&p, 8, bt::kDateTime, TABSCopyMode::Copy);
    return v;
  };
  TABSVariant left = pair(732000, 80000000);
  left.Add(pair(0, 10000000));
  uint8_t out[8];
  ASSERT_TRUE(left.CopyRawTo(out, 8));
  EXPECT_EQ(LoadRaw<int32_t>(out), 732001);
  EXPECT_EQ(LoadRaw<int32_t>(out + 4), 3600000);
  TABSVariant doubled = pair(10, 50000000);
  doubled.Multiply(pair(2, 2));
  ASSERT_TRUE(doubled.CopyRawTo(out, 8));
  EXPECT_EQ(LoadRaw<int32_t>(out), 21);
  EXPECT_EQ(LoadRaw<int32_t>(out + 4), 13600000);
  // A date plus a number of days.
  TABSVariant date;
  date.SetAsDate(38868.0);
  date.Add(Integer(1));
  EXPECT_EQ(date.GetType(), bt::kDate);
  EXPECT_EQ(date.GetAsString(), "2006-06-01");
  EXPECT_EQ(CodeOf([&] { pair(1, 1).Negate(); }), 30123);
}

TEST_F(VariantTest, LogicalOperatorsAreOr) {
  TABSVariant t, f;
  t.SetAsLogical(true);
  f.SetAsLogical(false);
  TABSVariant product = t;
  product.Multiply(f);
  EXPECT_TRUE(product.GetAsLogical());
  TABSVariant sum = f;
  sum.Add(f);
  EXPECT_FALSE(sum.GetAsLogical());
  TABSVariant quotient = f;
  quotient.Divide(t);
  EXPECT_TRUE(quotient.GetAsLogical());
  sum.Negate();
  EXPECT_TRUE(sum.GetAsLogical());
}

TEST_F(VariantTest, NegateByType) {
  TABSVariant shortint(bt::kShortInt);
  shortint.SetAsShortInt(-128);
  shortint.Negate();
  EXPECT_EQ(shortint.GetAsShortInt(), -128);
  TABSVariant smallint(bt::kSmallInt);
  smallint.SetAsSmallInt(-32768);
  smallint.Negate();
  EXPECT_EQ(smallint.GetAsSmallInt(), -32768);
  TABSVariant byte(bt::kByte);
  byte.SetAsByte(5);
  byte.Negate();
  EXPECT_EQ(byte.GetType(), bt::kByte);
  EXPECT_EQ(byte.GetAsByte(), 251);
  TABSVariant word(bt::kWord);
  word.SetAsWord(1);
  word.Negate();
  EXPECT_EQ(word.GetAsWord(), 65535);
  TABSVariant cardinal(bt::kCardinal);
  cardinal.SetAsCardinal(0);
  cardinal.Negate();
  EXPECT_EQ(cardinal.GetAsCardinal(), 0u);
  cardinal.SetAsCardinal(1);
  EXPECT_EQ(MessageOf([&] { cardinal.Negate(); }), "Integer overflow");
  TABSVariant lowest = Integer(INT32_MIN);
  EXPECT_EQ(MessageOf([&] { lowest.Negate(); }), "Integer overflow");
  TABSVariant money(bt::kCurrency);
  money.SetAsCurrency(2.5);
  money.Negate();
  EXPECT_EQ(money.GetAsCurrency(), -2.5);
  TABSVariant ext;
  ext.SetAsExtended(3.0L);
  ext.Negate();
  EXPECT_EQ(ext.GetAsExtended(), -3.0L);
  TABSVariant time(bt::kTime);
  time.SetAsTime(0.5);
  EXPECT_EQ(CodeOf([&] { time.Negate(); }), 30123);
}

TEST_F(VariantTest, CompareNullsAndPrefixes) {
  TABSVariant five = Integer(5);
  TABSVariant null(bt::kInteger);
  EXPECT_EQ(five.Compare(null), 2);
  EXPECT_EQ(five.Compare(null, true), 4);
  EXPECT_EQ(null.Compare(five), 1);
  EXPECT_EQ(null.Compare(five, true), 3);
  EXPECT_EQ(null.Compare(null), 0);
  EXPECT_EQ(null.Compare(null, true), 5);
  EXPECT_EQ(five.Compare(Integer(5)), 0);
  EXPECT_EQ(five.Compare(Integer(6)), 1);
  TABSVariant abc, abd, ab, upper;
  abc.SetAsString("abc");
  abd.SetAsString("abd");
  ab.SetAsString("ab");
  upper.SetAsString("ABC");
  EXPECT_EQ(abc.Compare(abd), 1);
  EXPECT_EQ(abc.Compare(ab, false, false, true), 0);
  EXPECT_EQ(abd.Compare(ab, false, false, true), 0);
  EXPECT_EQ(abc.Compare(ab), 2);
  EXPECT_EQ(abc.Compare(upper, false, true), 0);
  EXPECT_NE(abc.Compare(upper), 0);
  TABSVariant memo;
  memo.SetAsMemo("abc");
  EXPECT_EQ(memo.Compare(abc), 0);
}

}  // namespace
}  // namespace viz
