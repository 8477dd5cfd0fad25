// A table of the temporary database: a work table (query results, sorts, copies) that only grows by
// appending. Its records, index pages and BLOB values stay in memory up to their limits and then go
// to temporary files, unless the creating cursor has temporary files disabled.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/platform/file.h"
#include "engine/storage/memory/blob_stores.h"
#include "engine/storage/memory/in_memory_table_data.h"
#include "engine/storage/memory/temporary_record_manager.h"

namespace viz {

class TABSTemporaryTableData : public TABSInMemoryTableData {
 public:
  //! `availableMemory` sizes the memory parts (-1: ask the engine memory manager); `fileSystem` makes
  //! the temporary files (null: the real one).
  TABSTemporaryTableData(TABSDatabaseData* database, std::string_view tableName,
                         int32_t growthStep = TABSTemporaryRecordManager::kDefaultGrowthStep,
                         int32_t writeBuffer = TABSTemporaryRecordManager::kDefaultWriteBuffer,
                         int64_t availableMemory = -1, platform::FileSystem* fileSystem = nullptr);

  //! Slot 0: a TABSTemporaryRecordManager, in memory only when the creating cursor said so.
  void CreateRecordManager() override;
  //! Slot 17: the record count.
  int64_t RecordNumberBound(TABSCursor* cursor) override;
  //! Slots 18 and 19: a record's number is the one its address carries.
  int64_t AddressToRecordNumber(const TABSRecordAddress& address) override {
    return TABSTemporaryRecordManager::NumberOf(address);
  }
  TABSRecordAddress RecordNumberToAddress(int64_t recordNumber) override {
    return TABSTemporaryRecordManager::AddressOf(recordNumber);
  }
  //! Slot 28: appends the cursor's record buffer with its BLOB values; the cursor stands on the new
  //! record. Raises the temporary file's errors.
  bool InsertRecord(TABSCursor* cursor) override;
  //! Slots 29 and 30: false; a temporary table's records cannot change.
  bool DeleteRecord(TABSCursor* cursor) override;
  bool UpdateRecord(TABSCursor* cursor) override;
  //! Slot 33.
  void GotoStorageOrdinal(TABSCursor* cursor, int64_t ordinal) override;
  //! Slot 34: the record number + 1; -1 for a position that holds no record.
  int64_t StorageOrdinal(TABSCursor* cursor) override;

  TABSTemporaryRecordManager& Records() const;
  const TABSTemporaryBlobStore* Blobs() const { return blobs_.get(); }
  //! Whether the table keeps everything in memory (its creating cursor had temporary files disabled).
  bool MemoryOnly() const { return memoryOnly_; }

 protected:
  std::unique_ptr<TABSPageManager> NewPageManager(TABSCursor* cursor) override;
  int32_t NoFieldsCode() const override { return 10132; }
  void CreateBlobStorage(TABSCursor* cursor) override;
  void ClearBlobStorage() override;
  TABSBlobValue ReadStoredBlob(int32_t reference) override;
  bool KeepsToMemory() const override { return memoryOnly_; }

 private:
  // Gives every BLOB field of `record` a value of the table's store: pending values are appended;
  // references of the table's own are kept. Returns the handles whose values were stored.
  std::vector<int32_t> StoreBlobs(uint8_t* record);

  int32_t growthStep_;
  int32_t writeBuffer_;
  int64_t availableMemory_;
  platform::FileSystem* fileSystem_;
  bool memoryOnly_ = false;
  std::unique_ptr<TABSTemporaryBlobStore> blobs_;
};

}  // namespace viz
