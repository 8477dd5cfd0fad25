// One table of a disk database. It owns the table's three internal files and wraps every record
// operation with the multi-user protocol.
//
//   metadata file    (transacted, page type 8), compressed as a whole (zlib, level 1):
//                    field definitions | index definitions | constraint definitions |
//                    i32 root of the record page index | i32 root of the BLOB page index (-1: none)
//   header-data file (transacted, page type 9), plain, exactly 4 + 8 x fieldCount + 8 bytes:
//                    i32 counter count | counter count x i64 automatic counter |
//                    i32 state counter | i32 record count (low 32 bits)
//   locks file       (direct, page type 7): 12 x MaxConnections bytes (table_locks_file.h)
//
// Life of the table object:
//
//   closed --OpenTable (first cursor) / CreateTable--> loaded --CloseTable (last cursor)--> closed
//
// While loaded it has its field, index, constraint, record and BLOB managers. Other processes pass
// their changes on through the header data (record count, state counter, automatic counters), which
// a multi-user table reads again before every operation that relies on it.
//
// Uncommitted changes. A session that changed the table and has not committed yet (a transaction,
// or a bulk change) is recorded; until it commits or rolls back, no other session may change the
// table and no catalogue operation (delete, empty, exclusive open) may run on it, because its later
// commit would write over theirs. Between processes the table locks taken by cursors do this.
//
// Safe for concurrent use by multiple threads: every operation runs under the database lock.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "engine/storage/VIZPage.h"
#include "engine/storage/disk/table_lock_manager.h"
#include "engine/storage/disk/table_locks_file.h"
#include "engine/storage/disk/transacted_file.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/types/errors.h"

namespace viz {

class TABSDiskBlobManager;
class TABSDiskDatabaseData;
class TABSDiskPageManager;
class TABSDiskRecordManager;
class TABSTemporaryPageManager;
struct TABSTableListEntry;

class TABSDiskTableData : public TABSTableData {
 public:
  TABSDiskTableData(TABSDiskDatabaseData* database, std::string_view tableName);
  ~TABSDiskTableData() override;

  // Slots of TABSTableData.
  //! Raises 20174 when a stored record does not fit into a page.
  void CreateRecordManager() override;
  void AfterChange(TABSBaseSession* session, bool inTransaction) override;
  void RollbackChange(TABSBaseSession* session, bool inTransaction) override;
  //! Creates the table's files and pages under session -2 and commits them; on failure the file is
  //! as before. Raises "Error creating table - no fields were specified" (20128), "Not implemented
  //! yet" (30040) for a constraint kind other than 0, 2, 3, 4, "Cannot create table. Table '%s'
  //! already exists" (30395).
  void CreateTable(TABSCursor* cursor, const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                   const TABSConstraintDefs& constraints) override;
  //! Frees every page of the table and its entry in the table list.
  void DeleteTable(TABSBaseSession* session, bool forced) override;
  //! Removes every record, index key and BLOB value for the cursor's session.
  void EmptyTable(TABSCursor* cursor) override;
  void RenameTable(std::string_view newName, TABSCursor* cursor) override;
  //! The definition changes rewrite the metadata (under the cursor's session, else session -2).
  void RenameField(std::string_view oldName, std::string_view newName) override;
  void AddIndex(const TABSIndexDef& definition, TABSCursor* cursor) override;
  void DropIndex(int32_t indexObjectId, TABSCursor* cursor) override;
  int64_t RecordNumberBound(TABSCursor* cursor) override;
  int64_t AddressToRecordNumber(const TABSRecordAddress& address) override;
  TABSRecordAddress RecordNumberToAddress(int64_t recordNumber) override;
  //! Slot 20: slot 26.
  void ReleaseRecordBlobs(uint8_t* record) override;
  //! The read operations take table lock kind 1 in multi-user mode (raising "Table is locked" when
  //! it cannot be had; a step then reports 3) and read the header data first.
  int32_t StepCursor(TABSCursor* cursor, int32_t direction) override;
  bool SearchWithRecord(TABSCursor* cursor, const uint8_t* buffer) override;
  bool FindKey(TABSCursor* cursor, TABSScanOperator op) override;
  void ReadBlobValue(TABSCursor* cursor, int32_t field, TABSBlobValue& result) override;
  //! A small stored value that is not cached, straight from its page (TABSDiskBlobManager::ReadSmallValue).
  bool ReadBlobDirect(TABSCursor* cursor, int32_t field, std::string& bytes) override;
  //! Slot 25: drops the field's cached value unless a cursor wrote it.
  void ReleaseFieldBlob(uint8_t* record, int32_t field) override;
  std::unique_ptr<TABSBlobValueStream> OpenBlobStream(TABSCursor* cursor, bool readOnly, bool modify,
                                                      int32_t field) override;
  void WriteBlobValue(uint8_t* record, int32_t field, TABSBlobValue value) override;
  //! The record operations work on the cursor's record buffer (its navigation's record buffer) and,
  //! for update and delete, on the record at its position. Outside a transaction (and a bulk change)
  //! each commits at once; when one fails there, its changes are discarded.
  //! REQUIRES: before an insert the cursor called PrepareForInsert and assigned automatic values.
  bool InsertRecord(TABSCursor* cursor) override;
  bool DeleteRecord(TABSCursor* cursor) override;
  bool UpdateRecord(TABSCursor* cursor) override;
  void GotoOrdinal(TABSCursor* cursor, int64_t ordinal) override;
  int64_t Ordinal(TABSCursor* cursor) override;
  void GotoStorageOrdinal(TABSCursor* cursor, int64_t ordinal) override;
  int64_t StorageOrdinal(TABSCursor* cursor) override;
  int64_t RecordCount(TABSCursor* cursor) override;
  //! Reads the state the session sees again (header data; metadata when the session changed it).
  void SessionRolledBack(TABSBaseSession* session) override;

  // Opening and closing for cursors.
  //! Loads the table for its first cursor and takes table lock kind 6 (exclusive) or 0. Raises
  //! "Cannot access table '%s' in exclusive mode. Probably the table is open by another cursors"
  //! (20242), "... by another user" (20208), "Cannot open table '%s'. Table is locked" (20209), and
  //! "Table '%s' not exists." (30396) for a table the file does not have.
  void OpenTable(TABSCursor* cursor) override;
  //! Releases the cursor's lock; after the last cursor frees the managers. Raises "Blob cache not
  //! released" (20150), after closing, when cursors left BLOB values cached.
  void CloseTable(TABSCursor* cursor) override;
  bool IsLoaded() const { return recordManager_ != nullptr; }
  bool IsExclusive() const { return exclusive_; }

  // The cursor's side of the multi-user protocol (cursor operations 9 and 10).
  //! Takes table lock `kind` for the cursor's session; true at once in single-user mode.
  bool LockTable(TABSCursor* cursor, uint8_t kind, TABSLockRetry retry);
  void UnlockTable(TABSCursor* cursor, uint8_t kind);
  //! Reads the stored automatic counters and record count as the cursor's session sees them, before
  //! the cursor assigns automatic values to a new record.
  void PrepareForInsert(TABSCursor* cursor);
  //! Drops every cached BLOB value of a record buffer, also those a cursor wrote (a cancelled edit).
  void DiscardRecordBlobs(uint8_t* record) override;
  //! Called by the database when a session's changes were committed or discarded.
  void SessionEnded(int32_t session, bool committed);

  // Parts, for the managers and the file checker.
  TABSDiskDatabaseData& DiskDatabase() const { return database_; }
  TABSDiskPageManager& Pages() const;
  int32_t TableId() const { return tableId_; }
  TABSDiskRecordManager& Records() const;
  //! Null for a table without BLOB fields (or not loaded).
  TABSDiskBlobManager* Blobs() const { return blobs_.get(); }
  //! The page store of the table's temporary indexes (null while not loaded): in memory, and past
  //! its limit in a temporary file unless the cursor that loaded the table disabled temporary files.
  TABSTemporaryPageManager* TemporaryPages() const { return temporaryPages_.get(); }
  TABSInternalDBTransactedAccessFile& MetadataFile() { return metadataFile_; }
  TABSInternalDBTransactedAccessFile& HeaderDataFile() { return headerDataFile_; }
  TABSTableLocksFile& LocksFile() { return locksFile_; }
  //! The BLOB page index root the metadata gave (-1: none).
  int32_t BlobIndexRoot() const { return blobIndexRoot_; }
  //! Record count and state counter as the header data holds them for the session.
  void ReadHeaderData(int32_t session, bool countersToo = true);
  //! Loads the table from its table list entry for `session`, without a cursor and without locks
  //! (the file checker).
  void Inspect(const TABSTableListEntry& entry, int32_t session);
  //! Frees the managers and closes the files.
  void Unload();

 private:
  //! Whether the cursor's buffer holds its current record as a read of it now would put it there.
  bool ReadsAsNoted(TABSCursor* cursor);
  class ReadScope;
  class ChangeScope;

  // Runs `operation`; an engine error that came from a page the page manager could not hand out is
  // raised again naming the table and the page.
  template <class Operation>
  auto NamingPages(Operation&& operation) -> decltype(operation()) {
    const int64_t failed = FailedPageRequests();
    try {
      return operation();
    } catch (const EABSException&) {
      RethrowNamingPage(failed);
    }
  }
  int64_t FailedPageRequests() const;
  [[noreturn]] void RethrowNamingPage(int64_t failedBefore) const;
  // Loads managers, metadata and header data from the table list entry.
  void Load(const TABSTableListEntry& entry, int32_t session);
  void MakeManagers();
  void WriteMetadata(int32_t session);
  void ReadMetadata(int32_t session);
  void WriteHeaderData(int32_t session);
  // Rewrites the metadata after a definition change and commits it outside a transaction.
  void MetadataChanged(TABSCursor* cursor);
  // Removes a cursor; after the last one frees the managers. `unlock`: release its table lock.
  void CloseCursor(TABSCursor* cursor, bool unlock);
  // Brings the in-memory state to the session's view of the header data when it may differ.
  void SyncState(int32_t session, bool countersToo);
  // Raises 20362 while another session has uncommitted changes to the table.
  void CheckCanChange(int32_t session) const;
  // Raises 20363 while any session has uncommitted changes to the table.
  void CheckNoUncommittedChanges() const;
  // Reads the record at `address` for the session into `buffer`; false when none is there.
  bool ReadStored(int32_t session, const TABSRecordAddress& address, uint8_t* buffer);
  // Frees the pages of every index, BLOB value and record of the table (the table goes).
  void DropAllPages(int32_t session);

  TABSDiskDatabaseData& database_;
  int32_t tableId_ = -1;
  TABSInternalDBTransactedAccessFile metadataFile_;
  TABSInternalDBTransactedAccessFile headerDataFile_;
  TABSTableLocksFile locksFile_;
  std::unique_ptr<TABSDiskBlobManager> blobs_;
  // The temporary indexes' pages; made with the index manager, with the temporary-files setting of
  // the cursor that loaded or created the table.
  std::unique_ptr<TABSTemporaryPageManager> temporaryPages_;
  bool disableTempFiles_ = false;
  // The page index roots the metadata gave.
  int32_t recordIndexRoot_ = -1;
  int32_t blobIndexRoot_ = -1;
  bool exclusive_ = false;
  // Set while a catalogue operation holds the catalogue lock and opens the table itself.
  bool catalogOperation_ = false;
  // The session whose view of the header data the in-memory counts reflect.
  int32_t viewSession_ = kInvalidSession;
  // Sessions with uncommitted changes to the table, and those among them that changed definitions.
  std::set<int32_t> uncommitted_;
  std::set<int32_t> definitionsChanged_;
};

}  // namespace viz
