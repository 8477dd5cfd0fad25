// An array of bits with a running count of the set ones. Bit i lives in byte i div 8 at weight
// 2^(i mod 8). Byte form (little-endian):
//
//   i32 bit count | i32 set count | ceil(bit count / 8) bytes of bits
#pragma once

#include <array>
#include <cstdint>

#include "engine/types/raw_values.h"

namespace viz {

class TStream;

class TABSBitsArray {
 public:
  TABSBitsArray() = default;
  TABSBitsArray(const TABSBitsArray&) = delete;
  TABSBitsArray& operator=(const TABSBitsArray&) = delete;
  TABSBitsArray(TABSBitsArray&&) noexcept = default;
  TABSBitsArray& operator=(TABSBitsArray&&) noexcept = default;

  int64_t BitCount() const { return bitCount_; }
  int64_t SetCount() const { return setCount_; }
  //! Changes the number of bits; new bits are 0. Shrinking recounts the set bits.
  void SetBitCount(int64_t count);

  //! Raises "Invalid bit no = %d, number of bits = %d" (10394) for `bit` not below the bit count.
  bool GetBit(int64_t bit) const;
  //! Raises 10395 for `bit` not below the bit count.
  void SetBit(int64_t bit, bool value);
  void SetAll(bool value);
  //! Counts the set bits anew (and keeps the count).
  int64_t CountSetBits();

  //! Position of the k-th set bit (k from 0). Raises 10428 for k not below the set count.
  int64_t KthSetBit(int64_t k) const;
  //! Set bits up to and including `bit`, minus 1. Raises 10429 for `bit` not below the bit count.
  int64_t Rank(int64_t bit) const;
  //! The first bit that has `value`, or -1.
  int64_t FindFirst(bool value) const;
  //! The nearest set bit after `from` (forward) or before it (backward), -1 when none. `from` may be
  //! -1 (forward: search from the first bit) or the bit count (backward: from the last bit).
  int64_t FindNextSet(int64_t from, bool forward) const;

  //! Byte form. Read codes 10401 (bit count), 10426 (set count), 10402 (bits); write codes 10398,
  //! 10427, 10400, and 10399 "Nil pointer occured" for bits without storage.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;

  const uint8_t* Bytes() const { return static_cast<const uint8_t*>(bytes_.data()); }

 private:
  int64_t ByteCount() const { return (bitCount_ + 7) / 8; }
  uint8_t* MutableBytes() { return static_cast<uint8_t*>(bytes_.data()); }
  // Clears the unused high bits of the last byte.
  void TrimLastByte();

  int64_t bitCount_ = 0;
  int64_t setCount_ = 0;
  TABSMemBlock bytes_;
};

namespace detail {
constexpr std::array<uint8_t, 256> MakeBitCounts() {
  std::array<uint8_t, 256> counts{};
  for (int value = 0; value < 256; ++value)
    for (int bit = 0; bit < 8; ++bit)
      counts[value] = static_cast<uint8_t>(counts[value] + ((value >> bit) & 1));
  return counts;
}
}  // namespace detail

//! The number of set bits of each byte value.
inline constexpr std::array<uint8_t, 256> kBitsSetInByte = detail::MakeBitCounts();

}  // namespace viz
