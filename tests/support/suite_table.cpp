#include "support/suite_table.h"

#include <dirent.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "engine/storage/memory/VIZMemEngine.h"
#include "engine/types/errors.h"

namespace viz::testing {

namespace {

class MemoryBackend : public TableBackend {
 public:
  MemoryBackend() { database_.ConnectSession(&session_); }
  ~MemoryBackend() override { database_.DisconnectSession(&session_); }
  TABSDatabaseData& Database() override { return database_; }
  TABSBaseSession& Session() override { return session_; }
  bool Editable() const override { return true; }
  bool ChecksConstraints() const override { return true; }

 private:
  TABSMemoryDatabaseData database_;
  TABSBaseSession session_;
};

class TemporaryBackend : public TableBackend {
 public:
  TemporaryBackend(bool noTemporaryFiles, int64_t availableMemory) : noTemporaryFiles_(noTemporaryFiles) {
    database_.ConnectSession(&session_);
    database_.SetAvailableMemory(availableMemory);
  }
  ~TemporaryBackend() override { database_.DisconnectSession(&session_); }
  TABSDatabaseData& Database() override { return database_; }
  TABSBaseSession& Session() override { return session_; }
  bool Editable() const override { return false; }
  bool ChecksConstraints() const override { return false; }
  void PrepareCursor(TABSCursor& cursor) override { cursor.SetDisableTempFiles(noTemporaryFiles_); }

 private:
  bool noTemporaryFiles_;
  TABSTemporaryDatabaseData database_;
  TABSBaseSession session_;
};

}  // namespace

std::map<std::string, TableBackendFactory>& TableBackends() {
  static std::map<std::string, TableBackendFactory> backends = {
      {"memory", [] { return std::make_unique<MemoryBackend>(); }},
      // Small memory parts make the tables of the suite spill to their files.
      {"temporary", [] { return NewTemporaryBackend(false, 400000); }},
      {"temporary_in_memory", [] { return NewTemporaryBackend(true, 400000); }},
  };
  return backends;
}

std::unique_ptr<TableBackend> NewTemporaryBackend(bool noTemporaryFiles, int64_t availableMemory) {
  return std::make_unique<TemporaryBackend>(noTemporaryFiles, availableMemory);
}

std::vector<std::string> TableBackendNames() {
  std::vector<std::string> names;
  for (const auto& entry : TableBackends()) names.push_back(entry.first);
  return names;
}

SuiteTable::SuiteTable(TableBackend& backend, const std::string& name) : backend_(backend) {
  cursor_.SetTableName(name);
  cursor_.SetSession(&backend.Session());
  backend.PrepareCursor(cursor_);
  table_ = backend.Database().FindOrCreateTableData(&cursor_);
}

SuiteTable::~SuiteTable() {
  Close();
}

void SuiteTable::Close() {
  if (!open_) return;
  open_ = false;
  table_->DiscardRecordBlobs(cursor_.Record.data());
  table_->CloseTable(&cursor_);
}

TABSFieldDef& SuiteTable::AddField(const std::string& name, TABSDataType type, int32_t size) {
  TABSFieldDef& field = fields_.AddCreated();
  field.SetName(name);
  field.SetDataType(type, size);
  return field;
}

TABSIndexDef& SuiteTable::AddIndexDef(const std::string& name, const std::vector<SuiteColumn>& columns,
                                      bool unique, bool primary) {
  TABSIndexDef& index = indexes_.AddCreated();
  index.SetName(name);
  index.Unique = unique;
  index.Primary = primary;
  for (const SuiteColumn& column : columns)
    index.Columns.push_back({column.Field, column.Descending, column.CaseInsensitive, column.KeyLength});
  return index;
}

void SuiteTable::Create() {
  TABSConstraintDefs constraints;
  constraints.Assign(constraints_);
  for (int32_t i = 0; i < indexes_.Count(); ++i)
    if (auto constraint = TABSBaseConstraintManager::ConstraintForIndex(indexes_[i]))
      constraints.Add(std::move(constraint));
  table_->CreateTable(&cursor_, fields_, indexes_, constraints);
  table_->OpenTable(&cursor_);
  open_ = true;
  cursor_.Record.assign(static_cast<size_t>(table_->RecordBufferSize()), 0);
  cursor_.Navigation().RecordBuffer = cursor_.Record.data();
}

void SuiteTable::New() {
  table_->DiscardRecordBlobs(cursor_.Record.data());
  std::fill(cursor_.Record.begin(), cursor_.Record.end(), 0);
  const int32_t count = table_->FieldManager()->FieldDefs().Count();
  for (int32_t i = 0; i < count; ++i) SetNullFlag(cursor_.Record.data(), i);
  table_->FieldManager()->ApplyDefaults(cursor_.Record.data());
  cursor_.SetCurrentPosition({});
}

void SuiteTable::SetInt(int32_t field, int32_t value) {
  const TABSFieldDef& def = table_->FieldManager()->FieldDefs()[field];
  std::memcpy(&cursor_.Record[static_cast<size_t>(def.BufferOffset)], &value, sizeof value);
  ClearNullFlag(cursor_.Record.data(), field);
}

void SuiteTable::SetText(int32_t field, const std::string& value) {
  const TABSFieldDef& def = table_->FieldManager()->FieldDefs()[field];
  uint8_t* bytes = &cursor_.Record[static_cast<size_t>(def.BufferOffset)];
  std::memset(bytes, 0, static_cast<size_t>(def.BufferSize()));
  std::memcpy(bytes, value.data(), std::min<size_t>(value.size(), static_cast<size_t>(def.BufferSize() - 1)));
  if (value.empty())
    SetNullFlag(cursor_.Record.data(), field);
  else
    ClearNullFlag(cursor_.Record.data(), field);
}

void SuiteTable::SetNull(int32_t field) {
  SetNullFlag(cursor_.Record.data(), field);
}

void SuiteTable::SetBlob(int32_t field, const std::string& value) {
  std::unique_ptr<TABSBlobValueStream> stream = table_->OpenBlobStream(&cursor_, false, true, field);
  if (!value.empty()) ExactWrite(value.data(), static_cast<int64_t>(value.size()), *stream, 1);
  table_->WriteBlobValue(cursor_.Record.data(), field, stream->TakeValue());
}

int32_t SuiteTable::Int(int32_t field) const {
  const TABSFieldDef& def = table_->FieldManager()->FieldDefs()[field];
  int32_t value;
  std::memcpy(&value, &cursor_.Record[static_cast<size_t>(def.BufferOffset)], sizeof value);
  return value;
}

std::string SuiteTable::Text(int32_t field) const {
  const TABSFieldDef& def = table_->FieldManager()->FieldDefs()[field];
  const char* bytes = reinterpret_cast<const char*>(&cursor_.Record[static_cast<size_t>(def.BufferOffset)]);
  return std::string(bytes, strnlen(bytes, static_cast<size_t>(def.BufferSize())));
}

bool SuiteTable::IsNull(int32_t field) const {
  return IsNullFlagSet(cursor_.Record.data(), field);
}

std::string SuiteTable::Blob(int32_t field) {
  std::unique_ptr<TABSBlobValueStream> stream = table_->OpenBlobStream(&cursor_, true, false, field);
  std::string value(static_cast<size_t>(stream->Size()), '\0');
  if (!value.empty()) ExactRead(value.data(), static_cast<int64_t>(value.size()), *stream, 1);
  return value;
}

bool SuiteTable::Post() {
  std::lock_guard lock(table_->Database()->Lock());
  backend_.PrepareInsert(*table_, cursor_);
  table_->FieldManager()->ApplyAutoincs(&backend_.Session(), cursor_.Record.data());
  if (backend_.ChecksConstraints())
    table_->ConstraintManager()->Check(cursor_.Record.data(), &backend_.Session(), {}, true, true);
  return table_->InsertRecord(&cursor_);
}

bool SuiteTable::Update() {
  std::lock_guard lock(table_->Database()->Lock());
  if (backend_.ChecksConstraints())
    table_->ConstraintManager()->Check(cursor_.Record.data(), &backend_.Session(),
                                       cursor_.CurrentPosition().Address, false, true);
  return table_->UpdateRecord(&cursor_);
}

bool SuiteTable::Delete() {
  return table_->DeleteRecord(&cursor_);
}

void SuiteTable::Empty() {
  Close();
  TABSCursor work;
  work.SetTableName(table_->TableName());
  work.SetSession(&backend_.Session());
  backend_.PrepareCursor(work);
  table_->EmptyTable(&work);
  table_->OpenTable(&cursor_);
  open_ = true;
  cursor_.SetCurrentPosition({});
}

int32_t SuiteTable::IndexID(const std::string& name) const {
  const TABSIndexDef* index = table_->IndexManager()->IndexDefs().FindIndex(name);
  if (!index) throw std::runtime_error("no index " + name);
  return index->ObjectID;
}

void SuiteTable::UseIndex(const std::string& name) {
  cursor_.Navigation().OrderIndexID = IndexID(name);
  cursor_.SetCurrentPosition({});
}

void SuiteTable::UseStorageOrder() {
  cursor_.Navigation().OrderIndexID = -1;
  cursor_.SetCurrentPosition({});
}

bool SuiteTable::First() {
  cursor_.SetCurrentPosition({});
  return Next();
}

bool SuiteTable::Last() {
  TABSCursor::Position end;
  end.BeforeFirst = false;
  end.AfterLast = true;
  cursor_.SetCurrentPosition(end);
  return Prior();
}

bool SuiteTable::Next() {
  return table_->StepCursor(&cursor_, TABSNavigationRecord::kNext) == TABSNavigationRecord::kFound;
}

bool SuiteTable::Prior() {
  return table_->StepCursor(&cursor_, TABSNavigationRecord::kPrior) == TABSNavigationRecord::kFound;
}

std::vector<std::string> SuiteTable::Column(int32_t field) {
  const TABSFieldDef& def = table_->FieldManager()->FieldDefs()[field];
  std::vector<std::string> values;
  for (bool found = First(); found; found = Next()) {
    if (IsNull(field))
      values.push_back("<null>");
    else if (IsBlobBaseType(def.BaseType()))
      values.push_back(Blob(field));
    else if (IsStringBaseType(def.BaseType()))
      values.push_back(Text(field));
    else
      values.push_back(std::to_string(Int(field)));
  }
  return values;
}

void SuiteTable::Drop() {
  if (!table_) return;
  Close();
  TABSTableData* table = table_;
  table_ = nullptr;
  table->DeleteTable(&backend_.Session(), false);
}

std::string SuiteTable::CheckIndexes() {
  std::string problems;
  TABSIndexDefs& indexes = table_->IndexManager()->IndexDefs();
  for (int32_t i = 0; i < indexes.Count(); ++i) {
    auto& index = static_cast<TABSBTreeRecordIndex&>(table_->IndexManager()->GetIndex(indexes[i].ObjectID));
    const TABSBTreeCheckReport report = index.Check(backend_.Session().SessionNumber());
    if (report.Entries != table_->RecordCount(&cursor_))
      problems += indexes[i].Name() + ": " + std::to_string(report.Entries) + " entries\n";
    if (!report.Sound()) problems += indexes[i].Name() + ": " + report.Text();
  }
  return problems;
}

std::string EngineMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const EABSException& e) {
    return e.Message();
  }
  return "no error";
}

int OpenTemporaryFiles() {
  int count = 0;
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return -1;
  while (dirent* entry = readdir(fds)) {
    char target[4096];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    const char* base = std::strrchr(target, '/');
    if (base && std::strncmp(base + 1, "VIZ", 3) == 0) ++count;
  }
  closedir(fds);
  return count;
}

}  // namespace viz::testing
