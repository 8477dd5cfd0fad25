#include "engine/types/crc32.h"

#include <array>
#include <cstring>

namespace viz {
namespace {

// tables[0] is the classic byte table; tables[k] advances a byte that is followed by k more bytes,
// so that eight bytes are folded in per step with the same result as the byte-wise rule.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables tables{};
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; bit++) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    tables[0][i] = value;
  }
  for (uint32_t i = 0; i < 256; i++)
    for (int k = 1; k < 8; k++) tables[k][i] = (tables[k - 1][i] >> 8) ^ tables[0][tables[k - 1][i] & 0xFF];
  return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  while (size >= 8) {
    uint32_t low;
    uint32_t high;
    std::memcpy(&low, bytes, 4);
    std::memcpy(&high, bytes + 4, 4);
    low ^= crc;
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
          kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
    bytes += 8;
    size -= 8;
  }
  for (; size > 0; size--, bytes++) crc = (crc >> 8) ^ kTables[0][(crc ^ *bytes) & 0xFF];
  return crc;
}

}  // namespace viz
