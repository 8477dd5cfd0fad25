// What memory and temporary tables share: a table outside any database file whose pages, records
// and BLOB values live with the table object and go with it.
//
// Neither kind has transactions of its own: a change is in the table when the call returns, and the
// commit and rollback of a session only release the page objects it used. Because nothing can be
// rolled back, a record operation that fails half way takes back what it did itself (the keys it
// put into the indexes, the BLOB values it stored, the record buffer it changed) before it passes the
// error on.
//
// REQUIRES for every operation: the caller does not hold page objects of the table across calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/storage/VIZPage.h"
#include "engine/storage/memory/blob_stores.h"
#include "engine/tables/VIZBaseEngine.h"

namespace viz {

//! Keeps a copy of a record buffer and puts it back when the scope ends, unless the change it
//! guards was kept: a record operation that fails leaves the caller's buffer as it was.
class TABSRecordBufferGuard {
 public:
  TABSRecordBufferGuard(uint8_t* record, int32_t size);
  ~TABSRecordBufferGuard();
  TABSRecordBufferGuard(const TABSRecordBufferGuard&) = delete;
  TABSRecordBufferGuard& operator=(const TABSRecordBufferGuard&) = delete;
  void Keep() { kept_ = true; }

 private:
  uint8_t* record_;
  TABSMemBlock copy_;
  bool kept_ = false;
};

class TABSInMemoryTableData : public TABSTableData {
 public:
  ~TABSInMemoryTableData() override;

  //! Slot 5: outside a transaction, releases the session's pages of the table.
  void AfterChange(TABSBaseSession* session, bool inTransaction) override;
  //! Slot 6: the same; there is nothing to undo.
  void RollbackChange(TABSBaseSession* session, bool inTransaction) override;
  //! Slot 7: installs the definitions, the record manager, the indexes (empty) on the table's page
  //! store and the BLOB storage. Raises the backend's "Error creating table - no fields were
  //! specified", "Table %s already exists" (30451) for a table created before, and the errors of the
  //! definitions; after a failure the table is as before.
  void CreateTable(TABSCursor* cursor, const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                   const TABSConstraintDefs& constraints) override;
  //! Slot 8: refuses while cursors have the table open (20017, unless forced), then frees every
  //! record, value and page, and the table object itself: it is gone when this returns.
  void DeleteTable(TABSBaseSession* session, bool forced) override;
  //! Slot 9: removes every record and value; the automatic counters restart.
  void EmptyTable(TABSCursor* cursor) override;
  //! Slots 14 and 15, followed by the after-change hook.
  void AddIndex(const TABSIndexDef& definition, TABSCursor* cursor) override;
  void DropIndex(int32_t indexObjectId, TABSCursor* cursor) override;
  //! Slot 24: the value written into the buffer and not yet posted, else the stored one. Raises "Nil
  //! pointer occured" without a record buffer and 10110 for a field that is not a BLOB field.
  void ReadBlobValue(TABSCursor* cursor, int32_t field, TABSBlobValue& result) override;
  //! Values read are not cached, and values written stay until they are posted (slots 25 and 26 have
  //! nothing to do); this drops the values written into the buffer.
  void DiscardRecordBlobs(uint8_t* record) override;
  //! Slot 27: the stream works in memory for in-memory tables and for temporary tables made with
  //! temporary files disabled.
  std::unique_ptr<TABSBlobValueStream> OpenBlobStream(TABSCursor* cursor, bool readOnly, bool modify,
                                                      int32_t field) override;
  //! Keeps the value by a handle in the buffer; any value written before for the field is dropped.
  void WriteBlobValue(uint8_t* record, int32_t field, TABSBlobValue value) override;
  //! Slot 35.
  int64_t RecordCount(TABSCursor* cursor) override;

  //! Releases the page objects the session uses (the database's commit and rollback).
  void ReleasePages(int32_t session);
  //! Whether CreateTable has run.
  bool IsCreated() const { return recordManager_ != nullptr; }
  //! The page store of the table's indexes (null before CreateTable).
  TABSPageManager* Pages() const { return pages_.get(); }
  //! Values written into record buffers and not yet posted or dropped.
  int64_t PendingBlobCount() const { return pending_.Count(); }

 protected:
  TABSInMemoryTableData(TABSDatabaseData* database, std::string_view tableName);

  //! The page store for the indexes of a table the cursor creates.
  virtual std::unique_ptr<TABSPageManager> NewPageManager(TABSCursor* cursor) = 0;
  //! The native number of "Error creating table - no fields were specified".
  virtual int32_t NoFieldsCode() const = 0;
  //! Makes the BLOB storage of a table the cursor creates.
  virtual void CreateBlobStorage(TABSCursor* cursor) = 0;
  //! Drops every stored BLOB value.
  virtual void ClearBlobStorage() = 0;
  //! The stored value a reference names. Raises "Invalid pointer" for one the table does not hold.
  virtual TABSBlobValue ReadStoredBlob(int32_t reference) = 0;
  //! Whether the table's work (BLOB streams included) must stay in memory.
  virtual bool KeepsToMemory() const = 0;

  //! The cursor's record buffer. Raises "Nil pointer occured" without a cursor or buffer.
  static uint8_t* RecordOf(TABSCursor* cursor);
  //! The cursor's session number; the catalogue session without a cursor or session.
  static int32_t SessionNumberOf(const TABSCursor* cursor);
  //! Reads the live record at `address` into `buffer`; false when there is none.
  bool ReadRecord(int32_t session, const TABSRecordAddress& address, uint8_t* buffer);
  //! A scratch record buffer of the table's record buffer size.
  TABSMemBlock NewRecordBuffer() const;
  //! Ends a record change: the change is released (unless the cursor runs a bulk change), then the
  //! cursor stands on the record.
  void FinishChange(TABSCursor* cursor, const TABSRecordAddress& address);

  // Index maintenance for one record change. When an index fails, the indexes already changed are
  // put back as they were and the error passes on.
  void InsertKeys(int32_t session, const uint8_t* record, const TABSRecordAddress& address);
  void UpdateKeys(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord,
                  const TABSRecordAddress& address);
  void DeleteKeys(int32_t session, const uint8_t* record, const TABSRecordAddress& address);
  //! Removes a record's keys from every index that has them (an insert taken back).
  void TakeBackKeys(int32_t session, const uint8_t* record, const TABSRecordAddress& address);

  //! The BLOB field at a position; raises 10110 for a position that holds none.
  const TABSFieldDef& BlobField(int32_t field) const;
  //! The pending value of a BLOB field of `record`, null when there is none.
  const TABSBlobValue* PendingBlob(const uint8_t* record, const TABSFieldDef& field) const;

  TABSPendingBlobs pending_;

 private:
  std::unique_ptr<TABSPageManager> pages_;
};

}  // namespace viz
