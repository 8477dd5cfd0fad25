#include "engine/tables/stored_form_io.h"

#include <string>

#include "engine/tables/streams.h"
#include "engine/types/VIZVariant.h"
#include "engine/types/errors.h"
#include "engine/types/raw_access.h"
#include "engine/types/stream_base.h"

namespace viz {

void WriteBytes(TStream& stream, const void* data, int32_t count, int32_t code) {
  ExactWrite(data, count, stream, code);
}

void WriteU8(TStream& stream, uint8_t value, int32_t code) {
  ExactWrite(&value, 1, stream, code);
}

void WriteI32(TStream& stream, int32_t value, int32_t code) {
  uint8_t bytes[4];
  StoreRaw(bytes, value);
  ExactWrite(bytes, 4, stream, code);
}

void WriteI64(TStream& stream, int64_t value, int32_t code) {
  uint8_t bytes[8];
  StoreRaw(bytes, value);
  ExactWrite(bytes, 8, stream, code);
}

void WriteText8(TStream& stream, std::string_view text, int32_t lengthCode, int32_t charsCode) {
  text = text.substr(0, 255);
  WriteU8(stream, static_cast<uint8_t>(text.size()), lengthCode);
  if (!text.empty()) ExactWrite(text.data(), static_cast<int32_t>(text.size()), stream, charsCode);
}

void ReadBytes(TStream& stream, void* data, int32_t count, int32_t code) {
  ExactRead(data, count, stream, code);
}

uint8_t ReadU8(TStream& stream, int32_t code) {
  uint8_t value = 0;
  ExactRead(&value, 1, stream, code);
  return value;
}

int32_t ReadI32(TStream& stream, int32_t code) {
  uint8_t bytes[4];
  ExactRead(bytes, 4, stream, code);
  return LoadRaw<int32_t>(bytes);
}

int64_t ReadI64(TStream& stream, int32_t code) {
  uint8_t bytes[8];
  ExactRead(bytes, 8, stream, code);
  return LoadRaw<int64_t>(bytes);
}

std::string ReadText8(TStream& stream, int32_t lengthCode, int32_t charsCode) {
  const uint8_t length = ReadU8(stream, lengthCode);
  std::string text(length, '\0');
  if (length > 0) ExactRead(text.data(), length, stream, charsCode);
  return text;
}

namespace {

// Presents an engine stream through the value types' stream interface.
class StreamBaseOnStream : public TABSStreamBase {
 public:
  explicit StreamBaseOnStream(TStream& stream) : stream_(stream) {}
  int32_t Read(void* buffer, int32_t count) override {
    return static_cast<int32_t>(stream_.Read(buffer, count));
  }
  int32_t Write(const void* buffer, int32_t count) override {
    return static_cast<int32_t>(stream_.Write(buffer, count));
  }
  int64_t GetPosition() const override { return stream_.Position(); }
  int64_t GetSize() const override { return stream_.Size(); }

 private:
  TStream& stream_;
};

}  // namespace

void WriteVariant(TStream& stream, const TABSVariant& value) {
  StreamBaseOnStream adapter(stream);
  value.SaveToStream(adapter);
}

void ReadVariant(TStream& stream, TABSVariant& value) {
  StreamBaseOnStream adapter(stream);
  value.LoadFromStream(adapter);
}

namespace {

// The m bytes of a sized text: the length byte, then the characters.
std::string SizedTextBytes(std::string_view text) {
  text = text.substr(0, 255);
  std::string bytes(1, static_cast<char>(text.size()));
  bytes.append(text);
  return bytes;
}

std::string ReadSizedTextBytes(TStream& stream, int32_t size, int32_t bytesCode) {
  if (size < 0 || size > 256) {
    // No text has such a size: report it as the read of the bytes that cannot succeed.
    throw EABSException(msg::kStreamCannotRead.At(bytesCode), stream.Position(), stream.Size(), size, 0);
  }
  std::string bytes(static_cast<size_t>(size), '\0');
  if (size > 0) ExactRead(bytes.data(), size, stream, bytesCode);
  if (bytes.empty()) return {};
  const size_t length = static_cast<uint8_t>(bytes[0]);
  return bytes.substr(1, length);
}

}  // namespace

void WriteSizedText8(TStream& stream, std::string_view text, int32_t sizeCode, int32_t bytesCode) {
  // The 8-bit size counts the length byte too, so at most 254 characters fit.
  const std::string bytes = SizedTextBytes(text.substr(0, 254));
  WriteU8(stream, static_cast<uint8_t>(bytes.size()), sizeCode);
  ExactWrite(bytes.data(), static_cast<int32_t>(bytes.size()), stream, bytesCode);
}

void WriteSizedText32(TStream& stream, std::string_view text, int32_t sizeCode, int32_t bytesCode) {
  const std::string bytes = SizedTextBytes(text);
  WriteI32(stream, static_cast<int32_t>(bytes.size()), sizeCode);
  ExactWrite(bytes.data(), static_cast<int32_t>(bytes.size()), stream, bytesCode);
}

std::string ReadSizedText8(TStream& stream, int32_t sizeCode, int32_t bytesCode) {
  return ReadSizedTextBytes(stream, ReadU8(stream, sizeCode), bytesCode);
}

std::string ReadSizedText32(TStream& stream, int32_t sizeCode, int32_t bytesCode) {
  return ReadSizedTextBytes(stream, ReadI32(stream, sizeCode), bytesCode);
}

}  // namespace viz
