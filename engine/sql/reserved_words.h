// The SQL reserved-word table. A bare word whose upper-cased text is in the table lexes as a
// reserved-word token carrying the word's number, its 0-based position in the table. The parsers
// test words by these numbers (rw::kSELECT is 179), never by text.
#pragma once

#include <cstdint>
#include <string_view>

namespace viz {

namespace rw {
//! One constant per word, numbered from 0 in table order, then the count of words.
enum : uint16_t {
#define VIZ_RESERVED_WORD(identifier, text) identifier,
#include "engine/sql/reserved_words.inc"
#undef VIZ_RESERVED_WORD
  kWordCount
};
}  // namespace rw

//! Number of words in the table (283).
inline constexpr uint16_t kReservedWordCount = rw::kWordCount;
//! The reserved-word number of a token that is not a reserved word; as an argument of
//! `TABSLexer::IsReservedWord` it stands for any reserved word.
inline constexpr uint16_t kNotReservedWord = kReservedWordCount;
inline constexpr uint16_t kAnyReservedWord = kReservedWordCount;

//! Returns the number of the word, or kNotReservedWord. The ASCII letters of `word` are compared
//! without regard to case; other bytes must match exactly.
uint16_t FindReservedWord(std::string_view word);

//! Returns the upper-case text of word `number`, or "" for a number outside the table.
std::string_view ReservedWordText(uint16_t number);

}  // namespace viz
