#include "engine/types/crc32.h"

#include <array>

namespace viz {
namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t index = 0; index < 256; ++index) {
    uint32_t value = index;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    table[index] = value;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t ComputeCRC32(uint32_t crc, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t index = 0; index < size; ++index) crc = (crc >> 8) ^ kTable[(crc ^ bytes[index]) & 0xFF];
  return crc;
}

uint32_t ComputeCRC32(const void* data, size_t size) {
  return ComputeCRC32(0u, data, size);
}

}  // namespace viz
