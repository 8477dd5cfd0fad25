// The per-table keeper of stored records. Each backend makes its own (disk pages, memory); the table
// data, the constraint check and the index builds reach records only through these operations.
#pragma once

#include <cstdint>

#include "engine/tables/record_layout.h"

namespace viz {

class TABSTableData;

//! A request to read a record relative to an address, and its outcome.
struct TABSNavigationRecord {
  enum Step : uint8_t { kCurrent = 0, kNext = 1, kPrior = 2 };
  enum Result : uint8_t { kFound = 0, kBeforeFirst = 1, kAfterLast = 2, kNotFound = 3 };

  Step Direction = kCurrent;
  bool FromBeginning = false;
  bool FromEnd = false;
  //! The address to move from; receives the address of the record found.
  TABSRecordAddress Address;
  //! Receives the record in record-buffer form when not null.
  uint8_t* Target = nullptr;
  Result Outcome = kNotFound;
  //! On a record found: the content serial of the page it was read from (see
  //! `TABSPage::ContentSerial`), when the record manager reports it; 0 otherwise.
  uint64_t PageSerial = 0;
};

class TABSBaseRecordManager {
 public:
  explicit TABSBaseRecordManager(TABSTableData* table) : table_(table) {}
  TABSBaseRecordManager(const TABSBaseRecordManager&) = delete;
  TABSBaseRecordManager& operator=(const TABSBaseRecordManager&) = delete;
  virtual ~TABSBaseRecordManager() = default;

  // Abstract operations in slot order.
  //! Removes every record.
  virtual void Empty(int32_t session) = 0;
  //! Stores a record buffer as a new record; returns its address.
  virtual TABSRecordAddress Insert(int32_t session, const uint8_t* record) = 0;
  //! Overwrites the record at `address`; false when no record is there.
  virtual bool Update(int32_t session, const uint8_t* record, const TABSRecordAddress& address) = 0;
  //! Removes the record at `address`; false when no record is there.
  virtual bool Delete(int32_t session, const TABSRecordAddress& address) = 0;
  //! Reads the current, next or prior record in storage order.
  virtual void Navigate(int32_t session, TABSNavigationRecord& navigation) = 0;
  //! Returns -1, 0 or 1 as `a` is before, at or after `b` in storage order.
  virtual int CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) = 0;
  //! Returns the approximate 1-based position of a record in storage order.
  virtual int64_t ApproximateOrdinal(int32_t session, const TABSRecordAddress& address) = 0;

  TABSTableData* TableData() const { return table_; }

  int64_t RecordCount = 0;
  //! Increased by every change of the table's records; temporary indexes compare against it.
  int32_t StateCounter = 0;
  int32_t RecordBufferSize = 0;

 private:
  TABSTableData* table_;
};

}  // namespace viz
