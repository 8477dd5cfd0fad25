#include "framework/data/field_types.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/platform/text.h"
#include "framework/data/blob_field.h"
#include "framework/data/exceptions.h"
#include "framework/data/messages.h"
#include "framework/data/text_values.h"

namespace viz {
namespace {

template <typename T>
T ReadNative(const TField& field, bool& hasValue) {
  T value{};
  hasValue = field.GetData(&value);
  return value;
}

}  // namespace

// ---- TStringField

std::string TStringField::GetAsString() const {
  // Most string fields fit the buffer on the stack: no allocation beyond the result's.
  constexpr size_t kStackBytes = 256;
  const size_t bytes = static_cast<size_t>(DataSize()) + 1;
  char stack[kStackBytes];
  std::vector<char> heap;
  char* buffer = stack;
  if (bytes > kStackBytes) {
    heap.resize(bytes);
    buffer = heap.data();
  }
  std::memset(buffer, 0, bytes);
  if (!GetData(buffer)) return {};
  return std::string(buffer, strnlen(buffer, static_cast<size_t>(Size())));
}

void TStringField::SetAsStringValue(const std::string& value) {
  SetTextData(value.data(), value.size());
}

int64_t TStringField::GetAsLargeInt() const {
  std::string text = GetAsString();
  if (text.empty()) return 0;
  auto value = TextToInteger(text);
  if (!value) InvalidValue(fmsg::kInvalidIntegerValue, text);
  return *value;
}

void TStringField::SetAsLargeIntValue(int64_t value) {
  SetAsStringValue(std::to_string(value));
}

double TStringField::GetAsFloat() const {
  std::string text = GetAsString();
  if (text.empty()) return 0;
  auto value = TextToFloat(text);
  if (!value) InvalidValue(fmsg::kInvalidFloatValue, text);
  return *value;
}

void TStringField::SetAsFloatValue(double value) {
  SetAsStringValue(ShortFloatText(value));
}

bool TStringField::GetAsBoolean() const {
  std::string text = GetAsString();
  if (text.empty()) return false;
  auto value = TextToBoolean(text);
  if (!value) InvalidValue(fmsg::kInvalidBoolValue, text);
  return *value;
}

void TStringField::SetAsBooleanValue(bool value) {
  SetAsStringValue(value ? "True" : "False");
}

TDateTime TStringField::GetAsDateTime() const {
  std::string text = GetAsString();
  if (text.empty()) return 0;
  auto value = TextToDateTime(text);
  if (!value) InvalidValue(fmsg::kInvalidDateTimeValue, text);
  return *value;
}

void TStringField::SetAsDateTimeValue(TDateTime value) {
  SetAsStringValue(DateTimeToText(value));
}

Variant TStringField::GetAsVariant() const {
  return Variant::FromString(GetAsString());
}

// ---- TWideStringField

std::u16string TWideStringField::GetAsWideString() const {
  std::vector<char16_t> buffer(Size() + 2, u'\0');
  if (!GetData(buffer.data())) return {};
  size_t length = 0;
  while (length < static_cast<size_t>(Size()) && buffer[length] != u'\0') ++length;
  return std::u16string(buffer.data(), length);
}

void TWideStringField::SetAsWideStringValue(const std::u16string& value) {
  SetTextData(value.data(), value.size());
}

std::string TWideStringField::GetAsString() const {
  return platform::Utf16ToWin1252(GetAsWideString());
}

void TWideStringField::SetAsStringValue(const std::string& value) {
  SetAsWideStringValue(platform::Win1252ToUtf16(value));
}

Variant TWideStringField::GetAsVariant() const {
  return Variant::FromWideString(GetAsWideString());
}

// ---- TIntegerField

int TIntegerField::DataSize() const {
  switch (DataType()) {
    case ftSmallint:
    case ftWord:
      return 2;
    case ftLargeint:
      return 8;
    default:
      return 4;
  }
}

int64_t TIntegerField::MinValue() const {
  switch (DataType()) {
    case ftSmallint:
      return std::numeric_limits<int16_t>::min();
    case ftWord:
      return 0;
    case ftLargeint:
      return std::numeric_limits<int64_t>::min();
    default:
      return std::numeric_limits<int32_t>::min();
  }
}

int64_t TIntegerField::MaxValue() const {
  switch (DataType()) {
    case ftSmallint:
      return std::numeric_limits<int16_t>::max();
    case ftWord:
      return std::numeric_limits<uint16_t>::max();
    case ftLargeint:
      return std::numeric_limits<int64_t>::max();
    default:
      return std::numeric_limits<int32_t>::max();
  }
}

int64_t TIntegerField::GetAsLargeInt() const {
  bool hasValue;
  switch (DataType()) {
    case ftSmallint:
      return ReadNative<int16_t>(*this, hasValue);
    case ftWord:
      return ReadNative<uint16_t>(*this, hasValue);
    case ftLargeint:
      return ReadNative<int64_t>(*this, hasValue);
    default:
      return ReadNative<int32_t>(*this, hasValue);
  }
}

void TIntegerField::SetAsLargeIntValue(int64_t value) {
  if (value < MinValue() || value > MaxValue()) {
    DatabaseErrorFmt(
        fmsg::kFieldRangeError,
        {std::to_string(value), DisplayName(), std::to_string(MinValue()), std::to_string(MaxValue())},
        OwnerName());
  }
  int16_t small = static_cast<int16_t>(value);
  uint16_t word = static_cast<uint16_t>(value);
  int32_t integer = static_cast<int32_t>(value);
  switch (DataType()) {
    case ftSmallint:
      return SetData(&small);
    case ftWord:
      return SetData(&word);
    case ftLargeint:
      return SetData(&value);
    default:
      return SetData(&integer);
  }
}

std::string TIntegerField::GetAsString() const {
  return IsNull() ? std::string() : std::to_string(GetAsLargeInt());
}

void TIntegerField::SetAsStringValue(const std::string& value) {
  if (TrimBlanks(value).empty()) return Clear();
  auto number = TextToInteger(value);
  if (!number) InvalidValue(fmsg::kInvalidIntegerValue, value);
  SetAsLargeIntValue(*number);
}

double TIntegerField::GetAsFloat() const {
  return static_cast<double>(GetAsLargeInt());
}

void TIntegerField::SetAsFloatValue(double value) {
  double rounded = std::nearbyint(value);
  if (!(rounded >= -9.2233720368547758e18 && rounded < 9.2233720368547758e18)) {
    DatabaseErrorFmt(
        fmsg::kFieldRangeError,
        {ShortFloatText(value), DisplayName(), std::to_string(MinValue()), std::to_string(MaxValue())},
        OwnerName());
  }
  SetAsLargeIntValue(static_cast<int64_t>(rounded));
}

Variant TIntegerField::GetAsVariant() const {
  int64_t value = GetAsLargeInt();
  switch (DataType()) {
    case ftSmallint:
      return Variant::FromSmallint(static_cast<int16_t>(value));
    case ftLargeint:
      return Variant::FromInt64(value);
    default:
      return Variant::FromInteger(static_cast<int32_t>(value));
  }
}

int TIntegerField::DefaultDisplayWidth() const {
  return DataType() == ftLargeint ? 15 : DataType() == ftSmallint || DataType() == ftWord ? 6 : 10;
}

// ---- TFloatField

double TFloatField::GetAsFloat() const {
  bool hasValue;
  return ReadNative<double>(*this, hasValue);
}

void TFloatField::SetAsFloatValue(double value) {
  SetData(&value);
}

std::string TFloatField::GetAsString() const {
  bool hasValue;
  double value = ReadNative<double>(*this, hasValue);
  return hasValue ? ShortFloatText(value) : std::string();
}

void TFloatField::SetAsStringValue(const std::string& value) {
  if (TrimBlanks(value).empty()) return Clear();
  auto number = TextToFloat(value);
  if (!number) InvalidValue(fmsg::kInvalidFloatValue, value);
  SetAsFloatValue(*number);
}

int64_t TFloatField::GetAsLargeInt() const {
  double rounded = std::nearbyint(GetAsFloat());
  if (!(rounded >= -9.2233720368547758e18 && rounded < 9.2233720368547758e18)) AccessError("Integer");
  return static_cast<int64_t>(rounded);
}

void TFloatField::SetAsLargeIntValue(int64_t value) {
  SetAsFloatValue(static_cast<double>(value));
}

Variant TFloatField::GetAsVariant() const {
  double value = GetAsFloat();
  return DataType() == ftFloat ? Variant::FromDouble(value) : Variant::FromCurrency(value);
}

// ---- TBooleanField

bool TBooleanField::GetAsBoolean() const {
  bool hasValue;
  return ReadNative<int16_t>(*this, hasValue) != 0;
}

void TBooleanField::SetAsBooleanValue(bool value) {
  int16_t native = value ? 1 : 0;
  SetData(&native);
}

std::string TBooleanField::GetAsString() const {
  if (IsNull()) return {};
  return GetAsBoolean() ? "True" : "False";
}

void TBooleanField::SetAsStringValue(const std::string& value) {
  if (TrimBlanks(value).empty()) return Clear();
  auto truth = TextToBoolean(value);
  if (!truth) InvalidValue(fmsg::kInvalidBoolValue, value);
  SetAsBooleanValue(*truth);
}

Variant TBooleanField::GetAsVariant() const {
  return Variant::FromBoolean(GetAsBoolean());
}

// ---- TDateTimeField

TDateTime TDateTimeField::GetAsDateTime() const {
  bool hasValue;
  return ReadNative<double>(*this, hasValue);
}

void TDateTimeField::SetAsDateTimeValue(TDateTime value) {
  SetData(&value);
}

std::string TDateTimeField::GetAsString() const {
  if (IsNull()) return {};
  TDateTime value = GetAsDateTime();
  switch (DataType()) {
    case ftDate:
      return DateToText(value);
    case ftTime:
      return TimeToText(value);
    default:
      return DateTimeToText(value);
  }
}

void TDateTimeField::SetAsStringValue(const std::string& value) {
  if (TrimBlanks(value).empty()) return Clear();
  auto dateTime = TextToDateTime(value);
  if (!dateTime) InvalidValue(fmsg::kInvalidDateTimeValue, value);
  SetAsDateTimeValue(*dateTime);
}

Variant TDateTimeField::GetAsVariant() const {
  return Variant::FromDate(GetAsDateTime());
}

int TDateTimeField::DefaultDisplayWidth() const {
  return DataType() == ftDate ? 10 : DataType() == ftTime ? 8 : 19;
}

TSQLTimeStampField::TSQLTimeStampField() : TDateTimeField(ftTimeStamp) {}

TDateTime TSQLTimeStampField::GetAsDateTime() const {
  bool hasValue;
  TSQLTimeStamp stamp = ReadNative<TSQLTimeStamp>(*this, hasValue);
  if (!hasValue) return 0;
  auto value = SQLTimeStampToDateTime(stamp);
  if (!value) AccessError("DateTime");
  return *value;
}

void TSQLTimeStampField::SetAsDateTimeValue(TDateTime value) {
  TSQLTimeStamp stamp = DateTimeToSQLTimeStamp(value);
  SetData(&stamp);
}

// ---- TBytesField

std::string TBytesField::GetAsString() const {
  std::vector<char> buffer(DataSize(), '\0');
  if (!GetData(buffer.data())) return {};
  if (DataType() == ftBytes) return std::string(buffer.begin(), buffer.end());
  uint16_t length;
  std::memcpy(&length, buffer.data(), sizeof length);
  return std::string(buffer.data() + 2, std::min<size_t>(length, Size()));
}

void TBytesField::SetAsStringValue(const std::string& value) {
  std::vector<char> buffer(DataSize(), '\0');
  uint16_t length = static_cast<uint16_t>(std::min<size_t>(value.size(), Size()));
  char* data = buffer.data();
  if (DataType() == ftVarBytes) {
    std::memcpy(data, &length, sizeof length);
    data += 2;
  }
  std::memcpy(data, value.data(), length);
  SetData(buffer.data());
}

Variant TBytesField::GetAsVariant() const {
  return Variant::FromString(GetAsString());
}

// ---- The factory

std::unique_ptr<TField> CreateField(TFieldType type, const std::string& name, int size) {
  std::unique_ptr<TField> field;
  switch (type) {
    case ftString:
    case ftFixedChar:
      field = std::make_unique<TStringField>(type, size);
      break;
    case ftGuid:
      field = std::make_unique<TGuidField>();
      break;
    case ftWideString:
      field = std::make_unique<TWideStringField>(size);
      break;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
      field = std::make_unique<TIntegerField>(type);
      break;
    case ftFloat:
    case ftCurrency:
    case ftBCD:
      field = std::make_unique<TFloatField>(type);
      break;
    case ftBoolean:
      field = std::make_unique<TBooleanField>();
      break;
    case ftDate:
    case ftTime:
    case ftDateTime:
      field = std::make_unique<TDateTimeField>(type);
      break;
    case ftTimeStamp:
      field = std::make_unique<TSQLTimeStampField>();
      break;
    case ftBytes:
    case ftVarBytes:
      field = std::make_unique<TBytesField>(type, size);
      break;
    case ftMemo:
    case ftFmtMemo:
      field = std::make_unique<TMemoField>(type);
      break;
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
      field = std::make_unique<TBlobField>(type);
      break;
    default:
      DatabaseErrorFmt(fmsg::kFieldTypeNotSupported, {name, static_cast<int>(type)});
  }
  field->SetFieldName(name);
  return field;
}

}  // namespace viz
