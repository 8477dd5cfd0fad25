#include "engine/types/data_types.h"

#include "engine/types/errors.h"

namespace viz {
namespace {

constexpr const char* kUnknownName = "Unknown";

// The order of the rows is part of the contract: every lookup takes the first matching row.
constexpr TABSTypeNameRow kTypeNames[kTypeNameRowCount] = {
    {"CHAR", dt::kChar, bt::kChar, ft::kFixedChar},
    {"FIXEDCHAR", dt::kChar, bt::kChar, ft::kFixedChar},
    {"STRING", dt::kString, bt::kString, ft::kString},
    {"VARCHAR", dt::kString, bt::kString, ft::kString},
    {"VARCHAR2", dt::kString, bt::kString, ft::kString},
    {"WIDECHAR", dt::kWideChar, bt::kWideChar, ft::kWideString},
    {"FIXEDWIDECHAR", dt::kWideChar, bt::kWideChar, ft::kWideString},
    {"WIDESTRING", dt::kWideString, bt::kWideString, ft::kWideString},
    {"WIDEVARCHAR", dt::kWideString, bt::kWideString, ft::kWideString},
    {"SMALLINT", dt::kSmallInt, bt::kSmallInt, ft::kSmallint},
    {"SIGNEDINT16", dt::kSmallInt, bt::kSmallInt, ft::kSmallint},
    {"SHORTINT", dt::kShortInt, bt::kShortInt, ft::kSmallint},
    {"SIGNEDINT8", dt::kShortInt, bt::kShortInt, ft::kSmallint},
    {"INTEGER", dt::kInteger, bt::kInteger, ft::kInteger},
    {"SIGNEDINT32", dt::kInteger, bt::kInteger, ft::kInteger},
    {"LARGEINT", dt::kLargeInt, bt::kLargeInt, ft::kLargeint},
    {"INT64", dt::kLargeInt, bt::kLargeInt, ft::kLargeint},
    {"SIGNEDINT64", dt::kLargeInt, bt::kLargeInt, ft::kLargeint},
    {"WORD", dt::kWord, bt::kWord, ft::kWord},
    {"UNSIGNEDINT16", dt::kWord, bt::kWord, ft::kWord},
    {"BYTE", dt::kByte, bt::kByte, ft::kWord},
    {"UNSIGNEDINT8", dt::kByte, bt::kByte, ft::kWord},
    {"CARDINAL", dt::kCardinal, bt::kCardinal, ft::kLargeint},
    {"UNSIGNEDINT32", dt::kCardinal, bt::kCardinal, ft::kLargeint},
    {"AUTOINC", dt::kAutoInc, bt::kInteger, ft::kAutoInc},
    {"AUTOINCSHORTINT", dt::kAutoIncShortInt, bt::kShortInt, ft::kAutoInc},
    {"AUTOINCSMALLINT", dt::kAutoIncSmallInt, bt::kSmallInt, ft::kAutoInc},
    {"AUTOINCINTEGER", dt::kAutoIncInteger, bt::kInteger, ft::kAutoInc},
    {"AUTOINCLARGEINT", dt::kAutoIncLargeInt, bt::kLargeInt, ft::kLargeint},
    {"AUTOINCBYTE", dt::kAutoIncByte, bt::kByte, ft::kAutoInc},
    {"AUTOINCWORD", dt::kAutoIncWord, bt::kWord, ft::kAutoInc},
    {"AUTOINCCARDINAL", dt::kAutoIncCardinal, bt::kCardinal, ft::kAutoInc},
    {"FLOAT", dt::kFloat, bt::kFloat, ft::kFloat},
    {"FLOAT", dt::kFloat, bt::kFloat, ft::kBCD},
    {"SINGLE", dt::kSingle, bt::kSingle, ft::kFloat},
    {"DOUBLE", dt::kFloat, bt::kFloat, ft::kFloat},
    {"EXTENDED", dt::kExtended, bt::kExtended, ft::kFloat},
    {"LOGICAL", dt::kLogical, bt::kLogical, ft::kBoolean},
    {"BOOLEAN", dt::kLogical, bt::kLogical, ft::kBoolean},
    {"BOOL", dt::kLogical, bt::kLogical, ft::kBoolean},
    {"BIT", dt::kLogical, bt::kLogical, ft::kBoolean},
    {"CURRENCY", dt::kCurrency, bt::kCurrency, ft::kCurrency},
    {"MONEY", dt::kCurrency, bt::kCurrency, ft::kCurrency},
    {"DATE", dt::kDate, bt::kDate, ft::kDate},
    {"TIME", dt::kTime, bt::kTime, ft::kTime},
    {"DATETIME", dt::kDateTime, bt::kDateTime, ft::kDateTime},
    {"TIMESTAMP", dt::kTimeStamp, bt::kDateTime, ft::kTimeStamp},
    {"BYTES", dt::kBytes, bt::kBytes, ft::kBytes},
    {"VARBYTES", dt::kVarBytes, bt::kVarBytes, ft::kVarBytes},
    {"BLOB", dt::kBlob, bt::kBlob, ft::kBlob},
    {"BLOB", dt::kBlob, bt::kBlob, ft::kParadoxOle},
    {"BLOB", dt::kBlob, bt::kBlob, ft::kTypedBinary},
    {"BLOB", dt::kBlob, bt::kBlob, ft::kDBaseOle},
    {"GRAPHIC", dt::kGraphic, bt::kBlob, ft::kGraphic},
    {"MEMO", dt::kMemo, bt::kMemo, ft::kMemo},
    {"CLOB", dt::kMemo, bt::kMemo, ft::kMemo},
    {"FORMATTEDMEMO", dt::kFormattedMemo, bt::kMemo, ft::kFmtMemo},
    {"WIDEMEMO", dt::kWideMemo, bt::kWideMemo, ft::kBlob},
    {"WIDECLOB", dt::kWideMemo, bt::kWideMemo, ft::kMemo},
    {"GUID", dt::kGuid, bt::kChar, ft::kGuid},
};

template <class Match>
const TABSTypeNameRow* FirstRow(Match match) {
  for (const TABSTypeNameRow& row : kTypeNames) {
    if (match(row)) return &row;
  }
  return nullptr;
}

}  // namespace

const TABSTypeNameRow* TypeNameTable() {
  return kTypeNames;
}

TABSDataType DataTypeByName(std::string_view name) {
  // The table's names are plain ASCII, and no other single-byte letter upper-cases into ASCII, so an
  // ASCII upper-casing gives the same matches as a full one.
  std::string upper(name);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  const TABSTypeNameRow* row = FirstRow([&](const TABSTypeNameRow& r) { return upper == r.name; });
  return row ? row->dataType : dt::kNone;
}

std::string DataTypeName(TABSDataType dataType) {
  const TABSTypeNameRow* row = FirstRow([&](const TABSTypeNameRow& r) { return r.dataType == dataType; });
  return row ? row->name : kUnknownName;
}

std::string BaseTypeName(TABSBaseType baseType) {
  const TABSTypeNameRow* row = FirstRow([&](const TABSTypeNameRow& r) { return r.baseType == baseType; });
  return row ? row->name : kUnknownName;
}

TABSBaseType BaseTypeOf(TABSDataType dataType) {
  const TABSTypeNameRow* row = FirstRow([&](const TABSTypeNameRow& r) { return r.dataType == dataType; });
  return row ? row->baseType : bt::kNone;
}

TABSDataType DataTypeOfBase(TABSBaseType baseType) {
  const TABSTypeNameRow* row = FirstRow([&](const TABSTypeNameRow& r) { return r.baseType == baseType; });
  return row ? row->dataType : dt::kNone;
}

TABSDataType DataTypeOfFrameworkType(TFieldTypeCode fieldType) {
  const TABSTypeNameRow* row = FirstRow([&](const TABSTypeNameRow& r) { return r.fieldType == fieldType; });
  if (!row) throw EABSException(msg::kUnknownFrameworkDataType, std::to_string(fieldType));
  return row->dataType;
}

TFieldTypeCode FrameworkTypeOf(TABSDataType dataType) {
  const TABSTypeNameRow* row = FirstRow([&](const TABSTypeNameRow& r) { return r.dataType == dataType; });
  return row ? row->fieldType : ft::kUnknown;
}

int32_t BaseTypeDataSize(TABSBaseType baseType, int32_t declaredSize) {
  switch (baseType) {
    case bt::kChar:
    case bt::kString:
      return declaredSize + 1;
    case bt::kWideChar:
    case bt::kWideString:
      return 2 * (declaredSize + 1);
    case bt::kShortInt:
    case bt::kByte:
      return 1;
    case bt::kSmallInt:
    case bt::kWord:
    case bt::kLogical:
      return 2;
    case bt::kInteger:
    case bt::kCardinal:
    case bt::kSingle:
    case bt::kDate:
    case bt::kTime:
      return 4;
    case bt::kLargeInt:
    case bt::kFloat:
    case bt::kDateTime:
    case bt::kCurrency:
      return 8;
    case bt::kExtended:
    case bt::kBlob:
    case bt::kMemo:
    case bt::kWideMemo:
      return 10;
    case bt::kBytes:
    case bt::kVarBytes:
      return declaredSize;
    default:
      throw EABSException(msg::kUnknownDataTypeSize, BaseTypeName(baseType));
  }
}

}  // namespace viz
