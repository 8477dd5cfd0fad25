// The page store of temporary work: the indexes of temporary tables, and the index work (temporary
// indexes) of disk tables. The first M pages live in memory, M = (available memory div 10) div the
// page size; the pages from M on live in a temporary file (page n at offset (n - M) x page size),
// made on first need and gone when the manager is destroyed. With temporary files disabled every page
// stays in memory.
//
// Like the memory store it has no headers, no encryption and no transactions: commit and rollback only
// release page objects. Memory pages are shared with the cache as in TABSMemoryPageManager; file pages
// are read into buffers of their own and written back when their session commits.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/platform/file.h"
#include "engine/storage/VIZPage.h"
#include "engine/storage/memory/memory_page_manager.h"
#include "engine/tables/search/bits_array.h"

namespace viz {

class TABSFileStream;

class TABSTemporaryPageManager : public TABSPageManager {
 public:
  static constexpr uint16_t kPageSize = TABSMemoryPageManager::kPageSize;

  //! `memoryOnly` keeps every page in memory (temporary files disabled). `availableMemory` sizes the
  //! memory part; -1 asks the engine memory manager. `fileSystem` makes the temporary file (null: the
  //! real one).
  explicit TABSTemporaryPageManager(bool memoryOnly, int64_t availableMemory = -1,
                                    platform::FileSystem* fileSystem = nullptr);
  ~TABSTemporaryPageManager() override;

  //! The number of page numbers in use: memory pages plus file pages up to the highest.
  int32_t GetPageCount() override;
  //! Memory pages while memory-only or while fewer than M of them are in use; otherwise the lowest
  //! free file page, the file being made when first needed ("Cannot create file", 10104).
  void AllocatePageNo(TABSPage* page) override;
  void FreePageNo(int32_t pageNo) override;
  //! Raises 20037 (10396) for a page not allocated, "Invalid pointer" (30482) without a file.
  bool ReadPage(TABSPage* page) override;
  //! Raises 20037 (10397) for a page not allocated, 30482 without a file. The file grows to 1.5 times
  //! the size needed when it is too small.
  void WritePage(TABSPage* page) override;

  //! Memory pages share the stored buffer; file pages are written when their session commits.
  bool ChangesAreStored(const TABSPage& page) const override {
    return !IsFilePage(page.PageNo) && !page.OwnsBuffer();
  }

  bool MemoryOnly() const { return memoryOnly_; }
  //! M: the number of pages that stay in memory when temporary files are allowed.
  int32_t MemoryPageLimit() const { return memoryPageLimit_; }
  int32_t MemoryPageCount() const { return memory_.AllocatedCount(); }
  int32_t FilePageCount() const { return static_cast<int32_t>(filePages_.SetCount()); }
  //! Whether the temporary file exists.
  bool HasFile() const { return file_ != nullptr; }

 private:
  bool IsFilePage(int32_t pageNo) const { return !memoryOnly_ && pageNo >= memoryPageLimit_; }
  bool IsFilePageAllocated(int32_t pageNo) const;
  int64_t FileOffset(int32_t pageNo) const;

  bool memoryOnly_;
  int32_t memoryPageLimit_;
  platform::FileSystem* fileSystem_;
  //! The memory part, used as a store only (its own cache stays empty).
  TABSMemoryPageManager memory_;
  //! Bit i: file page M + i is allocated.
  TABSBitsArray filePages_;
  std::unique_ptr<TABSFileStream> file_;
};

}  // namespace viz
