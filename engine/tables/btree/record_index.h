// The B-tree index of a table: one leaf entry per record, key then record address, in key order
// with equal keys ordered by address.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/tables/btree/btree.h"
#include "engine/tables/btree/btree_checker.h"
#include "engine/tables/btree/btree_key.h"
#include "engine/tables/index.h"
#include "engine/tables/record_manager.h"
#include "engine/tables/search/VIZTypes.h"

namespace viz {

//! The state of a range scan between two scan conditions (slot 15).
struct TABSScanState {
  TABSKeyPath Current;
  //! The last entry the scan may yield (forward; the first, backward), once computed.
  TABSKeyPath End;
  bool HasEnd = false;
  bool EndComputed = false;
  bool Started = false;
  bool Backwards = false;
  bool Finished = false;
  //! The record addresses of the leaf the scan stands in, read once per leaf.
  int32_t LeafPageNo = -1;
  std::vector<TABSRecordAddress> LeafAddresses;
};

class TABSBTreeRecordIndex : public TABSIndex, private TABSBTreeRecordSource {
 public:
  //! `pageManager` holds the index's pages (the table's, or the session's temporary one).
  TABSBTreeRecordIndex(TABSBaseIndexManager& manager, TABSPageManager* pageManager);

  // Virtual operations in slot order. Key paths (slots 6, 7) and scan states (13, 14) are values.
  //! Slot 0: takes a root page and fills the index from every record of the table, in storage order,
  //! for the cursor's session (empty without a cursor). Raises 20340 when the key leaves room for
  //! fewer than four entries per page.
  void Create(TABSCursor* cursor, TABSIndexDef& definition) override;
  //! Slot 1: frees every page. Raises "Invalid page number" (20120) without a root page.
  void Drop(int32_t session) override;
  //! Slot 2: frees the pages below the root and empties it (20121 without a root page).
  void Empty(int32_t session) override;
  //! Slot 3: takes the definition and describes its keys (20043 for a column without a field).
  void Open(const TABSIndexDef& definition) override;
  //! Slot 5: the first, last, next or prior record in index order. Next after the last and prior
  //! before the first find nothing (results 2 and 1); a current record that is not in the index
  //! gives 3. Raises 20053 for the current direction.
  virtual void GetRecord(int32_t session, TABSNavigationRecord& navigation, TABSIndexPositionCache* cache);
  //! Slot 8: the path of a record's entry; `record` is its buffer (read through the record manager
  //! when null). False when the index has no entry for it.
  virtual bool FindRecordPath(int32_t session, const TABSRecordAddress& address, TABSKeyPath& path,
                              const uint8_t* record);
  //! Slot 9.
  virtual int ComparePaths(const TABSKeyPath& a, const TABSKeyPath& b) const { return CompareKeyPaths(a, b); }
  //! Slot 10: the 1-based position of a record in index order, -1 when not in the index.
  virtual int64_t RecordOrdinal(int32_t session, const TABSRecordAddress& address, const uint8_t* record);
  //! Slot 11: the record with that ordinal (below 1: the first). Raises 20074 on an empty index and
  //! 20075 for an ordinal beyond the last entry.
  virtual TABSRecordAddress GotoOrdinal(int32_t session, int64_t ordinal);
  //! Slot 12: of the records whose numbers are set in an index-numbered bitmap, keeps only the first
  //! of each run of keys equal on the first `columns` columns, in index order.
  virtual void ThinToDistinctKeys(int32_t session, TABSRecordBitmap& bitmap, int32_t columns);
  //! Slot 15: one step of a range scan (see TABSScanState). `result` holds the cursor's current
  //! record on entry (used to resume) and receives the record found; `record` is the current
  //! record's buffer. Raises 20078 for a first step on a started scan.
  virtual bool ScanStep(int32_t session, bool firstStep, TABSScanState& state, TABSRecordAddress& result,
                        const uint8_t* record, const TABSScanSearchCondition* endCondition,
                        const TABSScanSearchCondition* startCondition, bool backwards);
  //! Slot 16: compares two record buffers on the first `columns` columns by whole values.
  virtual int CompareRecordBuffers(const uint8_t* a, const uint8_t* b, int32_t columns) const;
  //! Slot 17.
  virtual int ConditionDirection(const TABSScanSearchCondition& condition) const {
    return ScanOperatorDirection(condition.Operator);
  }
  //! Slot 18: approximately how many keys lie between the two conditions, at most `total`.
  virtual int64_t EstimateKeys(int32_t session, const TABSScanSearchCondition& first,
                               const TABSScanSearchCondition& second, int64_t total);
  //! Slot 19.
  bool KeyIsFree(int32_t session, const uint8_t* record) override;
  //! Slot 20.
  bool KeyIsFreeOnUpdate(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord) override;
  //! Slot 21.
  void InsertKey(int32_t session, const uint8_t* record, const TABSRecordAddress& address) override;
  //! Slot 22.
  bool DeleteKey(int32_t session, const uint8_t* record, const TABSRecordAddress& address) override;
  //! Slot 23: raises 20250 when the old entry is missing.
  void UpdateKey(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord,
                 const TABSRecordAddress& address) override;
  //! Slot 24: maximum entries of a node page, D div (K + 4).
  virtual int32_t FanOut() const;
  //! Slot 25: the record address of the entry a path names by its entry numbers (pages are filled
  //! in from the root). False when the path names no entry.
  virtual bool AddressAtPath(int32_t session, TABSKeyPath& path, TABSRecordAddress& result);

  //! Positions on the first (or with `last` the last) entry satisfying the condition; every entry
  //! without a condition. False when none does.
  //! With `address` the entry's record address is returned too.
  bool PositionOnCondition(int32_t session, const TABSScanSearchCondition* condition, bool last,
                           TABSKeyPath& path, TABSRecordAddress* address = nullptr);
  //! Σ (e_l + 1) × (F + 1)^(m−1−l): rises in index order. Raises 20342 when it does not fit 64 bits.
  uint64_t PathNumber(const TABSKeyPath& path) const;
  //! The inverse: entry numbers per level (pages unknown until AddressAtPath walks them).
  TABSKeyPath PathOfNumber(uint64_t number) const;
  //! The record address at a path whose pages are known.
  TABSRecordAddress AddressAt(int32_t session, const TABSKeyPath& path);
  //! Checks the tree's invariants and that every entry matches its record.
  TABSBTreeCheckReport Check(int32_t session);

  const TABSRecordKeyRef& KeyRef() const { return keys_; }
  //! Raises "Pointer is nil" (20045) for an index without a page manager.
  TABSBTree& Tree();

 private:
  int CompareWithRecord(int32_t session, const uint8_t* record, const TABSRecordAddress& address,
                        int32_t from, int32_t columns) override;
  int CompareRecordsAt(int32_t session, const TABSRecordAddress& a, const TABSRecordAddress& b, int32_t from,
                       int32_t columns) override;
  bool EntryMatchesRecord(int32_t session, const uint8_t* key, const TABSRecordAddress& address) override;

  // Reads the record at `address` into `buffer` (the record buffer size); false when it is not there.
  bool ReadRecord(int32_t session, const TABSRecordAddress& address, uint8_t* buffer);
  TABSBaseRecordManager& Records() const;
  int32_t RecordSize() const;
  // Columns a condition compares: its key field count within 1 .. column count.
  int32_t ConditionColumns(const TABSScanSearchCondition& condition) const;
  // Positions before the bound (on the last entry before it). False when none.
  bool BeforeBound(int32_t session, const TABSBTreeProbe& probe, TABSBTree::Bound bound, TABSKeyPath& path,
                   TABSBTreePage& leaf);
  // The record address at the scan's path, through the scan's copy of its leaf.
  // `held` may hold the path's leaf already.
  TABSRecordAddress ScanAddress(int32_t session, TABSScanState& state, TABSBTreePage* held);
  // Whether the entry at the path satisfies the condition; `leaf` holds the path's leaf afterwards.
  bool EntrySatisfies(int32_t session, const TABSScanSearchCondition& condition, const TABSKeyPath& path,
                      TABSBTreePage& leaf);
  // Resumes a scan after the cursor's current record.
  bool Resume(int32_t session, TABSScanState& state, const TABSRecordAddress& current, const uint8_t* record,
              const TABSScanSearchCondition* startCondition, bool backwards, bool& onEntry);
  void StampPath(int32_t session, TABSKeyPath& path) const;

  TABSRecordKeyRef keys_;
  std::unique_ptr<TABSBTree> tree_;
  // Scratch record buffers for comparisons that read records.
  TABSMemBlock scratch_[2];
};

}  // namespace viz
