// The carry-less range coder of the PPMd coder: the interval [low, low + range) never crosses 2^32,
// so no carry has to travel into bytes already written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/storage/memory_manager.h"

namespace viz::ppmd {

constexpr uint32_t kTop = 1u << 24;
constexpr uint32_t kBot = 1u << 15;

class RangeEncoder {
 public:
  RangeEncoder(uint8_t* buffer, size_t capacity, size_t position)
      : buffer_(buffer), capacity_(capacity), position_(position) {}

  // Returns false when the interval cannot be split that finely.
  bool Encode(uint32_t start, uint32_t size, uint32_t total) {
    uint32_t r = range_ / total;
    if (r == 0) return false;
    low_ += start * r;
    range_ = size * r;
    Normalize();
    return !failed_;
  }
  bool Flush() {
    for (int i = 0; i < 4; i++) {
      Put(static_cast<uint8_t>(low_ >> 24));
      low_ <<= 8;
    }
    return !failed_;
  }
  uint8_t* buffer() const { return buffer_; }
  size_t position() const { return position_; }

 private:
  void Normalize() {
    while ((low_ ^ (low_ + range_)) < kTop ||
           (range_ < kBot && ((range_ = (0u - low_) & (kBot - 1)), true))) {
      Put(static_cast<uint8_t>(low_ >> 24));
      range_ <<= 8;
      low_ <<= 8;
    }
  }
  // The buffer grows by a quarter when full; when it cannot, the coder fails.
  void Put(uint8_t byte) {
    if (failed_) return;
    if (position_ == capacity_) {
      void* block = buffer_;
      size_t grown = capacity_ + capacity_ / 4 + 256;
      try {
        MemoryManager().ReallocMem(block, grown);
      } catch (...) {
        failed_ = true;
        return;
      }
      buffer_ = static_cast<uint8_t*>(block);
      capacity_ = grown;
    }
    buffer_[position_++] = byte;
  }

  uint8_t* buffer_;
  size_t capacity_;
  size_t position_;
  bool failed_ = false;
  uint32_t low_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
};

class RangeDecoder {
 public:
  RangeDecoder(const uint8_t* input, size_t size) : input_(input), size_(size) {
    for (int i = 0; i < 4; i++) code_ = (code_ << 8) | Get();
  }

  // Returns the count of the coded value within [0, total), or false when the data is impossible.
  bool Threshold(uint32_t total, uint32_t& count) {
    range_ /= total;
    if (range_ == 0) return false;
    count = (code_ - low_) / range_;
    return count < total;
  }
  void Decode(uint32_t start, uint32_t size) {
    low_ += start * range_;
    range_ *= size;
    Normalize();
  }
  //! True once the decoder has needed bytes beyond the end of the buffer (they read as zeros).
  bool Overrun() const { return overrun_ != 0; }
  //! True when every byte of the buffer has been consumed and none beyond it: after the end mark
  //! of a proper coded buffer the decoder stands exactly at its end.
  bool AtEnd() const { return overrun_ == 0 && position_ == size_; }
  //! True when the last four bytes read are the coder's flush of the current interval: the encoder
  //! ends by writing `low`, which the decoder tracks in step with it. A decoder that went astray
  //! and still stopped at the end of the buffer almost never meets this.
  bool FlushMatches() const { return code_ == low_; }

 private:
  void Normalize() {
    while ((low_ ^ (low_ + range_)) < kTop ||
           (range_ < kBot && ((range_ = (0u - low_) & (kBot - 1)), true))) {
      code_ = (code_ << 8) | Get();
      range_ <<= 8;
      low_ <<= 8;
    }
  }
  uint8_t Get() {
    if (position_ < size_) return input_[position_++];
    ++overrun_;
    return 0;
  }

  const uint8_t* input_;
  size_t size_;
  size_t position_ = 0;
  size_t overrun_ = 0;
  uint32_t low_ = 0;
  uint32_t code_ = 0;
  uint32_t range_ = 0xFFFFFFFFu;
};

}  // namespace viz::ppmd
