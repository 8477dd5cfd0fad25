#include "engine/types/crc32.h"

#include <array>

namespace viz {
namespace {

using Tables = std::array<std::array<uint32_t, 256>, 8>;

// Slicing-by-8: table 0 is the byte-wise table; table k gives the effect of a byte followed by k
// zero bytes, so eight bytes are folded in with eight independent look-ups.
constexpr Tables MakeTables() {
  Tables tables{};
  for (uint32_t index = 0; index < 256; ++index) {
    uint32_t value = index;
    for (int bit = 0; bit < 8; ++bit) value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    tables[0][index] = value;
  }
  for (size_t slice = 1; slice < tables.size(); ++slice) {
    for (uint32_t index = 0; index < 256; ++index) {
      const uint32_t previous = tables[slice - 1][index];
      tables[slice][index] = (previous >> 8) ^ tables[0][previous & 0xFF];
    }
  }
  return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint32_t ComputeCRC32(uint32_t crc, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  // The bytes are assembled one by one: any alignment, the same result on every byte order.
  while (size >= 8) {
    const uint32_t low =
        crc ^ (static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
               static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][bytes[4]] ^ kTables[2][bytes[5]] ^ kTables[1][bytes[6]] ^
          kTables[0][bytes[7]];
    bytes += 8;
    size -= 8;
  }
  for (; size > 0; --size, ++bytes) crc = (crc >> 8) ^ kTables[0][(crc ^ *bytes) & 0xFF];
  return crc;
}

uint32_t ComputeCRC32(const void* data, size_t size) {
  return ComputeCRC32(0u, data, size);
}

}  // namespace viz
