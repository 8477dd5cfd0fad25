// The storage-independent heart of the engine's tables: the abstract database data (one open
// database, shared by the sessions of the process that use it) and table data (one table of it),
// which every storage backend derives from, and the per-table managers they own.
//
// Locking. The database lock (a re-entrant critical section of the database data) guards the
// session and table lists and every base table operation that reads or changes managers,
// definitions or index objects. A table's own lock serialises the cursors of different threads on
// that table; cursors take it around their work.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/tables/base_session.h"
#include "engine/tables/blob_value.h"
#include "engine/tables/constraint_manager.h"
#include "engine/tables/field_manager.h"
#include "engine/tables/index_manager.h"
#include "engine/tables/record_manager.h"
#include "engine/tables/search/table_search.h"
#include "engine/tables/table_cursor.h"

namespace viz {

class TABSPageManager;
class TABSTableData;

//! One open database.
class TABSDatabaseData {
 public:
  TABSDatabaseData() = default;
  TABSDatabaseData(const TABSDatabaseData&) = delete;
  TABSDatabaseData& operator=(const TABSDatabaseData&) = delete;
  //! Frees the table objects still in the list.
  virtual ~TABSDatabaseData();

  // Virtual operations in slot order.
  //! Slot 0: adds the session and sets its session number to 0.
  virtual void ConnectSession(TABSBaseSession* session);
  //! Slot 1: removes the session.
  virtual void DisconnectSession(TABSBaseSession* session);
  //! Slot 2: destroys this object when no session is connected; returns whether it did.
  //! REQUIRES: the object was made with new and nothing else owns it.
  virtual bool FreeIfUnused();
  //! Slot 3: appends the name of every table object.
  virtual void ListTableNames(std::vector<std::string>& names);
  //! Slot 4: creates the database's storage (nothing in the base).
  virtual void CreateDatabase() {}
  //! Slot 5: makes a table object for the cursor's table (a new table object joins the list itself).
  virtual TABSTableData* NewTableData(TABSCursor* cursor) = 0;
  //! Slot 6: the table object whose name equals the cursor's table name (case-insensitive); null
  //! when absent.
  virtual TABSTableData* FindTableData(TABSCursor* cursor);
  //! Slot 7: slot 6, else slot 5.
  virtual TABSTableData* FindOrCreateTableData(TABSCursor* cursor);
  //! Slot 8: a new identity, unique within the database.
  virtual int32_t NextObjectID() = 0;
  //! Slot 9: makes the session's changes durable (through the page manager when there is one).
  virtual void Commit(TABSBaseSession* session, bool flush);
  //! Slot 10: discards the session's changes, then tells every table (table slot 37).
  virtual void Rollback(TABSBaseSession* session);
  //! Slot 11: nothing in the base.
  virtual void Flush() {}

  //! Whether a table of that name exists (lists the names and searches them).
  bool TableExists(std::string_view tableName);

  //! The database lock. Re-entrant within a thread.
  std::recursive_mutex& Lock() { return lock_; }
  //! The page manager, when the backend has one.
  TABSPageManager* PageManager() const { return pageManager_; }
  bool MultiUser() const { return multiUser_; }
  void SetMultiUser(bool value) { multiUser_ = value; }
  //! Protected by the database lock.
  const std::vector<TABSBaseSession*>& Sessions() const { return sessions_; }
  //! Protected by the database lock.
  const std::vector<TABSTableData*>& Tables() const { return tables_; }

 protected:
  friend class TABSTableData;

  //! Commits / discards a session's pages through the page manager, when there is one. A backend
  //! whose manager can force the written pages to the medium overrides `CommitPages` to pass `flush`.
  virtual void CommitPages(int32_t session, bool flush);
  virtual void RollbackPages(int32_t session);

  void SetPageManager(TABSPageManager* pageManager) { pageManager_ = pageManager; }

 private:
  std::recursive_mutex lock_;
  TABSPageManager* pageManager_ = nullptr;
  bool multiUser_ = false;
  // State below is protected by lock_.
  std::vector<TABSBaseSession*> sessions_;
  std::vector<TABSTableData*> tables_;  // owned; a table removes itself when destroyed
};

//! The record layout a cursor takes from its table.
struct TABSRecordLayout {
  //! Offset of the first field: the size of the null bitmap (0 without fields).
  int32_t FieldDataOffset = 0;
  int32_t RecordBufferSize = 0;
};

//! One table of an open database.
class TABSTableData {
 public:
  //! Joins the database's table list, which owns it from then on.
  TABSTableData(TABSDatabaseData* database, std::string_view tableName);
  TABSTableData(const TABSTableData&) = delete;
  TABSTableData& operator=(const TABSTableData&) = delete;
  //! Removes itself from its database's table list.
  virtual ~TABSTableData();

  // Virtual operations in slot order. Slots 21 to 23, 31 and 32 (table navigation) are implemented
  // in engine/tables/search; slots 24 and 27 and the BLOB writing beside them by each backend's BLOB
  // storage.
  //! Slot 0: makes the record manager.
  virtual void CreateRecordManager() = 0;
  //! Slot 1: new ObjectIDs, assigned (10424 on duplicate names), offsets computed, counters reset.
  virtual void SetFieldDefs(const TABSFieldDefs& definitions);
  //! Slot 2: new ObjectIDs, then the index manager takes them.
  virtual void SetIndexDefs(const TABSIndexDefs& definitions);
  //! Slot 3: the constraint manager installs them.
  virtual void SetConstraintDefs(const TABSConstraintDefs& definitions);
  //! Slot 4: the offset of field 0 and the record buffer size.
  virtual void GetRecordLayout(TABSRecordLayout& layout);
  //! Slot 5: after a change, outside a transaction, commits the session's pages.
  virtual void AfterChange(TABSBaseSession* session, bool inTransaction);
  //! Slot 6: after a failure, outside a transaction, discards the session's pages.
  virtual void RollbackChange(TABSBaseSession* session, bool inTransaction);
  //! Slot 7: creates the table in storage with its definitions.
  virtual void CreateTable(TABSCursor* cursor, const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                           const TABSConstraintDefs& constraints) = 0;
  //! Slot 8: unless forced, refuses with 20017 while any cursor has the table open.
  virtual void DeleteTable(TABSBaseSession* session, bool forced);
  //! Slot 9: resets the counters and empties every index.
  virtual void EmptyTable(TABSCursor* cursor);
  //! Slot 10: refuses with 10150 while any cursor has the table open, else takes the new name.
  virtual void RenameTable(std::string_view newName, TABSCursor* cursor);
  //! Slot 11.
  virtual void RegisterCursor(TABSCursor* cursor);
  //! Slot 12.
  virtual void UnregisterCursor(TABSCursor* cursor);
  //! Slot 13: renames a field and every index column naming it. Raises 30343 when the old name does
  //! not exist and 30344 when the new one does.
  virtual void RenameField(std::string_view oldName, std::string_view newName);
  //! Slot 14: adds and builds an index, with the primary-key or unique constraint it implies.
  virtual void AddIndex(const TABSIndexDef& definition, TABSCursor* cursor);
  //! Slot 15: drops an index, with the constraint it implied.
  virtual void DropIndex(int32_t indexObjectId, TABSCursor* cursor);
  //! Slot 16: returns the name of an index ordering by the columns, making a temporary one for the
  //! cursor's session when none fits. `orders` holds "ASC"/"DESC", `cases` "CASE"/"NO_CASE".
  virtual std::string FindOrCreateIndex(TABSCursor* cursor, const std::vector<std::string>& columns,
                                        const std::vector<std::string>& orders,
                                        const std::vector<std::string>& cases, bool& made);
  //! Slot 17: the bound of record numbers.
  virtual int64_t RecordNumberBound(TABSCursor* cursor) = 0;
  //! Slot 18.
  virtual int64_t AddressToRecordNumber(const TABSRecordAddress& address) = 0;
  //! Slot 19.
  virtual TABSRecordAddress RecordNumberToAddress(int64_t recordNumber) = 0;
  //! Slot 20: releases the cached BLOB values of a record buffer (nothing in the base).
  virtual void ReleaseRecordBlobs(uint8_t* /*record*/) {}
  //! Slot 21: reads the cursor's current record again (direction 0) or steps to its next (1) or prior
  //! (2) record in its order, under its restrictions; the record found is read into the cursor's
  //! record buffer and becomes its position. Returns a TABSNavigationRecord::Result: 0 found,
  //! 1 before the first, 2 after the last, 3 not found (the current record no longer exists or, on
  //! a restricted cursor, no longer passes). Next after the last and prior before the first find
  //! nothing.
  virtual int32_t StepCursor(TABSCursor* cursor, int32_t direction);
  //! Slot 22: the first record, in the cursor's order, that the cursor's search expression accepts
  //! with `buffer` as its values; the cursor stands on it and reads it. Raises "Nil pointer occured"
  //! (10272) without a buffer, (10273) without a search expression. Not found: the position stays.
  virtual bool SearchWithRecord(TABSCursor* cursor, const uint8_t* buffer);
  //! Slot 23: the first record, in index order, whose leading index columns compare with the
  //! cursor's key buffer as `op` says. Raises 20258 when the cursor has no index. Found: it becomes
  //! the cursor's position; otherwise the position stays.
  virtual bool FindKey(TABSCursor* cursor, TABSScanOperator op);
  //! Slot 24: the value of BLOB field `field` of the cursor's record buffer, in its stored form; a
  //! NULL or empty field gives an empty value. The base raises 30339 (not overridden).
  virtual void ReadBlobValue(TABSCursor* cursor, int32_t field, TABSBlobValue& result);
  //! Slot 25: releases the cached BLOB value of one field (nothing in the base). A value a cursor
  //! wrote into the field and has not posted yet is kept.
  virtual void ReleaseFieldBlob(uint8_t* /*record*/, int32_t /*field*/) {}
  //! Slot 26: slot 25 for every BLOB field, when the table has BLOB fields.
  virtual void ReleaseAllBlobs(uint8_t* record);
  //! Drops every BLOB value a record buffer holds, the values written and not posted included (an
  //! edit that is cancelled, a buffer that is freed). Base: slot 20.
  virtual void DiscardRecordBlobs(uint8_t* record) { ReleaseRecordBlobs(record); }
  //! Slot 27: opens a stream on BLOB field `field` of the cursor's record buffer. With `modify` the
  //! stream starts from an empty value (the field is being rewritten); `readOnly` refuses writes. The
  //! base raises 30339 (not overridden).
  virtual std::unique_ptr<TABSBlobValueStream> OpenBlobStream(TABSCursor* cursor, bool readOnly, bool modify,
                                                              int32_t field);
  //! Reads the whole value of BLOB field `field` of the cursor's record buffer into `bytes`, exactly
  //! as a read-only stream from OpenBlobStream would give it (the same bytes, the same errors), where
  //! the backend can do so without that stream; returns false, having done nothing, where it cannot.
  //! The base returns false.
  virtual bool ReadBlobDirect(TABSCursor* /*cursor*/, int32_t /*field*/, std::string& /*bytes*/) {
    return false;
  }
  //! Keeps a value a cursor wrote into BLOB field `field` of a record buffer until the record is
  //! inserted or updated, which stores it; an empty value makes the field NULL. The base raises 30339
  //! (not overridden).
  virtual void WriteBlobValue(uint8_t* record, int32_t field, TABSBlobValue value);
  //! Slot 28: stores the cursor's record as a new record; false on failure.
  virtual bool InsertRecord(TABSCursor* cursor) = 0;
  //! Slot 29.
  virtual bool DeleteRecord(TABSCursor* cursor) = 0;
  //! Slot 30.
  virtual bool UpdateRecord(TABSCursor* cursor) = 0;
  //! Slot 31: positions the cursor on the record with that ordinal (from 1) in its order and under
  //! its restrictions; beyond the count on the last record; nothing on a table without records.
  virtual void GotoOrdinal(TABSCursor* cursor, int64_t ordinal);
  //! Slot 32: the ordinal of the cursor's record in its order and under its restrictions; -1 before
  //! the first or after the last record, or for a record that is not in the cursor's order.
  virtual int64_t Ordinal(TABSCursor* cursor);
  //! Slot 33: positions the cursor on the record with that ordinal in storage order.
  virtual void GotoStorageOrdinal(TABSCursor* cursor, int64_t ordinal) = 0;
  //! Slot 34.
  virtual int64_t StorageOrdinal(TABSCursor* cursor) = 0;
  //! Slot 35.
  virtual int64_t RecordCount(TABSCursor* cursor) = 0;
  //! Slot 36: the field manager's last value remembered by the session.
  virtual int64_t LastAutoincValue(int32_t field, TABSBaseSession* session);
  //! Slot 37: rebuilds the stale temporary indexes of that session's cursors.
  virtual void SessionRolledBack(TABSBaseSession* session);

  //! Opens the table for a cursor, which then joins the cursor list (slot 11); a backend that keeps
  //! its tables in a file loads the table for its first cursor.
  virtual void OpenTable(TABSCursor* cursor) { RegisterCursor(cursor); }
  //! Closes the table for a cursor (slot 12); the backend may free what it loaded after the last.
  virtual void CloseTable(TABSCursor* cursor) { UnregisterCursor(cursor); }

  //! Whether the table has BLOB fields. Raises 10421 when the first BLOB field's block size is not
  //! above 0.
  bool CheckBlobBlockSize() const;
  //! The record buffer size. Raises 10131 for a table without fields.
  int32_t RecordBufferSize() const;
  //! Rebuilds the cursor session's stale temporary indexes before one is used.
  void RefreshTemporaryIndexes(TABSCursor* cursor);

  // Table navigation beyond the slots (engine/tables/search).
  //! The number of records the cursor reaches: through its record bitmap when it is restricted
  //! (rebuilt when stale), otherwise slot 35.
  int64_t CursorRecordCount(TABSCursor* cursor);
  //! Whether a record passes the cursor's range, filter expression, SQL filter and filter callback.
  bool AcceptRecord(TABSCursor* cursor, const uint8_t* record);
  //! The one search entry point behind slots 21, 22, 23 and the record bitmaps.
  bool Search(TABSCursor* cursor, TABSSearchRequest& request, TABSRecordAddress& result);
  //! Brings the cursor's record bitmap up to date: rebuilt when it is not in use or stale.
  void PrepareRecordBitmap(TABSCursor* cursor);
  //! Called by a backend after it deleted the record at `address` through `cursor`;
  //! `stateBefore` is the record manager's state counter before the delete. Clears the record's bit
  //! (drops an index-numbered bitmap), and keeps a bitmap that was current up to date.
  void NoteRecordDeleted(TABSCursor* cursor, const TABSRecordAddress& address, int32_t stateBefore);

  TABSDatabaseData* Database() const { return database_; }
  const std::string& TableName() const { return tableName_; }
  //! The table's own lock, taken by cursors around their work on the table.
  std::recursive_mutex& TableLock() { return tableLock_; }
  TABSPageManager* PageManager() const { return pageManager_; }

  TABSBaseFieldManager* FieldManager() const { return fieldManager_.get(); }
  TABSBaseIndexManager* IndexManager() const { return indexManager_.get(); }
  TABSBaseConstraintManager* ConstraintManager() const { return constraintManager_.get(); }
  TABSBaseRecordManager* RecordManager() const { return recordManager_.get(); }
  //! Protected by the database lock.
  const std::vector<TABSCursor*>& Cursors() const { return cursors_; }

 protected:
  void SetTableName(std::string_view name) { tableName_ = std::string(name); }
  void SetPageManager(TABSPageManager* pageManager) { pageManager_ = pageManager; }

  std::unique_ptr<TABSBaseFieldManager> fieldManager_;
  std::unique_ptr<TABSBaseIndexManager> indexManager_;
  std::unique_ptr<TABSBaseConstraintManager> constraintManager_;
  std::unique_ptr<TABSBaseRecordManager> recordManager_;

 private:
  // The field manager, checked.
  TABSBaseFieldManager& Fields() const;
  TABSBaseIndexManager& Indexes() const;
  TABSBaseConstraintManager& Constraints() const;

  TABSDatabaseData* database_;
  std::string tableName_;
  std::recursive_mutex tableLock_;
  TABSPageManager* pageManager_ = nullptr;
  std::vector<TABSCursor*> cursors_;
};

}  // namespace viz
