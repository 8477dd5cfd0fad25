// A table of the in-memory database: fully editable, with indexes on a memory page store, BLOB
// values in memory blocks, and gone when its object goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/storage/memory/blob_stores.h"
#include "engine/storage/memory/in_memory_table_data.h"
#include "engine/storage/memory/memory_record_manager.h"

namespace viz {

class TABSMemoryTableData : public TABSInMemoryTableData {
 public:
  TABSMemoryTableData(TABSDatabaseData* database, std::string_view tableName,
                      int32_t growthStep = TABSMemoryRecordManager::kDefaultGrowthStep);

  //! Slot 0: a TABSMemoryRecordManager with the table's growth step.
  void CreateRecordManager() override;
  //! Slot 17: the highest slot + 1 (1 for a table without records).
  int64_t RecordNumberBound(TABSCursor* cursor) override;
  //! Slots 18 and 19: a record's number is its slot.
  int64_t AddressToRecordNumber(const TABSRecordAddress& address) override { return address.PageNo; }
  TABSRecordAddress RecordNumberToAddress(int64_t recordNumber) override {
    return {static_cast<int32_t>(recordNumber), 0};
  }
  //! Slot 28: stores the cursor's record buffer after the highest slot, with its BLOB values; the
  //! cursor stands on the new record. False, with nothing stored, when memory for it cannot be had.
  bool InsertRecord(TABSCursor* cursor) override;
  //! Slot 29: removes the record the cursor stands on with its keys and BLOB values; false when it
  //! is gone.
  bool DeleteRecord(TABSCursor* cursor) override;
  //! Slot 30: writes the cursor's record buffer over the record it stands on; false when that is
  //! gone or memory for a new BLOB value cannot be had.
  bool UpdateRecord(TABSCursor* cursor) override;
  //! Slot 33: positions on the record with that storage ordinal; nothing when there is none.
  void GotoStorageOrdinal(TABSCursor* cursor, int64_t ordinal) override;
  //! Slot 34: -1 for a position that holds no record.
  int64_t StorageOrdinal(TABSCursor* cursor) override;

  TABSMemoryRecordManager& Records() const;
  const TABSMemoryBlobStore& Blobs() const { return blobs_; }

 protected:
  std::unique_ptr<TABSPageManager> NewPageManager(TABSCursor* cursor) override;
  int32_t NoFieldsCode() const override { return 10025; }
  void CreateBlobStorage(TABSCursor* /*cursor*/) override {}
  void ClearBlobStorage() override { blobs_.Clear(); }
  TABSBlobValue ReadStoredBlob(int32_t reference) override { return blobs_.Read(reference); }
  bool KeepsToMemory() const override { return true; }

 private:
  // What storing a record's BLOB values did, to be finished or taken back.
  struct BlobChange {
    std::vector<int32_t> Made;      // references stored for the record
    std::vector<int32_t> Obsolete;  // references of the record's previous values
    std::vector<int32_t> Pending;   // handles whose values were stored
  };
  // Gives every BLOB field of `record` a stored value of its own: a pending value is stored, a value
  // referring to another record is copied, a NULL or empty field keeps none. `old` is the record as
  // stored (null for an insert). Raises "Invalid pointer" for a reference the table does not hold.
  void StoreBlobs(uint8_t* record, const uint8_t* old, BlobChange& change);
  // Frees what StoreBlobs stored.
  void UndoBlobs(const BlobChange& change);
  // Frees the previous values and the pending ones now stored.
  void CommitBlobs(const BlobChange& change);

  int32_t growthStep_;
  TABSMemoryBlobStore blobs_;
};

}  // namespace viz
