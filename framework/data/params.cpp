#include "framework/data/params.h"

#include <cmath>
#include <cstring>

#include "engine/platform/text.h"
#include "framework/data/exceptions.h"
#include "framework/data/field.h"
#include "framework/data/messages.h"
#include "framework/data/text_values.h"

namespace viz {
namespace {

TFieldType TypeOfKind(uint16_t kind) {
  switch (kind) {
    case vk::kSmallint:
    case vk::kShortInt:
    case vk::kByte:
      return ftSmallint;
    case vk::kInteger:
      return ftInteger;
    case vk::kWord:
      return ftWord;
    case vk::kLongWord:
    case vk::kInt64:
      return ftLargeint;
    case vk::kSingle:
    case vk::kDouble:
      return ftFloat;
    case vk::kCurrency:
      return ftCurrency;
    case vk::kDate:
      return ftDateTime;
    case vk::kBoolean:
      return ftBoolean;
    case vk::kWideString:
      return ftWideString;
    default:
      return kind >= vk::kString && kind <= vk::kLastString ? ftString : ftUnknown;
  }
}

bool IsFloatKind(uint16_t kind) {
  return kind == vk::kSingle || kind == vk::kDouble || kind == vk::kCurrency || kind == vk::kDate;
}

}  // namespace

void TParam::AccessError(const char* typeName) const {
  DatabaseErrorFmt(fmsg::kParamAccessError, {name_, typeName});
}

void TParam::Set(TFieldType type, Variant value) {
  dataType_ = type;
  value_ = std::move(value);
  bound_ = true;
}

void TParam::Clear() {
  value_ = Variant::Null();
}

void TParam::SetValue(const Variant& value) {
  if (dataType_ == ftUnknown) dataType_ = TypeOfKind(value.Kind());
  value_ = value.IsEmpty() ? Variant::Null() : value;
  bound_ = true;
}

std::string TParam::AsString() const {
  try {
    return VariantToText(value_);
  } catch (const Exception&) {
    AccessError("String");
  }
}

std::u16string TParam::AsWideString() const {
  if (value_.Kind() == vk::kWideString) return value_.AsWideString();
  return platform::Win1252ToUtf16(AsString());
}

int64_t TParam::AsLargeInt() const {
  uint16_t kind = value_.Kind();
  if (value_.IsNull()) return 0;
  if (value_.IsStringKind()) {
    auto number = TextToInteger(value_.AsString());
    if (!number) AccessError("Integer");
    return *number;
  }
  if (IsFloatKind(kind)) {
    double rounded = std::nearbyint(value_.AsDouble());
    if (!(rounded >= -9.2233720368547758e18 && rounded < 9.2233720368547758e18)) AccessError("Integer");
    return static_cast<int64_t>(rounded);
  }
  try {
    return value_.AsInt64();
  } catch (const Exception&) {
    AccessError("Integer");
  }
}

int32_t TParam::AsInteger() const {
  int64_t value = AsLargeInt();
  if (value < INT32_MIN || value > INT32_MAX) AccessError("Integer");
  return static_cast<int32_t>(value);
}

double TParam::AsFloat() const {
  if (value_.IsNull()) return 0;
  if (value_.IsStringKind()) {
    auto number = TextToFloat(value_.AsString());
    if (!number) AccessError("Float");
    return *number;
  }
  try {
    return value_.AsDouble();
  } catch (const Exception&) {
    AccessError("Float");
  }
}

bool TParam::AsBoolean() const {
  if (value_.IsNull()) return false;
  if (value_.IsStringKind()) {
    auto truth = TextToBoolean(value_.AsString());
    if (!truth) AccessError("Boolean");
    return *truth;
  }
  try {
    return value_.AsBoolean();
  } catch (const Exception&) {
    AccessError("Boolean");
  }
}

TDateTime TParam::AsDateTime() const {
  if (value_.IsNull()) return 0;
  if (value_.IsStringKind()) {
    auto dateTime = TextToDateTime(value_.AsString());
    if (!dateTime) AccessError("DateTime");
    return *dateTime;
  }
  if (!IsFloatKind(value_.Kind())) AccessError("DateTime");
  return value_.AsDouble();
}

void TParam::SetAsString(const std::string& value) {
  Set(ftString, Variant::FromString(value));
}
void TParam::SetAsWideString(const std::u16string& value) {
  Set(ftWideString, Variant::FromWideString(value));
}
void TParam::SetAsInteger(int32_t value) {
  Set(ftInteger, Variant::FromInteger(value));
}
void TParam::SetAsLargeInt(int64_t value) {
  Set(ftLargeint, Variant::FromInt64(value));
}
void TParam::SetAsFloat(double value) {
  Set(ftFloat, Variant::FromDouble(value));
}
void TParam::SetAsCurrency(double value) {
  Set(ftCurrency, Variant::FromCurrency(value));
}
void TParam::SetAsBoolean(bool value) {
  Set(ftBoolean, Variant::FromBoolean(value));
}
void TParam::SetAsDateTime(TDateTime value) {
  Set(ftDateTime, Variant::FromDate(value));
}
void TParam::SetAsDate(TDateTime value) {
  Set(ftDate, Variant::FromDate(value));
}
void TParam::SetAsTime(TDateTime value) {
  Set(ftTime, Variant::FromDate(value));
}
void TParam::SetAsMemo(const std::string& value) {
  Set(ftMemo, Variant::FromString(value));
}
void TParam::SetAsBlob(const std::string& bytes) {
  Set(ftBlob, Variant::FromString(bytes));
}

void TParam::AssignField(const TField& field) {
  TFieldType type = field.DataType();
  Set(type == ftAutoInc ? ftInteger : type, field.AsVariant());
}

bool TParam::operator==(const TParam& other) const {
  return name_ == other.name_ && dataType_ == other.dataType_ && bound_ == other.bound_ &&
         value_ == other.value_;
}

TParam& TParams::CreateParam(TFieldType type, const std::string& name) {
  return items_.emplace_back(name, type);
}

TParam* TParams::FindParam(const std::string& name) {
  for (TParam& param : items_) {
    if (SameName(param.Name(), name)) return &param;
  }
  return nullptr;
}

TParam& TParams::ParamByName(const std::string& name) {
  TParam* param = FindParam(name);
  if (!param) DatabaseErrorFmt(fmsg::kParamNotFound, {name}, ownerName_);
  return *param;
}

void TParams::AssignValues(const TParams& source) {
  for (TParam& param : items_) {
    for (const TParam& from : source.items_) {
      if (!SameName(param.Name(), from.Name())) continue;
      std::string name = param.Name();
      param = from;
      param.SetName(std::move(name));
      break;
    }
  }
}

std::vector<std::string> TParams::ParseSQL(const std::string& sql, bool create) {
  std::vector<std::string> names;
  auto endsName = [](char ch) {
    return static_cast<unsigned char>(ch) <= ' ' || std::strchr(";,()=<>+-*/|:?.'\"`[]", ch) != nullptr;
  };
  // Returns the position after the delimited text that starts at `pos` (its opening delimiter),
  // taking a doubled closing delimiter as part of the text.
  auto skipDelimited = [&](size_t pos, std::string* text) {
    char close = sql[pos] == '[' ? ']' : sql[pos];
    for (++pos; pos < sql.size(); ++pos) {
      if (sql[pos] == close) {
        if (pos + 1 < sql.size() && sql[pos + 1] == close) {
          if (text) *text += close;
          ++pos;
          continue;
        }
        return pos + 1;
      }
      if (text) *text += sql[pos];
    }
    return pos;
  };
  int positional = 0;
  size_t pos = 0;
  while (pos < sql.size()) {
    char ch = sql[pos];
    char next = pos + 1 < sql.size() ? sql[pos + 1] : '\0';
    if (ch == '-' && next == '-') {
      size_t end = sql.find('\n', pos);
      pos = end == std::string::npos ? sql.size() : end + 1;
    } else if (ch == '/' && next == '*') {
      size_t end = sql.find("*/", pos + 2);
      pos = end == std::string::npos ? sql.size() : end + 2;
    } else if (ch == '\'' || ch == '"' || ch == '`' || ch == '[') {
      pos = skipDelimited(pos, nullptr);
    } else if (ch == ':' && next == ':') {
      pos += 2;
    } else if (ch == ':' && (next == '"' || next == '\'' || next == '[')) {
      std::string name;
      pos = skipDelimited(pos + 1, &name);
      names.push_back(std::move(name));
    } else if (ch == ':' && next != '\0' && !endsName(next)) {
      size_t end = pos + 1;
      while (end < sql.size() && !endsName(sql[end])) ++end;
      names.push_back(sql.substr(pos + 1, end - pos - 1));
      pos = end;
    } else if (ch == '?') {
      names.push_back("Param" + std::to_string(++positional));
      ++pos;
    } else {
      ++pos;
    }
  }
  if (create) {
    for (const std::string& name : names) CreateParam(ftUnknown, name);
  }
  return names;
}

}  // namespace viz
