// Text forms of the framework's values, the same on every machine whatever its locale: fields and
// parameters convert between typed values and text through these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "framework/data/variant.h"

namespace viz {

//! The text without blanks at either end.
std::string TrimBlanks(const std::string& text);
//! A decimal integer, blanks around it allowed; nothing when the text is not one or too large.
std::optional<int64_t> TextToInteger(const std::string& text);
//! A decimal or exponent number, blanks around it allowed.
std::optional<double> TextToFloat(const std::string& text);
//! True/False, T/F, Yes/No, Y/N, 1/0, ignoring case.
std::optional<bool> TextToBoolean(const std::string& text);
//! The shortest text of at most 15 significant digits.
std::string ShortFloatText(double value);
//! The text of a variant: "" for empty and null, decimal numbers, "True"/"False", date-time text.
//! Raises "Invalid variant type conversion" for kinds without a text.
std::string VariantToText(const Variant& value);

}  // namespace viz
