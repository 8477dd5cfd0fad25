// The records of a temporary table: append-only, numbered 0, 1, 2, ... in insertion order. Records
// 0 to L - 1 stay in memory, L = (available memory div 10) div the stored record size; the records
// from L on go, through a write buffer of W records, to a temporary file (record n at offset
// (n - L) x size), made on first need and gone when the table is emptied or destroyed. With temporary
// files disabled every record stays in memory.
//
// A record's address carries its number: the low 32 bits in the first part, the next 16 in the second.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/platform/file.h"
#include "engine/storage/memory/record_chunks.h"
#include "engine/tables/record_manager.h"
#include "engine/types/raw_values.h"

namespace viz {

class TABSFileStream;

class TABSTemporaryRecordManager : public TABSBaseRecordManager {
 public:
  static constexpr int32_t kDefaultGrowthStep = 1000;
  static constexpr int32_t kDefaultWriteBuffer = 10;

  //! REQUIRES: the table's field definitions are set. Raises "Invalid record size = 0" (10124) when
  //! its stored record has no bytes. A write buffer of 0 records is taken as 1. `availableMemory`
  //! sizes the memory part; -1 asks the engine memory manager.
  TABSTemporaryRecordManager(TABSTableData* table, bool memoryOnly, int32_t growthStep = kDefaultGrowthStep,
                             int32_t writeBuffer = kDefaultWriteBuffer, int64_t availableMemory = -1,
                             platform::FileSystem* fileSystem = nullptr);
  ~TABSTemporaryRecordManager() override;

  //! Counts 0, memory freed, the temporary file closed and gone.
  void Empty(int32_t session) override;
  //! Appends the record. Raises the file's errors: "Cannot create file" (10104), "Error writing to
  //! stream" (10125), "Cannot set stream position ..." (10128), "Invalid record count" (10126).
  TABSRecordAddress Insert(int32_t session, const uint8_t* record) override;
  //! Always false: temporary records cannot change.
  bool Update(int32_t session, const uint8_t* record, const TABSRecordAddress& address) override;
  //! Always false.
  bool Delete(int32_t session, const TABSRecordAddress& address) override;
  //! Raises "Error retreiving record" (10127) when a record cannot be read back.
  void Navigate(int32_t session, TABSNavigationRecord& navigation) override;
  //! By record number.
  int CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) override;
  //! The record number + 1; -1 for a number outside the records.
  int64_t ApproximateOrdinal(int32_t session, const TABSRecordAddress& address) override;

  //! Takes back the last record appended (an insert whose index keys failed).
  //! REQUIRES: RecordCount > 0.
  void DropLast();
  //! Reads record `number` in stored form into `stored`. Raises 10127 when it cannot.
  void ReadStored(int64_t number, uint8_t* stored);

  static int64_t NumberOf(const TABSRecordAddress& address);
  static TABSRecordAddress AddressOf(int64_t number);

  bool MemoryOnly() const { return memoryOnly_; }
  //! L: the records kept in memory when temporary files are allowed.
  int64_t MemoryRecordLimit() const { return memoryLimit_; }
  int32_t WriteBufferSize() const { return writeBufferSize_; }
  //! Records waiting in the write buffer.
  int32_t BufferedCount() const { return buffered_; }
  bool HasFile() const { return file_ != nullptr; }
  int32_t StoredRecordSize() const { return records_.RecordSize(); }

 private:
  void FlushWriteBuffer();
  // Records the memory array may hold.
  int64_t MemoryCapacity() const;

  TABSStoredRecordForm form_;
  TABSRecordChunks records_;
  bool memoryOnly_;
  int64_t memoryLimit_;
  int32_t writeBufferSize_;
  platform::FileSystem* fileSystem_;
  TABSMemBlock writeBuffer_;
  int32_t buffered_ = 0;
  std::unique_ptr<TABSFileStream> file_;
};

}  // namespace viz
