#include "engine/types/extended.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace viz {
namespace {

#if (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
constexpr bool kNativeExtended = true;
#else
constexpr bool kNativeExtended = false;
#endif

constexpr int kExponentBias = 16383;

}  // namespace

namespace detail {

long double DecodeExtendedPortable(const uint8_t* bytes) {
  uint64_t significand = 0;
  for (int i = 7; i >= 0; --i) significand = (significand << 8) | bytes[i];
  const uint16_t signAndExponent = static_cast<uint16_t>(bytes[8] | (bytes[9] << 8));
  const bool negative = (signAndExponent & 0x8000) != 0;
  const int exponent = signAndExponent & 0x7FFF;
  long double value;
  if (exponent == 0x7FFF) {
    value = (significand << 1) == 0 ? HUGE_VALL : NAN;
  } else {
    // Denormals have exponent 0 but the scale of exponent 1.
    const int scale = (exponent == 0 ? 1 : exponent) - kExponentBias - 63;
    value = std::ldexp(static_cast<long double>(significand), scale);
  }
  return negative ? -value : value;
}

void EncodeExtendedPortable(long double value, uint8_t* bytes) {
  uint64_t significand = 0;
  int exponent = 0;
  const bool negative = std::signbit(value);
  if (std::isnan(value)) {
    exponent = 0x7FFF;
    significand = 0xC000000000000000ull;
  } else if (std::isinf(value)) {
    exponent = 0x7FFF;
    significand = 0x8000000000000000ull;
  } else if (value != 0) {
    int binaryExponent = 0;
    const long double fraction = std::frexp(std::fabs(value), &binaryExponent);  // in [0.5, 1)
    exponent = binaryExponent - 1 + kExponentBias;
    int shift = 64;
    if (exponent <= 0) {
      shift += exponent - 1;
      exponent = 0;
    }
    significand = static_cast<uint64_t>(std::ldexp(fraction, shift));
  }
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(significand >> (8 * i));
  const uint16_t signAndExponent = static_cast<uint16_t>(exponent | (negative ? 0x8000 : 0));
  bytes[8] = static_cast<uint8_t>(signAndExponent);
  bytes[9] = static_cast<uint8_t>(signAndExponent >> 8);
}

}  // namespace detail

long double ExtendedToLongDouble(const void* bytes) {
  if constexpr (kNativeExtended) {
    long double value = 0;  // the six padding bytes are ignored by the hardware
    std::memcpy(&value, bytes, kExtendedSize);
    return value;
  } else {
    return detail::DecodeExtendedPortable(static_cast<const uint8_t*>(bytes));
  }
}

void LongDoubleToExtended(long double value, void* bytes) {
  if constexpr (kNativeExtended) {
    std::memcpy(bytes, &value, kExtendedSize);
  } else {
    detail::EncodeExtendedPortable(value, static_cast<uint8_t*>(bytes));
  }
}

}  // namespace viz
