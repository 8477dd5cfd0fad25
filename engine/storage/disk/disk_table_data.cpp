// TABSDiskTableData: loading and unloading, the metadata and header-data files, creating, deleting,
// emptying and renaming the table, definition changes, opening and closing for cursors, and the
// bookkeeping of uncommitted changes.
#include "engine/storage/disk/disk_table_data.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/storage/disk/disk_blob_manager.h"
#include "engine/storage/disk/disk_database_data.h"
#include "engine/storage/disk/disk_record_manager.h"
#include "engine/storage/disk/table_list_file.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/memory/temporary_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/tables/stored_form_io.h"
#include "engine/tables/streams.h"
#include "engine/types/errors.h"
#include "engine/types/raw_access.h"

namespace viz {

namespace {

// Native codes of the reads and writes of the table's own files.
constexpr int32_t kMetadataRootWriteCode = 20370;
constexpr int32_t kMetadataRootReadCode = 20371;
constexpr int32_t kHeaderDataWriteCode = 20372;
// The table's metadata is compressed with zlib (compression type 1) at level 1.
constexpr uint8_t kMetadataCompression = 1;
constexpr int kMetadataLevel = 1;
// Fields larger than this cannot come from a definition the engine wrote.
constexpr int32_t kMaxFieldBufferSize = 1 << 20;

int32_t SessionNumberOf(const TABSCursor* cursor) {
  return cursor && cursor->Session() ? cursor->Session()->SessionNumber() : kSystemSession;
}

bool InTransactionOf(const TABSCursor* cursor) {
  return cursor && cursor->Session() && cursor->Session()->InTransaction();
}

// Holds the table-catalogue lock for a scope (nothing when `take` is false).
class CatalogLock {
 public:
  CatalogLock(TABSDiskDatabaseData& database, bool take) : database_(database), held_(take) {
    if (held_) database_.LockTableCatalog();
  }
  ~CatalogLock() {
    if (!held_) return;
    try {
      database_.UnlockTableCatalog();
    } catch (const EABSException&) {
      // The byte goes with the file at the latest; nothing else depends on this unlock.
    }
  }
  CatalogLock(const CatalogLock&) = delete;
  CatalogLock& operator=(const CatalogLock&) = delete;

 private:
  TABSDiskDatabaseData& database_;
  bool held_;
};

// Sets a flag for a scope.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = saved_; }
  FlagScope(const FlagScope&) = delete;
  FlagScope& operator=(const FlagScope&) = delete;

 private:
  bool& flag_;
  bool saved_;
};

}  // namespace

TABSDiskTableData::TABSDiskTableData(TABSDiskDatabaseData* database, std::string_view tableName)
    : TABSTableData(database, tableName),
      database_(*database),
      metadataFile_(database->Pages(), ptTableMetaData),
      headerDataFile_(database->Pages(), ptTableMostUpdated),
      locksFile_(database->Pages()) {
  SetPageManager(&database->Pages());
}

TABSDiskTableData::~TABSDiskTableData() {
  Unload();
}

TABSDiskPageManager& TABSDiskTableData::Pages() const {
  return database_.Pages();
}

TABSDiskRecordManager& TABSDiskTableData::Records() const {
  if (!recordManager_) throw EABSException(msg::kNilPointer.At(20135));
  return static_cast<TABSDiskRecordManager&>(*recordManager_);
}

// ---- Errors on damaged pages

int64_t TABSDiskTableData::FailedPageRequests() const {
  return database_.IsOpen() ? Pages().FailedPageRequests() : 0;
}

void TABSDiskTableData::RethrowNamingPage(int64_t failedBefore) const {
  try {
    throw;
  } catch (const EABSException& error) {
    const int32_t code = error.NativeErrorCode();
    if (FailedPageRequests() != failedBefore && code != msg::kDamagedTablePage.code &&
        code != msg::kDamagedTableFile.code)
      throw EABSException(msg::kDamagedTablePage, TableName(), Pages().LastFailedPage(), error.Message());
    throw;
  }
}

// ---- Loading

void TABSDiskTableData::MakeManagers() {
  fieldManager_ = std::make_unique<TABSBaseFieldManager>(this);
  // Temporary indexes go with their manager, and their pages with them.
  indexManager_.reset();
  temporaryPages_ = std::make_unique<TABSTemporaryPageManager>(disableTempFiles_);
  indexManager_ = std::make_unique<TABSBaseIndexManager>(this, &Pages(), temporaryPages_.get());
  constraintManager_ = std::make_unique<TABSBaseConstraintManager>(this);
  recordManager_.reset();
  blobs_.reset();
}

void TABSDiskTableData::CreateRecordManager() {
  std::lock_guard lock(database_.Lock());
  auto records =
      std::make_unique<TABSDiskRecordManager>(*this, FieldManager()->FieldDefs().StoredRecordSize());
  records->RecordBufferSize = RecordBufferSize();
  records->ReportPageSerials(FieldManager()->FieldDefs().HasBlobFields());
  recordManager_ = std::move(records);
}

void TABSDiskTableData::Load(const TABSTableListEntry& entry, int32_t session) {
  try {
    tableId_ = entry.tableId;
    metadataFile_.Open(entry.metadataStartPageNo);
    headerDataFile_.Open(entry.headerDataStartPageNo);
    try {
      locksFile_.Open(entry.locksStartPageNo);
    } catch (const EABSException& error) {
      throw EABSException(msg::kDamagedTableFile, TableName(), "locks file", entry.locksStartPageNo,
                          error.Message());
    }
    MakeManagers();
    ReadMetadata(session);
    CreateRecordManager();
    Records().OpenPageIndex(recordIndexRoot_);
    if (FieldManager()->FieldDefs().HasBlobFields()) {
      blobs_ = std::make_unique<TABSDiskBlobManager>(*this);
      blobs_->OpenPageIndex(blobIndexRoot_);
    }
    ReadHeaderData(session);
    viewSession_ = session;
  } catch (...) {
    Unload();
    throw;
  }
}

void TABSDiskTableData::Inspect(const TABSTableListEntry& entry, int32_t session) {
  std::lock_guard lock(database_.Lock());
  Unload();
  Load(entry, session);
}

void TABSDiskTableData::Unload() {
  if (indexManager_) indexManager_->CloseIndexes();
  blobs_.reset();
  recordManager_.reset();
  constraintManager_.reset();
  indexManager_.reset();
  temporaryPages_.reset();
  fieldManager_.reset();
  metadataFile_.Close();
  headerDataFile_.Close();
  locksFile_.Close();
  viewSession_ = kInvalidSession;
}

// ---- Metadata and header data

void TABSDiskTableData::WriteMetadata(int32_t session) {
  TABSMemoryStream stream;
  FieldManager()->FieldDefs().SaveToStream(stream);
  IndexManager()->SaveToStream(stream);
  ConstraintManager()->ConstraintDefs().SaveToStream(stream);
  WriteI32(stream, Records().PageIndexRoot(), kMetadataRootWriteCode);
  WriteI32(stream, blobs_ ? blobs_->PageIndexRoot() : -1, kMetadataRootWriteCode);
  metadataFile_.WriteFile(session, stream.Memory(), kMetadataLevel, kMetadataCompression,
                          static_cast<int32_t>(stream.Size()));
}

void TABSDiskTableData::ReadMetadata(int32_t session) {
  const int32_t start = metadataFile_.StartPageNo();
  std::vector<uint8_t> content;
  try {
    const TABSInternalFileHeader header = metadataFile_.GetSize(session);
    // A damaged header must not make the reader allocate or walk more than the file can hold.
    const int64_t capacity =
        static_cast<int64_t>(metadataFile_.ChainPages(session).size()) * Pages().PageDataSize() -
        kInternalFileHeaderSize;
    if (header.storedSize < 0 || header.storedSize > capacity)
      throw EABSException(msg::kInternalFileChainEnded, header.storedSize, capacity, header.storedSize);
    const int64_t limit = header.compressionType == 0
                              ? header.storedSize
                              : std::min<int64_t>(TABSInternalDBTransactedAccessFile::kMaxUncompressedSize,
                                                  1100 * int64_t{header.storedSize} + 1024);
    if (header.uncompressedSize < 0 || header.uncompressedSize > limit)
      throw EABSException(msg::kTableFileDecompressionError);
    content = metadataFile_.ReadAll(session);
  } catch (const EABSException& error) {
    throw EABSException(msg::kDamagedTableFile, TableName(), "metadata file", start, error.Message());
  }
  try {
    TABSMemoryStream stream;
    stream.Write(content.data(), static_cast<int64_t>(content.size()));
    stream.SetPosition(0);
    TABSFieldDefs& fields = FieldManager()->FieldDefs();
    fields.LoadFromStream(stream);
    fields.ComputeOffsets();
    if (fields.Count() == 0) throw EABSException(msg::kNoFieldsSpecified.At(20128));
    for (int32_t index = 0; index < fields.Count(); ++index) {
      const int32_t size = fields[index].BufferSize();
      if (size <= 0 || size > kMaxFieldBufferSize)
        throw EABSException(msg::kInvalidFieldNumber, index, fields.Count());
    }
    FieldManager()->ResetAutoincs();
    IndexManager()->LoadFromStream(stream);
    ConstraintManager()->ConstraintDefs().LoadFromStream(stream);
    recordIndexRoot_ = ReadI32(stream, kMetadataRootReadCode);
    blobIndexRoot_ = ReadI32(stream, kMetadataRootReadCode);
  } catch (const EABSException& error) {
    throw EABSException(msg::kDamagedTableFile, TableName(), "metadata file", start, error.Message());
  }
}

void TABSDiskTableData::WriteHeaderData(int32_t session) {
  // The counter count, a counter per field, the state counter and the record count, laid out in
  // place (on the stack for any usual field count): this runs for every change of a record.
  const TABSBaseFieldManager& fields = *FieldManager();
  const int32_t counters = fields.AutoincCount();
  const size_t size = 4 + 8 * static_cast<size_t>(counters) + 8;
  uint8_t small[512];
  std::vector<uint8_t> large;
  uint8_t* bytes = small;
  if (size > sizeof small) {
    large.resize(size);
    bytes = large.data();
  }
  StoreRaw(bytes, counters);
  for (int32_t field = 0; field < counters; ++field)
    StoreRaw(bytes + 4 + 8 * static_cast<size_t>(field), fields.AutoincValue(field));
  StoreRaw(bytes + size - 8, recordManager_ ? recordManager_->StateCounter : int32_t{0});
  StoreRaw(bytes + size - 4, recordManager_ ? static_cast<int32_t>(recordManager_->RecordCount) : int32_t{0});
  headerDataFile_.WriteFile(session, bytes, 0, 0, static_cast<int32_t>(size));
}

void TABSDiskTableData::ReadHeaderData(int32_t session, bool countersToo) {
  const int32_t start = headerDataFile_.StartPageNo();
  std::vector<uint8_t> content;
  try {
    content = headerDataFile_.ReadAll(session);
  } catch (const EABSException& error) {
    throw EABSException(msg::kDamagedTableFile, TableName(), "header-data file", start, error.Message());
  }
  TABSBaseFieldManager& fields = *FieldManager();
  // The layout's own size: the counters of every field, then the state counter and record count.
  const size_t expected = 4 + 8 * static_cast<size_t>(fields.FieldDefs().Count()) + 8;
  if (content.size() != expected || file_format::GetI32(content.data()) != fields.FieldDefs().Count())
    throw EABSException(msg::kInvalidTableHeaderData);
  if (countersToo) {
    TABSMemoryStream stream;
    stream.Write(content.data(), static_cast<int64_t>(content.size()));
    stream.SetPosition(0);
    fields.LoadAutoincsFromStream(stream);
  }
  if (recordManager_) {
    recordManager_->StateCounter = file_format::GetI32(&content[expected - 8]);
    recordManager_->RecordCount = static_cast<uint32_t>(file_format::GetI32(&content[expected - 4]));
  }
}

void TABSDiskTableData::SyncState(int32_t session, bool countersToo) {
  // In multi-user mode another process may have changed the table at any time; in one process the
  // views differ only while some session has uncommitted changes.
  if (database_.MultiUser() || (viewSession_ != session && !uncommitted_.empty())) {
    ReadHeaderData(session, countersToo);
    Records().ForgetInsertPage();
  }
  viewSession_ = session;
}

void TABSDiskTableData::PrepareForInsert(TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  if (!IsLoaded()) throw EABSException(msg::kNilPointer.At(20135));
  SyncState(SessionNumberOf(cursor), true);
}

// ---- Uncommitted changes

void TABSDiskTableData::CheckCanChange(int32_t session) const {
  for (int32_t other : uncommitted_)
    if (other != session) throw EABSException(msg::kTableHasOtherUncommittedChanges, TableName());
}

void TABSDiskTableData::CheckNoUncommittedChanges() const {
  if (!uncommitted_.empty()) throw EABSException(msg::kTableHasUncommittedChanges, TableName());
}

void TABSDiskTableData::SessionEnded(int32_t session, bool /*committed*/) {
  std::lock_guard lock(database_.Lock());
  // Index work has nothing to undo (stale temporary indexes are rebuilt): its pages are written
  // and released either way.
  if (temporaryPages_) temporaryPages_->Commit(session);
  uncommitted_.erase(session);
  definitionsChanged_.erase(session);
}

void TABSDiskTableData::AfterChange(TABSBaseSession* session, bool inTransaction) {
  std::lock_guard lock(database_.Lock());
  TABSTableData::AfterChange(session, inTransaction);
  if (!inTransaction) SessionEnded(session->SessionNumber(), true);
}

void TABSDiskTableData::RollbackChange(TABSBaseSession* session, bool inTransaction) {
  std::lock_guard lock(database_.Lock());
  TABSTableData::RollbackChange(session, inTransaction);
  if (!inTransaction) SessionRolledBack(session);
}

void TABSDiskTableData::SessionRolledBack(TABSBaseSession* session) {
  std::lock_guard lock(database_.Lock());
  const int32_t number = session->SessionNumber();
  if (IsLoaded()) {
    const int32_t state = Records().StateCounter;
    if (definitionsChanged_.count(number)) {
      MakeManagers();
      ReadMetadata(number);
      CreateRecordManager();
      Records().OpenPageIndex(recordIndexRoot_);
      if (FieldManager()->FieldDefs().HasBlobFields()) {
        blobs_ = std::make_unique<TABSDiskBlobManager>(*this);
        blobs_->OpenPageIndex(blobIndexRoot_);
      }
    }
    // The state counter moves on: what was built on the discarded changes must look stale.
    ReadHeaderData(number);
    Records().StateCounter = std::max(Records().StateCounter, state + 1);
    Records().ForgetInsertPage();
    viewSession_ = number;
    TABSTableData::SessionRolledBack(session);
  }
  SessionEnded(number, false);
}

// ---- Opening and closing

void TABSDiskTableData::OpenTable(TABSCursor* cursor) {
  if (!cursor) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(database_.Lock());
  CatalogLock catalog(database_, !catalogOperation_);
  const int32_t session = SessionNumberOf(cursor);
  if (!Cursors().empty() && cursor->Exclusive() && !exclusive_)
    throw EABSException(msg::kExclusiveOpenByCursors, TableName());
  if (!IsLoaded()) {
    disableTempFiles_ = cursor->DisableTempFiles();
    NamingPages([&] { Load(database_.FindTableEntry(TableName()), session); });
  }
  RegisterCursor(cursor);
  const uint8_t kind = cursor->Exclusive() ? ltExclusive : ltOpen;
  bool locked = false;
  try {
    locked = LockTable(cursor, kind, kOpenTableLockRetry);
  } catch (...) {
    CloseCursor(cursor, false);
    throw;
  }
  if (!locked) {
    CloseCursor(cursor, false);
    if (kind == ltExclusive) throw EABSException(msg::kExclusiveOpenByUser, TableName());
    throw EABSException(msg::kCannotOpenLockedTable, TableName());
  }
  if (cursor->Exclusive()) exclusive_ = true;
}

void TABSDiskTableData::CloseTable(TABSCursor* cursor) {
  CloseCursor(cursor, true);
}

void TABSDiskTableData::CloseCursor(TABSCursor* cursor, bool unlock) {
  std::lock_guard lock(database_.Lock());
  const bool registered = std::find(Cursors().begin(), Cursors().end(), cursor) != Cursors().end();
  if (!registered) return;
  if (unlock && IsLoaded() && locksFile_.IsOpened()) {
    const uint8_t kind = cursor->Exclusive() ? ltExclusive : ltOpen;
    database_.TableLocks().UnlockTable(SessionNumberOf(cursor), kind, false, true, locksFile_);
  }
  UnregisterCursor(cursor);
  if (!Cursors().empty()) return;
  const size_t leftover = blobs_ ? blobs_->CachedCount() : 0;
  Unload();
  exclusive_ = false;
  if (leftover > 0) throw EABSException(msg::kBlobCacheNotReleased);
}

bool TABSDiskTableData::LockTable(TABSCursor* cursor, uint8_t kind, TABSLockRetry retry) {
  std::lock_guard lock(database_.Lock());
  return database_.TableLocks().LockTable(SessionNumberOf(cursor), kind, false, retry.intervalMs,
                                          retry.attempts, locksFile_);
}

void TABSDiskTableData::UnlockTable(TABSCursor* cursor, uint8_t kind) {
  std::lock_guard lock(database_.Lock());
  database_.TableLocks().UnlockTable(SessionNumberOf(cursor), kind, false, false, locksFile_);
}

// ---- Creating, deleting, emptying, renaming

void TABSDiskTableData::CreateTable(TABSCursor* cursor, const TABSFieldDefs& fields,
                                    const TABSIndexDefs& indexes, const TABSConstraintDefs& constraints) {
  if (fields.Count() == 0) throw EABSException(msg::kNoFieldsSpecified.At(20128));
  for (int32_t index = 0; index < constraints.Count(); ++index) {
    const auto kind = constraints[index].Kind();
    if (kind != TABSConstraintKind::Primary && kind != TABSConstraintKind::Unique &&
        kind != TABSConstraintKind::NotNull && kind != TABSConstraintKind::Check)
      throw EABSException(msg::kNotImplementedYet.At(30040));
  }
  std::lock_guard lock(database_.Lock());
  database_.CheckWritable();
  if (!Cursors().empty()) throw EABSException(msg::kCannotDeleteOpenTable, TableName());
  const int32_t tableId = database_.NextObjectID();
  CatalogLock catalog(database_, true);
  if (database_.TableEntryExists(TableName())) throw EABSException(msg::kTableListDuplicate, TableName());
  TABSDiskPageManager& pages = Pages();
  const bool creating = cursor && cursor->CreatingTable();
  try {
    Unload();
    disableTempFiles_ = cursor && cursor->DisableTempFiles();
    tableId_ = tableId;
    locksFile_.Create(database_.MaxConnections());
    metadataFile_.Create(kSystemSession);
    headerDataFile_.Create(kSystemSession);
    MakeManagers();
    if (cursor) cursor->SetCreatingTable(true);
    SetFieldDefs(fields);
    SetIndexDefs(indexes);
    SetConstraintDefs(constraints);
    CreateRecordManager();
    if (CheckBlobBlockSize()) blobs_ = std::make_unique<TABSDiskBlobManager>(*this);
    WriteHeaderData(kSystemSession);
    Records().CreatePageIndex(kSystemSession);
    if (blobs_) blobs_->CreatePageIndex(kSystemSession);
    TABSIndexDefs& definitions = IndexManager()->IndexDefs();
    for (int32_t index = 0; index < definitions.Count(); ++index)
      IndexManager()->GetIndex(definitions[index].ObjectID).Create(nullptr, definitions[index]);
    WriteMetadata(kSystemSession);
    database_.AddTableEntry(tableId, TableName(), locksFile_.StartPageNo(), headerDataFile_.StartPageNo(),
                            metadataFile_.StartPageNo());
    pages.Commit(kSystemSession);
  } catch (...) {
    if (cursor) cursor->SetCreatingTable(creating);
    Unload();
    pages.Rollback(kSystemSession);
    database_.ReloadTableList();
    throw;
  }
  if (cursor) cursor->SetCreatingTable(creating);
  Unload();
}

void TABSDiskTableData::DropAllPages(int32_t session) {
  TABSIndexDefs& definitions = IndexManager()->IndexDefs();
  for (int32_t index = 0; index < definitions.Count(); ++index) {
    if (definitions[index].IsTemporary() || definitions[index].RootPage < 0) continue;
    IndexManager()->GetIndex(definitions[index].ObjectID).Drop(session);
  }
  if (blobs_ && blobs_->PageIndex()) blobs_->DeleteAll(session, true);
  Records().DropPages(session);
}

void TABSDiskTableData::DeleteTable(TABSBaseSession* session, bool forced) {
  std::lock_guard lock(database_.Lock());
  TABSTableData::DeleteTable(session, forced);
  database_.CheckWritable();
  CheckNoUncommittedChanges();
  CatalogLock catalog(database_, true);
  FlagScope operation(catalogOperation_);
  TABSDiskPageManager& pages = Pages();
  TABSCursor maintenance;
  maintenance.SetTableName(TableName());
  maintenance.SetSession(session);
  maintenance.SetExclusive(true);
  OpenTable(&maintenance);
  try {
    DropAllPages(kSystemSession);
    database_.TableLocks().UnlockTable(SessionNumberOf(&maintenance), ltExclusive, false, true, locksFile_);
    metadataFile_.Delete(kSystemSession);
    headerDataFile_.Delete(kSystemSession);
    locksFile_.Delete();
    CloseCursor(&maintenance, false);
    database_.DeleteTableEntry(TableName());
    pages.Commit(kSystemSession);
  } catch (...) {
    // The table goes in any case: what could be freed is, the entry is removed.
    try {
      CloseCursor(&maintenance, false);
      database_.DeleteTableEntry(TableName());
      pages.Commit(kSystemSession);
    } catch (const EABSException&) {
      pages.Rollback(kSystemSession);
      database_.ReloadTableList();
    }
    throw;
  }
}

void TABSDiskTableData::EmptyTable(TABSCursor* cursor) {
  if (!cursor || !cursor->Session()) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(database_.Lock());
  database_.CheckWritable();
  const int32_t session = SessionNumberOf(cursor);
  CheckCanChange(session);
  const bool inTransaction = InTransactionOf(cursor);
  // A cursor that has the table open exclusively works on it; otherwise it is opened for the work.
  const bool own = std::find(Cursors().begin(), Cursors().end(), cursor) != Cursors().end();
  if (own && !exclusive_) throw EABSException(msg::kExclusiveOpenByCursors, TableName());
  TABSCursor maintenance;
  maintenance.SetTableName(TableName());
  maintenance.SetSession(cursor->Session());
  maintenance.SetExclusive(true);
  if (!own) OpenTable(&maintenance);
  try {
    SyncState(session, true);
    TABSTableData::EmptyTable(cursor);
    if (blobs_ && blobs_->PageIndex()) blobs_->DeleteAll(session, false);
    Records().Empty(session);
    WriteHeaderData(session);
    if (inTransaction) uncommitted_.insert(session);
    AfterChange(cursor->Session(), inTransaction);
  } catch (...) {
    if (!inTransaction) RollbackChange(cursor->Session(), false);
    if (!own) CloseCursor(&maintenance, true);
    throw;
  }
  if (!own) CloseCursor(&maintenance, true);
}

void TABSDiskTableData::RenameTable(std::string_view newName, TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  database_.CheckWritable();
  CatalogLock catalog(database_, true);
  {
    FlagScope operation(catalogOperation_);
    TABSCursor maintenance;
    maintenance.SetTableName(TableName());
    maintenance.SetSession(cursor ? cursor->Session() : nullptr);
    maintenance.SetExclusive(true);
    OpenTable(&maintenance);
    CloseCursor(&maintenance, true);
  }
  const std::string oldName = TableName();
  TABSDiskPageManager& pages = Pages();
  try {
    database_.RenameTableEntry(oldName, std::string(newName));
    pages.Commit(kSystemSession);
  } catch (...) {
    pages.Rollback(kSystemSession);
    database_.ReloadTableList();
    throw;
  }
  TABSTableData::RenameTable(newName.substr(0, TABSTableListFile::kMaxNameLength), cursor);
}

// ---- Definition changes

void TABSDiskTableData::MetadataChanged(TABSCursor* cursor) {
  const int32_t session = SessionNumberOf(cursor);
  WriteMetadata(session);
  if (session == kSystemSession) {
    Pages().Commit(kSystemSession);
    return;
  }
  definitionsChanged_.insert(session);
  const bool inTransaction = InTransactionOf(cursor);
  if (inTransaction) uncommitted_.insert(session);
  AfterChange(cursor->Session(), inTransaction);
}

namespace {
// Undoes a failed definition change: outside a transaction the session's pages are discarded and
// the definitions read again.
template <class Change>
void DefinitionChange(TABSDiskTableData& table, TABSCursor* cursor, Change change) {
  const int32_t session = SessionNumberOf(cursor);
  try {
    change();
  } catch (...) {
    if (session == kSystemSession) {
      table.Pages().Rollback(kSystemSession);
      TABSBaseSession catalogue;
      catalogue.SetSessionNumber(kSystemSession);
      table.SessionRolledBack(&catalogue);
    } else if (!InTransactionOf(cursor)) {
      table.RollbackChange(cursor->Session(), false);
    }
    throw;
  }
}
}  // namespace

void TABSDiskTableData::RenameField(std::string_view oldName, std::string_view newName) {
  std::lock_guard lock(database_.Lock());
  database_.CheckWritable();
  CheckNoUncommittedChanges();
  definitionsChanged_.insert(kSystemSession);
  DefinitionChange(*this, nullptr, [&] {
    TABSTableData::RenameField(oldName, newName);
    MetadataChanged(nullptr);
  });
  definitionsChanged_.erase(kSystemSession);
}

void TABSDiskTableData::AddIndex(const TABSIndexDef& definition, TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  database_.CheckWritable();
  const int32_t session = SessionNumberOf(cursor);
  CheckCanChange(session);
  definitionsChanged_.insert(session);
  DefinitionChange(*this, cursor, [&] {
    SyncState(session, true);
    TABSTableData::AddIndex(definition, cursor);
    MetadataChanged(cursor);
  });
  if (session == kSystemSession) definitionsChanged_.erase(session);
}

void TABSDiskTableData::DropIndex(int32_t indexObjectId, TABSCursor* cursor) {
  std::lock_guard lock(database_.Lock());
  database_.CheckWritable();
  const int32_t session = SessionNumberOf(cursor);
  CheckCanChange(session);
  definitionsChanged_.insert(session);
  DefinitionChange(*this, cursor, [&] {
    TABSTableData::DropIndex(indexObjectId, cursor);
    MetadataChanged(cursor);
  });
  if (session == kSystemSession) definitionsChanged_.erase(session);
}

}  // namespace viz
