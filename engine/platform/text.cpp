#include "engine/platform/text.h"

#include <array>

#include "engine/platform/unicode_tables.h"

namespace viz::platform {
namespace {

using detail::ToLowerUnit;
using detail::ToUpperUnit;

constexpr char16_t kReplacement = 0xFFFD;

//! Bytes 0x80 to 0x9F of Windows-1252; the five undefined ones stand for the control character of
//! the same value. Every other byte is the code point of the same value.
constexpr char16_t kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

inline char16_t ByteToUnit(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

//! Returns the Windows-1252 byte of `unit`, or -1 when it has none.
int UnitToByte(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int index = 0; index < 32; ++index) {
    if (kHighControls[index] == unit) return 0x80 + index;
  }
  return -1;
}

struct ByteCaseTables {
  std::array<unsigned char, 256> upper;
  std::array<unsigned char, 256> lower;
};

//! Single-byte case mapping: through the character's own case partner, where that has a byte too.
const ByteCaseTables& ByteCase() {
  static const ByteCaseTables tables = [] {
    ByteCaseTables built{};
    for (int byte = 0; byte < 256; ++byte) {
      char16_t unit = ByteToUnit(static_cast<unsigned char>(byte));
      int upper = UnitToByte(ToUpperUnit(unit));
      int lower = UnitToByte(ToLowerUnit(unit));
      built.upper[byte] = static_cast<unsigned char>(upper >= 0 ? upper : byte);
      built.lower[byte] = static_cast<unsigned char>(lower >= 0 ? lower : byte);
    }
    return built;
  }();
  return tables;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace

char16_t Win1252ToUnit(unsigned char byte) {
  return ByteToUnit(byte);
}

std::u16string Win1252ToUtf16(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  for (size_t index = 0; index < text.size(); ++index) {
    out[index] = ByteToUnit(static_cast<unsigned char>(text[index]));
  }
  return out;
}

std::string Utf16ToWin1252(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t index = 0; index < text.size(); ++index) {
    char16_t unit = text[index];
    // A surrogate pair is one character, and it has no single-byte form.
    if (unit >= 0xD800 && unit <= 0xDBFF && index + 1 < text.size() && text[index + 1] >= 0xDC00 &&
        text[index + 1] <= 0xDFFF) {
      ++index;
      out += '?';
      continue;
    }
    int byte = UnitToByte(unit);
    out += byte >= 0 ? static_cast<char>(byte) : '?';
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  size_t index = 0;
  while (index < size) {
    unsigned char lead = bytes[index];
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      ++index;
      continue;
    }
    // Well-formed sequences only: no overlong forms, no surrogates, nothing above U+10FFFF. The
    // second byte's range depends on the lead byte; a sequence broken off anywhere gives one
    // replacement character for the part read so far, and reading resumes at the offending byte.
    int trail = 0;
    unsigned char low = 0x80, high = 0xBF;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trail = 2;
      code = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trail = 3;
      code = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out += kReplacement;
      ++index;
      continue;
    }
    size_t next = index + 1;
    bool complete = true;
    for (int count = 0; count < trail; ++count, ++next) {
      if (next >= size || bytes[next] < low || bytes[next] > high) {
        complete = false;
        break;
      }
      code = (code << 6) | (bytes[next] & 0x3F);
      low = 0x80;
      high = 0xBF;
    }
    index = next;
    if (!complete) {
      out += kReplacement;
    } else if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t index = 0; index < text.size(); ++index) {
    char32_t unit = text[index];
    if (unit >= 0xD800 && unit <= 0xDBFF && index + 1 < text.size() && text[index + 1] >= 0xDC00 &&
        text[index + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[index + 1] - 0xDC00));
      ++index;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::string Win1252ToUtf8(std::string_view text) {
  return Utf16ToUtf8(Win1252ToUtf16(text));
}

std::string Utf8ToWin1252(std::string_view text) {
  return Utf16ToWin1252(Utf8ToUtf16(text));
}

void UpperCaseBuffer(char* text, size_t length) {
  const auto& table = ByteCase().upper;
  for (size_t index = 0; index < length; ++index) {
    text[index] = static_cast<char>(table[static_cast<unsigned char>(text[index])]);
  }
}

void LowerCaseBuffer(char* text, size_t length) {
  const auto& table = ByteCase().lower;
  for (size_t index = 0; index < length; ++index) {
    text[index] = static_cast<char>(table[static_cast<unsigned char>(text[index])]);
  }
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  UpperCaseBuffer(out.data(), out.size());
  return out;
}

bool SameUpperCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto& table = ByteCase().upper;
  for (size_t index = 0; index < a.size(); ++index) {
    if (table[static_cast<unsigned char>(a[index])] != table[static_cast<unsigned char>(b[index])]) return false;
  }
  return true;
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  LowerCaseBuffer(out.data(), out.size());
  return out;
}

void UpperCaseBuffer(char16_t* text, size_t length) {
  for (size_t index = 0; index < length; ++index) text[index] = ToUpperUnit(text[index]);
}

void LowerCaseBuffer(char16_t* text, size_t length) {
  for (size_t index = 0; index < length; ++index) text[index] = ToLowerUnit(text[index]);
}

std::u16string UpperCase(std::u16string_view text) {
  std::u16string out(text);
  UpperCaseBuffer(out.data(), out.size());
  return out;
}

std::u16string LowerCase(std::u16string_view text) {
  std::u16string out(text);
  LowerCaseBuffer(out.data(), out.size());
  return out;
}

}  // namespace viz::platform
