#include "support/disk_tables.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/tables/blob_value.h"

namespace viz::testing {

std::unique_ptr<TABSFieldDefs> MakeFields(std::initializer_list<FieldSpec> specs) {
  auto fields = std::make_unique<TABSFieldDefs>();
  for (const FieldSpec& spec : specs) {
    TABSFieldDef& field = fields->AddCreated();
    field.SetName(spec.Name);
    field.SetDataType(spec.Type, spec.Size);
    field.BlobCompressionAlgorithm = spec.Algorithm;
    field.BlobCompressionMode = spec.Mode;
    if (spec.BlockSize > 0) field.BlobBlockSize = spec.BlockSize;
  }
  return fields;
}

std::unique_ptr<TABSIndexDefs> MakeIndexes(std::initializer_list<IndexSpec> specs) {
  auto indexes = std::make_unique<TABSIndexDefs>();
  for (const IndexSpec& spec : specs) {
    auto index = std::make_unique<TABSIndexDef>();
    index->SetName(spec.Name);
    index->Unique = spec.Unique;
    for (const std::string& name : spec.Columns) {
      TABSIndexColumn column;
      column.FieldName = name;
      column.KeyLength = spec.KeyLength;
      index->Columns.push_back(column);
    }
    indexes->Add(std::move(index));
  }
  return indexes;
}

void CreateLyricTable(TABSDiskTableData& table, TABSBaseSession& session, uint8_t blobAlgorithm) {
  TableCursor cursor(table, session, false);
  table.CreateTable(
      &cursor,
      *MakeFields({{"Id", dt::kInteger},
                   {"Name", dt::kString, 30},
                   {"Score", dt::kInteger},
                   {"Notes", dt::kMemo, 0, blobAlgorithm, blobAlgorithm ? uint8_t{1} : uint8_t{0}, 1000}}),
      *MakeIndexes({{"byId", {"Id"}, true}, {"byName", {"Name"}}}), {});
}

// ---- TableCursor

TableCursor::TableCursor(TABSTableData& table, TABSBaseSession& session, bool open, bool exclusive)
    : table_(table) {
  SetTableName(table.TableName());
  SetSession(&session);
  SetExclusive(exclusive);
  if (open) Open();
}

TableCursor::~TableCursor() {
  if (open_) Close();
}

void TableCursor::Open() {
  table_.OpenTable(this);
  open_ = true;
  buffer_.assign(static_cast<size_t>(table_.RecordBufferSize()), 0);
  Navigation().RecordBuffer = buffer_.data();
  SetCurrentPosition({});
}

void TableCursor::Close() {
  if (!open_) return;
  if (auto* disk = dynamic_cast<TABSDiskTableData*>(&table_)) disk->DiscardRecordBlobs(buffer_.data());
  open_ = false;
  table_.CloseTable(this);
}

const TABSFieldDef& TableCursor::Field(int32_t field) const {
  return table_.FieldManager()->FieldDefs()[field];
}

void TableCursor::Clear() {
  if (auto* disk = dynamic_cast<TABSDiskTableData*>(&table_)) disk->DiscardRecordBlobs(buffer_.data());
  std::fill(buffer_.begin(), buffer_.end(), 0);
  const int32_t count = table_.FieldManager()->FieldDefs().Count();
  for (int32_t field = 0; field < count; ++field) SetNullFlag(buffer_.data(), field);
  SetCurrentPosition({});
}

void TableCursor::SetInt(int32_t field, int32_t value) {
  std::memcpy(buffer_.data() + Field(field).BufferOffset, &value, 4);
  ClearNullFlag(buffer_.data(), field);
}

void TableCursor::SetText(int32_t field, std::string_view text) {
  const TABSFieldDef& definition = Field(field);
  uint8_t* at = buffer_.data() + definition.BufferOffset;
  std::memset(at, 0, static_cast<size_t>(definition.BufferSize()));
  std::memcpy(at, text.data(),
              std::min<size_t>(text.size(), static_cast<size_t>(definition.BufferSize() - 1)));
  if (text.empty())
    SetNullFlag(buffer_.data(), field);
  else
    ClearNullFlag(buffer_.data(), field);
}

void TableCursor::SetNull(int32_t field) {
  SetNullFlag(buffer_.data(), field);
}

void TableCursor::SetBlob(int32_t field, const std::string& bytes) {
  std::unique_ptr<TABSBlobValueStream> stream = table_.OpenBlobStream(this, false, true, field);
  stream->SetSize(0);
  if (!bytes.empty()) {
    EXPECT_EQ(stream->Write(bytes.data(), static_cast<int64_t>(bytes.size())),
              static_cast<int64_t>(bytes.size()));
  }
  table_.WriteBlobValue(buffer_.data(), field, stream->TakeValue());
}

int32_t TableCursor::Int(int32_t field) const {
  int32_t value = 0;
  std::memcpy(&value, buffer_.data() + Field(field).BufferOffset, 4);
  return value;
}

std::string TableCursor::Text(int32_t field) const {
  if (IsNull(field)) return {};
  return std::string(reinterpret_cast<const char*>(buffer_.data() + Field(field).BufferOffset));
}

bool TableCursor::IsNull(int32_t field) const {
  return IsNullFlagSet(buffer_.data(), field);
}

std::string TableCursor::Blob(int32_t field) {
  std::unique_ptr<TABSBlobValueStream> stream = table_.OpenBlobStream(this, true, false, field);
  std::string bytes(static_cast<size_t>(stream->GetSize()), '\0');
  if (!bytes.empty()) {
    EXPECT_EQ(stream->Read(bytes.data(), static_cast<int64_t>(bytes.size())),
              static_cast<int64_t>(bytes.size()));
  }
  return bytes;
}

bool TableCursor::Insert() {
  if (auto* disk = dynamic_cast<TABSDiskTableData*>(&table_)) disk->PrepareForInsert(this);
  table_.FieldManager()->ApplyAutoincs(Session(), buffer_.data());
  return table_.InsertRecord(this);
}

bool TableCursor::Update() {
  return table_.UpdateRecord(this);
}

bool TableCursor::Delete() {
  return table_.DeleteRecord(this);
}

bool TableCursor::First() {
  SetCurrentPosition({});
  return Next();
}

bool TableCursor::Last() {
  TABSCursor::Position position;
  position.BeforeFirst = false;
  position.AfterLast = true;
  SetCurrentPosition(position);
  return Prior();
}

bool TableCursor::Next() {
  return table_.StepCursor(this, TABSNavigationRecord::kNext) == TABSNavigationRecord::kFound;
}

bool TableCursor::Prior() {
  return table_.StepCursor(this, TABSNavigationRecord::kPrior) == TABSNavigationRecord::kFound;
}

bool TableCursor::Go(const TABSRecordAddress& address) {
  SetCurrentPosition({address, false, false});
  return table_.StepCursor(this, TABSNavigationRecord::kCurrent) == TABSNavigationRecord::kFound;
}

// ---- TestDatabase

TestDatabase::TestDatabase(const std::string& folder, const TestDiskDatabaseOptions& options, bool create)
    : path_(folder + "/" + options.FileName), options_(options) {
  database_ = create ? NewDiskDatabase(folder, options) : OpenDiskDatabase(path_, options);
  Session(0);
}

TestDatabase::~TestDatabase() {
  Disconnect();
}

TABSBaseSession& TestDatabase::Session(size_t index) {
  while (sessions_.size() <= index) {
    auto session = std::make_unique<TABSBaseSession>();
    ConnectDiskSession(*database_, *session, options_);
    sessions_.push_back(std::move(session));
  }
  return *sessions_[index];
}

void TestDatabase::Disconnect() {
  while (!sessions_.empty()) {
    database_->DisconnectSession(sessions_.back().get());
    sessions_.pop_back();
  }
}

}  // namespace viz::testing
