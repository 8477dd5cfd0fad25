#include "engine/types/data_types.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/types/errors.h"
#include "engine/types/raw_values.h"

namespace viz {
namespace {

struct ExpectedRow {
  const char* name;
  int dataType;
  int baseType;
  int fieldType;
};

// The name table in its row order, with framework field-type codes as numbers.
constexpr ExpectedRow kExpectedRows[] = {
    {"CHAR", 1, 1, 23},
    {"FIXEDCHAR", 1, 1, 23},
    {"STRING", 2, 3, 1},
    {"VARCHAR", 2, 3, 1},
    {"VARCHAR2", 2, 3, 1},
    {"WIDECHAR", 3, 2, 24},
    {"FIXEDWIDECHAR", 3, 2, 24},
    {"WIDESTRING", 4, 4, 24},
    {"WIDEVARCHAR", 4, 4, 24},
    {"SMALLINT", 6, 6, 2},
    {"SIGNEDINT16", 6, 6, 2},
    {"SHORTINT", 5, 5, 2},
    {"SIGNEDINT8", 5, 5, 2},
    {"INTEGER", 7, 7, 3},
    {"SIGNEDINT32", 7, 7, 3},
    {"LARGEINT", 8, 8, 25},
    {"INT64", 8, 8, 25},
    {"SIGNEDINT64", 8, 8, 25},
    {"WORD", 10, 10, 4},
    {"UNSIGNEDINT16", 10, 10, 4},
    {"BYTE", 9, 9, 4},
    {"UNSIGNEDINT8", 9, 9, 4},
    {"CARDINAL", 11, 11, 25},
    {"UNSIGNEDINT32", 11, 11, 25},
    {"AUTOINC", 12, 7, 14},
    {"AUTOINCSHORTINT", 13, 5, 14},
    {"AUTOINCSMALLINT", 14, 6, 14},
    {"AUTOINCINTEGER", 15, 7, 14},
    {"AUTOINCLARGEINT", 16, 8, 25},
    {"AUTOINCBYTE", 17, 9, 14},
    {"AUTOINCWORD", 18, 10, 14},
    {"AUTOINCCARDINAL", 19, 11, 14},
    {"FLOAT", 21, 13, 6},
    {"FLOAT", 21, 13, 8},
    {"SINGLE", 20, 12, 6},
    {"DOUBLE", 21, 13, 6},
    {"EXTENDED", 22, 14, 6},
    {"LOGICAL", 23, 21, 5},
    {"BOOLEAN", 23, 21, 5},
    {"BOOL", 23, 21, 5},
    {"BIT", 23, 21, 5},
    {"CURRENCY", 24, 22, 7},
    {"MONEY", 24, 22, 7},
    {"DATE", 25, 15, 9},
    {"TIME", 26, 16, 10},
    {"DATETIME", 27, 17, 11},
    {"TIMESTAMP", 28, 17, 36},
    {"BYTES", 29, 23, 12},
    {"VARBYTES", 30, 24, 13},
    {"BLOB", 31, 18, 15},
    {"BLOB", 31, 18, 19},
    {"BLOB", 31, 18, 21},
    {"BLOB", 31, 18, 20},
    {"GRAPHIC", 32, 18, 17},
    {"MEMO", 33, 19, 16},
    {"CLOB", 33, 19, 16},
    {"FORMATTEDMEMO", 34, 19, 18},
    {"WIDEMEMO", 35, 20, 15},
    {"WIDECLOB", 35, 20, 16},
    {"GUID", 36, 1, 35},
};
static_assert(sizeof kExpectedRows / sizeof kExpectedRows[0] == 60);

TEST(TypeNameTableTest, HasTheSixtyRowsInOrder) {
  const TABSTypeNameRow* table = TypeNameTable();
  for (int i = 0; i < kTypeNameRowCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_STREQ(table[i].name, kExpectedRows[i].name);
    EXPECT_EQ(table[i].dataType, kExpectedRows[i].dataType);
    EXPECT_EQ(table[i].baseType, kExpectedRows[i].baseType);
    EXPECT_EQ(table[i].fieldType, kExpectedRows[i].fieldType);
  }
}

TEST(TypeLookupTest, DataTypeByNameIsCaseInsensitiveAndFirstMatch) {
  EXPECT_EQ(DataTypeByName("varchar2"), dt::kString);
  EXPECT_EQ(DataTypeByName("Int64"), dt::kLargeInt);
  EXPECT_EQ(DataTypeByName("float"), dt::kFloat);
  EXPECT_EQ(DataTypeByName("bit"), dt::kLogical);
  EXPECT_EQ(DataTypeByName("widememo"), dt::kWideMemo);
  EXPECT_EQ(DataTypeByName("NUMBER"), 0);
  EXPECT_EQ(DataTypeByName(""), 0);
  EXPECT_EQ(DataTypeByName("CHAR "), 0);
}

TEST(TypeLookupTest, NamesOfTypesTakeTheFirstRow) {
  EXPECT_EQ(DataTypeName(dt::kString), "STRING");
  EXPECT_EQ(DataTypeName(dt::kFloat), "FLOAT");
  EXPECT_EQ(DataTypeName(dt::kLogical), "LOGICAL");
  EXPECT_EQ(DataTypeName(dt::kGuid), "GUID");
  EXPECT_EQ(DataTypeName(0), "Unknown");
  EXPECT_EQ(DataTypeName(37), "Unknown");
  // Base type names: SMALLINT precedes SHORTINT, WORD precedes BYTE, FLOAT precedes SINGLE.
  const char* kBaseNames[] = {"CHAR",    "WIDECHAR", "STRING",  "WIDESTRING", "SHORTINT", "SMALLINT",
                              "INTEGER", "LARGEINT", "BYTE",    "WORD",       "CARDINAL", "SINGLE",
                              "FLOAT",   "EXTENDED", "DATE",    "TIME",       "DATETIME", "BLOB",
                              "MEMO",    "WIDEMEMO", "LOGICAL", "CURRENCY",   "BYTES",    "VARBYTES"};
  for (int base = 1; base <= 24; ++base)
    EXPECT_EQ(BaseTypeName(static_cast<TABSBaseType>(base)), kBaseNames[base - 1]);
  EXPECT_EQ(BaseTypeName(0), "Unknown");
  EXPECT_EQ(BaseTypeName(25), "Unknown");
}

TEST(TypeLookupTest, BaseTypeOfAndDataTypeOfBase) {
  const int kBaseOfData[] = {1,  3,  2,  4,  5,  6,  7,  8,  9,  10, 11, 7,  5,  6,  7,  8,  9,  10,
                             11, 12, 13, 14, 21, 22, 15, 16, 17, 17, 23, 24, 18, 18, 19, 19, 20, 1};
  for (int data = 1; data <= 36; ++data)
    EXPECT_EQ(BaseTypeOf(static_cast<TABSDataType>(data)), kBaseOfData[data - 1]) << data;
  EXPECT_EQ(BaseTypeOf(0), 0);
  EXPECT_EQ(BaseTypeOf(40), 0);
  const int kDataOfBase[] = {1,  3,  2,  4,  5,  6,  7,  8,  9,  10, 11, 20,
                             21, 22, 25, 26, 27, 31, 33, 35, 23, 24, 29, 30};
  for (int base = 1; base <= 24; ++base)
    EXPECT_EQ(DataTypeOfBase(static_cast<TABSBaseType>(base)), kDataOfBase[base - 1]) << base;
  EXPECT_EQ(DataTypeOfBase(0), 0);
}

TEST(TypeLookupTest, FrameworkTypesBothWays) {
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kWideString), dt::kWideChar);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kSmallint), dt::kSmallInt);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kBCD), dt::kFloat);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kParadoxOle), dt::kBlob);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kDBaseOle), dt::kBlob);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kTypedBinary), dt::kBlob);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kTimeStamp), dt::kTimeStamp);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kLargeint), dt::kLargeInt);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kAutoInc), dt::kAutoInc);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kBlob), dt::kBlob);
  EXPECT_EQ(DataTypeOfFrameworkType(ft::kMemo), dt::kMemo);
  for (int code : {0, 22, 26, 27, 28, 29, 30, 31, 32, 33, 34, 37}) {
    try {
      DataTypeOfFrameworkType(static_cast<TFieldTypeCode>(code));
      ADD_FAILURE() << code;
    } catch (const EABSException& e) {
      EXPECT_EQ(e.NativeErrorCode(), 30289);
      EXPECT_NE(e.Message().find("Unknown DataType: '" + std::to_string(code) + "'"), std::string::npos);
    }
  }
  EXPECT_EQ(FrameworkTypeOf(dt::kCardinal), ft::kLargeint);
  EXPECT_EQ(FrameworkTypeOf(dt::kAutoIncLargeInt), ft::kLargeint);
  for (TABSDataType t : {dt::kAutoInc, dt::kAutoIncShortInt, dt::kAutoIncSmallInt, dt::kAutoIncInteger,
                         dt::kAutoIncByte, dt::kAutoIncWord, dt::kAutoIncCardinal}) {
    EXPECT_EQ(FrameworkTypeOf(t), ft::kAutoInc);
  }
  EXPECT_EQ(FrameworkTypeOf(dt::kFloat), ft::kFloat);
  EXPECT_EQ(FrameworkTypeOf(dt::kWideMemo), ft::kBlob);
  EXPECT_EQ(FrameworkTypeOf(dt::kByte), ft::kWord);
  EXPECT_EQ(FrameworkTypeOf(0), 0);
}

TEST(TypeLookupTest, BaseTypeDataSize) {
  EXPECT_EQ(BaseTypeDataSize(bt::kString, 20), 21);
  EXPECT_EQ(BaseTypeDataSize(bt::kChar, 0), 1);
  EXPECT_EQ(BaseTypeDataSize(bt::kWideString, 20), 42);
  EXPECT_EQ(BaseTypeDataSize(bt::kWideChar, 3), 8);
  for (TABSBaseType t : {bt::kBlob, bt::kMemo, bt::kWideMemo, bt::kExtended})
    EXPECT_EQ(BaseTypeDataSize(t, 99), 10);
  EXPECT_EQ(BaseTypeDataSize(bt::kLogical, 5), 2);
  EXPECT_EQ(BaseTypeDataSize(bt::kShortInt, 5), 1);
  EXPECT_EQ(BaseTypeDataSize(bt::kCardinal, 5), 4);
  EXPECT_EQ(BaseTypeDataSize(bt::kDateTime, 5), 8);
  EXPECT_EQ(BaseTypeDataSize(bt::kCurrency, 5), 8);
  EXPECT_EQ(BaseTypeDataSize(bt::kBytes, 16), 16);
  EXPECT_EQ(BaseTypeDataSize(bt::kVarBytes, 7), 7);
  try {
    BaseTypeDataSize(0, 1);
    ADD_FAILURE();
  } catch (const EABSException& e) {
    EXPECT_EQ(e.Message(), "Unknown DataType: 'Unknown' - Native error: 30050");
  }
}

TEST(TypeClassTest, RangesOfEachClass) {
  auto members = [](bool (*predicate)(uint8_t), int last) {
    std::string out;
    for (int t = 0; t <= last; ++t) {
      if (predicate(static_cast<uint8_t>(t))) out += std::to_string(t) + " ";
    }
    return out;
  };
  EXPECT_EQ(members([](uint8_t t) { return IsBlobBaseType(t); }, 30), "18 19 20 ");
  EXPECT_EQ(members([](uint8_t t) { return IsBlobDataType(t); }, 40), "31 32 33 34 35 ");
  EXPECT_EQ(members([](uint8_t t) { return IsStringBaseType(t); }, 30), "1 2 3 4 ");
  EXPECT_EQ(members([](uint8_t t) { return IsWideStringBaseType(t); }, 30), "2 4 ");
  EXPECT_EQ(members([](uint8_t t) { return IsStringDataType(t); }, 40), "1 2 3 4 36 ");
  EXPECT_EQ(members([](uint8_t t) { return IsWideStringDataType(t); }, 40), "3 4 ");
  EXPECT_EQ(members([](uint8_t t) { return IsByteArrayDataType(t); }, 40), "29 30 ");
  EXPECT_EQ(members([](uint8_t t) { return IsStringOrBytesDataType(t); }, 40), "1 2 3 4 29 30 36 ");
  EXPECT_EQ(members([](uint8_t t) { return IsAutoIncDataType(t); }, 40), "12 13 14 15 16 17 18 19 ");
  EXPECT_EQ(members([](uint8_t t) { return IsNumericBaseType(t); }, 30), "5 6 7 8 9 10 11 12 13 14 22 ");
  EXPECT_EQ(members([](uint8_t t) { return IsDateTimeBaseType(t); }, 30), "15 16 17 ");
  std::string castable;
  for (int t = 1; t <= 28; ++t) castable += std::to_string(t) + " ";
  EXPECT_EQ(members([](uint8_t t) { return IsCastableDataType(t); }, 40), castable + "33 34 35 ");
}

// Common base type of row t1 and column t2 (1..24) with dates-win true, copied from the type table.
constexpr int kCommon[24][24] = {
    /* 1 */ {1, 2, 3, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 15, 16, 17, 0, 1, 2, 1, 1, 0, 0},
    /* 2 */ {2, 2, 2, 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 15, 16, 17, 0, 2, 2, 2, 2, 0, 0},
    /* 3 */ {3, 2, 3, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 15, 16, 17, 0, 3, 4, 3, 3, 0, 0},
    /* 4 */ {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 15, 16, 17, 0, 4, 4, 4, 4, 0, 0},
    /* 5 */ {1, 2, 3, 4, 5, 6, 7, 8, 6, 10, 11, 12, 13, 14, 15, 16, 17, 0, 0, 0, 5, 22, 0, 0},
    /* 6 */ {1, 2, 3, 4, 6, 6, 7, 8, 6, 10, 11, 12, 13, 14, 15, 16, 17, 0, 0, 0, 6, 22, 0, 0},
    /* 7 */ {1, 2, 3, 4, 7, 7, 7, 8, 7, 7, 8, 12, 13, 14, 15, 16, 17, 0, 0, 0, 7, 22, 0, 0},
    /* 8 */ {1, 2, 3, 4, 8, 8, 8, 8, 8, 8, 8, 12, 13, 14, 15, 16, 17, 0, 0, 0, 8, 22, 0, 0},
    /* 9 */ {1, 2, 3, 4, 6, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 0, 0, 0, 9, 22, 0, 0},
    /* 10 */ {1, 2, 3, 4, 7, 7, 7, 8, 10, 10, 11, 12, 13, 14, 15, 16, 17, 0, 0, 0, 10, 22, 0, 0},
    /* 11 */ {1, 2, 3, 4, 8, 8, 8, 8, 11, 11, 11, 12, 13, 14, 15, 16, 17, 0, 0, 0, 11, 22, 0, 0},
    /* 12 */ {1, 2, 3, 4, 12, 12, 12, 12, 12, 12, 12, 12, 13, 14, 15, 16, 17, 0, 0, 0, 12, 22, 0, 0},
    /* 13 */ {1, 2, 3, 4, 13, 13, 13, 13, 13, 13, 13, 13, 13, 14, 15, 16, 17, 0, 0, 0, 13, 22, 0, 0},
    /* 14 */ {1, 2, 3, 4, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 15, 16, 17, 0, 0, 0, 14, 22, 0, 0},
    /* 15 */ {15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 17, 17, 0, 0, 0, 0, 0, 0, 0},
    /* 16 */ {16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 16, 17, 0, 0, 0, 0, 0, 0, 0},
    /* 17 */ {17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 0, 0, 0, 0, 0, 0, 0},
    /* 18 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* 19 */ {1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0, 0, 0, 0},
    /* 20 */ {2, 2, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0},
    /* 21 */ {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 0, 0, 0, 0, 0, 21, 0, 0, 0},
    /* 22 */ {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0, 0, 0, 0, 0, 0, 0, 22, 0, 0},
    /* 23 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    /* 24 */ {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

TEST(CommonBaseTypeTest, EveryPairOfTheTable) {
  for (int t1 = 1; t1 <= 24; ++t1) {
    for (int t2 = 1; t2 <= 24; ++t2) {
      int withoutDates = kCommon[t1 - 1][t2 - 1];
      // Without dates-win a text meeting a date keeps the text type.
      if (t1 <= 4 && t2 >= 15 && t2 <= 17) withoutDates = t1;
      if (t1 >= 15 && t1 <= 17 && t2 <= 4) withoutDates = t2;
      EXPECT_EQ(CommonBaseType(t1, t2, true), kCommon[t1 - 1][t2 - 1]) << t1 << " x " << t2;
      EXPECT_EQ(CommonBaseType(t1, t2, false), withoutDates) << t1 << " x " << t2;
    }
  }
  for (int t = 0; t <= 26; ++t) {
    EXPECT_EQ(CommonBaseType(0, t, true), 0);
    EXPECT_EQ(CommonBaseType(t, 0, true), 0);
    EXPECT_EQ(CommonBaseType(25, t, true), 0);
  }
}

TEST(CommonDataTypeTest, KeepsAnOperandsDataTypeWhenItsBaseWins) {
  EXPECT_EQ(CommonDataType(dt::kAutoInc, dt::kSmallInt, false), dt::kAutoInc);
  EXPECT_EQ(CommonDataType(dt::kSmallInt, dt::kAutoInc, false), dt::kAutoInc);
  EXPECT_EQ(CommonDataType(dt::kGuid, dt::kInteger, false), dt::kGuid);
  EXPECT_EQ(CommonDataType(dt::kTimeStamp, dt::kString, true), dt::kTimeStamp);
  EXPECT_EQ(CommonDataType(dt::kString, dt::kTimeStamp, false), dt::kString);
  // Neither base wins: the first data type of the result.
  EXPECT_EQ(CommonDataType(dt::kCardinal, dt::kShortInt, false), dt::kLargeInt);
  EXPECT_EQ(CommonDataType(dt::kMemo, dt::kWideMemo, false), dt::kWideChar);
  EXPECT_EQ(CommonDataType(dt::kBlob, dt::kString, false), 0);
  EXPECT_EQ(CommonDataType(0, dt::kString, false), 0);
}

}  // namespace
}  // namespace viz
