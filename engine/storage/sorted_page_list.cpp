#include "engine/storage/sorted_page_list.h"

#include <algorithm>

#include "engine/storage/VIZPage.h"
#include "engine/types/errors.h"

namespace viz {

int32_t TABSSortedPageList::LowerBound(int32_t pageNo) const {
  return static_cast<int32_t>(std::lower_bound(pageNos_.begin(), pageNos_.end(), pageNo) - pageNos_.begin());
}

TABSPage* TABSSortedPageList::Find(int32_t pageNo) const {
  int32_t index = LowerBound(pageNo);
  if (index < Count() && pageNos_[index] == pageNo) return pages_[index];
  return nullptr;
}

void TABSSortedPageList::Reserve(int32_t capacity) {
  // std::vector::reserve never shrinks, so a smaller capacity rebuilds the arrays.
  if (capacity < static_cast<int32_t>(pageNos_.capacity())) {
    std::vector<int32_t> numbers;
    std::vector<TABSPage*> pages;
    numbers.reserve(capacity);
    pages.reserve(capacity);
    numbers.assign(pageNos_.begin(), pageNos_.end());
    pages.assign(pages_.begin(), pages_.end());
    pageNos_.swap(numbers);
    pages_.swap(pages);
  } else {
    pageNos_.reserve(capacity);
    pages_.reserve(capacity);
  }
  capacity_ = capacity;
}

void TABSSortedPageList::Insert(TABSPage* page) {
  if (Count() == capacity_) {
    Reserve(capacity_ + growStep_);
    growStep_ = std::min(growStep_ * 2, kMaxStep);
  }
  int32_t index = LowerBound(page->PageNo);
  pageNos_.insert(pageNos_.begin() + index, page->PageNo);
  pages_.insert(pages_.begin() + index, page);
  LinkNewest(page);
}

void TABSSortedPageList::Unlink(TABSPage* page) {
  (page->older_ ? page->older_->newer_ : oldest_) = page->newer_;
  (page->newer_ ? page->newer_->older_ : newest_) = page->older_;
  page->older_ = page->newer_ = nullptr;
}

void TABSSortedPageList::LinkNewest(TABSPage* page) {
  page->older_ = newest_;
  page->newer_ = nullptr;
  (newest_ ? newest_->newer_ : oldest_) = page;
  newest_ = page;
}

void TABSSortedPageList::Touch(int32_t pageNo) {
  int32_t index = LowerBound(pageNo);
  if (index >= Count() || pageNos_[index] != pageNo) throw EABSException(msg::kPageNotFound);
  TABSPage* page = pages_[index];
  if (page != newest_) {
    Unlink(page);
    LinkNewest(page);
  }
}

void TABSSortedPageList::Touch(TABSPage* page) {
  if (page->list_ != this) return Touch(page->PageNo);
  if (page != newest_) {
    Unlink(page);
    LinkNewest(page);
  }
}

void TABSSortedPageList::Delete(int32_t pageNo) {
  if (pageNos_.empty()) throw EABSException(msg::kSortedPageListEmpty);
  int32_t index = LowerBound(pageNo);
  if (index >= Count() || pageNos_[index] != pageNo) {
    throw EABSException(msg::kSortedPageListKeyNotFound, pageNo, Count());
  }
  Unlink(pages_[index]);
  pageNos_.erase(pageNos_.begin() + index);
  pages_.erase(pages_.begin() + index);
  MaybeShrink();
}

void TABSSortedPageList::MaybeShrink() {
  if (capacity_ - Count() > shrinkStep_) {
    Reserve(capacity_ - shrinkStep_);
    shrinkStep_ = std::min(shrinkStep_ * 2, kMaxStep);
  }
}

void TABSSortedPageList::Clear() {
  // The pages may be gone already (their owner destroys them first); their links are set anew when
  // they are inserted again.
  oldest_ = newest_ = nullptr;
  pageNos_.clear();
  pages_.clear();
  Reserve(0);
  growStep_ = kInitialStep;
  shrinkStep_ = kInitialStep;
}

TABSPage* TABSSortedPageList::Oldest() const {
  // Every insert and touch moves its page to the newest end of the chain.
  return oldest_;
}

}  // namespace viz
