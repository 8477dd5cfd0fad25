// An owned block of the engine's memory manager: the one scope guard for engine buffers, from
// stored values up to compressed BLOB blocks.
#pragma once

#include <cstdint>

namespace viz {

//! Owns a block of the engine's memory manager and releases it exactly once: when the owner goes,
//! when it is replaced, or never when ownership was given up with `Release`. Movable, not copyable.
class TABSMemBlock {
 public:
  TABSMemBlock() = default;
  //! Takes ownership of `data`, a block of the memory manager (or null) holding `size` bytes (0 when
  //! the owner does not track the size).
  explicit TABSMemBlock(void* data, int32_t size = 0) : data_(data), size_(size) {}
  TABSMemBlock(const TABSMemBlock&) = delete;
  TABSMemBlock& operator=(const TABSMemBlock&) = delete;
  TABSMemBlock(TABSMemBlock&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
  }
  //! Releases the held block, then takes over `other`'s.
  TABSMemBlock& operator=(TABSMemBlock&& other) noexcept;
  ~TABSMemBlock() { Reset(); }

  void* data() const { return data_; }
  uint8_t* bytes() const { return static_cast<uint8_t*>(data_); }
  int32_t size() const { return size_; }
  //! Gives up ownership: the caller releases the block.
  void* Release() {
    void* data = data_;
    data_ = nullptr;
    size_ = 0;
    return data;
  }
  //! Releases the held block (an overrun found on the way cannot be reported from here).
  void Reset() noexcept;

 private:
  void* data_ = nullptr;
  int32_t size_ = 0;
};

}  // namespace viz
