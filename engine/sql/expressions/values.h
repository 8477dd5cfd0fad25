// Value helpers shared by the expression nodes. The hot ones (comparison, loading numbers, text
// views) work on the payloads in place and allocate nothing for the common pairs of types.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/types/VIZVariant.h"
#include "engine/types/data_types.h"

namespace viz {

constexpr bool IsNarrowTextType(TABSBaseType t) {
  return t == bt::kChar || t == bt::kString;
}
constexpr bool IsWideTextType(TABSBaseType t) {
  return t == bt::kWideChar || t == bt::kWideString;
}
//! String and memo types: the values LIKE and the string functions read as text.
constexpr bool IsTextType(TABSBaseType t) {
  return IsStringBaseType(t) || t == bt::kMemo || t == bt::kWideMemo;
}
constexpr bool IsIntegerBaseType(TABSBaseType t) {
  return t >= bt::kShortInt && t <= bt::kCardinal;
}

//! Compares two values that are not NULL as the comparison operators do: 0 equal, 1 less,
//! 2 greater. Values of one type, narrow text with narrow text, wide text with wide text and any
//! two numbers (or logical values) are compared in place without allocating; other pairs go
//! through their common type (Part of the types layer). `length` ≥ 0 limits text to that many
//! characters. Raises the comparison errors of the types layer (30044 for incompatible types).
int CompareValues(const TABSVariant& left, const TABSVariant& right, bool ignoreCase, int32_t length = -1);

//! The value of an integer or logical variant (logical: 1 or 0); nothing for other types or NULL.
std::optional<int64_t> LoadInteger(const TABSVariant& value);
//! The value of a numeric or logical variant; nothing for other types or NULL.
std::optional<long double> LoadNumber(const TABSVariant& value);
//! The value as a number: numbers and logical values as they are, text and dates converted.
//! REQUIRES: not NULL. Raises 30051 or 30052 when the value does not convert.
long double NumberOf(const TABSVariant& value);

//! The truth of a value that is not NULL: a logical or a number is true when not 0, anything else
//! is converted to a logical value.
bool TruthOf(const TABSVariant& value);

//! The text of a CHAR, STRING or MEMO value in place (valid while the value is).
std::string_view NarrowView(const TABSVariant& value);
//! The value as single-byte or as UTF-16 text, converted when it is of another type.
//! REQUIRES: not NULL.
std::string NarrowText(const TABSVariant& value);
std::u16string WideText(const TABSVariant& value);

//! Stores text as a value of a text type (CHAR, STRING, WIDECHAR, WIDESTRING, MEMO, WIDEMEMO). An
//! empty text stays an empty text, not NULL. A payload of the same size is reused in place.
void SetNarrowText(TABSVariant& value, TABSBaseType type, std::string_view text);
void SetWideText(TABSVariant& value, TABSBaseType type, std::u16string_view text);
//! Stores a logical value, reusing the payload (no allocation after the first).
void SetLogical(TABSVariant& value, bool truth);
void SetInteger(TABSVariant& value, int32_t number);
//! Makes `target` a copy of `source`, reusing its payload where the size allows and turning a
//! borrowed source into an owned copy.
void CopyValue(TABSVariant& target, const TABSVariant& source);
//! Makes `value` a NULL of `type`, keeping the payload when the type does not change.
void SetNullOf(TABSVariant& value, TABSBaseType type);

//! Characters a value of the data type takes as text: SHORTINT 4, INTEGER 11, FLOAT 26, ...; the
//! string, byte and BLOB kinds take `ownSize`. Raises 30466 "Unsupported data type '%s'" for a
//! type without a text width.
int32_t DisplayWidth(TABSDataType dataType, int32_t ownSize);

//! Compares two single-byte texts in the engine's collation (−1, 0, 1), over at most `length`
//! characters of each when `length` ≥ 0.
int CompareNarrowText(std::string_view left, std::string_view right, bool ignoreCase, int32_t length);

//! SQL LIKE: '%' matches any run of characters (also none), '_' exactly one, any other character
//! itself (without regard to case when asked, under the engine's collation). With an escape
//! character the pattern character after it matches itself, even a '%', a '_' or the escape
//! character; an escape character at the end of the pattern matches itself.
bool MatchLikeText(std::string_view text, std::string_view pattern, std::optional<char> escape, bool ignoreCase);
bool MatchLikeText(std::u16string_view text, std::u16string_view pattern, std::optional<char16_t> escape,
                   bool ignoreCase);

}  // namespace viz
