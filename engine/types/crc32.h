// The engine's checksum: a table-driven CRC-32 over the reflected polynomial 0xEDB88320, started from
// 0 and without the final complement. It guards enciphered pages, the password-check block and
// compressed blocks. Unlike the common CRC-32 (which starts from and complements with all ones), a
// buffer of zero bytes has checksum 0; "abc" gives 0xCA6598D0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace viz {

//! Returns the checksum of `size` bytes at `data`.
uint32_t ComputeCRC32(const void* data, size_t size);

//! Continues a checksum over more bytes: ComputeCRC32(a + b) == ComputeCRC32(ComputeCRC32(a), b).
uint32_t ComputeCRC32(uint32_t crc, const void* data, size_t size);

}  // namespace viz
