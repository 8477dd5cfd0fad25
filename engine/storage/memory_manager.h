// The engine's allocator for page, record, BLOB and scratch buffers. Every block is guarded:
//
//   offset from p | width | content
//   p - 9         | i32   | requested size n
//   p - 5         | u8    | allocation method (0 heap, 1 page allocator, 2 global-memory allocator)
//   p - 4         | u32   | leading guard 0xACCACCAC
//   p             | n     | the caller's data
//   p + n         | u32   | trailing guard 0xACCEACCE
//
// so a block's size can be asked for, foreign and double-freed pointers are recognised, and writes
// past the end are detected when the block is freed. The manager sits at the bottom of the engine:
// every level above the platform allocates through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace viz {

class TABSMemoryManager {
 public:
  static constexpr uint32_t kLeadingGuard = 0xACCACCACu;
  static constexpr uint32_t kTrailingGuard = 0xACCEACCEu;
  //! Bytes of bookkeeping around a block of n bytes: size, method, two guards.
  static constexpr size_t kBlockOverhead = 13;

  TABSMemoryManager() = default;
  TABSMemoryManager(const TABSMemoryManager&) = delete;
  TABSMemoryManager& operator=(const TABSMemoryManager&) = delete;

  //! Returns an uninitialised guarded block of `size` bytes, aligned to 16 bytes.
  //! Raises 30286 for size 0, 30004 when the limit would be exceeded, 30015 when allocation fails.
  void* GetMem(size_t size);
  //! As `GetMem`, with the bytes set to zero.
  void* GetMemZero(size_t size);
  //! Returns the requested size of a block, 0 for null. Raises "Invalid pointer" (30005) for a
  //! pointer this manager did not hand out.
  size_t GetMemSize(const void* block) const;
  //! Releases a block and sets the reference to null (a null reference is left alone).
  //! Raises "Invalid pointer" (30001) for a foreign pointer (nothing released), and
  //! "Memory overrun detected" (30137) after releasing a block whose trailing guard was overwritten.
  void FreeAndNillMem(void*& block);
  //! Replaces the block by one of `newSize` bytes holding min(old, new) bytes of the old content;
  //! with `zeroFill` the grown tail is zeroed. A null block is allocated afresh.
  //! Raises "Invalid pointer" (30002) for a foreign pointer (the block is left alone) and
  //! "ReallocMem error: %s" (30014) with the cause for any other failure (the limit, the allocator,
  //! an overrun found in the old block).
  void ReallocMem(void*& block, size_t newSize, bool zeroFill = false);

  //! Returns the free physical memory, or the limit when one is set and it is smaller.
  int64_t GetAvailableMemory() const;

  //! Limit on the bytes in use; 0 = none (the default).
  void SetLimit(int64_t limit);
  int64_t GetLimit() const;
  //! Sum of the requested sizes of the live blocks.
  int64_t GetMemoryInUse() const;
  //! Number of blocks handed out since the process started (tests and benchmarks count the
  //! allocations of an operation by the difference).
  int64_t GetMemCallCount() const;

  template <class T>
  void FreeAndNil(T*& block) {
    void* raw = block;
    block = nullptr;
    FreeAndNillMem(raw);
  }

 private:
  // Returns the block's requested size after checking its leading guard, or raises `invalid`.
  static size_t CheckedSize(const void* block, int32_t invalidCode);
  // Resizes a sound heap block through the heap; false (nothing changed) when the heap refuses.
  // Raises as GetMem does.
  bool ResizeInPlace(void*& block, size_t oldSize, size_t newSize);

  mutable std::mutex mutex_;
  // State below is protected by mutex_.
  int64_t limit_ = 0;
  int64_t inUse_ = 0;
  mutable int64_t lastAvailable_ = 0;
  int64_t getMemCalls_ = 0;
  int64_t freeMemCalls_ = 0;
};

//! Returns the process's memory manager. Safe for concurrent use by multiple threads.
TABSMemoryManager& MemoryManager();

}  // namespace viz
