// Little-endian numbers and short texts read from and written to engine streams with the exact
// read and write operations: each call passes the native error code of its own call site, so that a
// short transfer names the place that failed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace viz {

class TABSStreamBase;

void WriteBytes(TABSStreamBase& stream, const void* data, int32_t count, int32_t code);
void WriteU8(TABSStreamBase& stream, uint8_t value, int32_t code);
void WriteI32(TABSStreamBase& stream, int32_t value, int32_t code);
void WriteI64(TABSStreamBase& stream, int64_t value, int32_t code);
//! text8: one length byte, then that many characters (the text is cut to 255 characters).
void WriteText8(TABSStreamBase& stream, std::string_view text, int32_t lengthCode, int32_t charsCode);

void ReadBytes(TABSStreamBase& stream, void* data, int32_t count, int32_t code);
uint8_t ReadU8(TABSStreamBase& stream, int32_t code);
int32_t ReadI32(TABSStreamBase& stream, int32_t code);
int64_t ReadI64(TABSStreamBase& stream, int32_t code);
std::string ReadText8(TABSStreamBase& stream, int32_t lengthCode, int32_t charsCode);

// Sized texts: a size m, then m bytes that are the text's own length byte followed by its characters
// (m = length + 1; the text AB is 03 02 41 42 with an 8-bit size). The size is u8 or i32.
void WriteSizedText8(TABSStreamBase& stream, std::string_view text, int32_t sizeCode, int32_t bytesCode);
void WriteSizedText32(TABSStreamBase& stream, std::string_view text, int32_t sizeCode, int32_t bytesCode);
std::string ReadSizedText8(TABSStreamBase& stream, int32_t sizeCode, int32_t bytesCode);
//! A size outside 0 .. 256 cannot come from a text and fails like a short read of the bytes.
std::string ReadSizedText32(TABSStreamBase& stream, int32_t sizeCode, int32_t bytesCode);

}  // namespace viz
