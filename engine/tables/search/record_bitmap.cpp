#include "engine/tables/search/record_bitmap.h"

#include <algorithm>

namespace viz {

void TABSRecordBitmap::Reset(bool indexNumbering, int64_t bound) {
  inUse_ = false;
  indexNumbering_ = indexNumbering;
  stateCounter_ = -1;
  numbers_.clear();
  sorted_ = true;
  bits_.SetBitCount(0);
  if (!indexNumbering) bits_.SetBitCount(bound > 0 ? bound : 0);
}

void TABSRecordBitmap::Drop() {
  Reset(false, 0);
}

void TABSRecordBitmap::Sort() const {
  if (sorted_) return;
  std::sort(numbers_.begin(), numbers_.end());
  numbers_.erase(std::unique(numbers_.begin(), numbers_.end()), numbers_.end());
  sorted_ = true;
}

void TABSRecordBitmap::Set(uint64_t number, bool value) {
  if (indexNumbering_) {
    if (value) {
      if (sorted_ && !numbers_.empty() && numbers_.back() >= number) sorted_ = false;
      numbers_.push_back(number);
      return;
    }
    Sort();
    auto found = std::lower_bound(numbers_.begin(), numbers_.end(), number);
    if (found != numbers_.end() && *found == number) numbers_.erase(found);
    return;
  }
  const int64_t bit = static_cast<int64_t>(number);
  if (bit >= bits_.BitCount()) {
    if (!value) return;
    bits_.SetBitCount(std::max(bit + 1, bits_.BitCount() * 2));
  }
  bits_.SetBit(bit, value);
}

bool TABSRecordBitmap::Get(uint64_t number) const {
  if (indexNumbering_) {
    Sort();
    return std::binary_search(numbers_.begin(), numbers_.end(), number);
  }
  const int64_t bit = static_cast<int64_t>(number);
  return bit < bits_.BitCount() && bits_.GetBit(bit);
}

int64_t TABSRecordBitmap::Count() const {
  if (indexNumbering_) {
    Sort();
    return static_cast<int64_t>(numbers_.size());
  }
  return bits_.SetCount();
}

int64_t TABSRecordBitmap::Ordinal(uint64_t number) const {
  if (indexNumbering_) {
    Sort();
    if (numbers_.empty() || number > numbers_.back()) return -1;
    return std::upper_bound(numbers_.begin(), numbers_.end(), number) - numbers_.begin();
  }
  const int64_t bit = static_cast<int64_t>(number);
  if (bit >= bits_.BitCount()) return -1;
  return bits_.Rank(bit) + 1;
}

uint64_t TABSRecordBitmap::NumberAt(int64_t k) const {
  if (indexNumbering_) {
    Sort();
    return numbers_.at(static_cast<size_t>(k - 1));
  }
  return static_cast<uint64_t>(bits_.KthSetBit(k - 1));
}

bool TABSRecordBitmap::Step(uint64_t from, bool fromEnd, bool forward, uint64_t& result) const {
  if (indexNumbering_) {
    Sort();
    if (numbers_.empty()) return false;
    if (fromEnd) {
      result = forward ? numbers_.front() : numbers_.back();
      return true;
    }
    if (forward) {
      auto after = std::upper_bound(numbers_.begin(), numbers_.end(), from);
      if (after == numbers_.end()) return false;
      result = *after;
      return true;
    }
    auto at = std::lower_bound(numbers_.begin(), numbers_.end(), from);
    if (at == numbers_.begin()) return false;
    result = *std::prev(at);
    return true;
  }
  const int64_t start = fromEnd ? (forward ? -1 : bits_.BitCount()) : static_cast<int64_t>(from);
  const int64_t found = bits_.FindNextSet(start, forward);
  if (found < 0) return false;
  result = static_cast<uint64_t>(found);
  return true;
}

}  // namespace viz
