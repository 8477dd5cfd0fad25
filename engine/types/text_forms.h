// Fixed text forms of numbers and logical values (see raw_values.h for the formats). Nothing here
// reads the machine's locale: the decimal separator is always a full stop.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace viz {

//! Decimal integer with optional sign and blanks around it; nothing when malformed or out of range.
std::optional<int32_t> TextToInt32(std::string_view text);
std::optional<int64_t> TextToInt64(std::string_view text);
//! Decimal number with a full stop and an optional exponent; nothing when malformed or out of range.
std::optional<long double> TextToFloat(std::string_view text);
//! True when the upper-cased text is "1" or "TRUE".
bool TextIsTrue(std::string_view text);

//! Shortest text that reads back to the same value; "INF", "-INF" and "NAN" for the special values.
std::string FloatToText(float value);
std::string FloatToText(double value);
std::string FloatToText(long double value);

}  // namespace viz
