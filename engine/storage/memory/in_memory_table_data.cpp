#include "engine/storage/memory/in_memory_table_data.h"

#include <cstring>

#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"

namespace viz {

TABSRecordBufferGuard::TABSRecordBufferGuard(uint8_t* record, int32_t size)
    : record_(record), copy_(MemoryManager().GetMem(static_cast<size_t>(size)), size) {
  std::memcpy(copy_.data(), record, static_cast<size_t>(size));
}

TABSRecordBufferGuard::~TABSRecordBufferGuard() {
  if (!kept_) std::memcpy(record_, copy_.data(), static_cast<size_t>(copy_.size()));
}

TABSInMemoryTableData::TABSInMemoryTableData(TABSDatabaseData* database, std::string_view tableName)
    : TABSTableData(database, tableName) {
  fieldManager_ = std::make_unique<TABSBaseFieldManager>(this);
  constraintManager_ = std::make_unique<TABSBaseConstraintManager>(this);
}

TABSInMemoryTableData::~TABSInMemoryTableData() {
  // Index objects and records refer to the page store: they go before it.
  indexManager_.reset();
  recordManager_.reset();
}

uint8_t* TABSInMemoryTableData::RecordOf(TABSCursor* cursor) {
  if (!cursor || !cursor->Navigation().RecordBuffer) throw EABSException(msg::kNilPointer);
  return cursor->Navigation().RecordBuffer;
}

int32_t TABSInMemoryTableData::SessionNumberOf(const TABSCursor* cursor) {
  return cursor && cursor->Session() ? cursor->Session()->SessionNumber() : kSystemSession;
}

TABSMemBlock TABSInMemoryTableData::NewRecordBuffer() const {
  const int32_t size = RecordBufferSize();
  return TABSMemBlock(MemoryManager().GetMemZero(static_cast<size_t>(size)), size);
}

bool TABSInMemoryTableData::ReadRecord(int32_t session, const TABSRecordAddress& address, uint8_t* buffer) {
  TABSNavigationRecord navigation;
  navigation.Direction = TABSNavigationRecord::kCurrent;
  navigation.Address = address;
  navigation.Target = buffer;
  recordManager_->Navigate(session, navigation);
  return navigation.Outcome == TABSNavigationRecord::kFound;
}

void TABSInMemoryTableData::ReleasePages(int32_t session) {
  std::lock_guard lock(Database()->Lock());
  if (pages_) pages_->Commit(session);
}

void TABSInMemoryTableData::AfterChange(TABSBaseSession* session, bool inTransaction) {
  if (!inTransaction) ReleasePages(session ? session->SessionNumber() : kSystemSession);
}

void TABSInMemoryTableData::RollbackChange(TABSBaseSession* session, bool inTransaction) {
  AfterChange(session, inTransaction);
}

void TABSInMemoryTableData::FinishChange(TABSCursor* cursor, const TABSRecordAddress& address) {
  TABSBaseSession* session = cursor->Session();
  // A bulk change is released once, by whoever ends it.
  if (!cursor->BulkChange()) AfterChange(session, session && session->InTransaction());
  cursor->SetCurrentPosition({address, false, false});
}

void TABSInMemoryTableData::CreateTable(TABSCursor* cursor, const TABSFieldDefs& fields,
                                        const TABSIndexDefs& indexes, const TABSConstraintDefs& constraints) {
  std::lock_guard lock(Database()->Lock());
  if (fields.Count() == 0) throw EABSException(msg::kNoFieldsSpecified.At(NoFieldsCode()));
  if (IsCreated()) throw EABSException(msg::kTableAlreadyExists, TableName());
  const int32_t session = SessionNumberOf(cursor);
  const bool wasCreating = cursor && cursor->CreatingTable();
  if (cursor) cursor->SetCreatingTable(true);
  try {
    SetFieldDefs(fields);
    CheckBlobBlockSize();
    pages_ = NewPageManager(cursor);
    indexManager_ = std::make_unique<TABSBaseIndexManager>(this, pages_.get(), pages_.get());
    CreateRecordManager();
    SetIndexDefs(indexes);
    TABSIndexDefs& installed = indexManager_->IndexDefs();
    for (int32_t i = 0; i < installed.Count(); ++i)
      indexManager_->GetIndex(installed[i].ObjectID).Create(nullptr, installed[i]);
    SetConstraintDefs(constraints);
    CreateBlobStorage(cursor);
    pages_->Commit(session);
    pages_->Commit(kSystemSession);
  } catch (...) {
    if (cursor) cursor->SetCreatingTable(wasCreating);
    indexManager_.reset();
    recordManager_.reset();
    if (pages_) {
      pages_->Commit(session);
      pages_->Commit(kSystemSession);
    }
    pages_.reset();
    ClearBlobStorage();
    fieldManager_->FieldDefs().Clear();
    fieldManager_->ResetAutoincs();
    constraintManager_->ConstraintDefs().Clear();
    throw;
  }
  if (cursor) cursor->SetCreatingTable(wasCreating);
}

void TABSInMemoryTableData::DeleteTable(TABSBaseSession* session, bool forced) {
  TABSDatabaseData* database = Database();
  std::lock_guard lock(database->Lock());
  TABSTableData::DeleteTable(session, forced);
  // The destructor frees records, values and pages and leaves the database's table list; the lock
  // held here is the database's.
  delete this;
}

void TABSInMemoryTableData::EmptyTable(TABSCursor* cursor) {
  std::lock_guard lock(Database()->Lock());
  if (!IsCreated()) throw EABSException(msg::kNilPointer);
  TABSTableData::EmptyTable(cursor);
  recordManager_->Empty(SessionNumberOf(cursor));
  ClearBlobStorage();
  pending_.Clear();
  if (cursor) {
    cursor->SetCurrentPosition({});
    TABSBaseSession* session = cursor->Session();
    AfterChange(session, session && session->InTransaction());
  } else {
    ReleasePages(kSystemSession);
  }
}

void TABSInMemoryTableData::AddIndex(const TABSIndexDef& definition, TABSCursor* cursor) {
  std::lock_guard lock(Database()->Lock());
  TABSTableData::AddIndex(definition, cursor);
  ReleasePages(SessionNumberOf(cursor));
}

void TABSInMemoryTableData::DropIndex(int32_t indexObjectId, TABSCursor* cursor) {
  std::lock_guard lock(Database()->Lock());
  TABSTableData::DropIndex(indexObjectId, cursor);
  ReleasePages(SessionNumberOf(cursor));
}

int64_t TABSInMemoryTableData::RecordCount(TABSCursor* /*cursor*/) {
  std::lock_guard lock(Database()->Lock());
  return recordManager_ ? recordManager_->RecordCount : 0;
}

const TABSBlobValue* TABSInMemoryTableData::PendingBlob(const uint8_t* record,
                                                        const TABSFieldDef& field) const {
  return pending_.Find(ReadBlobHandle(record + field.BufferOffset));
}

const TABSFieldDef& TABSInMemoryTableData::BlobField(int32_t field) const {
  const TABSFieldDefs& fields = FieldManager()->FieldDefs();
  if (field < 0 || field >= fields.Count() || !IsBlobBaseType(fields[field].BaseType()))
    throw EABSException(msg::kInvalidFieldNumber, field, fields.Count());
  return fields[field];
}

void TABSInMemoryTableData::ReadBlobValue(TABSCursor* cursor, int32_t field, TABSBlobValue& result) {
  uint8_t* record = RecordOf(cursor);
  std::lock_guard lock(Database()->Lock());
  const TABSFieldDef& definition = BlobField(field);
  if (const TABSBlobValue* pending = PendingBlob(record, definition)) {
    result = CopyBlobValue(*pending);
    return;
  }
  const int32_t reference =
      IsNullFlagSet(record, field) ? 0 : ReadBlobReference(record + definition.BufferOffset);
  result = reference == 0 ? TABSBlobValue{} : ReadStoredBlob(reference);
}

std::unique_ptr<TABSBlobValueStream> TABSInMemoryTableData::OpenBlobStream(TABSCursor* cursor, bool readOnly,
                                                                           bool modify, int32_t field) {
  std::lock_guard lock(Database()->Lock());
  const TABSFieldDef& definition = BlobField(field);
  TABSBlobValue value;
  if (!modify) ReadBlobValue(cursor, field, value);
  const TABSBlobFormat format{definition.BlobBlockSize, definition.BlobCompressionAlgorithm,
                              definition.BlobCompressionMode};
  return std::make_unique<TABSBlobValueStream>(format, std::move(value), readOnly, KeepsToMemory());
}

void TABSInMemoryTableData::WriteBlobValue(uint8_t* record, int32_t field, TABSBlobValue value) {
  if (!record) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Database()->Lock());
  uint8_t* bytes = record + BlobField(field).BufferOffset;
  pending_.Drop(ReadBlobHandle(bytes));
  const bool empty = value.Empty();
  WriteBlobHandle(bytes, pending_.Put(std::move(value)));
  if (empty)
    SetNullFlag(record, field);
  else
    ClearNullFlag(record, field);
}

void TABSInMemoryTableData::DiscardRecordBlobs(uint8_t* record) {
  if (!record) return;
  std::lock_guard lock(Database()->Lock());
  const TABSFieldDefs& fields = FieldManager()->FieldDefs();
  for (int32_t field = 0; field < fields.Count(); ++field) {
    if (!IsBlobBaseType(fields[field].BaseType())) continue;
    uint8_t* bytes = record + fields[field].BufferOffset;
    pending_.Drop(ReadBlobHandle(bytes));
    WriteBlobHandle(bytes, 0);
  }
}

// A failed index change must not leave the indexes disagreeing with each other or with the records:
// every index gets back exactly the entry it had. Taking back runs on a best-effort basis (an index
// that did not get the change refuses to take it back, which is what is wanted).
void TABSInMemoryTableData::InsertKeys(int32_t session, const uint8_t* record,
                                       const TABSRecordAddress& address) {
  try {
    indexManager_->InsertRecordKeys(session, record, address);
  } catch (...) {
    TakeBackKeys(session, record, address);
    throw;
  }
}

void TABSInMemoryTableData::TakeBackKeys(int32_t session, const uint8_t* record,
                                         const TABSRecordAddress& address) {
  TABSIndexDefs& definitions = indexManager_->IndexDefs();
  for (int32_t i = 0; i < definitions.Count(); ++i) {
    try {
      indexManager_->GetIndex(definitions[i].ObjectID).DeleteKey(session, record, address);
    } catch (...) {
    }
  }
}

void TABSInMemoryTableData::UpdateKeys(int32_t session, const uint8_t* oldRecord, const uint8_t* newRecord,
                                       const TABSRecordAddress& address) {
  try {
    indexManager_->UpdateRecordKeys(session, oldRecord, newRecord, address);
  } catch (...) {
    TABSIndexDefs& definitions = indexManager_->IndexDefs();
    for (int32_t i = 0; i < definitions.Count(); ++i) {
      try {
        indexManager_->GetIndex(definitions[i].ObjectID).UpdateKey(session, newRecord, oldRecord, address);
      } catch (...) {
      }
    }
    throw;
  }
}

void TABSInMemoryTableData::DeleteKeys(int32_t session, const uint8_t* record,
                                       const TABSRecordAddress& address) {
  try {
    indexManager_->DeleteRecordKeys(session, record, address);
  } catch (...) {
    TABSIndexDefs& definitions = indexManager_->IndexDefs();
    for (int32_t i = 0; i < definitions.Count(); ++i) {
      try {
        TABSIndex& index = indexManager_->GetIndex(definitions[i].ObjectID);
        index.DeleteKey(session, record, address);
        index.InsertKey(session, record, address);
      } catch (...) {
      }
    }
    throw;
  }
}

}  // namespace viz
