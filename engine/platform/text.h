// Text conversions and case mapping. Single-byte text in the engine is Windows-1252; wide text is
// UTF-16; the user interface speaks UTF-8. Results never depend on the environment's locale.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace viz::platform {

//! Windows-1252 → UTF-16. The five undefined bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
//! control characters of the same value, so every byte round-trips.
std::u16string Win1252ToUtf16(std::string_view text);
//! UTF-16 → Windows-1252; characters without a Windows-1252 form become '?'.
std::string Utf16ToWin1252(std::u16string_view text);
//! Returns the UTF-16 code unit of one Windows-1252 byte.
char16_t Win1252ToUnit(unsigned char byte);

//! UTF-8 → UTF-16; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
//! UTF-16 → UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

//! Windows-1252 ↔ UTF-8, through UTF-16.
std::string Win1252ToUtf8(std::string_view text);
std::string Utf8ToWin1252(std::string_view text);

//! Upper and lower case of Windows-1252 text, in place, over `length` bytes (letters with accents
//! included, and ÿ with Ÿ at 0x9F; characters whose partner has no byte, such as ß and µ, stay).
void UpperCaseBuffer(char* text, size_t length);
void LowerCaseBuffer(char* text, size_t length);
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
//! Whether UpperCase(a) == UpperCase(b), without building either.
bool SameUpperCase(std::string_view a, std::string_view b);

//! Upper and lower case of UTF-16 text, in place, character by character (simple case mapping of
//! the Basic Multilingual Plane).
void UpperCaseBuffer(char16_t* text, size_t length);
void LowerCaseBuffer(char16_t* text, size_t length);
std::u16string UpperCase(std::u16string_view text);
std::u16string LowerCase(std::u16string_view text);

}  // namespace viz::platform
