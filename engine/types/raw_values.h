// Operations on values in their stored byte form (the base types of data_types.h): copying into new
// engine memory, converting between base types, the common type of two values, comparing, LIKE
// matching and case mapping of wide text.
//
// Text forms of non-text values never depend on the machine's locale:
//   integers          decimal, '-' for negatives
//   SINGLE, FLOAT,    the shortest text that reads back to the same value, full stop as decimal
//   EXTENDED,         separator, exponent form when shorter (0.1, 1234.5, 1e+20, -2.5e-07)
//   CURRENCY
//   LOGICAL           "True" / "False"
//   dates and times   see date_time.h (2006-05-31, 07:05:09, 2006-05-31 07:05:09.250)
// Reading numbers from text: blanks around the number are ignored; integers are decimal with an
// optional sign; floating and currency values take the full stop as decimal separator and an
// optional exponent, whatever the locale ("12,5" does not read).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/types/data_types.h"
#include "engine/types/mem_block.h"

namespace viz {

//! Returns a new block holding one value of the base type: a zero-terminated single-byte string for
//! CHAR and STRING (size = length + 1), a zero-terminated UTF-16 string for WIDECHAR and WIDESTRING
//! (size = 2 × (length + 1)), otherwise `BaseTypeDataSize(baseType, 0)` bytes.
//! Raises 30054 when the copy fails after the block was obtained.
TABSMemBlock CopyValueToNewMemory(TABSBaseType baseType, const void* value);

//! Returns the value converted from `fromType` to `toType` in a new block. `size` is the number of
//! bytes of the value (needed for MEMO, WIDEMEMO and the byte kinds; strings end at their terminator
//! or at `size`, whichever comes first). Raises 30052 for an unsupported pair and 30051 when a parse
//! or an arithmetic step fails.
TABSMemBlock ConvertRawValue(const void* value, int32_t size, TABSBaseType fromType, TABSBaseType toType);

//! Returns the base type in which values of the two types are compared or combined, 0 when they are
//! incompatible. With `datesWin` a text meeting a date, time or date-time takes the date type.
TABSBaseType CommonBaseType(TABSBaseType type1, TABSBaseType type2, bool datesWin);
//! As `CommonBaseType` over data types; keeps dataType1, else dataType2, when its base type wins.
TABSDataType CommonDataType(TABSDataType dataType1, TABSDataType dataType2, bool datesWin);

//! Result codes of `CompareRawValues`.
enum : int {
  kCompareEqual = 0,
  kCompareLess = 1,
  kCompareGreater = 2,
  kCompareFirstNull = 3,
  kCompareSecondNull = 4,
  kCompareBothNull = 5,
};
//! The user default locale identifier that callers pass.
inline constexpr int32_t kUserDefaultLocale = 1024;

//! Compares two stored values. `length` limits text comparison to that many characters (−1: up to
//! the terminator). `size1` and `size2` give the payload sizes where they are known (−1: strings are
//! read up to their terminator); only MEMO and WIDEMEMO need them. Values of different base types
//! (and MEMO values) are converted to their common type first; like-typed values are compared
//! without allocating. Raises 30044, 30045, 30046, 30047, 30140 as documented in the messages.
int CompareRawValues(const void* value1, const void* value2, TABSBaseType base1, TABSBaseType base2,
                     int32_t locale, bool ignoreCase, int32_t length, bool isNull1, bool isNull2,
                     int32_t size1 = -1, int32_t size2 = -1);

//! SQL LIKE: '%' matches any run of characters (also none), '_' exactly one; other characters match
//! under the engine's collation (case-insensitively when asked). There is no escape character.
bool MatchLike(std::string_view text, std::string_view pattern, bool ignoreCase);
bool MatchLike(std::u16string_view text, std::u16string_view pattern, bool ignoreCase);

//! Returns a copy of the wide text in upper or lower case.
std::u16string WideUpperCase(std::u16string_view text);
std::u16string WideLowerCase(std::u16string_view text);

}  // namespace viz
