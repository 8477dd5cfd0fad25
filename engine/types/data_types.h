// The engine's type vocabulary: the data types a column is declared with, the base types in which
// values are stored, the name table that ties them to SQL type names and to the dataset framework's
// field types, and the byte size of each base type in a record buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace viz {

//! The type a column is declared with (0 = none). One byte wide.
using TABSDataType = uint8_t;
//! The storage form of a value in a record buffer (0 = none). One byte wide.
using TABSBaseType = uint8_t;
//! A field-type code of the dataset framework (kept as a plain number).
using TFieldTypeCode = uint8_t;

namespace bt {
inline constexpr TABSBaseType kNone = 0;
inline constexpr TABSBaseType kChar = 1;
inline constexpr TABSBaseType kWideChar = 2;
inline constexpr TABSBaseType kString = 3;
inline constexpr TABSBaseType kWideString = 4;
inline constexpr TABSBaseType kShortInt = 5;
inline constexpr TABSBaseType kSmallInt = 6;
inline constexpr TABSBaseType kInteger = 7;
inline constexpr TABSBaseType kLargeInt = 8;
inline constexpr TABSBaseType kByte = 9;
inline constexpr TABSBaseType kWord = 10;
inline constexpr TABSBaseType kCardinal = 11;
inline constexpr TABSBaseType kSingle = 12;
inline constexpr TABSBaseType kFloat = 13;
inline constexpr TABSBaseType kExtended = 14;
inline constexpr TABSBaseType kDate = 15;
inline constexpr TABSBaseType kTime = 16;
inline constexpr TABSBaseType kDateTime = 17;
inline constexpr TABSBaseType kBlob = 18;
inline constexpr TABSBaseType kMemo = 19;
inline constexpr TABSBaseType kWideMemo = 20;
inline constexpr TABSBaseType kLogical = 21;
inline constexpr TABSBaseType kCurrency = 22;
inline constexpr TABSBaseType kBytes = 23;
inline constexpr TABSBaseType kVarBytes = 24;
inline constexpr TABSBaseType kLast = 24;
}  // namespace bt

namespace dt {
inline constexpr TABSDataType kNone = 0;
inline constexpr TABSDataType kChar = 1;
inline constexpr TABSDataType kString = 2;
inline constexpr TABSDataType kWideChar = 3;
inline constexpr TABSDataType kWideString = 4;
inline constexpr TABSDataType kShortInt = 5;
inline constexpr TABSDataType kSmallInt = 6;
inline constexpr TABSDataType kInteger = 7;
inline constexpr TABSDataType kLargeInt = 8;
inline constexpr TABSDataType kByte = 9;
inline constexpr TABSDataType kWord = 10;
inline constexpr TABSDataType kCardinal = 11;
inline constexpr TABSDataType kAutoInc = 12;
inline constexpr TABSDataType kAutoIncShortInt = 13;
inline constexpr TABSDataType kAutoIncSmallInt = 14;
inline constexpr TABSDataType kAutoIncInteger = 15;
inline constexpr TABSDataType kAutoIncLargeInt = 16;
inline constexpr TABSDataType kAutoIncByte = 17;
inline constexpr TABSDataType kAutoIncWord = 18;
inline constexpr TABSDataType kAutoIncCardinal = 19;
inline constexpr TABSDataType kSingle = 20;
inline constexpr TABSDataType kFloat = 21;
inline constexpr TABSDataType kExtended = 22;
inline constexpr TABSDataType kLogical = 23;
inline constexpr TABSDataType kCurrency = 24;
inline constexpr TABSDataType kDate = 25;
inline constexpr TABSDataType kTime = 26;
inline constexpr TABSDataType kDateTime = 27;
inline constexpr TABSDataType kTimeStamp = 28;
inline constexpr TABSDataType kBytes = 29;
inline constexpr TABSDataType kVarBytes = 30;
inline constexpr TABSDataType kBlob = 31;
inline constexpr TABSDataType kGraphic = 32;
inline constexpr TABSDataType kMemo = 33;
inline constexpr TABSDataType kFormattedMemo = 34;
inline constexpr TABSDataType kWideMemo = 35;
inline constexpr TABSDataType kGuid = 36;
inline constexpr TABSDataType kLast = 36;
}  // namespace dt

//! Field-type codes of the dataset framework that the engine uses.
namespace ft {
inline constexpr TFieldTypeCode kUnknown = 0;
inline constexpr TFieldTypeCode kString = 1;
inline constexpr TFieldTypeCode kSmallint = 2;
inline constexpr TFieldTypeCode kInteger = 3;
inline constexpr TFieldTypeCode kWord = 4;
inline constexpr TFieldTypeCode kBoolean = 5;
inline constexpr TFieldTypeCode kFloat = 6;
inline constexpr TFieldTypeCode kCurrency = 7;
inline constexpr TFieldTypeCode kBCD = 8;
inline constexpr TFieldTypeCode kDate = 9;
inline constexpr TFieldTypeCode kTime = 10;
inline constexpr TFieldTypeCode kDateTime = 11;
inline constexpr TFieldTypeCode kBytes = 12;
inline constexpr TFieldTypeCode kVarBytes = 13;
inline constexpr TFieldTypeCode kAutoInc = 14;
inline constexpr TFieldTypeCode kBlob = 15;
inline constexpr TFieldTypeCode kMemo = 16;
inline constexpr TFieldTypeCode kGraphic = 17;
inline constexpr TFieldTypeCode kFmtMemo = 18;
inline constexpr TFieldTypeCode kParadoxOle = 19;
inline constexpr TFieldTypeCode kDBaseOle = 20;
inline constexpr TFieldTypeCode kTypedBinary = 21;
inline constexpr TFieldTypeCode kCursor = 22;
inline constexpr TFieldTypeCode kFixedChar = 23;
inline constexpr TFieldTypeCode kWideString = 24;
inline constexpr TFieldTypeCode kLargeint = 25;
inline constexpr TFieldTypeCode kADT = 26;
inline constexpr TFieldTypeCode kArray = 27;
inline constexpr TFieldTypeCode kReference = 28;
inline constexpr TFieldTypeCode kDataSet = 29;
inline constexpr TFieldTypeCode kOraBlob = 30;
inline constexpr TFieldTypeCode kOraClob = 31;
inline constexpr TFieldTypeCode kVariant = 32;
inline constexpr TFieldTypeCode kInterface = 33;
inline constexpr TFieldTypeCode kIDispatch = 34;
inline constexpr TFieldTypeCode kGuid = 35;
inline constexpr TFieldTypeCode kTimeStamp = 36;
inline constexpr TFieldTypeCode kFMTBcd = 37;
}  // namespace ft

//! One row of the type-name table.
struct TABSTypeNameRow {
  const char* name;
  TABSDataType dataType;
  TABSBaseType baseType;
  TFieldTypeCode fieldType;
};

//! Number of rows of the type-name table.
inline constexpr int kTypeNameRowCount = 60;
//! Returns the type-name table. Its row order decides every first-match lookup below.
const TABSTypeNameRow* TypeNameTable();

//! Returns the data type of the first row whose name equals the upper-cased name; 0 when none.
TABSDataType DataTypeByName(std::string_view name);
//! Returns the name of the first row with that data type; "Unknown" when none.
std::string DataTypeName(TABSDataType dataType);
//! Returns the name of the first row with that base type; "Unknown" when none.
std::string BaseTypeName(TABSBaseType baseType);
//! Returns the base type of the first row with that data type; 0 when none.
TABSBaseType BaseTypeOf(TABSDataType dataType);
//! Returns the data type of the first row with that base type; 0 when none.
TABSDataType DataTypeOfBase(TABSBaseType baseType);
//! Returns the data type of the first row with that framework field type.
//! Raises 30289 "Unknown DataType" with the code's decimal number when no row has it.
TABSDataType DataTypeOfFrameworkType(TFieldTypeCode fieldType);
//! Returns the framework field type of the first row with that data type; 0 when none.
TFieldTypeCode FrameworkTypeOf(TABSDataType dataType);
//! Returns the bytes a value of the base type takes in a record buffer, given the declared size
//! (characters for strings, bytes for BYTES and VARBYTES). Raises 30050 for an unknown base type.
int32_t BaseTypeDataSize(TABSBaseType baseType, int32_t declaredSize);

// Type classes: plain range tests.
constexpr bool IsBlobBaseType(TABSBaseType t) {
  return t >= bt::kBlob && t <= bt::kWideMemo;
}
constexpr bool IsBlobDataType(TABSDataType t) {
  return t >= dt::kBlob && t <= dt::kWideMemo;
}
constexpr bool IsStringBaseType(TABSBaseType t) {
  return t >= bt::kChar && t <= bt::kWideString;
}
constexpr bool IsWideStringBaseType(TABSBaseType t) {
  return t == bt::kWideChar || t == bt::kWideString;
}
constexpr bool IsStringDataType(TABSDataType t) {
  return (t >= dt::kChar && t <= dt::kWideString) || t == dt::kGuid;
}
constexpr bool IsWideStringDataType(TABSDataType t) {
  return t == dt::kWideChar || t == dt::kWideString;
}
constexpr bool IsByteArrayDataType(TABSDataType t) {
  return t == dt::kBytes || t == dt::kVarBytes;
}
constexpr bool IsStringOrBytesDataType(TABSDataType t) {
  return IsStringDataType(t) || IsByteArrayDataType(t);
}
constexpr bool IsAutoIncDataType(TABSDataType t) {
  return t >= dt::kAutoInc && t <= dt::kAutoIncCardinal;
}
constexpr bool IsNumericBaseType(TABSBaseType t) {
  return (t >= bt::kShortInt && t <= bt::kExtended) || t == bt::kCurrency;
}
constexpr bool IsDateTimeBaseType(TABSBaseType t) {
  return t >= bt::kDate && t <= bt::kDateTime;
}
//! Data types allowed as a CAST target and for join links.
constexpr bool IsCastableDataType(TABSDataType t) {
  return (t >= dt::kChar && t <= dt::kTimeStamp) || (t >= dt::kMemo && t <= dt::kWideMemo);
}

}  // namespace viz
