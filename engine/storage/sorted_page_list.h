// The sorted container of pages: the shared cache and every session's dirty list.
#pragma once

#include <cstdint>
#include <vector>

namespace viz {

class TABSPage;

//! Pages kept in ascending page-number order, found by binary search on a parallel array of page
//! numbers. The pages are also chained in their order of use (through links in the pages, so a page
//! is in at most one list): every insert and every touch makes a page the newest, so the oldest is
//! the least recently used and is found in constant time. Holds at most one page per page number.
//! Does not own its pages.
//!
//! Storage grows by a step that starts at 2000 entries and doubles on each growth up to 10000; it
//! shrinks by the shrink step (likewise doubling) when more than that many entries are unused.
class TABSSortedPageList {
 public:
  static constexpr int32_t kInitialStep = 2000;
  static constexpr int32_t kMaxStep = 10000;

  TABSSortedPageList() = default;
  TABSSortedPageList(const TABSSortedPageList&) = delete;
  TABSSortedPageList& operator=(const TABSSortedPageList&) = delete;

  int32_t Count() const { return static_cast<int32_t>(pageNos_.size()); }
  //! Entries the storage holds room for.
  int32_t Capacity() const { return capacity_; }

  //! Returns the page with this number, or null.
  TABSPage* Find(int32_t pageNo) const;
  //! Inserts a page under its PageNo as the newest. REQUIRES: no page of that number is in.
  void Insert(TABSPage* page);
  //! Makes the page of this number the newest. Raises "Page not found" (20167) if absent.
  void Touch(int32_t pageNo);
  //! Touch for a page the caller holds: no search when the page says it is in this list.
  void Touch(TABSPage* page);
  //! Removes the page of this number. Raises 20165 on an empty list, 20166 when it is absent.
  void Delete(int32_t pageNo);
  void Clear();
  //! Returns the least recently inserted or touched page, or null when empty.
  TABSPage* Oldest() const;

  //! The i-th page in ascending page-number order.
  TABSPage* At(int32_t index) const { return pages_[index]; }
  //! The pages in ascending page-number order (a copy, safe against changes of the list).
  std::vector<TABSPage*> Pages() const { return pages_; }

 private:
  // Index of the first entry whose number is >= pageNo.
  int32_t LowerBound(int32_t pageNo) const;
  void Reserve(int32_t capacity);
  void MaybeShrink();
  // The chain in order of use.
  void Unlink(TABSPage* page);
  void LinkNewest(TABSPage* page);

  std::vector<int32_t> pageNos_;
  std::vector<TABSPage*> pages_;
  TABSPage* oldest_ = nullptr;
  TABSPage* newest_ = nullptr;
  int32_t capacity_ = 0;
  int32_t growStep_ = kInitialStep;
  int32_t shrinkStep_ = kInitialStep;
};

}  // namespace viz
