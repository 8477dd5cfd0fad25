#include "framework/data/variant.h"

#include "framework/data/exceptions.h"

namespace viz {
namespace {

[[noreturn]] void InvalidConversion() {
  throw Exception("Invalid variant type conversion");
}

}  // namespace

Variant Variant::OfKind(uint16_t kind) {
  Variant v;
  v.kind_ = kind;
  return v;
}

Variant Variant::Null() {
  return OfKind(vk::kNull);
}

#define VIZ_INTEGER_FACTORY(Name, Type, KindCode) \
  Variant Variant::Name(Type value) {             \
    Variant v = OfKind(KindCode);                 \
    v.integer_ = value;                           \
    return v;                                     \
  }
VIZ_INTEGER_FACTORY(FromSmallint, int16_t, vk::kSmallint)
VIZ_INTEGER_FACTORY(FromInteger, int32_t, vk::kInteger)
VIZ_INTEGER_FACTORY(FromShortInt, int8_t, vk::kShortInt)
VIZ_INTEGER_FACTORY(FromByte, uint8_t, vk::kByte)
VIZ_INTEGER_FACTORY(FromWord, uint16_t, vk::kWord)
VIZ_INTEGER_FACTORY(FromLongWord, uint32_t, vk::kLongWord)
VIZ_INTEGER_FACTORY(FromInt64, int64_t, vk::kInt64)
#undef VIZ_INTEGER_FACTORY

#define VIZ_FLOAT_FACTORY(Name, Type, KindCode) \
  Variant Variant::Name(Type value) {           \
    Variant v = OfKind(KindCode);               \
    v.float_ = value;                           \
    return v;                                   \
  }
VIZ_FLOAT_FACTORY(FromSingle, float, vk::kSingle)
VIZ_FLOAT_FACTORY(FromDouble, double, vk::kDouble)
VIZ_FLOAT_FACTORY(FromCurrency, double, vk::kCurrency)
VIZ_FLOAT_FACTORY(FromDate, double, vk::kDate)
#undef VIZ_FLOAT_FACTORY

Variant Variant::FromBoolean(bool value) {
  Variant v = OfKind(vk::kBoolean);
  v.integer_ = value ? -1 : 0;
  return v;
}

Variant Variant::FromWideString(std::u16string value) {
  Variant v = OfKind(vk::kWideString);
  v.wideText_ = std::move(value);
  return v;
}

Variant Variant::FromString(std::string value, uint16_t kind) {
  Variant v = OfKind(kind >= vk::kString && kind <= vk::kLastString ? kind : vk::kString);
  v.text_ = std::move(value);
  return v;
}

bool Variant::IsIntegerKind() const {
  switch (kind_) {
    case vk::kSmallint:
    case vk::kInteger:
    case vk::kShortInt:
    case vk::kByte:
    case vk::kWord:
    case vk::kLongWord:
    case vk::kInt64:
      return true;
    default:
      return false;
  }
}

bool Variant::IsFloatKind() const {
  return kind_ == vk::kSingle || kind_ == vk::kDouble || kind_ == vk::kCurrency || kind_ == vk::kDate;
}

int64_t Variant::AsInt64() const {
  if (!IsIntegerKind() && kind_ != vk::kBoolean) InvalidConversion();
  return integer_;
}

double Variant::AsDouble() const {
  if (IsFloatKind()) return float_;
  if (IsIntegerKind()) return static_cast<double>(integer_);
  InvalidConversion();
}

bool Variant::AsBoolean() const {
  if (!IsIntegerKind() && kind_ != vk::kBoolean) InvalidConversion();
  return integer_ != 0;
}

const std::string& Variant::AsString() const {
  if (!IsStringKind()) InvalidConversion();
  return text_;
}

const std::u16string& Variant::AsWideString() const {
  if (kind_ != vk::kWideString) InvalidConversion();
  return wideText_;
}

bool Variant::operator==(const Variant& other) const {
  return kind_ == other.kind_ && integer_ == other.integer_ &&
         (float_ == other.float_ || (float_ != float_ && other.float_ != other.float_)) &&
         text_ == other.text_ && wideText_ == other.wideText_;
}

}  // namespace viz
