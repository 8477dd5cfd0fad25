// The engine's fixed string order. Index order is stored on disk, so this order is our own and never
// depends on the environment's locale or on library versions.
//
// Strings are compared as a string sort: symbols (punctuation, blanks, hyphens and apostrophes too)
// sort before digits, digits before letters. Comparison is in levels: first the letters ignoring
// case and accents (e < é < f because é weighs as e on this level), then accents, then case with
// lower case first (a < A). Ignoring case drops the case level, so "abc" equals "ABC".
// Ligatures expand to their letters plus a mark (ae < æ < af, ss < ß < st). Two strings compare
// equal only when they are the same text, or the same text apart from case when case is ignored.
// The full list of weights is at the top of collation.cpp.
#pragma once

#include <cstddef>
#include <string_view>

namespace viz::platform {

//! Compares two Windows-1252 strings of the given lengths. Returns -1, 0 or 1.
int CollateAnsi(const char* left, size_t leftLength, const char* right, size_t rightLength, bool ignoreCase);
//! Compares two UTF-16 strings of the given lengths. Returns -1, 0 or 1.
int CollateWide(const char16_t* left, size_t leftLength, const char16_t* right, size_t rightLength,
                bool ignoreCase);

//! Compares the first level (letters and symbols, without accents and case) of two strings of which
//! either may be only the beginning of a longer text (`complete` false). Returns -1 or 1 when that
//! decides the order of the whole texts as well, whatever follows the beginnings; 0 when it cannot.
//! Index keys that keep only the beginning of a text compare with it.
int CollateAnsiFirstLevel(const char* left, size_t leftLength, bool leftComplete, const char* right,
                          size_t rightLength, bool rightComplete);
int CollateWideFirstLevel(const char16_t* left, size_t leftLength, bool leftComplete, const char16_t* right,
                          size_t rightLength, bool rightComplete);

//! Whether two different code units, the first difference after a common beginning of two texts,
//! decide the texts' order as their codes do: two digits, two ASCII letters of one case, or a digit
//! and an ASCII letter differ on the first level in code order, whatever follows them.
constexpr bool PlainFirstLevelOrder(char16_t x, char16_t y) {
  auto digit = [](char16_t unit) { return unit >= u'0' && unit <= u'9'; };
  auto lower = [](char16_t unit) { return unit >= u'a' && unit <= u'z'; };
  auto upper = [](char16_t unit) { return unit >= u'A' && unit <= u'Z'; };
  if (x == y) return false;
  if (digit(x) || digit(y)) return (digit(x) || lower(x) || upper(x)) && (digit(y) || lower(y) || upper(y));
  return (lower(x) && lower(y)) || (upper(x) && upper(y));
}

inline int CollateAnsi(std::string_view left, std::string_view right, bool ignoreCase) {
  return CollateAnsi(left.data(), left.size(), right.data(), right.size(), ignoreCase);
}
inline int CollateWide(std::u16string_view left, std::u16string_view right, bool ignoreCase) {
  return CollateWide(left.data(), left.size(), right.data(), right.size(), ignoreCase);
}

}  // namespace viz::platform
