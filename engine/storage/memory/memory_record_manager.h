// The records of an in-memory table: stored records in slots of an array that grows by the growth
// step, with a bitmap of deleted slots.
//
// A record's address is {slot, 0}. A new record always takes the slot after the highest used one, so
// deleted slots inside the used range are never reused and addresses stay in insertion order. The
// used range lowest..highest shrinks past deleted slots at its two ends; every slot below the lowest
// is a deleted one, so the live records up to a slot are the clear bits up to it.
#pragma once

#include <cstdint>

#include "engine/storage/memory/record_chunks.h"
#include "engine/tables/record_manager.h"
#include "engine/tables/search/bits_array.h"

namespace viz {

class TABSMemoryRecordManager : public TABSBaseRecordManager {
 public:
  static constexpr int32_t kDefaultGrowthStep = 1000;

  //! REQUIRES: the table's field definitions are set. Raises "Invalid record size = 0" (10011) when
  //! its stored record has no bytes.
  explicit TABSMemoryRecordManager(TABSTableData* table, int32_t growthStep = kDefaultGrowthStep);

  // Slots of the record manager, in order.
  //! Frees every record.
  void Empty(int32_t session) override;
  //! Stores the record in the slot after the highest. Raises when memory for it cannot be had.
  TABSRecordAddress Insert(int32_t session, const uint8_t* record) override;
  //! False for a slot outside the used range or a deleted one.
  bool Update(int32_t session, const uint8_t* record, const TABSRecordAddress& address) override;
  //! False for a slot outside the used range or a deleted one.
  bool Delete(int32_t session, const TABSRecordAddress& address) override;
  void Navigate(int32_t session, TABSNavigationRecord& navigation) override;
  //! By slot.
  int CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) override;
  //! -1 for an empty table or a slot outside the used range; otherwise the slot's place in the used
  //! range scaled to the record count: 1 for the lowest slot, the record count for the highest.
  int64_t ApproximateOrdinal(int32_t session, const TABSRecordAddress& address) override;

  //! Whether `slot` holds a record.
  bool IsLive(int64_t slot) const;
  //! The number of records in slots 0..slot (the slot's storage ordinal when it is live).
  int64_t LiveUpTo(int64_t slot) const;
  //! The slot of the record with storage ordinal `ordinal` (from 1); -1 when there is none.
  int64_t SlotOfOrdinal(int64_t ordinal) const;
  //! The stored form of the record in a live slot.
  //! REQUIRES: IsLive(slot).
  const uint8_t* StoredRecord(int64_t slot) const { return records_.At(slot); }

  int64_t LowestSlot() const { return lowest_; }
  int64_t HighestSlot() const { return highest_; }
  bool HasNoDeletions() const { return noDeletions_; }
  //! Slots the array can hold before it grows.
  int64_t Capacity() const { return records_.Capacity(); }
  int32_t StoredRecordSize() const { return records_.RecordSize(); }

 private:
  // The next live slot after `from` (forward) or before it, within the used range; -1 when none.
  int64_t NextLive(int64_t from, bool forward) const;

  TABSStoredRecordForm form_;
  TABSRecordChunks records_;
  //! Bit per slot, set = deleted.
  TABSBitsArray deleted_;
  int64_t lowest_ = 0;
  int64_t highest_ = 0;
  bool noDeletions_ = true;
};

}  // namespace viz
