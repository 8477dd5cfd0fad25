// The record bitmap of a cursor: which records pass its restrictions, so that counts, ordinals and
// repeated steps do not evaluate them again until the table changes.
//
// Records are numbered in one of two ways. In storage order a record's number is the backend's
// record number and the bitmap is a plain bit array up to the table's bound of record numbers. In
// the order of an index a record's number is the path number of its entry (rising in index order,
// but spread wide by the tree's fan-out and depth), so the bitmap keeps only the numbers that are
// set, in a sorted list: its size follows the number of passing records, never the tree's shape.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/tables/search/bits_array.h"

namespace viz {

class TABSTableData;

class TABSRecordBitmap {
 public:
  explicit TABSRecordBitmap(TABSTableData* table = nullptr) : table_(table) {}

  TABSTableData* Table() const { return table_; }
  void SetTable(TABSTableData* table) { table_ = table; }

  //! Empties the bitmap for a new fill: numbering by index path numbers or by record numbers (then
  //! `bound` bits, growing when a larger number is set). Leaves it not in use.
  void Reset(bool indexNumbering, int64_t bound);
  //! Empties the bitmap and marks it not in use.
  void Drop();

  bool InUse() const { return inUse_; }
  void SetInUse(bool value) { inUse_ = value; }
  bool IndexNumbering() const { return indexNumbering_; }
  //! The record manager's state counter when the bitmap was built; -1 before.
  int32_t StateCounter() const { return stateCounter_; }
  void SetStateCounter(int32_t value) { stateCounter_ = value; }
  //! Stale when the table changed since the bitmap was built.
  bool IsStale(int32_t currentState) const { return stateCounter_ != currentState; }

  void Set(uint64_t number, bool value);
  bool Get(uint64_t number) const;
  //! Number of set records.
  int64_t Count() const;
  //! The 1-based ordinal of a number among the set ones (the set numbers up to and including it);
  //! -1 for a number beyond the bitmap.
  int64_t Ordinal(uint64_t number) const;
  //! The number of the k-th set record (k from 1). REQUIRES: 1 <= k <= Count().
  uint64_t NumberAt(int64_t k) const;
  //! The nearest set number after (forward) or before `from`; with `fromEnd` from the first or the
  //! last one. False when none.
  bool Step(uint64_t from, bool fromEnd, bool forward, uint64_t& result) const;

 private:
  void Sort() const;

  TABSTableData* table_;
  bool inUse_ = false;
  bool indexNumbering_ = false;
  int32_t stateCounter_ = -1;
  TABSBitsArray bits_;
  // Index numbering: the set numbers, sorted and unique once `sorted_`.
  mutable std::vector<uint64_t> numbers_;
  mutable bool sorted_ = true;
};

}  // namespace viz
