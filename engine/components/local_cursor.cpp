#include "engine/components/local_cursor.h"

#include <algorithm>
#include <climits>
#include <exception>
#include <cstring>

#include "engine/components/engine_error.h"
#include "engine/components/local_session.h"
#include "engine/storage/disk/disk_database_data.h"
#include "engine/storage/disk/disk_table_data.h"
#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

// Retries of the record operations: table lock of an edit and a delete, of a post, and the record lock.
constexpr TABSLockRetry kChangeTableLockRetry{100, 900};
constexpr TABSLockRetry kPostTableLockRetry{40, 2250};

}  // namespace

TABSLocalCursor::TABSLocalCursor(TABSLocalSession* session) : session_(session) {
  SetSession(session);
}

TABSLocalCursor::~TABSLocalCursor() {
  try {
    CloseTable();
  } catch (const Exception&) {
    // The table data lets the cursor go all the same.
  }
}

void TABSLocalCursor::SetDefinitions(const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                                     const TABSConstraintDefs& constraints) {
  createFields_ = std::make_unique<TABSFieldDefs>();
  createFields_->Assign(fields);
  createIndexes_ = std::make_unique<TABSIndexDefs>();
  createIndexes_->Assign(indexes);
  createConstraints_ = std::make_unique<TABSConstraintDefs>();
  createConstraints_->Assign(constraints);
}

TABSTableData& TABSLocalCursor::CheckedTable(int32_t code) const {
  if (!open_ || !table_) throw EABSException(msg::kNilPointer.At(code));
  return *table_;
}

TABSDiskTableData* TABSLocalCursor::LockingTable() const {
  return diskTable_ && diskTable_->Database()->MultiUser() ? diskTable_ : nullptr;
}

bool TABSLocalCursor::InTransaction() const {
  return session_ && session_->InTransaction();
}

// ---- Table operations

void TABSLocalCursor::CreateTable(const TABSFieldDefs& fields, const TABSIndexDefs& indexes,
                                  const TABSConstraintDefs& constraints) {
  if (!session_ || !session_->Database()) throw EABSException(msg::kNilPointer.At(10330));
  TABSDatabaseData& database = *session_->Database();
  std::lock_guard lock(database.Lock());
  CloseTable();
  if (database.TableExists(TableName())) DeleteTable();
  database.FindOrCreateTableData(this)->CreateTable(this, fields, indexes, constraints);
}

void TABSLocalCursor::DeleteTable() {
  if (!session_ || !session_->Database()) throw EABSException(msg::kNilPointer.At(10331));
  TABSDatabaseData& database = *session_->Database();
  std::lock_guard lock(database.Lock());
  if (!database.TableExists(TableName())) throw EABSException(msg::kTableNotFoundQuoted, TableName());
  CloseTable();
  TABSTableData* table = database.FindOrCreateTableData(this);
  // Memory and temporary tables free their object themselves; a disk table's stays with its database.
  table->DeleteTable(session_, false);
}

void TABSLocalCursor::EmptyTable() {
  if (!session_ || !session_->Database()) throw EABSException(msg::kNilPointer.At(10332));
  TABSDatabaseData& database = *session_->Database();
  std::lock_guard lock(database.Lock());
  if (!database.TableExists(TableName()))
    throw EABSException(msg::kTableNotFoundQuoted.At(20133), TableName());
  database.FindOrCreateTableData(this)->EmptyTable(this);
}

void TABSLocalCursor::RenameTable(const std::string& newName) {
  if (!session_ || !session_->Database()) throw EABSException(msg::kNilPointer.At(10333));
  TABSDatabaseData& database = *session_->Database();
  std::lock_guard lock(database.Lock());
  if (!database.TableExists(TableName()))
    throw EABSException(msg::kTableNotFoundQuoted.At(20134), TableName());
  if (newName == TableName()) throw EABSException(msg::kCannotRenameTableIntoItself, TableName());
  if (!SameName(newName, TableName()) && database.TableExists(newName))
    throw EABSException(msg::kTableAlreadyExists, newName);
  database.FindOrCreateTableData(this)->RenameTable(newName, this);
  SetTableName(newName);
}

void TABSLocalCursor::LoadFieldDefs() {
  TABSTableData& table = CheckedTable(10334);
  std::lock_guard lock(table.Database()->Lock());
  fieldDefs_.Assign(table.FieldManager()->FieldDefs());
  indexDefs_.Assign(table.IndexManager()->IndexDefs());
  constraintDefs_.Assign(table.ConstraintManager()->ConstraintDefs());
  BuildVisibleFields();
  TABSRecordLayout layout;
  table.GetRecordLayout(layout);
  dataSize_ = layout.RecordBufferSize;
  scratch_.assign(static_cast<size_t>(dataSize_), 0);
  editCopy_.assign(static_cast<size_t>(dataSize_), 0);
}

void TABSLocalCursor::BuildVisibleFields() {
  std::vector<TABSVisibleField> visible;
  if (projectionNames_.empty()) {
    for (int32_t field = 0; field < fieldDefs_.Count(); ++field)
      visible.push_back({fieldDefs_[field].Name(), field});
  } else {
    auto shown = [&](const std::string& name) {
      return std::any_of(visible.begin(), visible.end(),
                         [&](const TABSVisibleField& field) { return SameName(field.Name, name); });
    };
    for (size_t item = 0; item < projectionNames_.size(); ++item) {
      const int32_t stored = fieldDefs_.IndexOfName(projectionNames_[item]);
      if (stored < 0) throw EABSException(msg::kCannotFindField, projectionNames_[item]);
      std::string name = projectionAliases_[item];
      if (name.empty()) {
        name = fieldDefs_[stored].Name();
      } else if (shown(name)) {
        const std::string alias = name;
        for (int n = 1; shown(name); ++n) name = alias + "_" + std::to_string(n);
      }
      visible.push_back({name, stored});
    }
  }
  visibleFields_ = std::move(visible);
}

void TABSLocalCursor::SetProjection(const std::vector<std::string>& names,
                                    const std::vector<std::string>& aliases) {
  CheckedTable(10357);
  if (names.size() != aliases.size())
    throw EABSException(msg::kDifferentListsLength, static_cast<int32_t>(names.size()),
                        static_cast<int32_t>(aliases.size()));
  if (names.empty()) throw EABSException(msg::kNoProjectionFields);
  std::vector<std::string> oldNames = std::move(projectionNames_), oldAliases = std::move(projectionAliases_);
  projectionNames_ = names;
  projectionAliases_ = aliases;
  try {
    BuildVisibleFields();
  } catch (...) {
    projectionNames_ = std::move(oldNames);
    projectionAliases_ = std::move(oldAliases);
    BuildVisibleFields();
    throw;
  }
}

std::string TABSLocalCursor::StoredFieldName(const std::string& name) const {
  if (fieldDefs_.FindField(name)) return name;
  for (const TABSVisibleField& field : visibleFields_) {
    if (SameName(field.Name, name)) return fieldDefs_[field.StoredField].Name();
  }
  return name;
}

void TABSLocalCursor::OpenTable() {
  if (open_) return;
  if (!session_ || !session_->Database()) throw EABSException(msg::kNilPointer.At(10335));
  TABSDatabaseData& database = *session_->Database();
  std::lock_guard lock(database.Lock());
  TABSTableData* table = database.FindTableData(this);
  if (!table) {
    const bool disk = dynamic_cast<TABSDiskDatabaseData*>(&database) != nullptr;
    if (!disk && !database.TableExists(TableName())) {
      if (!createIfMissing_ || !createFields_)
        throw EABSException(msg::kTableNotFound.At(10028), TableName());
      CreateTable(*createFields_, *createIndexes_, *createConstraints_);
    }
    table = database.FindOrCreateTableData(this);
  }
  table->OpenTable(this);
  table_ = table;
  diskTable_ = dynamic_cast<TABSDiskTableData*>(table);
  open_ = true;
  Navigation().ReadStamp.Clear();
  SetCurrentPosition({});
  try {
    LoadFieldDefs();
    SetCurrentIndexName(currentIndexName_);
  } catch (...) {
    CloseTable();
    throw;
  }
}

void TABSLocalCursor::CloseTable() {
  if (!open_) return;
  TABSTableData* table = table_;
  ReleaseEditLocks();
  blobs_.clear();
  if (RecordBuffer()) table->ReleaseRecordBlobs(RecordBuffer());
  open_ = false;
  table_ = nullptr;
  diskTable_ = nullptr;
  projectionNames_.clear();
  projectionAliases_.clear();
  visibleFields_.clear();
  Navigation().RecordBuffer = nullptr;
  Navigation().Range = {};
  rangeStart_.clear();
  rangeEnd_.clear();
  Navigation().Bitmap.Drop();
  Navigation().PositionCache.Clear();
  Navigation().ReadStamp.Clear();
  table->CloseTable(this);
}

void TABSLocalCursor::EnterTable() {
  CheckedTable(10336).TableLock().lock();
}

void TABSLocalCursor::LeaveTable() {
  CheckedTable(10336).TableLock().unlock();
}

bool TABSLocalCursor::LockTable(uint8_t kind, int attempts, int pauseMs) {
  CheckedTable(10337);
  TABSDiskTableData* disk = LockingTable();
  return !disk || disk->LockTable(this, kind, {pauseMs, attempts});
}

void TABSLocalCursor::UnlockTable(uint8_t kind) {
  CheckedTable(10337);
  if (TABSDiskTableData* disk = LockingTable()) disk->UnlockTable(this, kind);
}

void TABSLocalCursor::RenameField(const std::string& oldName, const std::string& newName) {
  TABSTableData& table = CheckedTable(10338);
  const TABSFieldDefs& fields = table.FieldManager()->FieldDefs();
  if (!fields.FindField(oldName)) throw EABSException(msg::kFieldNotFound, oldName);
  if (!SameName(oldName, newName) && fields.FindField(newName))
    throw EABSException(msg::kCannotRenameField, oldName, newName);
  table.RenameField(oldName, newName);
  for (std::string& name : projectionNames_)
    if (SameName(name, oldName)) name = newName;
  LoadFieldDefs();
}

const TABSIndexDefs& TABSLocalCursor::IndexDefs() {
  TABSTableData& table = CheckedTable(10339);
  std::lock_guard lock(table.Database()->Lock());
  indexDefs_.Assign(table.IndexManager()->IndexDefs());
  return indexDefs_;
}

void TABSLocalCursor::AddIndex(const TABSIndexDef& definition) {
  TABSTableData& table = CheckedTable(10339);
  if (table.IndexManager()->IndexDefs().FindIndex(definition.Name()))
    throw EABSException(msg::kIndexAlreadyExists, definition.Name());
  table.AddIndex(definition, this);
  LoadFieldDefs();
}

void TABSLocalCursor::DeleteIndex(const std::string& name) {
  TABSTableData& table = CheckedTable(10339);
  const TABSIndexDef* definition = table.IndexManager()->IndexDefs().FindIndex(name);
  if (!definition) throw EABSException(msg::kIndexNotFoundForDelete, name);
  table.DropIndex(definition->ObjectID, this);
  LoadFieldDefs();
  SetCurrentIndexName(currentIndexName_);
}

void TABSLocalCursor::DeleteAllIndexes() {
  for (;;) {
    const TABSIndexDefs& definitions = IndexDefs();
    if (definitions.Count() == 0) break;
    DeleteIndex(definitions[0].Name());
  }
}

std::string TABSLocalCursor::MakeIndexOnFields(const std::vector<std::string>& fields,
                                               const std::vector<std::string>& orders,
                                               const std::vector<std::string>& cases) {
  TABSTableData& table = CheckedTable(10339);
  std::vector<std::string> stored;
  for (const std::string& field : fields) stored.push_back(StoredFieldName(field));
  std::vector<std::string> orderList = orders, caseList = cases;
  orderList.resize(fields.size(), "ASC");
  caseList.resize(fields.size(), "CASE");
  bool made = false;
  std::string name = table.FindOrCreateIndex(this, stored, orderList, caseList, made);
  IndexDefs();
  return name;
}

// ---- Record buffers

TABSRecordAddress TABSLocalCursor::TrailerAddress(const uint8_t* buffer, int32_t dataSize) {
  TABSRecordAddress address;
  std::memcpy(&address.PageNo, buffer + dataSize, 4);
  std::memcpy(&address.RecordNo, buffer + dataSize + 4, 2);
  return address;
}

void TABSLocalCursor::SetTrailerAddress(uint8_t* buffer, int32_t dataSize, const TABSRecordAddress& address) {
  std::memcpy(buffer + dataSize, &address.PageNo, 4);
  std::memcpy(buffer + dataSize + 4, &address.RecordNo, 2);
}

void TABSLocalCursor::SetRecordBuffer(uint8_t* buffer) {
  Navigation().RecordBuffer = buffer;
}

void TABSLocalCursor::SetEditCopy(const uint8_t* record) {
  if (record) std::memcpy(editCopy_.data(), record, editCopy_.size());
}

void TABSLocalCursor::InitRecordBuffer(uint8_t* buffer, bool applyDefaults) {
  TABSTableData& table = CheckedTable(10330);
  std::memset(buffer, 0, static_cast<size_t>(dataSize_));
  const int32_t count = fieldDefs_.Count();
  for (int32_t field = 0; field < count; ++field) SetNullFlag(buffer, field);
  if (applyDefaults) table.FieldManager()->ApplyDefaults(buffer);
  SetTrailerAddress(buffer, dataSize_, {-1, 0xFFFF});
  buffer[dataSize_ + 6] = kInserted;
}

void TABSLocalCursor::ReleaseRecordBuffer(uint8_t* buffer) {
  // A writer must not store into a buffer that is let go.
  if (buffer) ReleaseBlobs(true, false, buffer);
  if (open_ && table_ && buffer) table_->ReleaseRecordBlobs(buffer);
}

// ---- Navigation

int64_t TABSLocalCursor::RecordCount() {
  return CheckedTable(10331).CursorRecordCount(this);
}

int32_t TABSLocalCursor::GetRecord(int32_t mode) {
  TABSTableData& table = CheckedTable(10332);
  if (!RecordBuffer()) throw EABSException(msg::kNilPointer.At(10332));
  std::lock_guard lock(table.TableLock());
  try {
    const int32_t result = table.StepCursor(this, mode);
    return result == TABSNavigationRecord::kNotFound ? kError : result;
  } catch (const EABSException&) {
    if (!LockingTable()) throw;
    // A read lock that could not be had: the record cannot be read now.
    return kError;
  }
}

void TABSLocalCursor::GotoRecordNumber(int64_t number) {
  CheckedTable(10333).GotoOrdinal(this, number);
}

int64_t TABSLocalCursor::RecordNumber() {
  return CheckedTable(10334).Ordinal(this);
}

void TABSLocalCursor::GoBeforeFirst() {
  SetCurrentPosition({TABSRecordAddress{}, true, false});
}

void TABSLocalCursor::GoAfterLast() {
  SetCurrentPosition({TABSRecordAddress{}, false, true});
}

// ---- Record operations

void TABSLocalCursor::ClearResult() {
  resultCode_ = 0;
  errorText_.clear();
}

void TABSLocalCursor::Fail(int32_t code, std::string text) {
  resultCode_ = code;
  errorText_ = std::move(text);
}

bool TABSLocalCursor::ReadStored(uint8_t* target) {
  TABSCursorPositionSaver position(this);
  uint8_t* buffer = RecordBuffer();
  Navigation().RecordBuffer = target;
  int32_t result;
  try {
    result = table_->StepCursor(this, TABSNavigationRecord::kCurrent);
  } catch (...) {
    table_->ReleaseRecordBlobs(target);
    Navigation().RecordBuffer = buffer;
    throw;
  }
  table_->ReleaseRecordBlobs(target);
  Navigation().RecordBuffer = buffer;
  return result == TABSNavigationRecord::kFound;
}

bool TABSLocalCursor::StoredUnchanged(const uint8_t* copy, int32_t goneCode, int32_t modifiedCode) {
  if (!ReadStored(scratch_.data())) {
    Fail(goneCode);
    return false;
  }
  if (!RecordBuffersEqual(fieldDefs_, scratch_.data(), copy)) {
    Fail(modifiedCode);
    return false;
  }
  return true;
}

bool TABSLocalCursor::LockRecord() {
  TABSDiskTableData* disk = LockingTable();
  if (!disk) return true;
  std::lock_guard lock(disk->Database()->Lock());
  const TABSRecordAddress address = CurrentPosition().Address;
  if (!disk->DiskDatabase().TableLocks().LockRecord(session_->SessionNumber(), disk->LocksFile(),
                                                    kRecordLockRetry.intervalMs, kRecordLockRetry.attempts,
                                                    address))
    return false;
  recordLocked_ = true;
  lockedAddress_ = address;
  return true;
}

void TABSLocalCursor::UnlockRecord() {
  if (!recordLocked_) return;
  recordLocked_ = false;
  TABSDiskTableData* disk = LockingTable();
  if (!disk) return;
  std::lock_guard lock(disk->Database()->Lock());
  disk->DiskDatabase().TableLocks().UnlockRecord(session_->SessionNumber(), disk->LocksFile(),
                                                 lockedAddress_);
}

void TABSLocalCursor::ReleaseEditLocks() {
  if (!open_) return;
  UnlockRecord();
  if (editTableLocked_) {
    editTableLocked_ = false;
    UnlockTable(editTableKind_);
  }
}

template <class Step>
bool TABSLocalCursor::Guarded(Step&& step) {
  try {
    return step();
  } catch (const EABSException& error) {
    Fail(abseWriteInterrupted, TextWithoutNativeCode(error));
    return false;
  }
}

void TABSLocalCursor::BeginInsert() {
  ClearResult();
}

void TABSLocalCursor::BeginEdit() {
  ClearResult();
  TABSTableData& table = CheckedTable(10335);
  if (session_->IsTemporary()) return Fail(abseUpdateTemporary);
  if (!LockingTable()) return;
  std::lock_guard lock(table.TableLock());
  const uint8_t kind = InTransaction() ? ltTransactionWrite : ltWrite;
  if (!LockTable(kind, kChangeTableLockRetry.attempts, kChangeTableLockRetry.intervalMs))
    return Fail(abseTableLocked);
  editTableLocked_ = true;
  editTableKind_ = kind;
  if (!LockRecord()) {
    ReleaseEditLocks();
    return Fail(abseRecordLocked);
  }
  if (!Guarded([&] { return StoredUnchanged(editCopy_.data(), abseUpdateDeleted, abseUpdateModified); }))
    ReleaseEditLocks();
}

void TABSLocalCursor::Cancel(bool wasInsert) {
  ClearResult();
  TABSTableData& table = CheckedTable(10336);
  ReleaseBlobs(true, false);
  if (RecordBuffer()) table.DiscardRecordBlobs(RecordBuffer());
  if (!wasInsert) ReleaseEditLocks();
}

void TABSLocalCursor::Post(bool isInsert) {
  ClearResult();
  TABSTableData& table = CheckedTable(10337);
  uint8_t* record = RecordBuffer();
  if (!record) throw EABSException(msg::kNilPointer.At(10337));
  std::lock_guard lock(table.TableLock());
  // What the open writers hold goes into the record first.
  CloseBlobs(true);
  TABSDiskTableData* locking = LockingTable();
  const bool inTransaction = InTransaction();
  const uint8_t kind = inTransaction ? ltTransactionWrite : ltCommit;
  bool tableLocked = false;
  auto finish = [&] {
    if (!locking) return;
    if (!isInsert && resultCode_ != abseWriteInterrupted) {
      UnlockRecord();
      if (!inTransaction && editTableLocked_) {
        editTableLocked_ = false;
        UnlockTable(editTableKind_);
      }
    }
    if (tableLocked && !inTransaction) UnlockTable(kind);
  };
  if (locking) {
    if (!LockTable(kind, kPostTableLockRetry.attempts, kPostTableLockRetry.intervalMs)) {
      Fail(abseTableLocked);
      return finish();
    }
    tableLocked = true;
  }
  try {
    auto* disk = dynamic_cast<TABSDiskTableData*>(&table);
    const bool checked = Guarded([&] {
      if (isInsert) {
        if (disk) disk->PrepareForInsert(this);
        table.FieldManager()->ApplyAutoincs(session_, record);
      }
      if (!session_->IsTemporary())
        table.ConstraintManager()->Check(record, session_, CurrentPosition().Address, isInsert, true);
      return true;
    });
    if (checked) {
      if (isInsert) {
        if (Guarded([&] { return table.InsertRecord(this); })) {
          SetTrailerAddress(record, dataSize_, CurrentPosition().Address);
          record[dataSize_ + 6] = kCurrent;
        } else if (resultCode_ == 0) {
          Fail(abseAddRecord);
        }
      } else {
        Guarded([&] {
          if (!StoredUnchanged(editCopy_.data(), abseUpdateDeleted, abseUpdateModified)) return false;
          if (!table.UpdateRecord(this)) Fail(abseUpdateRecord);
          return true;
        });
      }
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

void TABSLocalCursor::Delete() {
  ClearResult();
  TABSTableData& table = CheckedTable(10338);
  uint8_t* record = RecordBuffer();
  if (!record) throw EABSException(msg::kNilPointer.At(10338));
  std::lock_guard lock(table.TableLock());
  TABSDiskTableData* locking = LockingTable();
  const bool inTransaction = InTransaction();
  const uint8_t kind = inTransaction ? ltTransactionWrite : ltCommit;
  bool tableLocked = false;
  auto finish = [&] {
    if (!locking) return;
    UnlockRecord();
    if (tableLocked && !inTransaction) UnlockTable(kind);
  };
  if (locking) {
    if (!LockTable(kind, kChangeTableLockRetry.attempts, kChangeTableLockRetry.intervalMs))
      return Fail(abseTableLocked);
    tableLocked = true;
    if (!LockRecord()) {
      Fail(abseRecordLocked);
      return finish();
    }
  }
  try {
    if (session_->IsTemporary()) {
      Fail(abseDeleteTemporary);
    } else {
      Guarded([&] {
        if (!StoredUnchanged(record, abseDeleteDeleted, abseDeleteModified)) return false;
        if (!table.DeleteRecord(this)) Fail(abseDeleteRecord);
        return true;
      });
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

// ---- Order and search

void TABSLocalCursor::SetCurrentIndexName(const std::string& name) {
  currentIndexName_ = name;
  currentIndexNumber_ = -1;
  int32_t objectId = -1;
  if (open_ && !name.empty()) {
    const int32_t count = indexDefs_.Count();
    for (int32_t index = 0; index < count; ++index) {
      if (SameName(indexDefs_[index].Name(), name)) {
        currentIndexNumber_ = index;
        objectId = indexDefs_[index].ObjectID;
        break;
      }
    }
  }
  if (Navigation().OrderIndexID != objectId) {
    Navigation().OrderIndexID = objectId;
    Navigation().Bitmap.Drop();
    Navigation().PositionCache.Clear();
  }
}

void TABSLocalCursor::OrderByFields(const std::vector<std::string>& fields,
                                    const std::vector<std::string>& orders,
                                    const std::vector<std::string>& cases) {
  const std::string name = MakeIndexOnFields(fields, orders, cases);
  SetCurrentIndexName(name);
  Navigation().DistinctKeyCount = static_cast<int32_t>(fields.size());
}

bool TABSLocalCursor::FindKey(const uint8_t* key, int32_t keyFieldCount, TABSScanOperator op) {
  TABSTableData& table = CheckedTable(10339);
  Navigation().KeyBuffer = key;
  Navigation().KeyFieldCount = keyFieldCount;
  std::lock_guard lock(table.TableLock());
  return table.FindKey(this, op);
}

void TABSLocalCursor::SetRange(const uint8_t* start, int32_t startFieldCount, bool startExclusive,
                               const uint8_t* end, int32_t endFieldCount, bool endExclusive) {
  TABSTableData& table = CheckedTable(10453);
  // The search compares keys as whole record buffers of the table.
  const size_t size = static_cast<size_t>(std::max(dataSize_, table.RecordBufferSize()));
  auto copy = [&](const uint8_t* key, std::vector<uint8_t>& target) -> const uint8_t* {
    if (!key) return nullptr;
    target.assign(size, 0);
    std::memcpy(target.data(), key, static_cast<size_t>(dataSize_));
    return target.data();
  };
  TABSCursorRange& range = Navigation().Range;
  range.Start = copy(start, rangeStart_);
  range.StartFieldCount = startFieldCount;
  range.StartExclusive = start && startExclusive;
  range.End = copy(end, rangeEnd_);
  range.EndFieldCount = endFieldCount;
  range.EndExclusive = end && endExclusive;
  Navigation().Bitmap.Drop();
  Navigation().PositionCache.Clear();
}

void TABSLocalCursor::ClearRange() {
  Navigation().Range = {};
  rangeStart_.clear();
  rangeEnd_.clear();
  Navigation().Bitmap.Drop();
  Navigation().PositionCache.Clear();
}

// ---- BLOBs

int32_t TABSLocalCursor::StoredFieldOfVisible(int32_t field, int32_t code) const {
  const auto count = static_cast<int32_t>(visibleFields_.size());
  if (field < 0 || field >= count) throw EABSException(msg::kInvalidFieldNumber.At(code), field, count);
  return visibleFields_[static_cast<size_t>(field)].StoredField;
}

template <typename Action>
auto TABSLocalCursor::OnBlobOfRecord(bool isInsert, bool isEdit, bool isBrowse, TABSBlobOpenMode mode,
                                     Action open) -> decltype(open(std::declval<TABSTableData&>())) {
  TABSTableData& table = CheckedTable(10330);
  if (!RecordBuffer()) throw EABSException(msg::kNilPointer.At(10330));
  std::lock_guard enter(table.TableLock());
  // The read lock keeps other processes from changing the record while its value is taken.
  struct ReadLock {
    TABSLocalCursor& cursor;
    bool held = false;
    ~ReadLock() {
      if (!held) return;
      try {
        cursor.UnlockTable(ltRead);
      } catch (const EABSException&) {
        // A byte left locked goes with the session's other locks at disconnect.
      }
    }
  } readLock{*this};
  if (LockingTable()) {
    if (!LockTable(ltRead, blobLockRetry_.attempts, blobLockRetry_.intervalMs)) return {};
    readLock.held = true;
  }
  if (mode == bomRead && isBrowse && !isInsert && !isEdit) {
    // A record on view may have been changed or deleted since it was read.
    if (GetRecord(kGetCurrent) != kOk) return {};
  }
  return open(table);
}

bool TABSLocalCursor::ReadBlob(bool isInsert, bool isEdit, bool isBrowse, int32_t field, std::string& value) {
  return OnBlobOfRecord(isInsert, isEdit, isBrowse, bomRead, [&](TABSTableData& table) {
    const int32_t stored = StoredFieldOfVisible(field, 10110);
    if (table.ReadBlobDirect(this, stored, value)) return true;
    std::unique_ptr<TABSBlobValueStream> inner = table.OpenBlobStream(this, true, false, stored);
    ReadWholeValue(*inner, value);
    return true;
  });
}

TABSLocalBLOBStream* TABSLocalCursor::OpenBlob(bool isInsert, bool isEdit, bool isBrowse, TABSBlobOpenMode mode,
                                               int32_t field) {
  return OnBlobOfRecord(isInsert, isEdit, isBrowse, mode, [&](TABSTableData& table) -> TABSLocalBLOBStream* {
  const int32_t stored = StoredFieldOfVisible(field, 10110);
  if (mode != bomRead) {
    for (const auto& open : blobs_) {
      if (open->FieldNo() == stored && open->Writer())
        throw EABSException(msg::kBlobFieldAlreadyOpened, stored, fieldDefs_[stored].Name());
    }
  }
  std::unique_ptr<TABSBlobValueStream> inner =
      table.OpenBlobStream(this, mode == bomRead, mode == bomWrite, stored);
  auto stream = std::make_unique<TABSLocalBLOBStream>(std::move(inner), mode, stored, RecordBuffer());
  // A write stream starts from an empty value: the truncation is a change even when nothing is written.
  if (mode == bomWrite) stream->SetSize(0);
  blobs_.push_back(std::move(stream));
  return blobs_.back().get();
  });
}

void TABSLocalCursor::CloseBlob(TABSLocalBLOBStream* stream) {
  auto found = std::find_if(blobs_.begin(), blobs_.end(), [&](const auto& open) { return open.get() == stream; });
  if (found == blobs_.end()) return;
  std::unique_ptr<TABSLocalBLOBStream> closing = std::move(*found);
  blobs_.erase(found);
  if (!closing->Writer() || !closing->Modified()) return;
  TABSTableData& table = CheckedTable(10331);
  std::lock_guard lock(table.TableLock());
  table.WriteBlobValue(closing->RecordBuffer(), closing->FieldNo(), closing->TakeValue());
}

void TABSLocalCursor::DropBlob(TABSLocalBLOBStream* stream) {
  std::erase_if(blobs_, [&](const auto& open) { return open.get() == stream; });
}

void TABSLocalCursor::ReleaseBlobs(bool writersOnly, bool store, const uint8_t* record) {
  std::exception_ptr first;
  for (size_t index = 0; index < blobs_.size();) {
    TABSLocalBLOBStream* stream = blobs_[index].get();
    if ((writersOnly && !stream->Writer()) || (record && stream->RecordBuffer() != record)) {
      ++index;
      continue;
    }
    try {
      if (store) {
        CloseBlob(stream);
      } else {
        DropBlob(stream);
      }
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TABSLocalCursor::CloseBlobs(bool writersOnly) {
  ReleaseBlobs(writersOnly, true);
}

int32_t TABSLocalCursor::OpenBlobCount(int32_t storedField) const {
  return static_cast<int32_t>(std::count_if(blobs_.begin(), blobs_.end(), [&](const auto& open) {
    return storedField < 0 || open->FieldNo() == storedField;
  }));
}

void TABSLocalCursor::GetFieldValue(int32_t field, TABSVariant& value) {
  CheckedTable(10332);
  const uint8_t* record = RecordBuffer();
  if (!record) throw EABSException(msg::kNilPointer.At(10332));
  const int32_t stored = StoredFieldOfVisible(field, 20191);
  const TABSFieldDef& definition = fieldDefs_[stored];
  const TABSFieldLayout layout{definition.DataType(), definition.BaseType(), definition.BufferOffset,
                               definition.BufferSize()};
  if (!IsBlobBaseType(layout.BaseType)) {
    value.ReadFromRecord(record, stored, layout);
    return;
  }
  if (IsNullFlagSet(record, stored)) {
    value.Clear(layout.BaseType);
    return;
  }
  TABSLocalBLOBStream* stream = OpenBlob(false, false, false, bomRead, field);
  if (!stream) throw EABSException(msg::kNilPointer.At(10332));
  std::string bytes;
  try {
    const int64_t size = stream->GetSize();
    if (size >= INT32_MAX) throw EABSException(msg::kBufferSizeExceeded.At(20191));
    bytes.resize(static_cast<size_t>(size));
    if (size > 0) ExactRead(bytes.data(), size, *stream, 20191);
  } catch (...) {
    CloseBlob(stream);
    throw;
  }
  CloseBlob(stream);
  // A BLOB payload carries a zero byte after the value, as the variant's own BLOB values do.
  if (layout.BaseType == bt::kBlob) bytes.push_back('\0');
  if (bytes.empty()) {
    value.Clear(layout.BaseType);
    return;
  }
  value.SetRaw(bytes.data(), static_cast<int32_t>(bytes.size()), layout.BaseType, TABSCopyMode::Copy);
}

void TABSLocalCursor::SetFieldValue(int32_t field, const TABSVariant& value) {
  CheckedTable(10333);
  uint8_t* record = RecordBuffer();
  if (!record) throw EABSException(msg::kNilPointer.At(10333));
  const int32_t stored = StoredFieldOfVisible(field, 20192);
  const TABSFieldDef& definition = fieldDefs_[stored];
  const TABSFieldLayout layout{definition.DataType(), definition.BaseType(), definition.BufferOffset,
                               definition.BufferSize()};
  if (value.IsNull() || !IsBlobBaseType(layout.BaseType)) {
    if (value.IsNull() && IsBlobBaseType(layout.BaseType)) {
      // The value cached for the field must not come back at the post.
      TABSLocalBLOBStream* stream = OpenBlob(false, true, false, bomWrite, field);
      if (!stream) throw EABSException(msg::kBlobWriteTableLocked, stored, definition.Name());
      CloseBlob(stream);
    }
    TABSVariant(value).WriteToRecord(record, stored, layout);
    return;
  }
  // Texts and BLOB kinds go in as they are, without the terminator of a text or the zero byte after
  // a BLOB value; other values as the field's type makes them.
  TABSVariant converted(value);
  if (!IsStringBaseType(converted.GetType()) && !IsBlobBaseType(converted.GetType()))
    converted.ConvertTo(layout.BaseType);
  int64_t size = converted.GetSize();
  const TABSBaseType type = converted.GetType();
  if (type == bt::kChar || type == bt::kString) {
    size = converted.StringLength();
  } else if (type == bt::kWideChar || type == bt::kWideString) {
    size = 2 * static_cast<int64_t>(converted.StringLength());
  } else if (type == bt::kBlob && size > 0) {
    --size;
  }
  TABSLocalBLOBStream* stream = OpenBlob(false, true, false, bomWrite, field);
  if (!stream) throw EABSException(msg::kBlobWriteTableLocked, stored, definition.Name());
  try {
    if (size > 0) ExactWrite(converted.GetData(), size, *stream, 20193);
  } catch (...) {
    DropBlob(stream);
    throw;
  }
  CloseBlob(stream);
}

int64_t TABSLocalCursor::LastAutoincValue(int32_t field) {
  return CheckedTable(10333).LastAutoincValue(field, session_);
}

void TABSLocalCursor::BeginBulkChange() {
  SetBulkChange(true);
}

void TABSLocalCursor::EndBulkChange() {
  if (!BulkChange()) return;
  SetBulkChange(false);
  TABSTableData& table = CheckedTable(10334);
  table.AfterChange(session_, InTransaction());
}

void TABSLocalCursor::CancelBulkChange() {
  if (!BulkChange()) return;
  SetBulkChange(false);
  TABSTableData& table = CheckedTable(10335);
  table.RollbackChange(session_, InTransaction());
}

void TABSLocalCursor::CheckConstraints(bool isInsert) {
  TABSTableData& table = CheckedTable(10336);
  if (!RecordBuffer()) throw EABSException(msg::kNilPointer.At(10336));
  table.ConstraintManager()->Check(RecordBuffer(), session_, CurrentPosition().Address, isInsert, true);
}

}  // namespace viz
