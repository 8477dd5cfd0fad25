#include "engine/tables/stored_form_io.h"

#include <string>

#include "engine/types/errors.h"
#include "engine/types/raw_access.h"
#include "engine/types/stream_base.h"

namespace viz {

void WriteBytes(TABSStreamBase& stream, const void* data, int32_t count, int32_t code) {
  stream.WriteBuffer(data, count, code);
}

void WriteU8(TABSStreamBase& stream, uint8_t value, int32_t code) { stream.WriteBuffer(&value, 1, code); }

void WriteI32(TABSStreamBase& stream, int32_t value, int32_t code) {
  uint8_t bytes[4];
  StoreRaw(bytes, value);
  stream.WriteBuffer(bytes, 4, code);
}

void WriteI64(TABSStreamBase& stream, int64_t value, int32_t code) {
  uint8_t bytes[8];
  StoreRaw(bytes, value);
  stream.WriteBuffer(bytes, 8, code);
}

void WriteText8(TABSStreamBase& stream, std::string_view text, int32_t lengthCode, int32_t charsCode) {
  text = text.substr(0, 255);
  WriteU8(stream, static_cast<uint8_t>(text.size()), lengthCode);
  if (!text.empty()) stream.WriteBuffer(text.data(), static_cast<int32_t>(text.size()), charsCode);
}

void ReadBytes(TABSStreamBase& stream, void* data, int32_t count, int32_t code) {
  stream.ReadBuffer(data, count, code);
}

uint8_t ReadU8(TABSStreamBase& stream, int32_t code) {
  uint8_t value = 0;
  stream.ReadBuffer(&value, 1, code);
  return value;
}

int32_t ReadI32(TABSStreamBase& stream, int32_t code) {
  uint8_t bytes[4];
  stream.ReadBuffer(bytes, 4, code);
  return LoadRaw<int32_t>(bytes);
}

int64_t ReadI64(TABSStreamBase& stream, int32_t code) {
  uint8_t bytes[8];
  stream.ReadBuffer(bytes, 8, code);
  return LoadRaw<int64_t>(bytes);
}

std::string ReadText8(TABSStreamBase& stream, int32_t lengthCode, int32_t charsCode) {
  const uint8_t length = ReadU8(stream, lengthCode);
  std::string text(length, '\0');
  if (length > 0) stream.ReadBuffer(text.data(), length, charsCode);
  return text;
}

namespace {

// The m bytes of a sized text: the length byte, then the characters.
std::string SizedTextBytes(std::string_view text) {
  text = text.substr(0, 255);
  std::string bytes(1, static_cast<char>(text.size()));
  bytes.append(text);
  return bytes;
}

std::string ReadSizedTextBytes(TABSStreamBase& stream, int32_t size, int32_t bytesCode) {
  if (size < 0 || size > 256) {
    // No text has such a size: report it as the read of the bytes that cannot succeed.
    throw EABSException(msg::kStreamCannotRead.At(bytesCode), stream.GetPosition(), stream.GetSize(), size, 0);
  }
  std::string bytes(static_cast<size_t>(size), '\0');
  if (size > 0) stream.ReadBuffer(bytes.data(), size, bytesCode);
  if (bytes.empty()) return {};
  const size_t length = static_cast<uint8_t>(bytes[0]);
  return bytes.substr(1, length);
}

}  // namespace

void WriteSizedText8(TABSStreamBase& stream, std::string_view text, int32_t sizeCode, int32_t bytesCode) {
  // The 8-bit size counts the length byte too, so at most 254 characters fit.
  const std::string bytes = SizedTextBytes(text.substr(0, 254));
  WriteU8(stream, static_cast<uint8_t>(bytes.size()), sizeCode);
  stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()), bytesCode);
}

void WriteSizedText32(TABSStreamBase& stream, std::string_view text, int32_t sizeCode, int32_t bytesCode) {
  const std::string bytes = SizedTextBytes(text);
  WriteI32(stream, static_cast<int32_t>(bytes.size()), sizeCode);
  stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()), bytesCode);
}

std::string ReadSizedText8(TABSStreamBase& stream, int32_t sizeCode, int32_t bytesCode) {
  return ReadSizedTextBytes(stream, ReadU8(stream, sizeCode), bytesCode);
}

std::string ReadSizedText32(TABSStreamBase& stream, int32_t sizeCode, int32_t bytesCode) {
  return ReadSizedTextBytes(stream, ReadI32(stream, sizeCode), bytesCode);
}

}  // namespace viz
