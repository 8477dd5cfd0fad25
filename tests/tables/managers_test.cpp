// The field manager: automatic counters, session-remembered values, automatic values and defaults in
// record buffers, and the counters' stored form.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/tables/VIZBaseEngine.h"
#include "engine/types/errors.h"
#include "test_backend.h"

namespace viz {
namespace {

using testing::ContentOf;
using testing::Hex;
using testing::StreamOf;
using testing::MessageOf;

class FieldManagerTest : public ::testing::Test {
 protected:
  // Fields: 0 Id AUTOINC, 1 Name STRING(10), 2 Small AUTOINCSMALLINT, 3 Plain INTEGER
  void SetUp() override {
    TABSFieldDefs& fields = manager_.FieldDefs();
    Add(fields, "Id", dt::kAutoInc).ObjectID = 11;
    Add(fields, "Name", dt::kString, 10).ObjectID = 12;
    Add(fields, "Small", dt::kAutoIncSmallInt).ObjectID = 13;
    Add(fields, "Plain", dt::kInteger).ObjectID = 14;
    fields.ComputeOffsets();
    manager_.ResetAutoincs();
  }
  static TABSFieldDef& Add(TABSFieldDefs& fields, const char* name, TABSDataType type, int32_t size = 0) {
    TABSFieldDef& field = fields.AddCreated();
    field.SetName(name);
    field.SetDataType(type, size);
    return field;
  }
  TABSFieldDef& Field(int32_t i) { return manager_.FieldDefs()[i]; }
  std::vector<int64_t> NextValues(int32_t field, int count) {
    std::vector<int64_t> values;
    for (int i = 0; i < count; ++i) values.push_back(manager_.GetNextAutoincValue(field));
    return values;
  }
  // A new record: every field NULL.
  std::vector<uint8_t> NewRecord() {
    std::vector<uint8_t> record(static_cast<size_t>(manager_.FieldDefs().RecordBufferSize()), 0);
    record[0] = 0x0F;
    return record;
  }
  int32_t ReadInt32(const std::vector<uint8_t>& record, int32_t field) {
    int32_t value;
    std::memcpy(&value, &record[Field(field).BufferOffset], 4);
    return value;
  }

  TABSBaseFieldManager manager_{nullptr};
  TABSBaseSession session_;
};

TEST_F(FieldManagerTest, CountersStartAtTheInitialValueOfAutoincFieldsOnly) {
  Field(0).InitialValue = 100;
  Field(3).InitialValue = 50;  // not an autoincrement type: ignored
  manager_.ResetAutoincs();
  EXPECT_EQ(manager_.AutoincValue(0), 100);
  EXPECT_EQ(manager_.AutoincValue(3), 0);
  EXPECT_EQ(manager_.GetNextAutoincValue(0), 101);
}

TEST_F(FieldManagerTest, IncrementOfFiveAndZeroTreatedAsOne) {
  Field(0).Increment = 5;
  EXPECT_EQ(NextValues(0, 3), (std::vector<int64_t>{5, 10, 15}));
  Field(2).Increment = 0;
  EXPECT_EQ(NextValues(2, 2), (std::vector<int64_t>{1, 2}));
  Field(2).Increment = -2;
  EXPECT_EQ(NextValues(2, 2), (std::vector<int64_t>{0, -2}));
}

TEST_F(FieldManagerTest, CyclingRestartsAtTheMinimum) {
  Field(0).MaxValue = 3;
  Field(0).MinValue = 1;
  Field(0).Cycled = true;
  EXPECT_EQ(NextValues(0, 5), (std::vector<int64_t>{1, 2, 3, 1, 2}));
}

TEST_F(FieldManagerTest, PassingTheMaximumWithoutCyclingFails) {
  Field(0).MaxValue = 3;
  Field(0).MinValue = 1;
  EXPECT_EQ(NextValues(0, 3), (std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(MessageOf([&] { manager_.GetNextAutoincValue(0); }),
            "Autoinc max value exceeded for field 'Id' - Native error: 20160");
  // A maximum of 0 means none.
  Field(2).MaxValue = 0;
  manager_.SetAutoincValue(2, std::numeric_limits<int64_t>::max() - 1);
  EXPECT_EQ(manager_.GetNextAutoincValue(2), std::numeric_limits<int64_t>::max());
}

TEST_F(FieldManagerTest, UnknownFieldOrCounter) {
  EXPECT_EQ(MessageOf([&] { manager_.GetNextAutoincValue(4); }), "Field #4 not found - Native error: 30402");
  // Counters loaded for fewer fields than the table has.
  auto stream = StreamOf(Hex("01000000 0700000000000000"));
  manager_.LoadAutoincsFromStream(*stream);
  EXPECT_EQ(manager_.GetNextAutoincValue(0), 8);
  EXPECT_EQ(MessageOf([&] { manager_.GetNextAutoincValue(2); }), "Field #2 not found - Native error: 30403");
}

TEST_F(FieldManagerTest, CountersStoredForm) {
  manager_.SetAutoincValue(0, 5);
  manager_.SetAutoincValue(2, -1);
  TABSMemoryStream stream;
  manager_.SaveAutoincsToStream(stream);
  EXPECT_EQ(ContentOf(stream), Hex("04000000 0500000000000000 0000000000000000"
                                   "FFFFFFFFFFFFFFFF 0000000000000000"));
  TABSBaseFieldManager other(nullptr);
  stream.SetPosition(0);
  other.LoadAutoincsFromStream(stream);
  EXPECT_EQ(other.AutoincCount(), 4);
  EXPECT_EQ(other.AutoincValue(2), -1);
  auto truncated = StreamOf(Hex("02000000 0100000000000000 01"));
  try {
    other.LoadAutoincsFromStream(*truncated);
    FAIL();
  } catch (const EABSException& e) {
    EXPECT_EQ(e.NativeErrorCode(), 10163);
  }
  EXPECT_EQ(other.AutoincValue(2), -1);  // a failed load keeps the counters
}

TEST_F(FieldManagerTest, SessionRemembersTheLatestValuePerField) {
  EXPECT_EQ(MessageOf([&] { manager_.GetLastAutoincValue(&session_, 0); }),
            "No SequenceLastValue in session for sequence 'Id'. Call GetNextVal first - Native error: 30012");
  manager_.GetNextAutoincValueForSession(&session_, 0);
  manager_.GetNextAutoincValueForSession(&session_, 0);
  manager_.GetNextAutoincValueForSession(&session_, 2);
  EXPECT_EQ(manager_.GetLastAutoincValue(&session_, 0), 2);
  EXPECT_EQ(manager_.GetLastAutoincValue(&session_, 2), 1);
  EXPECT_EQ(session_.NamedObjects().Count(), 2);  // one per ObjectID, the latest replacing the earlier
  TABSBaseSession other;
  EXPECT_THROW(manager_.GetLastAutoincValue(&other, 0), EABSException);
}

TEST_F(FieldManagerTest, AutomaticValuesFillNullFieldsAndFollowExplicitOnes) {
  Field(0).Increment = 5;
  std::vector<uint8_t> record = NewRecord();
  manager_.ApplyAutoincs(&session_, record.data());
  EXPECT_EQ(ReadInt32(record, 0), 5);
  EXPECT_FALSE(IsNullFlagSet(record.data(), 0));
  EXPECT_FALSE(IsNullFlagSet(record.data(), 2));
  EXPECT_TRUE(IsNullFlagSet(record.data(), 3));  // not an autoincrement field

  // An explicit 100 moves the counter; the next automatic value is 105.
  record = NewRecord();
  const int32_t explicitValue = 100;
  std::memcpy(&record[Field(0).BufferOffset], &explicitValue, 4);
  ClearNullFlag(record.data(), 0);
  manager_.ApplyAutoincs(&session_, record.data());
  EXPECT_EQ(ReadInt32(record, 0), 100);
  EXPECT_EQ(manager_.GetLastAutoincValue(&session_, 0), 100);
  record = NewRecord();
  manager_.ApplyAutoincs(&session_, record.data());
  EXPECT_EQ(ReadInt32(record, 0), 105);

  // A smaller explicit value leaves the counter alone.
  record = NewRecord();
  const int32_t small = 7;
  std::memcpy(&record[Field(0).BufferOffset], &small, 4);
  ClearNullFlag(record.data(), 0);
  manager_.ApplyAutoincs(&session_, record.data());
  EXPECT_EQ(manager_.AutoincValue(0), 105);
}

TEST_F(FieldManagerTest, ExplicitNegativeValueDoesNotPushTheCounterOutOfRange) {
  std::vector<uint8_t> record = NewRecord();
  const int16_t negative = -1;
  std::memcpy(&record[Field(2).BufferOffset], &negative, 2);
  ClearNullFlag(record.data(), 2);
  manager_.ApplyAutoincs(&session_, record.data());
  EXPECT_EQ(manager_.AutoincValue(2), 0);
  record = NewRecord();
  manager_.ApplyAutoincs(&session_, record.data());
  int16_t next;
  std::memcpy(&next, &record[Field(2).BufferOffset], 2);
  EXPECT_EQ(next, 1);
}

TEST_F(FieldManagerTest, DefaultsAreConvertedIntoTheFieldType) {
  Field(1).DefaultValue = TABSVariant(bt::kString);
  Field(1).DefaultValue.SetAsString("none");
  Field(3).DefaultValue = TABSVariant(bt::kString);
  Field(3).DefaultValue.SetAsString("42");
  std::vector<uint8_t> record = NewRecord();
  manager_.ApplyDefaults(record.data());
  EXPECT_STREQ(reinterpret_cast<const char*>(&record[Field(1).BufferOffset]), "none");
  EXPECT_EQ(ReadInt32(record, 3), 42);
  EXPECT_EQ(record[0], 0x05);  // Name and Plain have values now
  // The field's own default stays as it was.
  EXPECT_EQ(Field(3).DefaultValue.GetType(), bt::kString);
}

TEST_F(FieldManagerTest, BlobFieldsTakeNoDefaultIntoTheirReference) {
  Add(manager_.FieldDefs(), "Memo", dt::kMemo).DefaultValue.SetAsMemo("abc");
  manager_.FieldDefs().ComputeOffsets();
  std::vector<uint8_t> record(static_cast<size_t>(manager_.FieldDefs().RecordBufferSize()), 0);
  record[0] = 0x1F;
  manager_.ApplyDefaults(record.data());
  EXPECT_TRUE(IsNullFlagSet(record.data(), 4));
  EXPECT_EQ(std::vector<uint8_t>(record.end() - 10, record.end()), std::vector<uint8_t>(10, 0));
}

TEST_F(FieldManagerTest, DefaultLongerThanTheFieldIsRefused) {
  Field(1).DefaultValue = TABSVariant(bt::kString);
  Field(1).DefaultValue.SetAsString("far too long for ten");
  std::vector<uint8_t> record = NewRecord();
  record.push_back(0x77);  // guard byte behind the record
  EXPECT_EQ(MessageOf([&] { manager_.ApplyDefaults(record.data()); }),
            "Buffer size exceeded - Native error: 20056");
  EXPECT_EQ(record.back(), 0x77);
}

TEST(SessionNamedObjectsTest, NamedAndNumberedObjectsReplaceTheirOwnKind) {
  TABSSessionNamedObjects objects;
  objects.Add(std::make_unique<TABSSessionNamedObject>(-1, "Alpha"));
  objects.Add(std::make_unique<TABSSessionNamedObjectSequenceValue>(7, 1));
  objects.Add(std::make_unique<TABSSessionNamedObject>(-1, "ALPHA"));
  objects.Add(std::make_unique<TABSSessionNamedObjectSequenceValue>(7, 2));
  EXPECT_EQ(objects.Count(), 2);
  EXPECT_EQ(objects.FindByName("alpha")->Name(), "ALPHA");
  EXPECT_EQ(static_cast<TABSSessionNamedObjectSequenceValue*>(objects.FindByNumber(7))->Value(), 2);
  EXPECT_EQ(objects.FindByNumber(8), nullptr);
  EXPECT_EQ(objects.FindByName("beta"), nullptr);
}

}  // namespace
}  // namespace viz
