// Little-endian numbers and short texts read from and written to engine streams with the exact
// read and write operations: each call passes the native error code of its own call site, so that a
// short transfer names the place that failed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace viz {

class TStream;
class TABSVariant;

void WriteBytes(TStream& stream, const void* data, int32_t count, int32_t code);
void WriteU8(TStream& stream, uint8_t value, int32_t code);
void WriteI32(TStream& stream, int32_t value, int32_t code);
void WriteI64(TStream& stream, int64_t value, int32_t code);
//! text8: one length byte, then that many characters (the text is cut to 255 characters).
void WriteText8(TStream& stream, std::string_view text, int32_t lengthCode, int32_t charsCode);

void ReadBytes(TStream& stream, void* data, int32_t count, int32_t code);
uint8_t ReadU8(TStream& stream, int32_t code);
int32_t ReadI32(TStream& stream, int32_t code);
int64_t ReadI64(TStream& stream, int32_t code);
std::string ReadText8(TStream& stream, int32_t lengthCode, int32_t charsCode);

//! A value in the variant stream form. The variant writes itself to the value types' own stream
//! interface, which the engine's streams do not implement; these bridge the two.
void WriteVariant(TStream& stream, const TABSVariant& value);
void ReadVariant(TStream& stream, TABSVariant& value);

// Sized texts: a size m, then m bytes that are the text's own length byte followed by its characters
// (m = length + 1; the text AB is 03 02 41 42 with an 8-bit size). The size is u8 or i32.
void WriteSizedText8(TStream& stream, std::string_view text, int32_t sizeCode, int32_t bytesCode);
void WriteSizedText32(TStream& stream, std::string_view text, int32_t sizeCode, int32_t bytesCode);
std::string ReadSizedText8(TStream& stream, int32_t sizeCode, int32_t bytesCode);
//! A size outside 0 .. 256 cannot come from a text and fails like a short read of the bytes.
std::string ReadSizedText32(TStream& stream, int32_t sizeCode, int32_t bytesCode);

}  // namespace viz
