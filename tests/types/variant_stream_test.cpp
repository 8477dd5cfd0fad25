#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/storage/memory_manager.h"
#include "engine/types/VIZVariant.h"
#include "engine/types/errors.h"
#include "engine/types/field_access.h"
#include "engine/types/raw_access.h"

namespace viz {
namespace {

// A stream over a byte vector that can refuse writes beyond a limit.
class VectorStream : public TABSStreamBase {
 public:
  explicit VectorStream(std::vector<uint8_t> bytes = {}, int64_t writeLimit = -1)
      : bytes_(std::move(bytes)), writeLimit_(writeLimit) {}

  int32_t Read(void* buffer, int32_t count) override {
    const int64_t available = static_cast<int64_t>(bytes_.size()) - position_;
    const int32_t done = static_cast<int32_t>(count < available ? count : (available > 0 ? available : 0));
    if (done > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(done));
    position_ += done;
    return done;
  }
  int32_t Write(const void* buffer, int32_t count) override {
    int32_t done = count;
    if (writeLimit_ >= 0 && position_ + count > writeLimit_)
      done = static_cast<int32_t>(writeLimit_ - position_);
    if (static_cast<int64_t>(bytes_.size()) < position_ + done)
      bytes_.resize(static_cast<size_t>(position_ + done));
    if (done > 0) std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(done));
    position_ += done;
    return done;
  }
  int64_t GetPosition() const override { return position_; }
  int64_t GetSize() const override { return static_cast<int64_t>(bytes_.size()); }
  void Rewind() { position_ = 0; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int64_t position_ = 0;
  int64_t writeLimit_;
};

int CodeOf(auto&& action) {
  try {
    action();
  } catch (const EABSException& e) {
    return e.NativeErrorCode();
  }
  return 0;
}

TEST(VariantStreamTest, LayoutOfAValueAndOfNull) {
  TABSVariant v(bt::kInteger);
  v.SetAsInteger(0x01020304);
  VectorStream stream;
  v.SaveToStream(stream);
  EXPECT_EQ(stream.bytes(), (std::vector<uint8_t>{7, 0, 4, 0, 0, 0, 4, 3, 2, 1}));
  TABSVariant null(bt::kDate);
  VectorStream nullStream;
  null.SaveToStream(nullStream);
  EXPECT_EQ(nullStream.bytes(), (std::vector<uint8_t>{15, 255}));
}

TEST(VariantStreamTest, RoundTripsEveryKindOfPayload) {
  const int64_t before = MemoryManager().GetMemoryInUse();
  {
    std::vector<TABSVariant> values(5);
    values[0].SetAsString("hello");
    values[1].SetAsWideString(u"w\u00e9");
    values[2].SetAsExtended(1.0L / 7);
    values[3].SetAsBlob(std::vector<uint8_t>{0, 1, 2});
    values[4] = TABSVariant(bt::kTime);
    VectorStream stream;
    for (const TABSVariant& v : values) v.SaveToStream(stream);
    stream.Rewind();
    for (const TABSVariant& expected : values) {
      TABSVariant loaded;
      loaded.SetAsInteger(99);  // loading clears first
      loaded.LoadFromStream(stream);
      EXPECT_EQ(loaded.GetType(), expected.GetType());
      EXPECT_EQ(loaded.IsNull(), expected.IsNull());
      EXPECT_EQ(loaded.GetSize(), expected.GetSize());
      if (!expected.IsNull()) {
        EXPECT_EQ(std::memcmp(loaded.GetData(), expected.GetData(), static_cast<size_t>(expected.GetSize())),
                  0);
        EXPECT_FALSE(loaded.IsBorrowed());
      }
    }
  }
  EXPECT_EQ(MemoryManager().GetMemoryInUse(), before);
}

TEST(VariantStreamTest, ShortReadsRaiseTheirCodeAndLeaveTheValueCleared) {
  const std::vector<uint8_t> full = {3, 0, 4, 0, 0, 0, 'a', 'b', 'c', 0};
  const int expected[] = {10183, 10184, 10185, 10185, 10185, 10185, 10186, 10186, 10186, 10186};
  for (size_t length = 0; length < full.size(); ++length) {
    VectorStream stream(std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(length)));
    TABSVariant v;
    v.SetAsInteger(5);
    EXPECT_EQ(CodeOf([&] { v.LoadFromStream(stream); }), expected[length]) << length;
    EXPECT_TRUE(v.IsNull());
  }
  try {
    VectorStream stream(std::vector<uint8_t>{3, 0, 4, 0, 0});
    TABSVariant v;
    v.LoadFromStream(stream);
    FAIL() << "a short read must raise";
  } catch (const EABSException& e) {
    // The position is the one before the failed transfer.
    EXPECT_EQ(
        e.Message(),
        "Cannot read from stream. Position = 2, Stream size = 5, Block size = 4, Bytes Read = 3 - Native "
        "error: 10185");
  }
}

TEST(VariantStreamTest, CorruptSizesAllocateNothing) {
  const int64_t before = MemoryManager().GetMemoryInUse();
  for (uint32_t size : {0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u}) {
    std::vector<uint8_t> bytes = {13, 0, 0, 0, 0, 0, 1, 2};
    StoreRaw(bytes.data() + 2, size);
    VectorStream stream(bytes);
    TABSVariant v;
    EXPECT_EQ(CodeOf([&] { v.LoadFromStream(stream); }), 10186);
    EXPECT_TRUE(v.IsNull());
  }
  EXPECT_EQ(MemoryManager().GetMemoryInUse(), before);
}

TEST(VariantStreamTest, ShortWritesRaiseTheirCode) {
  TABSVariant v;
  v.SetAsString("abc");
  const int expected[] = {10179, 10180, 10181, 10181, 10181, 10181, 10182};
  for (int limit = 0; limit < 7; ++limit) {
    VectorStream stream({}, limit);
    EXPECT_EQ(CodeOf([&] { v.SaveToStream(stream); }), expected[limit]) << limit;
  }
}

// Record: null bitmap (1 byte), SHORTINT @1, CARDINAL @2, SINGLE @6, EXTENDED @10, STRING(3) @20,
// WIDESTRING(2) @24, GUID(38) @30, BLOB @69, FLOAT @79.
std::vector<TABSFieldLayout> Layout() {
  return {{dt::kShortInt, bt::kShortInt, 1, 1}, {dt::kCardinal, bt::kCardinal, 2, 4},
          {dt::kSingle, bt::kSingle, 6, 4},     {dt::kExtended, bt::kExtended, 10, 10},
          {dt::kString, bt::kString, 20, 4},    {dt::kWideString, bt::kWideString, 24, 6},
          {dt::kGuid, bt::kChar, 30, 39},       {dt::kBlob, bt::kBlob, 69, 10},
          {dt::kFloat, bt::kFloat, 79, 8}};
}

TEST(FieldAccessTest, WidensAndNarrowsTheFourSpecialTypes) {
  const std::vector<TABSFieldLayout> fields = Layout();
  std::vector<uint8_t> record(87 + 1, 0xEE);
  record[0] = 0xFF;
  record[1] = 0x01;
  const int16_t shortValue = -3;
  WriteFieldValue(0, fields, &shortValue, record.data());
  EXPECT_EQ(static_cast<int8_t>(record[1]), -3);
  EXPECT_EQ(record[2], 0xEE);  // nothing beyond the one byte
  int16_t shortOut = 0;
  EXPECT_TRUE(ReadFieldValue(0, fields, &shortOut, record.data()));
  EXPECT_EQ(shortOut, -3);

  const int64_t cardinal = 0x1FFFFFFFFLL;
  WriteFieldValue(1, fields, &cardinal, record.data());
  int64_t cardinalOut = -1;
  ReadFieldValue(1, fields, &cardinalOut, record.data());
  EXPECT_EQ(cardinalOut, 0xFFFFFFFFLL);

  const double single = 1.5, extended = -2.25;
  WriteFieldValue(2, fields, &single, record.data());
  WriteFieldValue(3, fields, &extended, record.data());
  double out = 0;
  ReadFieldValue(2, fields, &out, record.data());
  EXPECT_EQ(out, 1.5);
  ReadFieldValue(3, fields, &out, record.data());
  EXPECT_EQ(out, -2.25);
  EXPECT_EQ(LoadRaw<float>(record.data() + 6), 1.5f);

  WriteFieldValue(8, fields, &single, record.data());
  ReadFieldValue(8, fields, &out, record.data());
  EXPECT_EQ(out, 1.5);
  EXPECT_EQ(record[0] & 0x0F, 0);  // null bits of the written fields cleared
}

TEST(FieldAccessTest, NullsAndEmptyStrings) {
  const std::vector<TABSFieldLayout> fields = Layout();
  std::vector<uint8_t> record(88, 0);
  record[22] = 'Z';
  WriteFieldValue(4, fields, "ab", record.data());  // shorter than the field: the rest is zeroed
  EXPECT_FALSE(GetFieldNullBit(record.data(), 4));
  EXPECT_EQ(record[22], 0);
  WriteFieldValue(5, fields, u"xy", record.data());
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(record.data() + 24), 2), u"xy");
  EXPECT_EQ(record[28], 0);
  char text[4] = {};
  EXPECT_TRUE(ReadFieldValue(4, fields, text, record.data()));
  EXPECT_STREQ(text, "ab");
  WriteFieldValue(4, fields, "", record.data());
  EXPECT_TRUE(GetFieldNullBit(record.data(), 4));
  char unchanged[4] = "xyz";
  EXPECT_FALSE(ReadFieldValue(4, fields, unchanged, record.data()));
  EXPECT_STREQ(unchanged, "xyz");
  WriteFieldValue(5, fields, u"", record.data());
  EXPECT_TRUE(GetFieldNullBit(record.data(), 5));
  WriteFieldValue(6, fields, "", record.data());
  EXPECT_TRUE(GetFieldNullBit(record.data(), 6));
  WriteFieldValue(8, fields, nullptr, record.data());
  EXPECT_TRUE(GetFieldNullBit(record.data(), 8));
  // A BLOB field answers without copying, and an absent destination only asks for non-NULL.
  SetFieldNullBit(record.data(), 7, false);
  uint8_t blob[10] = {1};
  EXPECT_TRUE(ReadFieldValue(7, fields, blob, record.data()));
  EXPECT_EQ(blob[0], 1);
  SetFieldNullBit(record.data(), 1, false);
  EXPECT_TRUE(ReadFieldValue(1, fields, nullptr, record.data()));
}

TEST(FieldAccessTest, Errors) {
  const std::vector<TABSFieldLayout> fields = Layout();
  std::vector<uint8_t> record(88, 0);
  int64_t out;
  try {
    ReadFieldValue(9, fields, &out, record.data());
    ADD_FAILURE();
  } catch (const EABSException& e) {
    EXPECT_EQ(e.Message(), "Invalid field number - FieldNo = 9, FieldCount = 9 - Native error: 10000");
  }
  EXPECT_EQ(CodeOf([&] { WriteFieldValue(-1, fields, &out, record.data()); }), 10004);
  EXPECT_EQ(CodeOf([&] { ReadFieldValue(0, fields, &out, nullptr); }), 10003);
  EXPECT_EQ(CodeOf([&] { ReadFieldValue(8, fields, &out, record.data(), 80); }), 10002);
}

TEST(FieldAccessTest, VariantsReadAndWriteRecordFields) {
  const int64_t before = MemoryManager().GetMemoryInUse();
  {
    const TABSFieldLayout number{dt::kInteger, bt::kInteger, 1, 4};
    const TABSFieldLayout text{dt::kString, bt::kString, 5, 4};
    std::vector<uint8_t> record(9, 0);
    StoreRaw<int32_t>(record.data() + 1, 42);
    TABSVariant v(bt::kInteger);
    v.ReadFromRecord(record.data(), 0, number, TABSCopyMode::Borrow);
    EXPECT_TRUE(v.IsBorrowed());
    EXPECT_EQ(v.GetData(), record.data() + 1);
    EXPECT_EQ(v.GetAsInteger(), 42);
    // The integer goes into the text field as text.
    v.WriteToRecord(record.data(), 1, text);
    EXPECT_EQ(v.GetType(), bt::kString);
    EXPECT_FALSE(GetFieldNullBit(record.data(), 1));
    EXPECT_STREQ(reinterpret_cast<const char*>(record.data() + 5), "42");
    EXPECT_EQ(LoadRaw<int32_t>(record.data() + 1), 42);
    TABSVariant longText;
    longText.SetAsString("abcd");
    EXPECT_EQ(CodeOf([&] { longText.WriteToRecord(record.data(), 1, text); }), 20056);
    TABSVariant null(bt::kInteger);
    null.WriteToRecord(record.data(), 0, number);
    EXPECT_TRUE(GetFieldNullBit(record.data(), 0));
    v.ReadFromRecord(record.data(), 0, number);
    EXPECT_TRUE(v.IsNull());
    v.ReadFromRecord(record.data(), 1, text);
    EXPECT_FALSE(v.IsBorrowed());
    EXPECT_EQ(v.GetAsInteger(), 42);
  }
  EXPECT_EQ(MemoryManager().GetMemoryInUse(), before);
}

}  // namespace
}  // namespace viz
