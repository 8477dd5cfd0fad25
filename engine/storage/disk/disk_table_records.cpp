// TABSDiskTableData: the record operations, the read operations under the multi-user protocol, and
// the BLOB slots.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/storage/disk/disk_blob_manager.h"
#include "engine/storage/disk/disk_database_data.h"
#include "engine/storage/disk/disk_record_manager.h"
#include "engine/storage/disk/disk_table_data.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

int32_t SessionNumberOf(const TABSCursor* cursor) {
  return cursor && cursor->Session() ? cursor->Session()->SessionNumber() : kSystemSession;
}

}  // namespace

// A read operation: in multi-user mode table lock kind 1 for its length, and the header data read
// first, so that counts and positions are those the session sees.
class TABSDiskTableData::ReadScope {
 public:
  //! `code` is raised with "Table is locked" when the lock cannot be had (0: report, do not raise).
  ReadScope(TABSDiskTableData& table, TABSCursor* cursor, int32_t code) : table_(table), cursor_(cursor) {
    if (!table.IsLoaded()) throw EABSException(msg::kNilPointer.At(20135));
    if (table.database_.MultiUser()) {
      locked_ = table.LockTable(cursor, ltRead, kReadLockRetry);
      if (!locked_) {
        if (code != 0) throw EABSException(msg::kReadTableIsLocked.At(code));
        return;
      }
    }
    ok_ = true;
    try {
      table.SyncState(SessionNumberOf(cursor), true);
    } catch (...) {
      Release();
      throw;
    }
  }
  ~ReadScope() { Release(); }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

  bool Ok() const { return ok_; }

 private:
  void Release() {
    if (!locked_) return;
    locked_ = false;
    try {
      table_.database_.TableLocks().UnlockTable(SessionNumberOf(cursor_), ltRead, false, true,
                                                table_.locksFile_);
    } catch (const EABSException&) {
      // The read is done; a byte left locked goes with the session's other locks at disconnect.
    }
  }

  TABSDiskTableData& table_;
  TABSCursor* cursor_;
  bool locked_ = false;
  bool ok_ = false;
};

// A record change of a cursor: the checks before it, and afterwards either the commit (outside a
// transaction and a bulk change) or, when it failed, the discarding of its changes and the record
// buffer as it was.
class TABSDiskTableData::ChangeScope {
 public:
  ChangeScope(TABSDiskTableData& table, TABSCursor* cursor, bool needsBuffer)
      : table_(table), cursor_(cursor) {
    if (!table.IsLoaded()) throw EABSException(msg::kNilPointer.At(20135));
    if (!cursor || !cursor->Session()) throw EABSException(msg::kNilPointer.At(20136));
    record_ = cursor->Navigation().RecordBuffer;
    if (needsBuffer && !record_) throw EABSException(msg::kNilPointer.At(20136));
    table.database_.CheckWritable();
    session_ = cursor->Session()->SessionNumber();
    table.CheckCanChange(session_);
    deferred_ = cursor->Session()->InTransaction() || cursor->BulkChange();
    if (record_) saved_.assign(record_, record_ + table.RecordBufferSize());
  }
  ~ChangeScope() {
    if (done_) return;
    if (record_) std::memcpy(record_, saved_.data(), saved_.size());
    if (deferred_) {
      // The transaction keeps what was changed so far; it is the caller's to roll back.
      table_.uncommitted_.insert(session_);
      return;
    }
    try {
      table_.RollbackChange(cursor_->Session(), false);
    } catch (const EABSException&) {
      // The first error is the one reported.
    }
  }
  ChangeScope(const ChangeScope&) = delete;
  ChangeScope& operator=(const ChangeScope&) = delete;

  int32_t Session() const { return session_; }
  uint8_t* Record() const { return record_; }
  //! Nothing was changed (the record was not there): nothing to commit or undo.
  bool Unchanged() {
    done_ = true;
    return false;
  }
  //! The change is complete: committed now, or kept for the transaction.
  void Done() {
    if (deferred_) {
      table_.uncommitted_.insert(session_);
    } else {
      table_.AfterChange(cursor_->Session(), false);
    }
    done_ = true;
  }

 private:
  TABSDiskTableData& table_;
  TABSCursor* cursor_;
  uint8_t* record_ = nullptr;
  int32_t session_ = kInvalidSession;
  bool deferred_ = false;
  bool done_ = false;
  std::vector<uint8_t> saved_;
};

bool TABSDiskTableData::ReadStored(int32_t session, const TABSRecordAddress& address, uint8_t* buffer) {
  TABSNavigationRecord navigation;
  navigation.Address = address;
  navigation.Target = buffer;
  Records().Navigate(session, navigation);
  return navigation.Outcome == TABSNavigationRecord::kFound;
}

// ---- Record changes

bool TABSDiskTableData::InsertRecord(TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    ChangeScope change(*this, cursor, true);
    const int32_t session = change.Session();
    uint8_t* record = change.Record();
    // The automatic counters were read by PrepareForInsert and have moved since; only the counts
    // are read again.
    SyncState(session, false);
    if (blobs_) blobs_->StoreRecordValues(session, record, nullptr, cursor->DisableTempFiles());
    const TABSRecordAddress address = Records().Insert(session, record);
    IndexManager()->InsertRecordKeys(session, record, address);
    WriteHeaderData(session);
    change.Done();
    if (blobs_) blobs_->ForgetStored(record);
    cursor->SetCurrentPosition({address, false, false});
    return true;
  });
}

bool TABSDiskTableData::UpdateRecord(TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    ChangeScope change(*this, cursor, true);
    const int32_t session = change.Session();
    uint8_t* record = change.Record();
    const TABSCursor::Position position = cursor->CurrentPosition();
    if (position.BeforeFirst || position.AfterLast) return change.Unchanged();
    SyncState(session, true);
    TABSMemBlock oldBlock = NewScratchBlock(RecordBufferSize());
    auto* old = static_cast<uint8_t*>(oldBlock.data());
    if (!ReadStored(session, position.Address, old)) return change.Unchanged();
    IndexManager()->UpdateRecordKeys(session, old, record, position.Address);
    if (blobs_) blobs_->StoreRecordValues(session, record, old, cursor->DisableTempFiles());
    if (!Records().Update(session, record, position.Address))
      throw EABSException(msg::kRecordNotFound.At(20147));
    WriteHeaderData(session);
    change.Done();
    if (blobs_) blobs_->ForgetStored(record);
    return true;
  });
}

bool TABSDiskTableData::DeleteRecord(TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    ChangeScope change(*this, cursor, false);
    const int32_t session = change.Session();
    const TABSCursor::Position position = cursor->CurrentPosition();
    if (position.BeforeFirst || position.AfterLast) return change.Unchanged();
    SyncState(session, true);
    TABSMemBlock oldBlock = NewScratchBlock(RecordBufferSize());
    auto* old = static_cast<uint8_t*>(oldBlock.data());
    if (!ReadStored(session, position.Address, old)) return change.Unchanged();
    if (blobs_) blobs_->DeleteRecordValues(session, old);
    IndexManager()->DeleteRecordKeys(session, old, position.Address);
    const int32_t stateBefore = Records().StateCounter;
    if (!Records().Delete(session, position.Address)) throw EABSException(msg::kRecordNotFound.At(20148));
    WriteHeaderData(session);
    change.Done();
    if (blobs_ && change.Record()) blobs_->DropRecord(change.Record(), true);
    NoteRecordDeleted(cursor, position.Address, stateBefore);
    return true;
  });
}

// ---- Reads

int32_t TABSDiskTableData::StepCursor(TABSCursor* cursor, int32_t direction) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    ReadScope read(*this, cursor, 0);
    if (!read.Ok()) return static_cast<int32_t>(TABSNavigationRecord::kNotFound);
    // The step puts another record into the buffer: what was cached for the one there goes, and on a
    // move also what a cursor wrote but never posted.
    TABSCursorNavigation& navigation = cursor->Navigation();
    if (blobs_ && navigation.RecordBuffer)
      blobs_->DropRecord(navigation.RecordBuffer, direction != TABSNavigationRecord::kCurrent);
    if (direction == TABSNavigationRecord::kCurrent && ReadsAsNoted(cursor))
      return static_cast<int32_t>(TABSNavigationRecord::kFound);
    if (direction == TABSNavigationRecord::kCurrent || navigation.OrderIndexID >= 0 ||
        navigation.IsRestricted() || !navigation.RecordBuffer)
      return TABSTableData::StepCursor(cursor, direction);
    // A plain move in storage order: the record manager reads the next record straight into the
    // cursor's buffer, with the rules of every order (nothing next after the last, or before the first).
    TABSCursor::Position position = cursor->CurrentPosition();
    const bool forward = direction == TABSNavigationRecord::kNext;
    if (!(forward ? position.AfterLast : position.BeforeFirst)) {
      TABSNavigationRecord step;
      step.Direction = forward ? TABSNavigationRecord::kNext : TABSNavigationRecord::kPrior;
      step.FromBeginning = position.BeforeFirst;
      step.FromEnd = position.AfterLast;
      step.Address = position.Address;
      step.Target = navigation.RecordBuffer;
      navigation.ReadStamp.Clear();
      Records().Navigate(SessionNumberOf(cursor), step);
      if (step.Outcome == TABSNavigationRecord::kFound) {
        navigation.ReadStamp.Note(&Records(), navigation.RecordBuffer, step.Address, step.PageSerial,
                                  static_cast<size_t>(Records().RecordBufferSize));
        cursor->SetCurrentPosition({step.Address, false, false});
        return static_cast<int32_t>(TABSNavigationRecord::kFound);
      }
    }
    position.BeforeFirst = !forward;
    position.AfterLast = forward;
    cursor->SetCurrentPosition(position);
    return static_cast<int32_t>(forward ? TABSNavigationRecord::kAfterLast
                                        : TABSNavigationRecord::kBeforeFirst);
  });
}

bool TABSDiskTableData::ReadsAsNoted(TABSCursor* cursor) {
  // Reading the current record again into the cursor's buffer changes nothing while the buffer holds
  // what the last read put there and the record's page, as this session sees it now (its own
  // changes, another session's commit, another process's commit checked by the fetch), has the
  // content that read came from.
  const TABSCursorNavigation& navigation = cursor->Navigation();
  const TABSCursor::Position position = cursor->CurrentPosition();
  if (navigation.IsRestricted() || !navigation.RecordBuffer || position.BeforeFirst || position.AfterLast ||
      Records().RecordCount <= 0)
    return false;
  const TABSRecordReadStamp& stamp = navigation.ReadStamp;
  return stamp.Holds(&Records(), navigation.RecordBuffer, position.Address,
                     static_cast<size_t>(Records().RecordBufferSize)) &&
         Records().ReadsAsBefore(SessionNumberOf(cursor), position.Address, stamp.PageSerial);
}

bool TABSDiskTableData::SearchWithRecord(TABSCursor* cursor, const uint8_t* buffer) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    ReadScope read(*this, cursor, 20216);
    return TABSTableData::SearchWithRecord(cursor, buffer);
  });
}

bool TABSDiskTableData::FindKey(TABSCursor* cursor, TABSScanOperator op) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    ReadScope read(*this, cursor, 20215);
    return TABSTableData::FindKey(cursor, op);
  });
}

int64_t TABSDiskTableData::RecordCount(TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    ReadScope read(*this, cursor, 20214);
    return Records().RecordCount;
  });
}

int64_t TABSDiskTableData::Ordinal(TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    ReadScope read(*this, cursor, 20217);
    return TABSTableData::Ordinal(cursor);
  });
}

void TABSDiskTableData::GotoOrdinal(TABSCursor* cursor, int64_t ordinal) {
  std::lock_guard lock(database_.Lock());
  NamingPages([&] {
    ReadScope read(*this, cursor, 20218);
    TABSTableData::GotoOrdinal(cursor, ordinal);
  });
}

int64_t TABSDiskTableData::StorageOrdinal(TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    ReadScope read(*this, cursor, 20219);
    const TABSCursor::Position position = cursor->CurrentPosition();
    if (position.BeforeFirst || position.AfterLast) return int64_t{-1};
    return Records().Ordinal(SessionNumberOf(cursor), position.Address);
  });
}

void TABSDiskTableData::GotoStorageOrdinal(TABSCursor* cursor, int64_t ordinal) {
  std::lock_guard lock(database_.Lock());
  NamingPages([&] {
    ReadScope read(*this, cursor, 20220);
    const int64_t count = Records().RecordCount;
    if (count <= 0) return;
    const TABSRecordAddress address =
        Records().AddressOfOrdinal(SessionNumberOf(cursor), std::clamp<int64_t>(ordinal, 1, count));
    cursor->SetCurrentPosition({address, false, false});
  });
}

int64_t TABSDiskTableData::RecordNumberBound(TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  return Records().RecordNumberBound(SessionNumberOf(cursor));
}

int64_t TABSDiskTableData::AddressToRecordNumber(const TABSRecordAddress& address) {
  return Records().AddressToRecordNumber(address);
}

TABSRecordAddress TABSDiskTableData::RecordNumberToAddress(int64_t recordNumber) {
  return Records().RecordNumberToAddress(recordNumber);
}

// ---- BLOBs

void TABSDiskTableData::ReadBlobValue(TABSCursor* cursor, int32_t field, TABSBlobValue& result) {
  std::lock_guard lock(database_.Lock());
  NamingPages([&] {
    if (!cursor || !cursor->Navigation().RecordBuffer) throw EABSException(msg::kNilPointer.At(20136));
    if (!blobs_)
      throw EABSException(msg::kInvalidFieldNumber.At(10118), field, FieldManager()->FieldDefs().Count());
    result = blobs_->ReadValue(SessionNumberOf(cursor), cursor->Navigation().RecordBuffer, field,
                               cursor->DisableTempFiles());
  });
}

bool TABSDiskTableData::ReadBlobDirect(TABSCursor* cursor, int32_t field, std::string& bytes) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    if (!cursor || !cursor->Navigation().RecordBuffer) throw EABSException(msg::kNilPointer.At(20136));
    if (!blobs_)
      throw EABSException(msg::kInvalidFieldNumber.At(10118), field, FieldManager()->FieldDefs().Count());
    return blobs_->ReadSmallValue(SessionNumberOf(cursor), cursor->Navigation().RecordBuffer, field, bytes);
  });
}

std::unique_ptr<TABSBlobValueStream> TABSDiskTableData::OpenBlobStream(TABSCursor* cursor, bool readOnly,
                                                                       bool modify, int32_t field) {
  std::lock_guard lock(database_.Lock());
  return NamingPages([&] {
    if (!cursor || !cursor->Navigation().RecordBuffer) throw EABSException(msg::kNilPointer.At(20136));
    if (!blobs_)
      throw EABSException(msg::kInvalidFieldNumber.At(10118), field, FieldManager()->FieldDefs().Count());
    TABSBlobValue value;
    uint8_t* record = cursor->Navigation().RecordBuffer;
    // A read-only stream owns the value it reads: the cache would only hold a second copy.
    if (!modify)
      value = blobs_->ReadValue(SessionNumberOf(cursor), record, field, cursor->DisableTempFiles(),
                                /*keep=*/!readOnly);
    const TABSFieldDef& definition = FieldManager()->FieldDefs()[field];
    const TABSBlobFormat format{definition.BlobBlockSize, definition.BlobCompressionAlgorithm,
                                definition.BlobCompressionMode};
    const TABSRecordAddress address = TABSDiskBlobManager::AddressOf(definition, record);
    const bool stored = !modify && !IsNullFlagSet(record, field) && TABSDiskBlobManager::IsStored(address);
    try {
      auto stream = std::make_unique<TABSBlobValueStream>(format, std::move(value), readOnly,
                                                          cursor->DisableTempFiles());
      if (stored) stream->SetOrigin(TableName(), address.PageNo);
      return stream;
    } catch (const EABSException& error) {
      if (!stored) throw;
      throw EABSException(msg::kDamagedTablePage, TableName(), address.PageNo, error.Message());
    }
  });
}

void TABSDiskTableData::WriteBlobValue(uint8_t* record, int32_t field, TABSBlobValue value) {
  std::lock_guard lock(database_.Lock());
  if (!record) throw EABSException(msg::kNilPointer.At(20136));
  if (!blobs_)
    throw EABSException(msg::kInvalidFieldNumber.At(10118), field, FieldManager()->FieldDefs().Count());
  blobs_->PutValue(record, field, std::move(value));
}

void TABSDiskTableData::ReleaseFieldBlob(uint8_t* record, int32_t field) {
  std::lock_guard lock(database_.Lock());
  if (blobs_ && record) blobs_->DropEntry(record, field, false);
}

void TABSDiskTableData::ReleaseRecordBlobs(uint8_t* record) {
  std::lock_guard lock(database_.Lock());
  if (IsLoaded()) ReleaseAllBlobs(record);
}

void TABSDiskTableData::DiscardRecordBlobs(uint8_t* record) {
  std::lock_guard lock(database_.Lock());
  if (blobs_ && record) blobs_->DropRecord(record, true);
}

}  // namespace viz
