// Pages kept in memory, without headers, encryption or transactions: the page store of in-memory
// tables and of the memory part of temporary work.
//
// Page objects handed out by the cache share the stored buffer of their page, so a change is in the
// store the moment it is made; commit and rollback only release the page objects. The buffers are
// separate blocks that never move while the manager lives, which is what makes the sharing safe.
//
// Stream form (SavePages / LoadPages), little-endian:
//   i32 capacity | i32 highest page (-1 for none) | i32 growth step | u16 page size |
//   u16 page header size | i32 allocated count | allocated-pages bit array (bits_array.h) |
//   capacity x page size bytes (never-used pages as zeros)
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/VIZPage.h"
#include "engine/tables/search/bits_array.h"
#include "engine/types/raw_values.h"

namespace viz {

class TABSMemoryPageManager : public TABSPageManager {
 public:
  static constexpr uint16_t kPageSize = 4096;
  static constexpr int32_t kGrowthStep = 50;

  //! Every page of the store can stay cached: a cached page costs only its object.
  TABSMemoryPageManager();
  ~TABSMemoryPageManager() override;

  //! The number of page numbers the store spans (highest page + 1).
  int32_t GetPageCount() override;
  //! Replaces every page by the stream's image. Raises 20097 while a session holds uncommitted
  //! pages, the read codes 10369 to 10375 on a short stream, and "Invalid database format" (20237)
  //! for an image whose numbers do not agree.
  void LoadPages(TABSStream& stream) override;
  //! Writes the image (write codes 10362 to 10368).
  void SavePages(TABSStream& stream) override;
  //! Takes the lowest free page, else the one after the highest, growing the store by the growth
  //! step. The page shares the page's zeroed buffer. Raises 20037 if the chosen page is in use.
  void AllocatePageNo(TABSPage* page) override;
  //! Returns the page to the free pages (its buffer is kept for reuse).
  void FreePageNo(int32_t pageNo) override;
  //! Makes the page share the stored buffer. Raises 20037 (10392) for a page not allocated.
  bool ReadPage(TABSPage* page) override;
  //! Copies a page that has a buffer of its own into the store. Raises 20037 (10393) for a page not
  //! allocated.
  void WritePage(TABSPage* page) override;

  //! Every page shares the stored buffer of its page.
  bool ChangesAreStored(const TABSPage& page) const override { return !page.OwnsBuffer(); }

  int32_t Capacity() const { return capacity_; }
  int32_t HighestPage() const { return highest_; }
  int32_t AllocatedCount() const { return allocated_; }
  bool IsAllocated(int32_t pageNo) const;

 private:
  // Grows the store (bits and buffer slots) by whole growth steps until it holds `pageNo`.
  void Reserve(int32_t pageNo);
  uint8_t* BufferOf(int32_t pageNo);
  // The lowest page number at or above `lowestFree_` whose bit is clear, or -1 up to the highest.
  int32_t LowestFreePage() const;

  int32_t capacity_ = 0;
  int32_t highest_ = -1;
  int32_t growthStep_ = kGrowthStep;
  int32_t allocated_ = 0;
  TABSBitsArray used_;
  // Every page below this number is allocated.
  int32_t lowestFree_ = 0;
  // One block per page, made on first use; null for a page never used.
  std::vector<TABSMemBlock> buffers_;
};

}  // namespace viz
