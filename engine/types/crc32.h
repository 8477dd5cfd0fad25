// The engine's checksum: table-driven CRC-32 of the reflected polynomial 0xEDB88320, started from
// 0 and without a final complement (so it differs from the zlib CRC-32). It checks compressed
// blocks, enciphered pages and the password-check block; "abc" gives 0xCA6598D0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace viz {

//! Returns the checksum of `size` bytes, continuing from `crc` (0 for a fresh run):
//! crc := (crc >> 8) xor table[(crc xor byte) and 255] for every byte.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

}  // namespace viz
