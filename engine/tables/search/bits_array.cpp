#include "engine/tables/search/bits_array.h"

#include <cstring>

#include "engine/storage/memory_manager.h"
#include "engine/tables/streams.h"
#include "engine/types/errors.h"

namespace viz {

void TABSBitsArray::SetBitCount(int64_t count) {
  if (count < 0) count = 0;
  const int64_t oldBytes = ByteCount();
  const bool shrinking = count < bitCount_;
  bitCount_ = count;
  const int64_t newBytes = ByteCount();
  if (newBytes == 0) {
    bytes_.Reset();
  } else if (newBytes != oldBytes) {
    void* block = bytes_.Release();
    MemoryManager().ReallocMem(block, static_cast<size_t>(newBytes), true);
    bytes_ = TABSMemBlock(block, static_cast<int32_t>(newBytes));
  }
  if (shrinking) {
    TrimLastByte();
    CountSetBits();
  }
}

void TABSBitsArray::TrimLastByte() {
  if (bitCount_ % 8 != 0) MutableBytes()[bitCount_ / 8] &= static_cast<uint8_t>((1u << (bitCount_ % 8)) - 1);
}

bool TABSBitsArray::GetBit(int64_t bit) const {
  if (bit < 0 || bit >= bitCount_) throw EABSException(msg::kInvalidBitNo, bit, bitCount_);
  return (Bytes()[bit >> 3] >> (bit & 7)) & 1;
}

void TABSBitsArray::SetBit(int64_t bit, bool value) {
  if (bit < 0 || bit >= bitCount_) throw EABSException(msg::kInvalidBitNo.At(10395), bit, bitCount_);
  uint8_t& byte = MutableBytes()[bit >> 3];
  const uint8_t mask = static_cast<uint8_t>(1u << (bit & 7));
  const bool was = (byte & mask) != 0;
  if (was == value) return;
  byte = static_cast<uint8_t>(value ? byte | mask : byte & ~mask);
  setCount_ += value ? 1 : -1;
}

void TABSBitsArray::SetAll(bool value) {
  if (bitCount_ == 0) return;
  std::memset(MutableBytes(), value ? 0xFF : 0, static_cast<size_t>(ByteCount()));
  TrimLastByte();
  setCount_ = value ? bitCount_ : 0;
}

int64_t TABSBitsArray::CountSetBits() {
  int64_t count = 0;
  const uint8_t* bytes = Bytes();
  for (int64_t i = 0; i < ByteCount(); ++i) count += kBitsSetInByte[bytes[i]];
  setCount_ = count;
  return count;
}

int64_t TABSBitsArray::KthSetBit(int64_t k) const {
  if (k < 0 || k >= setCount_) throw EABSException(msg::kInvalidBitNo.At(10428), k, setCount_);
  const uint8_t* bytes = Bytes();
  int64_t byte = 0;
  while (k >= kBitsSetInByte[bytes[byte]]) k -= kBitsSetInByte[bytes[byte++]];
  for (int bit = 0; bit < 8; ++bit) {
    if ((bytes[byte] >> bit) & 1) {
      if (k == 0) return byte * 8 + bit;
      --k;
    }
  }
  return -1;  // not reached: the set count matches the bytes
}

int64_t TABSBitsArray::Rank(int64_t bit) const {
  if (bit < 0 || bit >= bitCount_) throw EABSException(msg::kInvalidBitNo.At(10429), bit, bitCount_);
  const uint8_t* bytes = Bytes();
  int64_t count = 0;
  for (int64_t i = 0; i < (bit >> 3); ++i) count += kBitsSetInByte[bytes[i]];
  const uint8_t upTo = static_cast<uint8_t>(bytes[bit >> 3] & ((2u << (bit & 7)) - 1));
  return count + kBitsSetInByte[upTo] - 1;
}

int64_t TABSBitsArray::FindFirst(bool value) const {
  const uint8_t* bytes = Bytes();
  const uint8_t skip = value ? 0x00 : 0xFF;
  for (int64_t i = 0; i < ByteCount(); ++i) {
    if (bytes[i] == skip) continue;
    for (int bit = 0; bit < 8; ++bit) {
      const int64_t position = i * 8 + bit;
      if (position >= bitCount_) return -1;
      if ((((bytes[i] >> bit) & 1) != 0) == value) return position;
    }
  }
  return -1;
}

int64_t TABSBitsArray::FindNextSet(int64_t from, bool forward) const {
  const uint8_t* bytes = Bytes();
  if (forward) {
    int64_t bit = from + 1;
    if (bit < 0) bit = 0;
    while (bit < bitCount_) {
      const uint8_t rest = static_cast<uint8_t>(bytes[bit >> 3] >> (bit & 7));
      if (rest == 0) {
        bit = (bit | 7) + 1;
        continue;
      }
      return bit + __builtin_ctz(rest);
    }
    return -1;
  }
  int64_t bit = from - 1;
  if (bit >= bitCount_) bit = bitCount_ - 1;
  while (bit >= 0) {
    const uint8_t below = static_cast<uint8_t>(bytes[bit >> 3] & ((2u << (bit & 7)) - 1));
    if (below == 0) {
      bit = (bit & ~int64_t{7}) - 1;
      continue;
    }
    return (bit & ~int64_t{7}) + (31 - __builtin_clz(below));
  }
  return -1;
}

void TABSBitsArray::LoadFromStream(TStream& stream) {
  int32_t bits = 0, set = 0;
  ExactRead(&bits, sizeof bits, stream, 10401);
  ExactRead(&set, sizeof set, stream, 10426);
  TABSBitsArray loaded;
  loaded.SetBitCount(bits);
  if (loaded.ByteCount() > 0) ExactRead(loaded.MutableBytes(), loaded.ByteCount(), stream, 10402);
  loaded.TrimLastByte();
  // The bits are the truth; a stored count that disagrees with them is not taken over.
  (void)set;
  loaded.CountSetBits();
  *this = std::move(loaded);
}

void TABSBitsArray::SaveToStream(TStream& stream) const {
  const int32_t bits = static_cast<int32_t>(bitCount_), set = static_cast<int32_t>(setCount_);
  ExactWrite(&bits, sizeof bits, stream, 10398);
  ExactWrite(&set, sizeof set, stream, 10427);
  if (bitCount_ == 0) return;
  if (Bytes() == nullptr) throw EABSException(msg::kNilPointer.At(10399));
  ExactWrite(Bytes(), ByteCount(), stream, 10400);
}

}  // namespace viz
