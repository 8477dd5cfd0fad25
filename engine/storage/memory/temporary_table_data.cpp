#include "engine/storage/memory/temporary_table_data.h"

#include <cstring>

#include "engine/storage/memory/temporary_page_manager.h"
#include "engine/types/errors.h"

namespace viz {

TABSTemporaryTableData::TABSTemporaryTableData(TABSDatabaseData* database, std::string_view tableName,
                                               int32_t growthStep, int32_t writeBuffer,
                                               int64_t availableMemory, platform::FileSystem* fileSystem)
    : TABSInMemoryTableData(database, tableName),
      growthStep_(growthStep),
      writeBuffer_(writeBuffer),
      availableMemory_(availableMemory),
      fileSystem_(fileSystem) {}

std::unique_ptr<TABSPageManager> TABSTemporaryTableData::NewPageManager(TABSCursor* cursor) {
  memoryOnly_ = cursor && cursor->DisableTempFiles();
  return std::make_unique<TABSTemporaryPageManager>(memoryOnly_, availableMemory_, fileSystem_);
}

void TABSTemporaryTableData::CreateRecordManager() {
  recordManager_ = std::make_unique<TABSTemporaryRecordManager>(this, memoryOnly_, growthStep_, writeBuffer_,
                                                                availableMemory_, fileSystem_);
}

void TABSTemporaryTableData::CreateBlobStorage(TABSCursor* /*cursor*/) {
  blobs_ = std::make_unique<TABSTemporaryBlobStore>(memoryOnly_, fileSystem_);
}

void TABSTemporaryTableData::ClearBlobStorage() {
  if (blobs_) blobs_->Clear();
}

TABSBlobValue TABSTemporaryTableData::ReadStoredBlob(int32_t reference) {
  if (!blobs_) throw EABSException(msg::kNilPointer);
  return blobs_->Read(reference);
}

TABSTemporaryRecordManager& TABSTemporaryTableData::Records() const {
  if (!recordManager_) throw EABSException(msg::kNilPointer);
  return static_cast<TABSTemporaryRecordManager&>(*recordManager_);
}

int64_t TABSTemporaryTableData::RecordNumberBound(TABSCursor* /*cursor*/) {
  std::lock_guard lock(Database()->Lock());
  return Records().RecordCount;
}

std::vector<int32_t> TABSTemporaryTableData::StoreBlobs(uint8_t* record) {
  std::vector<int32_t> stored;
  const TABSFieldDefs& fields = FieldManager()->FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields[i];
    if (!IsBlobBaseType(field.BaseType())) continue;
    uint8_t* bytes = record + field.BufferOffset;
    const int32_t handle = ReadBlobHandle(bytes);
    int32_t reference = 0;
    if (const TABSBlobValue* pending = pending_.Find(handle)) {
      // An append that is not followed by the record leaves an unused value behind, which harms
      // nothing in an append-only store.
      if (!pending->Empty()) reference = blobs_->Append(*pending);
      stored.push_back(handle);
    } else if (!IsNullFlagSet(record, i)) {
      reference = ReadBlobReference(bytes);
      // Values never change here, so records may share one; a foreign reference is refused.
      if (reference != 0 && !blobs_->Contains(reference)) throw EABSException(msg::kInvalidPointerOnSize);
    }
    WriteBlobReference(bytes, reference);
    WriteBlobHandle(bytes, 0);
    if (reference == 0)
      SetNullFlag(record, i);
    else
      ClearNullFlag(record, i);
  }
  return stored;
}

bool TABSTemporaryTableData::InsertRecord(TABSCursor* cursor) {
  uint8_t* record = RecordOf(cursor);
  std::lock_guard lock(Database()->Lock());
  TABSTemporaryRecordManager& records = Records();
  if (!blobs_) throw EABSException(msg::kNilPointer);
  const int32_t session = SessionNumberOf(cursor);
  TABSRecordBufferGuard guard(record, RecordBufferSize());
  const std::vector<int32_t> stored = StoreBlobs(record);
  const TABSRecordAddress address = records.Insert(session, record);
  try {
    InsertKeys(session, record, address);
    // Index pages past the memory part are written to the file here; when that fails the record
    // is taken back, so that an insert reported as failed has not happened.
    FinishChange(cursor, address);
  } catch (...) {
    TakeBackKeys(session, record, address);
    records.DropLast();
    throw;
  }
  guard.Keep();
  for (int32_t handle : stored) pending_.Drop(handle);
  return true;
}

bool TABSTemporaryTableData::DeleteRecord(TABSCursor* /*cursor*/) {
  return false;
}

bool TABSTemporaryTableData::UpdateRecord(TABSCursor* /*cursor*/) {
  return false;
}

void TABSTemporaryTableData::GotoStorageOrdinal(TABSCursor* cursor, int64_t ordinal) {
  if (!cursor) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Database()->Lock());
  if (ordinal >= 1 && ordinal <= Records().RecordCount)
    cursor->SetCurrentPosition({TABSTemporaryRecordManager::AddressOf(ordinal - 1), false, false});
}

int64_t TABSTemporaryTableData::StorageOrdinal(TABSCursor* cursor) {
  if (!cursor) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Database()->Lock());
  const int64_t number = TABSTemporaryRecordManager::NumberOf(cursor->CurrentPosition().Address);
  return number >= 0 && number < Records().RecordCount ? number + 1 : -1;
}

}  // namespace viz
