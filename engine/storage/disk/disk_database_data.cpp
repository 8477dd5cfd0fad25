#include "engine/storage/disk/disk_database_data.h"

#include <algorithm>

#include "engine/storage/disk/disk_table_data.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"

namespace viz {

TABSDiskDatabaseData::TABSDiskDatabaseData(const TABSConnectionSettings& settings,
                                           platform::FileSystem* fileSystem)
    : settings_(settings), fileSystem_(fileSystem) {}

TABSDiskDatabaseData::TABSDiskDatabaseData(TABSDiskPageManager& manager)
    : fileSystem_(nullptr), borrowed_(&manager) {
  settings_.DatabaseFileName = manager.File().FileName();
  pages_ = &manager;
  SetPageManager(pages_);
  readOnly_ = true;
  catalog_ = std::make_unique<TABSDiskCatalog>(manager);
  catalog_->Open();
  maxConnections_ = catalog_->MaxConnections();
  tableLocks_ = std::make_unique<TABSDatabaseTableLockManager>(manager, maxConnections_);
}

TABSDiskDatabaseData::~TABSDiskDatabaseData() {
  Close();
}

TABSDiskPageManager& TABSDiskDatabaseData::Pages() const {
  if (!pages_) throw EABSException(msg::kDatabaseFileNotOpened.At(10460));
  return *pages_;
}

TABSDiskCatalog& TABSDiskDatabaseData::Catalog() const {
  if (!catalog_) throw EABSException(msg::kPointerIsNil);
  return *catalog_;
}

TABSDatabaseTableLockManager& TABSDiskDatabaseData::TableLocks() const {
  if (!tableLocks_) throw EABSException(msg::kPointerIsNil);
  return *tableLocks_;
}

void TABSDiskDatabaseData::CheckWritable() const {
  if (readOnly_) throw EABSException(msg::kDatabaseReadOnly, settings_.DatabaseFileName);
}

// ---- Opening, creating, closing

void TABSDiskDatabaseData::CreateDatabase() {
  std::lock_guard lock(Lock());
  if (IsOpen()) throw EABSException(msg::kDatabaseAlreadyOpen);
  TABSDiskPageManager pages(fileSystem_);
  try {
    pages.CreateDatabaseFile(settings_.DatabaseFileName, {settings_.Password, settings_.CipherType},
                             settings_.ExtentPageCount, settings_.PageSize);
    TABSDiskCatalog(pages).Create(settings_.MaxConnections);
  } catch (...) {
    pages.CloseDatabaseFile();
    throw;
  }
  pages.CloseDatabaseFile();
}

void TABSDiskDatabaseData::Open(TABSBaseSession& session) {
  TABSConnectionSettings& connection = session.Connection();
  auto pages = std::make_unique<TABSDiskPageManager>(fileSystem_);
  try {
    bool multiUser = connection.MultiUser;
    bool readOnly = connection.ReadOnly;
    bool repairNeeded = false;
    pages->OpenDatabaseFile(settings_.DatabaseFileName, {connection.Password, connection.CipherType},
                            multiUser, connection.Exclusive, repairNeeded, readOnly);
    connection.NeedRepair = repairNeeded;
    auto catalog = std::make_unique<TABSDiskCatalog>(*pages);
    const int64_t failed = pages->FailedPageRequests();
    try {
      catalog->Open();
    } catch (const EABSException& error) {
      const int32_t page =
          pages->FailedPageRequests() != failed ? pages->LastFailedPage() : TABSSystemDirectory::kStartPageNo;
      throw EABSException(msg::kDamagedCatalogue, settings_.DatabaseFileName, page, error.Message());
    }
    maxConnections_ = catalog->MaxConnections();
    tableLocks_ = std::make_unique<TABSDatabaseTableLockManager>(*pages, maxConnections_);
    catalog_ = std::move(catalog);
    password_ = pages->Password();
    requestedMultiUser_ = connection.MultiUser;
    SetMultiUser(multiUser);
    readOnly_ = readOnly;
  } catch (...) {
    tableLocks_.reset();
    catalog_.reset();
    if (pages->IsOpened()) pages->CloseDatabaseFile();
    throw;
  }
  ownPages_ = std::move(pages);
  pages_ = ownPages_.get();
  SetPageManager(pages_);
}

void TABSDiskDatabaseData::Close() {
  // The table objects work on the page manager that goes.
  while (!Tables().empty()) delete Tables().back();
  tableLocks_.reset();
  catalog_.reset();
  if (ownPages_) {
    ownPages_->CloseDatabaseFile();
    ownPages_.reset();
  }
  pages_ = nullptr;
  SetPageManager(nullptr);
  singleUserHold_ = false;
  readOnly_ = false;
}

// ---- Sessions

int32_t TABSDiskDatabaseData::FreeSessionNumber() const {
  std::vector<int32_t> used;
  for (const TABSBaseSession* other : Sessions()) used.push_back(other->SessionNumber());
  int32_t number = 0;
  while (std::find(used.begin(), used.end(), number) != used.end()) ++number;
  return number;
}

void TABSDiskDatabaseData::ConnectSession(TABSBaseSession* session) {
  if (!session) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Lock());
  if (borrowed_) throw EABSException(msg::kDatabaseReadOnly, settings_.DatabaseFileName);
  const bool opened = !IsOpen();
  if (opened) Open(*session);
  try {
    TABSConnectionSettings& connection = session->Connection();
    if (connection.MultiUser != requestedMultiUser_) throw EABSException(msg::kMixedUserModes);
    int32_t number = 0;
    if (MultiUser()) {
      number = catalog_->Sessions().Connect();
    } else {
      number = FreeSessionNumber();
      if (!singleUserHold_ && !readOnly_) {
        singleUserHold_ = catalog_->Sessions().TakeSingleUserHold();
        if (!singleUserHold_) readOnly_ = true;
      }
    }
    TABSDatabaseData::ConnectSession(session);
    session->SetSessionNumber(number);
    connection.ReadOnly = readOnly_;
    connection.MaxConnections = maxConnections_;
    connection.PageSize = pages_->PageSize();
    connection.ExtentPageCount = pages_->Header().extentPageCount;
    connection.CipherType = password_.cipherType;
  } catch (...) {
    if (opened && Sessions().empty()) Close();
    throw;
  }
}

void TABSDiskDatabaseData::DisconnectSession(TABSBaseSession* session) {
  if (!session) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Lock());
  if (std::find(Sessions().begin(), Sessions().end(), session) == Sessions().end()) return;
  const int32_t number = session->SessionNumber();
  try {
    // A connection that goes takes its uncommitted changes with it; the next one to get its number
    // must not find them.
    if (pages_->HasChanges(number)) Rollback(session);
    session->SetInTransaction(false);
    if (MultiUser()) {
      tableLocks_->ReleaseSessionLocks(number);
      catalog_->Sessions().Disconnect(number);
    } else if (singleUserHold_ && Sessions().size() == 1) {
      singleUserHold_ = false;
      catalog_->Sessions().ReleaseSingleUserHold();
    }
  } catch (...) {
    TABSDatabaseData::DisconnectSession(session);
    session->SetSessionNumber(kInvalidSession);
    if (Sessions().empty()) Close();
    throw;
  }
  TABSDatabaseData::DisconnectSession(session);
  session->SetSessionNumber(kInvalidSession);
  if (Sessions().empty()) Close();
}

// ---- Tables

void TABSDiskDatabaseData::ListTableNames(std::vector<std::string>& names) {
  std::lock_guard lock(Lock());
  for (std::string& name : Catalog().Tables().Names()) names.push_back(std::move(name));
}

TABSTableData* TABSDiskDatabaseData::NewTableData(TABSCursor* cursor) {
  if (!cursor) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Lock());
  Pages();
  return new TABSDiskTableData(this, cursor->TableName());
}

TABSDiskTableData& TABSDiskDatabaseData::Table(const std::string& name) {
  std::lock_guard lock(Lock());
  for (TABSTableData* table : Tables())
    if (SameName(table->TableName(), name)) return static_cast<TABSDiskTableData&>(*table);
  Pages();
  return *new TABSDiskTableData(this, name);
}

int32_t TABSDiskDatabaseData::NextObjectID() {
  std::lock_guard lock(Lock());
  return Pages().GetNextObjectID();
}

// ---- Transactions

void TABSDiskDatabaseData::CommitPages(int32_t session, bool flush) {
  Pages().Commit(session, flush);
}

void TABSDiskDatabaseData::RollbackPages(int32_t session) {
  Pages().Rollback(session);
}

void TABSDiskDatabaseData::SessionEnded(TABSBaseSession* session, bool committed) {
  for (TABSTableData* table : Tables())
    static_cast<TABSDiskTableData*>(table)->SessionEnded(session->SessionNumber(), committed);
}

void TABSDiskDatabaseData::Commit(TABSBaseSession* session, bool flush) {
  if (!session) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Lock());
  const int32_t number = session->SessionNumber();
  if (MultiUser() && !TableLocks().LockModifiedTables(number)) throw EABSException(msg::kCommitLocksFailed);
  Pages().Commit(number, flush);
  if (MultiUser()) TableLocks().ReleaseTransactionLocks(number);
  SessionEnded(session, true);
}

void TABSDiskDatabaseData::Rollback(TABSBaseSession* session) {
  if (!session) throw EABSException(msg::kNilPointer);
  std::lock_guard lock(Lock());
  if (MultiUser()) TableLocks().ReleaseTransactionLocks(session->SessionNumber());
  TABSDatabaseData::Rollback(session);
}

void TABSDiskDatabaseData::Flush() {
  std::lock_guard lock(Lock());
  Pages().File().FlushFileBuffers();
}

// ---- The table catalogue

void TABSDiskDatabaseData::LockTableCatalog() {
  TABSDiskPageManager& pages = Pages();
  if (!pages.RetryLock([&] { return pages.LockTableCatalog(); }))
    throw EABSException(msg::kCannotLockDatabaseTables);
}

void TABSDiskDatabaseData::UnlockTableCatalog() {
  if (!Pages().UnlockTableCatalog()) throw EABSException(msg::kCannotUnlockDatabaseTables);
}

void TABSDiskDatabaseData::AddTableEntry(int32_t tableId, const std::string& name, int32_t locksStartPageNo,
                                         int32_t headerDataStartPageNo, int32_t metadataStartPageNo) {
  std::lock_guard lock(Lock());
  if (!catalog_) throw EABSException(msg::kPointerIsNil.At(20129));
  catalog_->Tables().Add(tableId, name, locksStartPageNo, headerDataStartPageNo, metadataStartPageNo);
  catalog_->Tables().Save();
}

TABSTableListEntry TABSDiskDatabaseData::FindTableEntry(const std::string& name) {
  std::lock_guard lock(Lock());
  if (!catalog_) throw EABSException(msg::kPointerIsNil.At(20129));
  return catalog_->Tables().Find(name);
}

bool TABSDiskDatabaseData::TableEntryExists(const std::string& name) {
  std::lock_guard lock(Lock());
  if (!catalog_) throw EABSException(msg::kPointerIsNil.At(20129));
  return catalog_->Tables().Exists(name);
}

void TABSDiskDatabaseData::DeleteTableEntry(const std::string& name) {
  std::lock_guard lock(Lock());
  if (!catalog_) throw EABSException(msg::kPointerIsNil.At(20130));
  catalog_->Tables().Delete(name);
  catalog_->Tables().Save();
}

void TABSDiskDatabaseData::RenameTableEntry(const std::string& oldName, const std::string& newName) {
  std::lock_guard lock(Lock());
  if (!catalog_) throw EABSException(msg::kPointerIsNil.At(20131));
  catalog_->Tables().Rename(oldName, newName);
  catalog_->Tables().Save();
}

void TABSDiskDatabaseData::ReloadTableList() {
  std::lock_guard lock(Lock());
  if (catalog_) catalog_->Tables().Load();
}

void TABSDiskDatabaseData::TruncateTrailingFreePages() {
  std::lock_guard lock(Lock());
  CheckWritable();
  Pages().TruncateTrailingFreePages();
}

}  // namespace viz
