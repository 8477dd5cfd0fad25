// Unaligned loads and stores of stored values. Record buffers pack fields without padding, so a
// field may start at any byte; the stored forms are little-endian, as the host is.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace viz {

static_assert(std::endian::native == std::endian::little, "stored values are little-endian");

template <class T>
T LoadRaw(const void* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <class T>
void StoreRaw(void* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

//! Single-byte text of a payload: up to the first zero byte, at most `size` bytes (size < 0: no
//! limit, the text must be zero-terminated).
inline std::string_view AnsiPayload(const void* value, int32_t size) {
  if (!value) return {};
  const char* text = static_cast<const char*>(value);
  if (size < 0) return std::string_view(text);
  const void* zero = std::memchr(text, 0, static_cast<size_t>(size));
  return std::string_view(text, zero ? static_cast<const char*>(zero) - text : static_cast<size_t>(size));
}

//! Number of UTF-16 units of a payload before its zero unit (at most size / 2; size < 0: no limit).
inline size_t WidePayloadLength(const void* value, int32_t size) {
  if (!value) return 0;
  const unsigned char* bytes = static_cast<const unsigned char*>(value);
  const size_t limit = size < 0 ? SIZE_MAX / 2 : static_cast<size_t>(size) / 2;
  size_t length = 0;
  while (length < limit && (bytes[2 * length] | bytes[2 * length + 1]) != 0) ++length;
  return length;
}

//! Wide text of a payload, copied so that it is aligned whatever the payload's address.
inline std::u16string WidePayload(const void* value, int32_t size) {
  std::u16string text(WidePayloadLength(value, size), u'\0');
  if (!text.empty()) std::memcpy(text.data(), value, text.size() * 2);
  return text;
}

}  // namespace viz
