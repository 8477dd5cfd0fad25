// The dataset framework's variant: one value of a tagged kind, as parameters, field values and
// lookups exchange them. Kind codes are the framework's numbers; the single-byte string kind holds
// Windows-1252 text, the wide string kind UTF-16 text, the date kind a day-count float (days since
// 30 December 1899) and the currency kind a double.
#pragma once

#include <cstdint>
#include <string>

namespace viz {

//! Kind codes of the framework's variant.
namespace vk {
inline constexpr uint16_t kEmpty = 0;
inline constexpr uint16_t kNull = 1;
inline constexpr uint16_t kSmallint = 2;
inline constexpr uint16_t kInteger = 3;
inline constexpr uint16_t kSingle = 4;
inline constexpr uint16_t kDouble = 5;
inline constexpr uint16_t kCurrency = 6;
inline constexpr uint16_t kDate = 7;
inline constexpr uint16_t kWideString = 8;
inline constexpr uint16_t kDispatch = 9;
inline constexpr uint16_t kError = 10;
inline constexpr uint16_t kBoolean = 11;
inline constexpr uint16_t kVariant = 12;
inline constexpr uint16_t kUnknown = 13;
inline constexpr uint16_t kShortInt = 16;
inline constexpr uint16_t kByte = 17;
inline constexpr uint16_t kWord = 18;
inline constexpr uint16_t kLongWord = 19;
inline constexpr uint16_t kInt64 = 20;
inline constexpr uint16_t kString = 256;
//! The framework's string kinds are 256 to 287.
inline constexpr uint16_t kLastString = 287;
}  // namespace vk

class Variant {
 public:
  //! An empty variant (kind 0).
  Variant() = default;

  static Variant Null();
  static Variant FromSmallint(int16_t value);
  static Variant FromInteger(int32_t value);
  static Variant FromSingle(float value);
  static Variant FromDouble(double value);
  static Variant FromCurrency(double value);
  static Variant FromDate(double dateTime);
  static Variant FromWideString(std::u16string value);
  static Variant FromBoolean(bool value);
  static Variant FromShortInt(int8_t value);
  static Variant FromByte(uint8_t value);
  static Variant FromWord(uint16_t value);
  static Variant FromLongWord(uint32_t value);
  static Variant FromInt64(int64_t value);
  //! Single-byte text; `kind` may be any of the string kinds.
  static Variant FromString(std::string value, uint16_t kind = vk::kString);
  //! A value of a kind that carries no payload here (interfaces, errors, arrays ...).
  static Variant OfKind(uint16_t kind);

  uint16_t Kind() const { return kind_; }
  bool IsEmpty() const { return kind_ == vk::kEmpty; }
  //! True for the empty and the null kinds.
  bool IsNull() const { return kind_ == vk::kEmpty || kind_ == vk::kNull; }
  bool IsStringKind() const { return kind_ >= vk::kString && kind_ <= vk::kLastString; }

  //! The integer of an integer or boolean kind (true is −1). Raises "Invalid variant type conversion"
  //! for other kinds.
  int64_t AsInt64() const;
  //! The number of a floating, currency, date or integer kind.
  double AsDouble() const;
  //! The truth of a boolean or integer kind.
  bool AsBoolean() const;
  //! The text of a string kind.
  const std::string& AsString() const;
  //! The text of the wide string kind.
  const std::u16string& AsWideString() const;

  //! Same kind and same payload.
  bool operator==(const Variant& other) const;

 private:
  bool IsIntegerKind() const;
  bool IsFloatKind() const;

  uint16_t kind_ = vk::kEmpty;
  int64_t integer_ = 0;
  double float_ = 0;
  std::string text_;
  std::u16string wideText_;
};

}  // namespace viz
