#include "engine/platform/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace viz::platform {
namespace {

TEST(TextTest, EveryWindows1252ByteRoundTrips) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  std::u16string wide = Win1252ToUtf16(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(Utf16ToWin1252(wide), all);
  EXPECT_EQ(Utf8ToWin1252(Win1252ToUtf8(all)), all);
  for (int byte = 0; byte < 256; ++byte) {
    EXPECT_EQ(Win1252ToUnit(static_cast<unsigned char>(byte)), wide[byte]);
    // Every byte is a character of its own: no two bytes share a code point.
    for (int other = 0; other < byte; ++other) ASSERT_NE(wide[other], wide[byte]) << byte;
  }
  // The bytes that differ from Latin-1, and the undefined ones standing for their controls.
  EXPECT_EQ(wide[0x80], u'\u20AC');
  EXPECT_EQ(wide[0x85], u'\u2026');
  EXPECT_EQ(wide[0x8A], u'\u0160');
  EXPECT_EQ(wide[0x92], u'\u2019');
  EXPECT_EQ(wide[0x96], u'\u2013');
  EXPECT_EQ(wide[0x99], u'\u2122');
  EXPECT_EQ(wide[0x9F], u'\u0178');
  for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(wide[undefined], undefined);
  EXPECT_EQ(wide[0xA0], u'\u00A0');
  EXPECT_EQ(wide[0xE9], u'\u00E9');
  EXPECT_EQ(Win1252ToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(TextTest, CharactersWithoutSingleByteFormBecomeQuestionMarks) {
  EXPECT_EQ(Utf16ToWin1252(u"a\u0100b\u4E2Dc"), "a?b?c");
  // A character outside the Basic Multilingual Plane is one question mark, not two.
  EXPECT_EQ(Utf16ToWin1252(u"x\U0001F600y"), "x?y");
  EXPECT_EQ(Utf8ToWin1252("\xE2\x82\xAC \xC5\x93"), "\x80 \x9C");
}

TEST(TextTest, Utf8DecodingOfValidText) {
  EXPECT_EQ(Utf8ToUtf16("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"A\u00E9\u20AC\U0001F600");
  EXPECT_EQ(Utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  EXPECT_EQ(Utf8ToUtf16("\xEF\xBF\xBF\xF4\x8F\xBF\xBF"), u"\uFFFF\U0010FFFF");
  // Every code point of the Basic Multilingual Plane survives the way there and back.
  std::u16string all;
  for (char32_t code = 1; code < 0x10000; ++code) {
    if (code < 0xD800 || code > 0xDFFF) all += static_cast<char16_t>(code);
  }
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(all)), all);
}

TEST(TextTest, MalformedUtf8BecomesReplacementCharacters) {
  const std::u16string r = u"\uFFFD";
  struct Case {
    const char* input;
    std::u16string expected;
  };
  const Case cases[] = {
      {"\x80", r},  // lone continuation byte
      {"a\xFF"
       "b",
       u"a" + r + u"b"},                    // byte that never starts a character
      {"\xC0\x80", r + r},                  // overlong NUL
      {"\xC1\xBF", r + r},                  // overlong
      {"\xE0\x80\xAF", r + r + r},          // overlong three-byte form
      {"\xF0\x80\x80\xAF", r + r + r + r},  // overlong four-byte form
      {"\xED\xA0\x80", r + r + r},          // encoded surrogate half
      {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
      {"\xF5\x80", r + r},                  // lead byte beyond the range
      {"\xE2\x82", r},                      // cut off at the end: one replacement
      {"\xE2\x82"
       "A",
       r + u"A"},                       // cut off by an ASCII byte, which survives
      {"\xF0\x9F\x98", r},              // four-byte form cut off
      {"\xC3\xC3\xA9", r + u"\u00E9"},  // a new lead byte ends the broken sequence
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.input), c.expected) << testing::PrintToString(std::string(c.input));
  }
}

TEST(TextTest, UnpairedSurrogatesBecomeReplacementCharactersInUtf8) {
  const std::string r = "\xEF\xBF\xBD";
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD800, u'b'}), "a" + r + "b");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, 0xD800}), r + r);
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D}), r);
}

TEST(TextTest, SingleByteCaseMapping) {
  // straße ÿ é œ š ž à ð þ
  const std::string lower =
      "stra\xDF"
      "e \xFF \xE9 \x9C \x9A \x9E \xE0 \xF0 \xFE";
  const std::string upper =
      "STRA\xDF"
      "E \x9F \xC9 \x8C \x8A \x8E \xC0 \xD0 \xDE";
  EXPECT_EQ(UpperCase(lower), upper);
  EXPECT_EQ(LowerCase(upper), lower);
  // Not letters, or letters without a partner byte: µ ª º × ÷ ƒ and digits stay.
  const std::string fixed = "\xB5\xAA\xBA\xD7\xF7\x83 019!@[`{";
  EXPECT_EQ(UpperCase(fixed), fixed);
  EXPECT_EQ(LowerCase(fixed), fixed);
  // Only the given length is touched.
  char buffer[] = "abcdef";
  UpperCaseBuffer(buffer, 3);
  EXPECT_STREQ(buffer, "ABCdef");
  LowerCaseBuffer(buffer, 2);
  EXPECT_STREQ(buffer, "abCdef");
  // SameUpperCase is UpperCase(a) == UpperCase(b), over every pair of bytes.
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      const std::string left{'x', static_cast<char>(a)}, right{'X', static_cast<char>(b)};
      ASSERT_EQ(SameUpperCase(left, right), UpperCase(left) == UpperCase(right)) << a << " " << b;
    }
  }
  EXPECT_FALSE(SameUpperCase("ab", "abc"));
  EXPECT_TRUE(SameUpperCase("", ""));
}

TEST(TextTest, SingleByteCaseMappingAgreesWithWideCaseMapping) {
  for (int byte = 0; byte < 256; ++byte) {
    std::string one(1, static_cast<char>(byte));
    std::u16string wide = Win1252ToUtf16(one);
    std::string viaWide = Utf16ToWin1252(UpperCase(wide));
    EXPECT_EQ(UpperCase(one), viaWide == "?" ? one : viaWide) << byte;
    viaWide = Utf16ToWin1252(LowerCase(wide));
    EXPECT_EQ(LowerCase(one), viaWide == "?" ? one : viaWide) << byte;
  }
}

TEST(TextTest, WideCaseMappingCoversEuropeanScripts) {
  EXPECT_EQ(UpperCase(u"\u0142\u00F3d\u017A \u0151 \u0219"),
            u"\u0141\u00D3D\u0179 \u0150 \u0218");  // łódź ő ș
  EXPECT_EQ(UpperCase(u"\u03C3\u03AF\u03C3\u03C5\u03C6\u03BF\u03C2"),
            u"\u03A3\u038A\u03A3\u03A5\u03A6\u039F\u03A3");  // σίσυφος, final sigma too
  EXPECT_EQ(LowerCase(u"\u03A3\u038A\u03A3\u03A5\u03A6\u039F\u03A3"),
            u"\u03C3\u03AF\u03C3\u03C5\u03C6\u03BF\u03C3");
  EXPECT_EQ(UpperCase(u"\u043F\u0440\u0438\u0432\u0435\u0442 \u0451 \u0457"),
            u"\u041F\u0420\u0418\u0412\u0415\u0422 \u0401 \u0407");  // привет ё ї
  EXPECT_EQ(LowerCase(u"\u041F\u0420\u0418\u0412\u0415\u0422"), u"\u043F\u0440\u0438\u0432\u0435\u0442");
  EXPECT_EQ(UpperCase(u"\u1EBF \u01C6 \u01C5"), u"\u1EBE \u01C4 \u01C4");  // ế ǆ ǅ
  EXPECT_EQ(LowerCase(u"\u01C5 \u0130 I"), u"\u01C6 i i");
  EXPECT_EQ(UpperCase(u"\u0131 \u00DF \u00FF"), u"I \u00DF \u0178");  // ı ß ÿ
  EXPECT_EQ(UpperCase(u"\uFF41\u24D0"), u"\uFF21\u24B6");             // full-width and circled letters
  // Surrogate halves and characters without case stay as they are.
  const std::u16string fixed = u"\U0001F600 \u4E2D\u05D0 123";
  EXPECT_EQ(UpperCase(fixed), fixed);
  EXPECT_EQ(LowerCase(fixed), fixed);
  // Only the given length is touched.
  std::u16string buffer = u"abcd";
  UpperCaseBuffer(buffer.data(), 2);
  EXPECT_EQ(buffer, u"ABcd");
}

TEST(TextTest, ResultsDoNotDependOnTheLocale) {
  const std::u16string word = u"istanbul \u0130I\u0131i";
  const std::u16string upper = UpperCase(word), lower = LowerCase(word);
  const std::string ansi = UpperCase(std::string("istanbul \xE9"));
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  bool switched = false;
  for (const char* name : {"tr_TR.UTF-8", "tr_TR.ISO-8859-9", "C.UTF-8", "POSIX"}) {
    if (std::setlocale(LC_ALL, name)) {
      switched = true;
      EXPECT_EQ(UpperCase(word), upper) << name;
      EXPECT_EQ(LowerCase(word), lower) << name;
      EXPECT_EQ(UpperCase(std::string("istanbul \xE9")), ansi) << name;
    }
  }
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_TRUE(switched);
  EXPECT_EQ(upper,
            u"ISTANBUL \u0130II"
            "I");
  EXPECT_EQ(lower,
            u"istanbul i"
            "i\u0131i");
}

}  // namespace
}  // namespace viz::platform
