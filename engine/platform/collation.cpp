// The fixed string order. Every code unit becomes one to three collation elements; an element has a
// first-level weight (its symbol, digit or base letter), an accent key and a case flag:
//
//   first level, in groups: ignorable (combining accents, format characters) < controls < symbols
//     (blanks first: tab, line feed, vertical tab, form feed, carriage return, space; then the other
//     ASCII symbols in code order; then all other symbols in code order; typographic variants such as
//     ’ “ – and the no-break space weigh as their ASCII symbol) < digits (0 to 9 of every script) <
//     Latin letters a to z (ð after d, ĸ after k, ŋ after n, þ after z) < all other letters in the
//     order of their lower-case code units;
//   accents: none < acute < grave < circumflex < diaeresis < tilde < ring < cedilla < caron < breve
//     < macron < ogonek < dot above < double acute < dot below < hook above < horn < comma below <
//     the other combining accents in code order < strokes, hooks and other built-in marks (ø, ł, đ)
//     and ligature marks < compatibility variants (superscripts, full-width forms, ſ);
//   case: lower before upper.
//
// Ligatures expand: æ = a e, œ = o e, ß = s s, ĳ = i j, each with a mark on its first element, so
// that "ae" < "æ" < "af" and "ss" < "ß" < "st". Strings compare by all first-level weights, then by
// all accent keys, then (unless case is ignored) by all case flags, and as a last resort by their code
// units (lower-cased when case is ignored), so that two strings are equal only when they are the same
// text, or the same text apart from case when case is ignored.
#include "engine/platform/collation.h"

#include <array>
#include <cstdint>

#include "engine/platform/text.h"
#include "engine/platform/unicode_tables.h"

namespace viz::platform {
namespace {

using detail::CollationEntry;
using detail::CollationOf;
using detail::ToLowerUnit;

constexpr uint32_t kControlGroup = 0x01000000;
constexpr uint32_t kSymbolGroup = 0x02000000;
constexpr uint32_t kDigitGroup = 0x03000000;
constexpr uint32_t kLatinGroup = 0x04000000;
constexpr uint32_t kOtherLetterGroup = 0x05000000;

struct Element {
  uint32_t primary;  // 0 = no first-level weight
  uint32_t accent;
  uint8_t upper;
};

uint32_t SymbolPrimary(char16_t symbol) {
  switch (symbol) {
    case u'\t':
      return kSymbolGroup + 0;
    case u'\n':
      return kSymbolGroup + 1;
    case u'\v':
      return kSymbolGroup + 2;
    case u'\f':
      return kSymbolGroup + 3;
    case u'\r':
      return kSymbolGroup + 4;
    case u' ':
      return kSymbolGroup + 5;
    default:
      return kSymbolGroup + (symbol < 0x80 ? 0x10 : 0x100) + symbol;
  }
}

Element LetterElement(char16_t base, uint32_t accent) {
  const char16_t lower = ToLowerUnit(base);
  const uint8_t upper = lower != base;
  if (lower >= u'a' && lower <= u'z') return {kLatinGroup + (lower - u'a') * 4u, accent, upper};
  switch (lower) {
    case 0x00F0:  // eth
      return {kLatinGroup + (u'd' - u'a') * 4u + 1, accent, upper};
    case 0x0138:  // kra
      return {kLatinGroup + (u'k' - u'a') * 4u + 1, accent, upper};
    case 0x014B:  // eng
      return {kLatinGroup + (u'n' - u'a') * 4u + 1, accent, upper};
    case 0x00FE:  // thorn
      return {kLatinGroup + 26 * 4u, accent, upper};
    default:
      return {kOtherLetterGroup + lower, accent, upper};
  }
}

//! Element `index` of `unit`, whose collation data is `entry`.
Element MakeElement(char16_t unit, const CollationEntry& entry, int index) {
  switch (entry.kind) {
    case detail::kLetter:
      return LetterElement(entry.bases[index], entry.accents[index]);
    case detail::kPlainLetter:
      return LetterElement(unit, 0);
    case detail::kDigit:
      return {kDigitGroup + entry.bases[0], entry.accents[0], 0};
    case detail::kSymbol:
      return {SymbolPrimary(entry.bases[0]), entry.accents[0], 0};
    case detail::kPlainSymbol:
      return {SymbolPrimary(unit), 0, 0};
    case detail::kControl:
      return {kControlGroup + unit, 0, 0};
    case detail::kMark:
    case detail::kIgnorable:
      return {0, entry.accents[0], 0};
  }
  return {kOtherLetterGroup + unit, 0, 0};
}

//! Ready-made elements of the code units that make exactly one element and are common in text
//! (Latin-1 and Latin Extended-A, which also covers every Windows-1252 letter but ƒ).
struct FastTable {
  static constexpr char16_t kLimit = 0x0180;
  std::array<Element, kLimit> elements;
  std::array<bool, kLimit> single;
  std::array<char16_t, 256> ansiUnits;  // Windows-1252 byte -> code unit
  std::array<char16_t, kLimit> lower;
};

const FastTable& Fast() {
  static const FastTable table = [] {
    FastTable built{};
    for (char16_t unit = 0; unit < FastTable::kLimit; ++unit) {
      const CollationEntry& entry = CollationOf(unit);
      built.single[unit] = entry.count == 1;
      if (built.single[unit]) built.elements[unit] = MakeElement(unit, entry, 0);
      built.lower[unit] = ToLowerUnit(unit);
    }
    for (int byte = 0; byte < 256; ++byte)
      built.ansiUnits[byte] = Win1252ToUnit(static_cast<unsigned char>(byte));
    return built;
  }();
  return table;
}

inline char16_t ElementUnit(const FastTable& fast, char byte) {
  return fast.ansiUnits[static_cast<unsigned char>(byte)];
}
inline char16_t ElementUnit(const FastTable&, char16_t unit) {
  return unit;
}

inline char16_t FoldCase(const FastTable& fast, char16_t unit) {
  return unit < FastTable::kLimit ? fast.lower[unit] : ToLowerUnit(unit);
}

//! Reads the elements of a string one by one, without allocating.
template <typename Unit>
class ElementReader {
 public:
  ElementReader(const Unit* text, size_t length, const FastTable& fast)
      : text_(text), length_(length), fast_(fast) {}

  bool Next(Element* element) {
    if (entry_ && index_ < entry_->count) {
      *element = MakeElement(unit_, *entry_, index_++);
      return true;
    }
    if (position_ >= length_) return false;
    const char16_t unit = ElementUnit(fast_, text_[position_++]);
    if (unit < FastTable::kLimit && fast_.single[unit]) {
      entry_ = nullptr;
      *element = fast_.elements[unit];
      return true;
    }
    unit_ = unit;
    entry_ = &CollationOf(unit);
    index_ = 1;
    *element = MakeElement(unit, *entry_, 0);
    return true;
  }

  //! Like Next, skipping elements without a first-level weight.
  bool NextWeighted(Element* element) {
    while (Next(element)) {
      if (element->primary != 0) return true;
    }
    return false;
  }

 private:
  const Unit* text_;
  size_t length_;
  const FastTable& fast_;
  size_t position_ = 0;
  char16_t unit_ = 0;
  const CollationEntry* entry_ = nullptr;
  int index_ = 0;
};

inline int Sign(uint32_t left, uint32_t right) {
  return left < right ? -1 : 1;
}

//! Compares level by level, reading each string once per level. Needed when a string holds
//! elements without a first-level weight, which upset the alignment of the single pass below.
template <typename Unit>
int CollateByLevels(const Unit* left, size_t leftLength, const Unit* right, size_t rightLength,
                    bool ignoreCase, const FastTable& fast) {
  Element a{}, b{};
  {
    ElementReader<Unit> l(left, leftLength, fast), r(right, rightLength, fast);
    for (;;) {
      const bool hasLeft = l.NextWeighted(&a), hasRight = r.NextWeighted(&b);
      if (!hasLeft || !hasRight) {
        if (hasLeft != hasRight) return hasLeft ? 1 : -1;
        break;
      }
      if (a.primary != b.primary) return Sign(a.primary, b.primary);
    }
  }
  {
    ElementReader<Unit> l(left, leftLength, fast), r(right, rightLength, fast);
    for (;;) {
      const bool hasLeft = l.Next(&a), hasRight = r.Next(&b);
      if (!hasLeft || !hasRight) {
        if (hasLeft != hasRight) return hasLeft ? 1 : -1;
        break;
      }
      if (a.accent != b.accent) return Sign(a.accent, b.accent);
    }
  }
  if (!ignoreCase) {
    ElementReader<Unit> l(left, leftLength, fast), r(right, rightLength, fast);
    while (l.Next(&a) && r.Next(&b)) {
      if (a.upper != b.upper) return Sign(a.upper, b.upper);
    }
  }
  return 0;
}

template <typename Unit>
int Collate(const Unit* left, size_t leftLength, const Unit* right, size_t rightLength, bool ignoreCase) {
  // Every code unit makes its elements on its own, so a common beginning weighs the same on both
  // sides at every level and can be skipped. Keys of one index often share long beginnings.
  size_t same = 0;
  const size_t shorter = leftLength < rightLength ? leftLength : rightLength;
  while (same < shorter && left[same] == right[same]) ++same;
  left += same;
  right += same;
  leftLength -= same;
  rightLength -= same;

  const FastTable& fast = Fast();
  if (leftLength > 0 && rightLength > 0) {
    const char16_t x = ElementUnit(fast, left[0]), y = ElementUnit(fast, right[0]);
    if (PlainFirstLevelOrder(x, y)) return x < y ? -1 : 1;
  }
  // One pass over both strings: the first-level weights decide at once, the first accent and case
  // differences are kept for when they are all equal.
  int accentOrder = 0, caseOrder = 0, order = 0;
  {
    ElementReader<Unit> l(left, leftLength, fast), r(right, rightLength, fast);
    Element a{}, b{};
    for (;;) {
      const bool hasLeft = l.Next(&a), hasRight = r.Next(&b);
      if ((hasLeft && a.primary == 0) || (hasRight && b.primary == 0)) {
        order = CollateByLevels(left, leftLength, right, rightLength, ignoreCase, fast);
        break;
      }
      if (!hasLeft || !hasRight) {
        if (hasLeft == hasRight) {
          order = accentOrder != 0 ? accentOrder : ignoreCase ? 0 : caseOrder;
        } else {
          // The longer string is greater unless nothing but weightless elements remain.
          ElementReader<Unit>& rest = hasLeft ? l : r;
          Element extra = hasLeft ? a : b;
          bool weighted = extra.primary != 0;
          while (!weighted && rest.Next(&extra)) weighted = extra.primary != 0;
          order = weighted ? (hasLeft ? 1 : -1)
                           : CollateByLevels(left, leftLength, right, rightLength, ignoreCase, fast);
        }
        break;
      }
      if (a.primary != b.primary) return Sign(a.primary, b.primary);
      if (accentOrder == 0 && a.accent != b.accent) accentOrder = Sign(a.accent, b.accent);
      if (caseOrder == 0 && a.upper != b.upper) caseOrder = Sign(a.upper, b.upper);
    }
  }
  if (order != 0) return order;

  // Equal on every level: only different spellings of the same letters are left (the Kelvin sign
  // and K, say). Their code units decide, so that the order stays total.
  const size_t common = leftLength < rightLength ? leftLength : rightLength;
  for (size_t index = 0; index < common; ++index) {
    char16_t x = ElementUnit(fast, left[index]), y = ElementUnit(fast, right[index]);
    if (ignoreCase) {
      x = FoldCase(fast, x);
      y = FoldCase(fast, y);
    }
    if (x != y) return Sign(x, y);
  }
  if (leftLength != rightLength) return leftLength < rightLength ? -1 : 1;
  return 0;
}

// Every code unit makes its elements on its own, so the elements of a text's beginning are the
// beginning of the text's elements: a first-level difference where both still have an element, or a
// complete text that ends where the other still has a weighted element, holds for the whole texts.
template <typename Unit>
int CollateFirstLevel(const Unit* left, size_t leftLength, bool leftComplete, const Unit* right,
                      size_t rightLength, bool rightComplete) {
  const FastTable& fast = Fast();
  ElementReader<Unit> l(left, leftLength, fast), r(right, rightLength, fast);
  Element a{}, b{};
  for (;;) {
    const bool hasLeft = l.NextWeighted(&a), hasRight = r.NextWeighted(&b);
    if (hasLeft && hasRight) {
      if (a.primary != b.primary) return Sign(a.primary, b.primary);
      continue;
    }
    if (hasLeft == hasRight) return 0;
    if (hasLeft) return rightComplete ? 1 : 0;
    return leftComplete ? -1 : 0;
  }
}

}  // namespace

int CollateAnsiFirstLevel(const char* left, size_t leftLength, bool leftComplete, const char* right,
                          size_t rightLength, bool rightComplete) {
  return CollateFirstLevel(left, leftLength, leftComplete, right, rightLength, rightComplete);
}

int CollateWideFirstLevel(const char16_t* left, size_t leftLength, bool leftComplete, const char16_t* right,
                          size_t rightLength, bool rightComplete) {
  return CollateFirstLevel(left, leftLength, leftComplete, right, rightLength, rightComplete);
}

int CollateAnsi(const char* left, size_t leftLength, const char* right, size_t rightLength, bool ignoreCase) {
  return Collate(left, leftLength, right, rightLength, ignoreCase);
}

int CollateWide(const char16_t* left, size_t leftLength, const char16_t* right, size_t rightLength,
                bool ignoreCase) {
  return Collate(left, leftLength, right, rightLength, ignoreCase);
}

}  // namespace viz::platform
