// The EXTENDED base type: the 10-byte x87 extended format, little-endian, as stored in records:
//
//   byte | content
//   0..7 | 64-bit significand with an explicit integer bit (bit 63)
//   8..9 | bits 0..14 biased exponent (bias 16383), bit 15 sign
//
// Stored values are only ever copied as these 10 bytes, so they round-trip exactly. Arithmetic
// reads them into `long double`: on x86 that is the same format, so nothing is lost; elsewhere the
// value is decoded into the widest native floating type.
#pragma once

#include <cstdint>

namespace viz {

//! Bytes of an EXTENDED value.
inline constexpr int kExtendedSize = 10;

//! Returns the value of 10 stored bytes.
long double ExtendedToLongDouble(const void* bytes);
//! Stores a value as 10 bytes.
void LongDoubleToExtended(long double value, void* bytes);

namespace detail {
//! Bit-level forms used where `long double` is not the x87 format; exposed for tests.
long double DecodeExtendedPortable(const uint8_t* bytes);
void EncodeExtendedPortable(long double value, uint8_t* bytes);
}  // namespace detail

}  // namespace viz
