// Record layout: offsets and sizes of both record forms, conversion between them, the record
// comparison rule and null flags.
#include "engine/tables/record_layout.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/tables/field_defs.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

void AddField(TABSFieldDefs& fields, const char* name, TABSDataType type, int32_t size = 0) {
  TABSFieldDef& field = fields.AddCreated();
  field.SetName(name);
  field.SetDataType(type, size);
}

// STRING(20), BLOB, INTEGER
void MakeMixedTable(TABSFieldDefs& fields) {
  AddField(fields, "S", dt::kString, 20);
  AddField(fields, "B", dt::kBlob);
  AddField(fields, "I", dt::kInteger);
  fields.ComputeOffsets();
}

TEST(RecordLayoutTest, StringBlobIntegerOffsetsAndSizes) {
  TABSFieldDefs fields;
  MakeMixedTable(fields);
  EXPECT_EQ(fields[0].BufferOffset, 1);
  EXPECT_EQ(fields[1].BufferOffset, 22);
  EXPECT_EQ(fields[2].BufferOffset, 32);
  EXPECT_EQ(fields[0].StoredOffset, 1);
  EXPECT_EQ(fields[1].StoredOffset, 22);
  EXPECT_EQ(fields[2].StoredOffset, 28);
  EXPECT_EQ(fields.RecordBufferSize(), 36);
  EXPECT_EQ(fields.StoredRecordSize(), 32);
  EXPECT_TRUE(fields.HasBlobFields());
}

TEST(RecordLayoutTest, NullBitmapGrowsEveryEightFields) {
  TABSFieldDefs fields;
  EXPECT_EQ(fields.NullBitmapSize(), 0);
  EXPECT_EQ(fields.RecordBufferSize(), 0);
  for (int i = 0; i < 8; ++i) AddField(fields, ("F" + std::to_string(i)).c_str(), dt::kByte);
  fields.ComputeOffsets();
  EXPECT_EQ(fields.NullBitmapSize(), 1);
  EXPECT_EQ(fields[0].BufferOffset, 1);
  EXPECT_EQ(fields[7].BufferOffset, 8);
  AddField(fields, "F8", dt::kByte);
  fields.ComputeOffsets();
  EXPECT_EQ(fields.NullBitmapSize(), 2);
  EXPECT_EQ(fields[0].BufferOffset, 2);
  EXPECT_EQ(fields[0].StoredOffset, 2);
  EXPECT_EQ(fields.RecordBufferSize(), 11);
  EXPECT_FALSE(fields.HasBlobFields());
}

TEST(RecordLayoutTest, FieldSizesFollowTheBaseType) {
  TABSFieldDefs fields;
  AddField(fields, "W", dt::kWideString, 10);
  AddField(fields, "M", dt::kWideMemo);
  AddField(fields, "Y", dt::kBytes, 7);
  AddField(fields, "D", dt::kTimeStamp);
  EXPECT_EQ(fields[0].BufferSize(), 22);
  EXPECT_EQ(fields[1].BufferSize(), 10);
  EXPECT_EQ(fields[1].StoredSize(), 6);
  EXPECT_EQ(fields[2].BufferSize(), 7);
  EXPECT_EQ(fields[3].BaseType(), bt::kDateTime);
  EXPECT_EQ(fields[3].BufferSize(), 8);
}

TEST(RecordLayoutTest, DataTypeWithoutBaseTypeIsRefused) {
  TABSFieldDef field;
  field.SetDataType(dt::kInteger);
  for (TABSDataType type : {TABSDataType{0}, TABSDataType{37}, TABSDataType{200}}) {
    try {
      field.SetDataType(type);
      FAIL() << int(type);
    } catch (const EABSException& e) {
      EXPECT_EQ(e.Message(), "Unsupported data type 'Unknown' - Native error: 30007");
    }
  }
  EXPECT_EQ(field.DataType(), dt::kInteger);  // unchanged by the failed calls
}

TEST(RecordLayoutTest, NullFlagsAreBitsLeastSignificantFirst) {
  uint8_t record[2] = {0, 0};
  SetNullFlag(record, 0);
  SetNullFlag(record, 9);
  EXPECT_EQ(record[0], 0x01);
  EXPECT_EQ(record[1], 0x02);
  EXPECT_TRUE(IsNullFlagSet(record, 9));
  EXPECT_FALSE(IsNullFlagSet(record, 8));
  ClearNullFlag(record, 0);
  EXPECT_EQ(record[0], 0x00);
}

TEST(RecordLayoutTest, ConversionKeepsTheStoredBlobReferenceOnly) {
  TABSFieldDefs fields;
  MakeMixedTable(fields);
  std::vector<uint8_t> buffer(36, 0xEE);
  buffer[0] = 0x02;  // B is NULL
  std::memcpy(&buffer[1], "hello", 6);
  for (int i = 0; i < 10; ++i) buffer[22 + i] = static_cast<uint8_t>(i + 1);  // reference + handle
  const int32_t value = 123456;
  std::memcpy(&buffer[32], &value, 4);

  std::vector<uint8_t> stored(32, 0xAA);
  RecordBufferToStoredRecord(fields, buffer.data(), stored.data());
  EXPECT_EQ(stored[0], 0x02);
  EXPECT_EQ(std::memcmp(&stored[1], &buffer[1], 21), 0);
  EXPECT_EQ(std::vector<uint8_t>(stored.begin() + 22, stored.begin() + 28),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(std::memcmp(&stored[28], &value, 4), 0);

  std::vector<uint8_t> back(36, 0xEE);
  StoredRecordToRecordBuffer(fields, stored.data(), back.data());
  EXPECT_EQ(std::vector<uint8_t>(back.begin() + 22, back.begin() + 32),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 0, 0, 0, 0}));  // the handle is zero
  EXPECT_EQ(std::memcmp(&back[32], &value, 4), 0);
  EXPECT_TRUE(RecordBuffersEqual(fields, buffer.data(), back.data()));
}

TEST(RecordLayoutTest, ComparisonStopsWhereBothSidesHoldZero) {
  TABSFieldDefs fields;
  MakeMixedTable(fields);
  std::vector<uint8_t> a(36, 0), b(36, 0);
  std::memcpy(&a[1], "abc\0junk", 8);
  std::memcpy(&b[1], "abc\0other", 9);
  EXPECT_TRUE(RecordBuffersEqual(fields, a.data(), b.data()));  // bytes after the terminator do not count
  b[3] = 'x';
  EXPECT_FALSE(RecordBuffersEqual(fields, a.data(), b.data()));
  b[3] = 'c';
  // Numbers compare all their bytes: 256 and 512 both begin with a zero byte but differ.
  const int32_t v256 = 256, v512 = 512;
  std::memcpy(&a[32], &v256, 4);
  std::memcpy(&b[32], &v512, 4);
  EXPECT_FALSE(RecordBuffersEqual(fields, a.data(), b.data()));
  std::memcpy(&b[32], &v256, 4);
  EXPECT_TRUE(RecordBuffersEqual(fields, a.data(), b.data()));
  // The BLOB handle (last 4 of the 10 bytes) is not compared.
  a[30] = 7;
  EXPECT_TRUE(RecordBuffersEqual(fields, a.data(), b.data()));
  b[0] = 0x04;
  EXPECT_FALSE(RecordBuffersEqual(fields, a.data(), b.data()));
}

TEST(RecordLayoutTest, WideTextEndsAtAZeroUnitNotAZeroByte) {
  TABSFieldDefs fields;
  AddField(fields, "W", dt::kWideString, 4);
  fields.ComputeOffsets();
  std::vector<uint8_t> a(11, 0), b(11, 0);
  const char16_t ab[] = u"AB", ac[] = u"AC";
  std::memcpy(&a[1], ab, 6);
  std::memcpy(&b[1], ac, 6);
  EXPECT_FALSE(RecordBuffersEqual(fields, a.data(), b.data()));  // 41 00 42 00 vs 41 00 43 00
  std::memcpy(&b[1], ab, 6);
  b[9] = 0x55;  // behind the terminator
  EXPECT_TRUE(RecordBuffersEqual(fields, a.data(), b.data()));
}

}  // namespace
}  // namespace viz
