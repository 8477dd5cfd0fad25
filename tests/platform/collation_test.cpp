#include "engine/platform/collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/platform/text.h"

namespace viz::platform {
namespace {

std::u16string W(const std::string& utf8) {
  return Utf8ToUtf16(utf8);
}

// Words in the order the rules give: controls, then symbols (blanks first, the rest of ASCII in code
// order, other symbols after), then digits, then letters compared without case and accents first,
// then by accent (acute, grave, circumflex, diaeresis), then lower case before upper case. Ligatures
// weigh as their letters plus a mark, ð follows d and þ follows z, other scripts follow Latin.
const char* const kOrderedWords[] = {
    "",   "\x01", "\t", " ",      " a",     "!",      "'s",     "-",       "-1",  "~",   "€",
    "0",  "1",    "10", "1a",     "2",      "9",      "a",      "A",       "á",   "Á",   "à",
    "â",  "ä",    "å",  "a-b",    "ab",     "Ab",     "abc",    "aBc",     "ABC", "abd", "ae",
    "æ",  "Æ",    "af", "co op",  "co-op",  "coop",   "Coop",   "cop",     "d",   "dz",  "ð",
    "e",  "E",    "é",  "É",      "è",      "ê",      "ë",      "f",       "o",   "ö",   "ø",
    "oe", "œ",    "p",  "resume", "Resume", "résumé", "Résumé", "resumes", "ss",  "ß",   "st",
    "z",  "Z",    "ž",  "Ž",      "þ",      "α",      "Ω",      "б",       "Я",
};

TEST(CollationTest, WordListIsInRuleOrder) {
  const size_t count = std::size(kOrderedWords);
  for (size_t i = 0; i < count; ++i) {
    const std::u16string left = W(kOrderedWords[i]);
    EXPECT_EQ(CollateWide(left, left, false), 0) << kOrderedWords[i];
    for (size_t j = i + 1; j < count; ++j) {
      const std::u16string right = W(kOrderedWords[j]);
      EXPECT_EQ(CollateWide(left, right, false), -1)
          << '"' << kOrderedWords[i] << "\" < \"" << kOrderedWords[j] << '"';
      EXPECT_EQ(CollateWide(right, left, false), 1)
          << '"' << kOrderedWords[j] << "\" > \"" << kOrderedWords[i] << '"';
    }
  }
}

TEST(CollationTest, SingleByteOrderMatchesWideOrder) {
  std::vector<std::string> ansi;
  for (const char* word : kOrderedWords) {
    std::u16string wide = W(word);
    std::string bytes = Utf16ToWin1252(wide);
    if (Win1252ToUtf16(bytes) == wide) ansi.push_back(bytes);  // words Windows-1252 can hold
  }
  ASSERT_GT(ansi.size(), 60u);
  for (size_t i = 0; i < ansi.size(); ++i) {
    for (size_t j = 0; j < ansi.size(); ++j) {
      for (bool ignoreCase : {false, true}) {
        EXPECT_EQ(CollateAnsi(ansi[i], ansi[j], ignoreCase),
                  CollateWide(Win1252ToUtf16(ansi[i]), Win1252ToUtf16(ansi[j]), ignoreCase))
            << ansi[i] << " / " << ansi[j];
      }
    }
    EXPECT_EQ(CollateAnsi(ansi[i], ansi[i], false), 0);
    if (i > 0) {
      EXPECT_EQ(CollateAnsi(ansi[i - 1], ansi[i], false), -1) << ansi[i - 1] << " < " << ansi[i];
    }
  }
}

TEST(CollationTest, IgnoringCaseDropsOnlyTheCaseLevel) {
  auto equal = [](const char* a, const char* b) { return CollateWide(W(a), W(b), true) == 0; };
  EXPECT_TRUE(equal("abc", "ABC"));
  EXPECT_TRUE(equal("Résumé", "rÉSUMÉ"));
  EXPECT_TRUE(equal("ÆØÅ", "æøå"));
  EXPECT_TRUE(equal("ΣΊΣΥΦΟΣ", "σίσυφοσ"));
  EXPECT_TRUE(equal("ПРИВЕТ", "привет"));
  EXPECT_FALSE(equal("resume", "résumé"));  // accents still count
  EXPECT_FALSE(equal("ss", "ß"));
  EXPECT_FALSE(equal("abc", "abc "));
  EXPECT_EQ(CollateWide(W("A"), W("b"), true), -1);
  EXPECT_EQ(CollateWide(W("b"), W("A"), true), 1);
  EXPECT_EQ(CollateWide(W("ABC"), W("abd"), true), -1);
  EXPECT_EQ(CollateWide(W("Résumé"), W("resumes"), true), -1);
  EXPECT_EQ(CollateAnsi("ABC", "abc", true), 0);
  EXPECT_EQ(CollateAnsi("\xC9t\xC9", "\xE9t\xE9", true), 0);  // ÉTÉ été
  EXPECT_EQ(CollateAnsi("\x8A", "\x9A", true), 0);            // Š š
  EXPECT_EQ(CollateAnsi("\x9F", "\xFF", true), 0);            // Ÿ ÿ
  // Every Windows-1252 byte equals its own upper and lower case when case is ignored.
  for (int byte = 0; byte < 256; ++byte) {
    std::string one(1, static_cast<char>(byte));
    EXPECT_EQ(CollateAnsi(one, UpperCase(one), true), 0) << byte;
    EXPECT_EQ(CollateAnsi(one, LowerCase(one), true), 0) << byte;
  }
}

TEST(CollationTest, OnlyTheGivenLengthsCount) {
  EXPECT_EQ(CollateAnsi("abcdef", 3, "abcxyz", 3, false), 0);
  EXPECT_EQ(CollateAnsi("abcdef", 4, "abcxyz", 4, false), -1);
  EXPECT_EQ(CollateAnsi("abc", 0, "", 0, false), 0);
  EXPECT_EQ(CollateAnsi("abc", 2, "abc", 3, false), -1);
  const char16_t left[] = u"abcdef";
  const char16_t right[] = u"ABCxyz";
  EXPECT_EQ(CollateWide(left, 3, right, 3, true), 0);
  EXPECT_EQ(CollateWide(left, 3, right, 3, false), -1);
  // Embedded NUL characters are characters like any other.
  EXPECT_EQ(CollateAnsi(std::string_view("a\0b", 3), std::string_view("a\0c", 3), false), -1);
  EXPECT_EQ(CollateAnsi(std::string_view("a\0", 2), std::string_view("a", 1), false), 1);
}

TEST(CollationTest, TypographicVariantsAndCombiningAccents) {
  auto cmp = [](const char* a, const char* b) { return CollateWide(W(a), W(b), false); };
  // A curly apostrophe or a dash weighs as the ASCII symbol first, and only differs afterwards.
  EXPECT_EQ(cmp("don't", "don’t"), -1);
  EXPECT_EQ(cmp("don’t", "don'u"), -1);
  EXPECT_EQ(cmp("a–b", "a-c"), -1);
  EXPECT_EQ(cmp("a b", "a\u00A0b"), -1);
  EXPECT_EQ(cmp("a\u00A0b", "a!"), -1);
  // A combining accent has no weight of its own on the first level.
  EXPECT_EQ(cmp("e\u0301", "e"), 1);
  EXPECT_EQ(cmp("e\u0301", "f"), -1);
  EXPECT_EQ(cmp("e\u0301x", "ey"), -1);
  // Digits of other forms and scripts are digits.
  EXPECT_EQ(cmp("²", "3"), -1);
  EXPECT_EQ(cmp("2", "²"), -1);
  EXPECT_EQ(cmp("\u0665", "6"), -1);  // Arabic-Indic five
  EXPECT_EQ(cmp("\u0665", "!"), 1);
}

TEST(CollationTest, EveryCodeUnitHasItsOwnPlace) {
  // Case-sensitive comparison is a total order in which different single characters never tie.
  std::vector<char16_t> units(0x10000);
  for (size_t unit = 0; unit < units.size(); ++unit) units[unit] = static_cast<char16_t>(unit);
  std::shuffle(units.begin(), units.end(), std::mt19937(7));
  auto less = [](char16_t a, char16_t b) { return CollateWide(&a, 1, &b, 1, false) < 0; };
  std::sort(units.begin(), units.end(), less);
  for (size_t index = 1; index < units.size(); ++index) {
    char16_t a = units[index - 1], b = units[index];
    ASSERT_EQ(CollateWide(&a, 1, &b, 1, false), -1) << int(a) << " " << int(b);
    ASSERT_EQ(CollateWide(&b, 1, &a, 1, false), 1) << int(a) << " " << int(b);
  }
  // Groups: every control before every blank and symbol, those before digits, those before letters.
  auto position = [&](char16_t unit) { return std::find(units.begin(), units.end(), unit) - units.begin(); };
  EXPECT_LT(position(0x1F), position(u'\t'));
  EXPECT_LT(position(u'\t'), position(u' '));
  EXPECT_LT(position(u' '), position(u'!'));
  EXPECT_LT(position(u'~'), position(0x00A7));  // §
  EXPECT_LT(position(0x20AC), position(u'0'));
  EXPECT_LT(position(u'9'), position(u'a'));
  EXPECT_LT(position(u'Z'), position(0x03B1));
}

TEST(CollationTest, RandomStringsGiveAConsistentOrder) {
  // Letters, accents, ligatures, combining accents, a soft hyphen, symbols and digits mixed at
  // random: whatever the strings, the comparison must be a strict weak order.
  const std::u16string alphabet = u"aA\u00E1esS\u00DF\u00E6\u00C6\u0301\u00AD -1\u00B2\u212Ak";
  std::mt19937 random(2024);
  std::vector<std::u16string> strings;
  for (int count = 0; count < 400; ++count) {
    std::u16string text;
    const size_t length = random() % 6;
    for (size_t index = 0; index < length; ++index) text += alphabet[random() % alphabet.size()];
    strings.push_back(text);
  }
  for (bool ignoreCase : {false, true}) {
    auto compare = [ignoreCase](const std::u16string& a, const std::u16string& b) {
      return CollateWide(a, b, ignoreCase);
    };
    std::vector<std::u16string> sorted = strings;
    std::sort(sorted.begin(), sorted.end(),
              [&](const std::u16string& a, const std::u16string& b) { return compare(a, b) < 0; });
    for (size_t i = 0; i < sorted.size(); ++i) {
      for (size_t j = i; j < sorted.size(); ++j) {
        const int forward = compare(sorted[i], sorted[j]);
        ASSERT_LE(forward, 0) << i << " " << j;
        ASSERT_EQ(compare(sorted[j], sorted[i]), -forward);
        if (!ignoreCase) {
          ASSERT_EQ(forward == 0, sorted[i] == sorted[j]);
        }
      }
    }
  }
}

TEST(CollationTest, SortingMixedTextIsStableAcrossRuns) {
  std::vector<std::u16string> words;
  for (const char* word : kOrderedWords) words.push_back(W(word));
  std::vector<std::u16string> shuffled = words;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(42));
  std::sort(shuffled.begin(), shuffled.end(),
            [](const std::u16string& a, const std::u16string& b) { return CollateWide(a, b, false) < 0; });
  EXPECT_EQ(shuffled, words);
}

//! FNV-1a over a sequence of code units.
uint64_t Fingerprint(const std::vector<char16_t>& units) {
  uint64_t hash = 14695981039346656037ull;
  for (char16_t unit : units) {
    hash = (hash ^ (unit & 0xFF)) * 1099511628211ull;
    hash = (hash ^ (unit >> 8)) * 1099511628211ull;
  }
  return hash;
}

TEST(CollationTest, OrderAndCaseTablesNeverChange) {
  // Stored indexes depend on this order: any change to the tables must be deliberate, with a way
  // to rebuild existing indexes. The fingerprints below belong to the first released tables.
  std::vector<char16_t> units(0x10000);
  for (size_t unit = 0; unit < units.size(); ++unit) units[unit] = static_cast<char16_t>(unit);
  std::stable_sort(units.begin(), units.end(),
                   [](char16_t a, char16_t b) { return CollateWide(&a, 1, &b, 1, false) < 0; });
  std::vector<char16_t> bytes(256);
  for (size_t byte = 0; byte < bytes.size(); ++byte) bytes[byte] = static_cast<char16_t>(byte);
  std::stable_sort(bytes.begin(), bytes.end(), [](char16_t a, char16_t b) {
    const char x = static_cast<char>(a), y = static_cast<char>(b);
    return CollateAnsi(&x, 1, &y, 1, false) < 0;
  });
  std::vector<char16_t> upper(0x10000), lower(0x10000);
  for (size_t unit = 0; unit < upper.size(); ++unit) upper[unit] = lower[unit] = static_cast<char16_t>(unit);
  UpperCaseBuffer(upper.data(), upper.size());
  LowerCaseBuffer(lower.data(), lower.size());
  EXPECT_EQ(Fingerprint(units), 3510288731311418869ull);
  EXPECT_EQ(Fingerprint(bytes), 13586229485288938997ull);
  EXPECT_EQ(Fingerprint(upper), 16283709494761744770ull);
  EXPECT_EQ(Fingerprint(lower), 11280060826480527401ull);
}

TEST(CollationTest, FirstLevelOfBeginningsDecidesOnlyWhatTheWholeTextsAgreeWith) {
  // Beginnings of longer texts: "ab" < "AB" on the case level, but "abz" > "ABa" as whole texts.
  EXPECT_EQ(CollateAnsiFirstLevel("ab", 2, false, "AB", 2, false), 0);
  EXPECT_EQ(CollateAnsiFirstLevel("abz", 3, true, "aba", 3, false), 1);
  EXPECT_EQ(CollateAnsiFirstLevel("ab", 2, true, "abc", 3, false), -1);  // a complete shorter text
  EXPECT_EQ(CollateAnsiFirstLevel("abc", 3, false, "ab", 2, false), 0);
  const std::u16string wideA = u"\u00e9a", wideB = u"eb";
  EXPECT_EQ(CollateWideFirstLevel(wideA.data(), 1, false, wideB.data(), 1, false), 0);  // é and e tie
  EXPECT_EQ(CollateWideFirstLevel(wideA.data(), 2, false, wideB.data(), 2, false), -1);

  // Whenever the beginnings decide, the whole texts agree.
  const char alphabet[] = {'a', 'A', 'b', 'e', 'E', ' ', '-', '1', '\xE9', '\xE6', '\xDF', '\xAD', 's'};
  uint32_t state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u; };
  int decided = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string a, b;
    for (uint32_t n = next() % 6; n > 0; --n) a.push_back(alphabet[(next() >> 8) % sizeof alphabet]);
    b = a.substr(0, (next() >> 8) % (a.size() + 1));
    for (uint32_t n = next() % 6; n > 0; --n) b.push_back(alphabet[(next() >> 8) % sizeof alphabet]);
    const size_t cutA = (next() >> 8) % (a.size() + 1), cutB = (next() >> 8) % (b.size() + 1);
    const int order = CollateAnsiFirstLevel(a.data(), cutA, cutA == a.size(), b.data(), cutB, cutB == b.size());
    if (order == 0) continue;
    ++decided;
    ASSERT_EQ(order, CollateAnsi(a, b, round % 2 == 0)) << a << " / " << b << " cut " << cutA << ", " << cutB;
  }
  EXPECT_GT(decided, 1000);
}

}  // namespace
}  // namespace viz::platform
