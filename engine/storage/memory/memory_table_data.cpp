#include "engine/storage/memory/memory_table_data.h"

#include <cstring>

#include "engine/storage/memory/memory_page_manager.h"
#include "engine/types/errors.h"

namespace viz {

TABSMemoryTableData::TABSMemoryTableData(TABSDatabaseData* database, std::string_view tableName,
                                         int32_t growthStep)
    : TABSInMemoryTableData(database, tableName), growthStep_(growthStep) {}

std::unique_ptr<TABSPageManager> TABSMemoryTableData::NewPageManager(TABSCursor* /*cursor*/) {
  return std::make_unique<TABSMemoryPageManager>();
}

void TABSMemoryTableData::CreateRecordManager() {
  recordManager_ = std::make_unique<TABSMemoryRecordManager>(this, growthStep_);
}

TABSMemoryRecordManager& TABSMemoryTableData::Records() const {
  if (!recordManager_) throw EABSException(msg::kNilPointer);
  return static_cast<TABSMemoryRecordManager&>(*recordManager_);
}

int64_t TABSMemoryTableData::RecordNumberBound(TABSCursor* /*cursor*/) {
  std::lock_guard lock(Database()->Lock());
  return Records().HighestSlot() + 1;
}

void TABSMemoryTableData::StoreBlobs(uint8_t* record, const uint8_t* old, BlobChange& change) {
  const TABSFieldDefs& fields = FieldManager()->FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields[i];
    if (!IsBlobBaseType(field.BaseType())) continue;
    uint8_t* bytes = record + field.BufferOffset;
    const int32_t previous = old && !IsNullFlagSet(old, i) ? ReadBlobReference(old + field.BufferOffset) : 0;
    const int32_t handle = ReadBlobHandle(bytes);
    int32_t reference = 0;
    if (const TABSBlobValue* pending = pending_.Find(handle)) {
      if (!pending->Empty()) {
        reference = blobs_.Add(*pending);
        change.Made.push_back(reference);
      }
      change.Pending.push_back(handle);
    } else if (!IsNullFlagSet(record, i)) {
      reference = ReadBlobReference(bytes);
      // A value read from another record (a copied buffer) becomes a copy of the new record's own.
      if (reference != 0 && reference != previous) {
        reference = blobs_.Clone(reference);
        change.Made.push_back(reference);
      }
    }
    if (previous != 0 && previous != reference) change.Obsolete.push_back(previous);
    WriteBlobReference(bytes, reference);
    WriteBlobHandle(bytes, 0);
    if (reference == 0)
      SetNullFlag(record, i);
    else
      ClearNullFlag(record, i);
  }
}

void TABSMemoryTableData::UndoBlobs(const BlobChange& change) {
  for (int32_t reference : change.Made) blobs_.Free(reference);
}

void TABSMemoryTableData::CommitBlobs(const BlobChange& change) {
  for (int32_t reference : change.Obsolete) blobs_.Free(reference);
  for (int32_t handle : change.Pending) pending_.Drop(handle);
}

bool TABSMemoryTableData::InsertRecord(TABSCursor* cursor) {
  uint8_t* record = RecordOf(cursor);
  std::lock_guard lock(Database()->Lock());
  TABSMemoryRecordManager& records = Records();
  const int32_t session = SessionNumberOf(cursor);
  TABSRecordBufferGuard guard(record, RecordBufferSize());
  BlobChange change;
  TABSRecordAddress address;
  try {
    StoreBlobs(record, nullptr, change);
    address = records.Insert(session, record);
  } catch (const EABSException&) {
    UndoBlobs(change);
    return false;
  }
  try {
    InsertKeys(session, record, address);
  } catch (...) {
    records.Delete(session, address);
    UndoBlobs(change);
    throw;
  }
  guard.Keep();
  CommitBlobs(change);
  FinishChange(cursor, address);
  return true;
}

bool TABSMemoryTableData::UpdateRecord(TABSCursor* cursor) {
  uint8_t* record = RecordOf(cursor);
  std::lock_guard lock(Database()->Lock());
  TABSMemoryRecordManager& records = Records();
  const int32_t session = SessionNumberOf(cursor);
  const TABSRecordAddress address = cursor->CurrentPosition().Address;
  TABSMemBlock old = NewRecordBuffer();
  if (!ReadRecord(session, address, static_cast<uint8_t*>(old.data()))) return false;
  TABSRecordBufferGuard guard(record, RecordBufferSize());
  BlobChange change;
  try {
    StoreBlobs(record, static_cast<const uint8_t*>(old.data()), change);
  } catch (const EABSException&) {
    UndoBlobs(change);
    return false;
  }
  try {
    UpdateKeys(session, static_cast<const uint8_t*>(old.data()), record, address);
  } catch (...) {
    UndoBlobs(change);
    throw;
  }
  guard.Keep();
  records.Update(session, record, address);
  CommitBlobs(change);
  FinishChange(cursor, address);
  return true;
}

bool TABSMemoryTableData::DeleteRecord(TABSCursor* cursor) {
  if (!cursor) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Database()->Lock());
  TABSMemoryRecordManager& records = Records();
  const int32_t session = SessionNumberOf(cursor);
  const TABSRecordAddress address = cursor->CurrentPosition().Address;
  TABSMemBlock oldBlock = NewRecordBuffer();
  const auto* old = static_cast<const uint8_t*>(oldBlock.data());
  if (!ReadRecord(session, address, static_cast<uint8_t*>(oldBlock.data()))) return false;
  DeleteKeys(session, old, address);
  const int32_t stateBefore = records.StateCounter;
  records.Delete(session, address);
  const TABSFieldDefs& fields = FieldManager()->FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i)
    if (IsBlobBaseType(fields[i].BaseType()) && !IsNullFlagSet(old, i))
      blobs_.Free(ReadBlobReference(old + fields[i].BufferOffset));
  NoteRecordDeleted(cursor, address, stateBefore);
  TABSBaseSession* owner = cursor->Session();
  if (!cursor->BulkChange()) AfterChange(owner, owner && owner->InTransaction());
  return true;
}

void TABSMemoryTableData::GotoStorageOrdinal(TABSCursor* cursor, int64_t ordinal) {
  if (!cursor) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Database()->Lock());
  const int64_t slot = Records().SlotOfOrdinal(ordinal);
  if (slot >= 0) cursor->SetCurrentPosition({{static_cast<int32_t>(slot), 0}, false, false});
}

int64_t TABSMemoryTableData::StorageOrdinal(TABSCursor* cursor) {
  if (!cursor) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Database()->Lock());
  const TABSMemoryRecordManager& records = Records();
  const int64_t slot = cursor->CurrentPosition().Address.PageNo;
  return records.IsLive(slot) ? records.LiveUpTo(slot) : -1;
}

}  // namespace viz
