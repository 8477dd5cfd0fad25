// A printf-like formatter that checks every argument against its conversion instead of trusting it.
// Messages of the engine are format texts with %s, %d, %.Nd, %x, %f ... placeholders; a mismatch
// (a text given to %d, too few arguments, an unknown conversion) is reported, never undefined.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace viz {

//! One argument of `FormatText`: its kind is kept so that the formatter can check it.
class FormatArg {
 public:
  enum class Kind { Integer, Unsigned, Float, Text, Pointer, Boolean };

  template <std::signed_integral T>
    requires(!std::same_as<T, bool> && !std::same_as<T, char>)
  FormatArg(T value) : kind_(Kind::Integer), integer_(value) {}
  template <std::unsigned_integral T>
    requires(!std::same_as<T, bool>)
  FormatArg(T value) : kind_(Kind::Unsigned), unsigned_(value) {}
  FormatArg(bool value) : kind_(Kind::Boolean), unsigned_(value) {}
  FormatArg(char value) : kind_(Kind::Text), text_(1, value) {}
  FormatArg(float value) : kind_(Kind::Float), float_(value) {}
  FormatArg(double value) : kind_(Kind::Float), float_(value) {}
  FormatArg(long double value) : kind_(Kind::Float), float_(value) {}
  FormatArg(const char* value) : kind_(Kind::Text), text_(value ? value : "") {}
  FormatArg(std::string_view value) : kind_(Kind::Text), text_(value) {}
  FormatArg(const std::string& value) : kind_(Kind::Text), text_(value) {}
  FormatArg(const void* value) : kind_(Kind::Pointer), pointer_(value) {}

  Kind kind() const { return kind_; }
  int64_t integer() const { return integer_; }
  uint64_t unsignedValue() const { return unsigned_; }
  long double floating() const { return float_; }
  const std::string& text() const { return text_; }
  const void* pointer() const { return pointer_; }

 private:
  Kind kind_;
  int64_t integer_ = 0;
  uint64_t unsigned_ = 0;
  long double float_ = 0;
  std::string text_;
  const void* pointer_ = nullptr;
};

//! Returns the format applied to the arguments, or nothing when a conversion does not match its
//! argument, an argument is missing or the format is malformed. Extra arguments are ignored.
//! Conversions: "%" ["index:"] ["-"] [width | "*"] ["." (precision | "*")] type, with the types
//! d (integer), u (non-negative integer), x (hexadecimal integer), e, f, g, n (thousands separators),
//! m (money, two decimals), s (text), p (pointer); "%%" is a percent sign. For d, u and x the
//! precision is the minimum number of digits (zero-padded); for s it is the maximum length.
std::optional<std::string> FormatText(std::string_view format, std::initializer_list<FormatArg> args);

}  // namespace viz
