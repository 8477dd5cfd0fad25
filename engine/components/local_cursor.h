// TABSLocalCursor: the engine cursor under a dataset. It is bound to one engine session and one
// table of that session's database, and carries out the operations below on the table's data object
// (engine/tables/VIZBaseEngine.h), with the multi-user locking of the record operations on disk
// tables. Numbers are those of the cursor interface:
//
//    0 CreateTable   1 DeleteTable   2 EmptyTable   3 RenameTable   4 LoadFieldDefs   5 OpenTable
//    6 CloseTable    7/8 Enter/LeaveTable   9/10 Lock/UnlockTable   11 RenameField  12 IndexDefs
//   13 AddIndex     14 DeleteIndex  15 DeleteAllIndexes  16 MakeIndexOnFields  17 InitRecordBuffer
//   18 ReleaseRecordBuffer  19 RecordCount  20 GetRecord  21 GotoRecordNumber  22 RecordNumber
//   23 GoBeforeFirst  24 GoAfterLast  25 BeginInsert  26 BeginEdit  27 Cancel  28 Post  29 Delete
//   30 OrderByFields  34 FindKey (and the range)  36-38 BLOB streams  39 LastAutoincValue  40-42 bulk change
//   43 CheckConstraints
//
// Record buffer (one per dataset buffer): the field data area of D bytes (the table's record
// layout), then the record address (i32 + u16; -1/-1 for a new record) and the bookmark flag (0
// current, 1 before first, 2 after last, 3 inserted). A bookmark is the 6-byte address (declared
// size 7).
//
// Record operations (25 to 29) never raise for conflicts: they leave a result code (0, or -1 to
// -13 of EABSEngineError) and an error text, which the dataset raises. Other failures raise
// EABSException.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/components/blob_stream.h"
#include "engine/storage/disk/table_lock_manager.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/types/VIZVariant.h"

namespace viz {

class TABSDiskTableData;
class TABSLocalSession;

//! A field the cursor shows: its name and the stored field whose value it shows.
struct TABSVisibleField {
  std::string Name;
  int32_t StoredField = 0;
};

class TABSLocalCursor : public TABSCursor {
 public:
  static constexpr int32_t kTrailerSize = 7;
  //! A bookmark holds the 6-byte record address; the declared bookmark size is one byte more (the
  //! last byte is always zero).
  static constexpr int32_t kAddressSize = 6;
  static constexpr int32_t kBookmarkSize = 7;
  enum BookmarkFlag : uint8_t { kCurrent = 0, kBeforeFirst = 1, kAfterLast = 2, kInserted = 3 };
  enum GetMode : int32_t { kGetCurrent = 0, kGetNext = 1, kGetPrior = 2 };
  enum GetResult : int32_t { kOk = 0, kBof = 1, kEof = 2, kError = 3 };

  explicit TABSLocalCursor(TABSLocalSession* session);
  //! Closes the table when open.
  ~TABSLocalCursor() override;

  // ---- Open options (before OpenTable)
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value) { readOnly_ = value; }
  bool InMemory() const { return inMemory_; }
  void SetInMemory(bool value) { inMemory_ = value; }
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool value) { temporary_ = value; }
  //! Opening a missing table of the memory or temporary database creates it from these.
  bool CreateIfMissing() const { return createIfMissing_; }
  void SetCreateIfMissing(bool value) { createIfMissing_ = value; }
  void SetDefinitions(const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                      const TABSConstraintDefs& constraints);

  TABSLocalSession* LocalSession() const { return session_; }
  TABSTableData* Table() const { return table_; }
  bool IsOpen() const { return open_; }

  // ---- Table operations
  //! 0: deletes the table if it exists, then creates it; the cursor is closed afterwards.
  void CreateTable(const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                   const TABSConstraintDefs& constraints);
  //! 1: "Table '%s' not found" (20132) when missing.
  void DeleteTable();
  //! 2: (20133) when missing.
  void EmptyTable();
  //! 3: (20134) when missing; "Table %s already exists" (30451); "Cannot rename table '%s' into
  //! itself" (30452). A change of letter case only is allowed.
  void RenameTable(const std::string& newName);
  //! 4: copies the definitions and computes the layout.
  void LoadFieldDefs();
  //! 5: attaches to the table's data object (opening the table from the file on a disk database);
  //! "Table not found, table name = %s" (10028) for a missing table of the memory databases.
  void OpenTable();
  //! 6.
  void CloseTable();
  //! 7, 8: the table's in-process lock.
  void EnterTable();
  void LeaveTable();
  //! 9, 10: table locks on disk tables in multi-user mode; always true otherwise.
  bool LockTable(uint8_t kind, int attempts, int pauseMs);
  void UnlockTable(uint8_t kind);
  //! 11: "Field '%s' not found" (30345); "Cannot rename field '%s'. Field '%s' already exists" (30346).
  void RenameField(const std::string& oldName, const std::string& newName);
  //! 12: the table's index definitions, refreshed.
  const TABSIndexDefs& IndexDefs();
  //! 13: "Cannot create index '%s'. Index already exists" (20022).
  void AddIndex(const TABSIndexDef& definition);
  //! 14: "Cannot delete index '%s'. Index not found" (20021).
  void DeleteIndex(const std::string& name);
  //! 15.
  void DeleteAllIndexes();
  //! 16: an index on the fields (stored or visible names; "ASC"/"DESC" and "CASE"/"NO_CASE" per
  //! field, empty for the defaults); returns its name.
  std::string MakeIndexOnFields(const std::vector<std::string>& fields,
                                const std::vector<std::string>& orders,
                                const std::vector<std::string>& cases);

  // ---- Records
  //! The buffer the next operation reads or writes (a dataset buffer of `RecordBufferSize` bytes).
  void SetRecordBuffer(uint8_t* buffer);
  uint8_t* RecordBuffer() const { return Navigation().RecordBuffer; }
  //! The record as it was when editing began (the dataset's copy).
  void SetEditCopy(const uint8_t* record);
  //! 17: every field NULL, the rest zero, the defaults when asked; trailer -1/-1 and flag 3.
  void InitRecordBuffer(uint8_t* buffer, bool applyDefaults);
  //! 18.
  void ReleaseRecordBuffer(uint8_t* buffer);
  //! 19.
  int64_t RecordCount();
  //! 20: reads into the buffer in use; 0 done, 1 before first, 2 after last, 3 error.
  int32_t GetRecord(int32_t mode);
  //! 21: from 1; beyond the count the last record.
  void GotoRecordNumber(int64_t number);
  //! 22: -1 before the first or after the last record.
  int64_t RecordNumber();
  //! 23, 24.
  void GoBeforeFirst();
  void GoAfterLast();
  //! 25 to 29: record operations, leaving ResultCode and ErrorText.
  void BeginInsert();
  void BeginEdit();
  void Cancel(bool wasInsert);
  void Post(bool isInsert);
  void Delete();
  int32_t ResultCode() const { return resultCode_; }
  const std::string& ErrorText() const { return errorText_; }

  // ---- Order and search
  //! The active index; -1 for none (storage order). An unknown name gives -1.
  void SetCurrentIndexName(const std::string& name);
  const std::string& CurrentIndexName() const { return currentIndexName_; }
  int32_t CurrentIndexNumber() const { return currentIndexNumber_; }
  //! 30: operation 16, then the new index orders the cursor.
  void OrderByFields(const std::vector<std::string>& fields, const std::vector<std::string>& orders,
                     const std::vector<std::string>& cases);
  //! 34: searches the key buffer (a record buffer and its count of leading index fields).
  bool FindKey(const uint8_t* key, int32_t keyFieldCount, TABSScanOperator op);
  //! The range on the active index: the cursor reaches only the records whose leading index fields
  //! lie between `start` and `end` (record buffers of DataSize bytes, copied; null for no bound),
  //! each over its count of leading index fields (0 = all) and excluded when exclusive.
  void SetRange(const uint8_t* start, int32_t startFieldCount, bool startExclusive, const uint8_t* end,
                int32_t endFieldCount, bool endExclusive);
  void ClearRange();
  bool HasRange() const { return Navigation().Range.Active(); }

  // ---- BLOBs (blob_stream.h)
  //! 36: opens an engine stream on visible field `field` of the buffer in use and adds it to the
  //! cursor's open streams, which own it. A read in browse state first reads the record again. Null
  //! when the table lock cannot be had or the record is gone. Raises "Invalid field number - FieldNo
  //! = %d, FieldCount = %d" (10110) and, for a second writer on one stored field, "BLOB field
  //! already opened. FieldNo = %d, FieldName = %s" (10115).
  TABSLocalBLOBStream* OpenBlob(bool isInsert, bool isEdit, bool isBrowse, TABSBlobOpenMode mode, int32_t field);
  //! The whole value of visible field `field` of the buffer in use read into `value` at once, as a
  //! stream OpenBlob opens with bomRead gives it (the same locks, the same read of the record
  //! again), without a stream left open. False (value untouched) where OpenBlob gives null.
  bool ReadBlob(bool isInsert, bool isEdit, bool isBrowse, int32_t field, std::string& value);
  //! 37: closes one open stream: a writer that changed its value stores it into its record buffer
  //! (kept until the record is posted); the stream is freed. The other streams stay open.
  void CloseBlob(TABSLocalBLOBStream* stream);
  //! 38: closes every open stream, or only the writers.
  void CloseBlobs(bool writersOnly);
  //! The open streams (all, or those on one stored field).
  int32_t OpenBlobCount(int32_t storedField = -1) const;
  //! The value of field `field` of the buffer in use as a variant: NULL of the field's base type, or
  //! the value (a BLOB field's value read through a stream). Raises 20191 for a field number beyond
  //! the fields.
  void GetFieldValue(int32_t field, TABSVariant& value);
  //! Stores a variant into field `field` of the buffer in use: a BLOB field's value through a write
  //! stream, NULL and other fields as record values. Raises 20192 for a field number beyond the
  //! fields, 20056 for a value longer than the field.
  void SetFieldValue(int32_t field, const TABSVariant& value);
  //! The attempts and pause of the read lock a stream takes when it opens (tests shorten them).
  void SetBlobLockRetry(int attempts, int pauseMs) { blobLockRetry_ = {pauseMs, attempts}; }

  //! 39.
  int64_t LastAutoincValue(int32_t field);
  //! 40 to 42.
  void BeginBulkChange();
  void EndBulkChange();
  void CancelBulkChange();
  //! 43: raises the error of the first constraint the buffer in use violates.
  void CheckConstraints(bool isInsert);

  // ---- Layout and definitions
  //! D: the field data area.
  int32_t DataSize() const { return dataSize_; }
  //! D + 7.
  int32_t RecordBufferSize() const { return dataSize_ + kTrailerSize; }
  //! The stored fields of the table.
  const TABSFieldDefs& FieldDefs() const { return fieldDefs_; }
  //! The fields shown: every stored field in order, or the projection.
  const std::vector<TABSVisibleField>& VisibleFields() const { return visibleFields_; }
  //! Shows the stored fields `names`, each under its alias (an empty alias keeps the field's name;
  //! an alias already shown gets "_1", "_2" ... appended, the first free one). Raises "Error -
  //! different lists length. L1 = %d, L2 = %d" (10321), "No fields were specified while setting
  //! projection" (10322), "Cannot find field %s" (10323). Kept until the cursor closes.
  void SetProjection(const std::vector<std::string>& names, const std::vector<std::string>& aliases);
  //! The stored field a name means: a stored field of that name, else the stored field a visible
  //! field of that name shows; the name itself when neither exists.
  std::string StoredFieldName(const std::string& name) const;
  //! The index definitions as last copied.
  const TABSIndexDefs& CachedIndexDefs() const { return indexDefs_; }
  const TABSConstraintDefs& ConstraintDefs() const { return constraintDefs_; }

  //! The trailer of a record buffer.
  static TABSRecordAddress TrailerAddress(const uint8_t* buffer, int32_t dataSize);
  static void SetTrailerAddress(uint8_t* buffer, int32_t dataSize, const TABSRecordAddress& address);

 private:
  TABSTableData& CheckedTable(int32_t code) const;
  // The visible fields from the stored ones and the projection.
  void BuildVisibleFields();
  // The disk table when the record operations must lock (a disk table in multi-user mode).
  TABSDiskTableData* LockingTable() const;
  // Takes the table's locks for a BLOB of the buffer in use (and reads the record again for a read
  // in browse state), then returns `open(table)`; a value-initialised result when the lock cannot be
  // had or the record is gone.
  template <typename Action>
  auto OnBlobOfRecord(bool isInsert, bool isEdit, bool isBrowse, TABSBlobOpenMode mode, Action open)
      -> decltype(open(std::declval<TABSTableData&>()));
  bool InTransaction() const;
  void ClearResult();
  void Fail(int32_t code, std::string text = {});
  // Reads the stored record at the cursor's position into `target`; false when it is gone.
  bool ReadStored(uint8_t* target);
  // Whether the stored record at the cursor's position still equals `copy`; otherwise fails with
  // `goneCode` (no record there) or `modifiedCode`.
  bool StoredUnchanged(const uint8_t* copy, int32_t goneCode, int32_t modifiedCode);
  bool LockRecord();
  void UnlockRecord();
  void ReleaseEditLocks();
  // Runs a record write; an engine error it raises becomes result -8 with its message.
  template <class Step>
  bool Guarded(Step&& step);
  // Frees open streams (all, or the writers; only those on `record` when given), a writer storing
  // what it changed first when `store` is set. The first error is raised after all are freed.
  void ReleaseBlobs(bool writersOnly, bool store, const uint8_t* record = nullptr);
  // Frees one open stream without storing anything.
  void DropBlob(TABSLocalBLOBStream* stream);
  // The stored field of a visible one; `code` with "Invalid field number" otherwise.
  int32_t StoredFieldOfVisible(int32_t field, int32_t code) const;

  TABSLocalSession* session_;
  TABSTableData* table_ = nullptr;
  // table_ when it is a disk table (LockingTable asks on every BLOB read).
  TABSDiskTableData* diskTable_ = nullptr;
  bool open_ = false;
  bool readOnly_ = false;
  bool inMemory_ = false;
  bool temporary_ = false;
  bool createIfMissing_ = false;
  std::unique_ptr<TABSFieldDefs> createFields_;
  std::unique_ptr<TABSIndexDefs> createIndexes_;
  std::unique_ptr<TABSConstraintDefs> createConstraints_;
  std::string currentIndexName_;
  int32_t currentIndexNumber_ = -1;
  TABSFieldDefs fieldDefs_;
  std::vector<TABSVisibleField> visibleFields_;
  // The projection as given (stored names, aliases); empty for every stored field.
  std::vector<std::string> projectionNames_, projectionAliases_;
  TABSIndexDefs indexDefs_;
  TABSConstraintDefs constraintDefs_;
  int32_t dataSize_ = 0;
  std::vector<uint8_t> editCopy_;
  // The keys of the range (see SetRange).
  std::vector<uint8_t> rangeStart_, rangeEnd_;
  std::vector<uint8_t> scratch_;
  int32_t resultCode_ = 0;
  std::string errorText_;
  // Locks held from a successful edit until post or cancel.
  bool recordLocked_ = false;
  TABSRecordAddress lockedAddress_;
  bool editTableLocked_ = false;
  uint8_t editTableKind_ = 0;
  // The open BLOB streams in the order opened.
  std::vector<std::unique_ptr<TABSLocalBLOBStream>> blobs_;
  TABSLockRetry blobLockRetry_ = kReadLockRetry;
};

}  // namespace viz
