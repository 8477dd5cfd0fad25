#include <algorithm>

#include "engine/platform/random.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
constexpr int32_t kCatalogueSession = -2;

int32_t SessionNumberOf(const TABSCursor* cursor) {
  return cursor && cursor->Session() ? cursor->Session()->SessionNumber() : kCatalogueSession;
}
}  // namespace

TABSTableData::TABSTableData(TABSDatabaseData* database, std::string_view tableName)
    : database_(database), tableName_(tableName) {
  std::lock_guard lock(database_->Lock());
  database_->tables_.push_back(this);
}

TABSTableData::~TABSTableData() {
  std::lock_guard lock(database_->Lock());
  auto& tables = database_->tables_;
  tables.erase(std::remove(tables.begin(), tables.end(), this), tables.end());
}

TABSBaseFieldManager& TABSTableData::Fields() const {
  if (!fieldManager_) throw EABSException(msg::kNilPointer);
  return *fieldManager_;
}

TABSBaseIndexManager& TABSTableData::Indexes() const {
  if (!indexManager_) throw EABSException(msg::kNilPointer);
  return *indexManager_;
}

TABSBaseConstraintManager& TABSTableData::Constraints() const {
  if (!constraintManager_) throw EABSException(msg::kNilPointer);
  return *constraintManager_;
}

void TABSTableData::SetFieldDefs(const TABSFieldDefs& definitions) {
  std::lock_guard lock(database_->Lock());
  TABSFieldDefs numbered;
  for (int32_t i = 0; i < definitions.Count(); ++i) {
    auto copy = definitions[i].Clone();
    copy->ObjectID = database_->NextObjectID();
    numbered.Add(std::move(copy));
  }
  TABSBaseFieldManager& fields = Fields();
  fields.FieldDefs().Assign(numbered);
  fields.FieldDefs().ComputeOffsets();
  fields.ResetAutoincs();
}

void TABSTableData::SetIndexDefs(const TABSIndexDefs& definitions) {
  std::lock_guard lock(database_->Lock());
  TABSIndexDefs numbered;
  for (int32_t i = 0; i < definitions.Count(); ++i) {
    auto copy = definitions[i].Clone();
    copy->ObjectID = database_->NextObjectID();
    numbered.Add(std::move(copy));
  }
  Indexes().Assign(numbered);
}

void TABSTableData::SetConstraintDefs(const TABSConstraintDefs& definitions) {
  std::lock_guard lock(database_->Lock());
  Constraints().Install(definitions);
}

void TABSTableData::GetRecordLayout(TABSRecordLayout& layout) {
  std::lock_guard lock(database_->Lock());
  const TABSFieldDefs& fields = Fields().FieldDefs();
  layout.FieldDataOffset = fields.Count() > 0 ? fields[0].BufferOffset : 0;
  layout.RecordBufferSize = fields.Count() > 0 ? fields.RecordBufferSize() : 0;
}

void TABSTableData::AfterChange(TABSBaseSession* session, bool inTransaction) {
  std::lock_guard lock(database_->Lock());
  if (!inTransaction) database_->CommitPages(session->SessionNumber(), false);
}

void TABSTableData::RollbackChange(TABSBaseSession* session, bool inTransaction) {
  std::lock_guard lock(database_->Lock());
  if (!inTransaction) database_->RollbackPages(session->SessionNumber());
}

void TABSTableData::DeleteTable(TABSBaseSession* /*session*/, bool forced) {
  std::lock_guard lock(database_->Lock());
  if (!forced && !cursors_.empty()) throw EABSException(msg::kCannotDeleteOpenTable, tableName_);
}

void TABSTableData::EmptyTable(TABSCursor* cursor) {
  std::lock_guard lock(database_->Lock());
  Fields().ResetAutoincs();
  Indexes().EmptyIndexes(SessionNumberOf(cursor));
}

void TABSTableData::RenameTable(std::string_view newName, TABSCursor* /*cursor*/) {
  std::lock_guard lock(database_->Lock());
  if (!cursors_.empty()) throw EABSException(msg::kCannotRenameOpenTable, tableName_);
  tableName_ = std::string(newName);
}

void TABSTableData::RegisterCursor(TABSCursor* cursor) {
  std::lock_guard lock(database_->Lock());
  cursors_.push_back(cursor);
}

void TABSTableData::UnregisterCursor(TABSCursor* cursor) {
  std::lock_guard lock(database_->Lock());
  cursors_.erase(std::remove(cursors_.begin(), cursors_.end(), cursor), cursors_.end());
}

void TABSTableData::RenameField(std::string_view oldName, std::string_view newName) {
  std::lock_guard lock(database_->Lock());
  TABSFieldDefs& fields = Fields().FieldDefs();
  const int32_t position = fields.IndexOfName(oldName);
  if (position < 0) throw EABSException(msg::kFieldNotFound.At(30343), oldName);
  // Changing only the case of the field's own name is allowed; any other field of that name is not.
  const int32_t existing = fields.IndexOfName(newName);
  if (existing >= 0 && existing != position)
    throw EABSException(msg::kCannotRenameField.At(30344), oldName, newName);
  const std::string previous = fields[position].Name();
  fields[position].SetName(newName);
  const std::string& renamed = fields[position].Name();
  TABSIndexDefs& indexes = Indexes().IndexDefs();
  for (int32_t i = 0; i < indexes.Count(); ++i)
    for (TABSIndexColumn& column : indexes[i].Columns)
      if (SameName(column.FieldName, previous)) column.FieldName = renamed;
  if (constraintManager_) {
    TABSConstraintDefs& constraints = constraintManager_->ConstraintDefs();
    for (int32_t i = 0; i < constraints.Count(); ++i) {
      TABSConstraintDef& constraint = constraints[i];
      const bool onField =
          constraint.Kind() == TABSConstraintKind::NotNull || constraint.Kind() == TABSConstraintKind::Check;
      if (onField && SameName(constraint.TargetName, previous)) constraint.TargetName = renamed;
      if (!onField)
        for (TABSConstraintColumn& column : static_cast<TABSConstraintDefUnique&>(constraint).Columns)
          if (SameName(column.FieldName, previous)) column.FieldName = renamed;
    }
  }
}

void TABSTableData::AddIndex(const TABSIndexDef& definition, TABSCursor* cursor) {
  std::lock_guard lock(database_->Lock());
  TABSCursorPositionSaver position(cursor);
  TABSIndexDef& added = Indexes().AddIndex(definition, cursor);
  if (added.IsTemporary() || (cursor && cursor->CreatingTable())) return;
  Constraints().AddIndexConstraint(added);
}

void TABSTableData::DropIndex(int32_t indexObjectId, TABSCursor* cursor) {
  std::lock_guard lock(database_->Lock());
  const TABSIndexDef* definition = Indexes().IndexDefs().FindIndexByObjectID(indexObjectId);
  if (!definition) throw EABSException(msg::kIndexNotFound);
  if (!definition->IsTemporary() && !(cursor && cursor->CreatingTable()))
    Constraints().DeleteIndexConstraint(indexObjectId);
  Indexes().DropIndex(indexObjectId, cursor);
}

std::string TABSTableData::FindOrCreateIndex(TABSCursor* cursor, const std::vector<std::string>& columns,
                                             const std::vector<std::string>& orders,
                                             const std::vector<std::string>& cases, bool& made) {
  if (columns.size() != orders.size())
    throw EABSException(msg::kDifferentListsLength.At(10276), static_cast<int32_t>(columns.size()),
                        static_cast<int32_t>(orders.size()));
  if (columns.size() != cases.size())
    throw EABSException(msg::kDifferentListsLength.At(10277), static_cast<int32_t>(columns.size()),
                        static_cast<int32_t>(cases.size()));
  std::lock_guard lock(database_->Lock());
  TABSCursorPositionSaver position(cursor);
  TABSBaseSession* session = cursor ? cursor->Session() : nullptr;
  const int32_t sessionNumber = SessionNumberOf(cursor);
  try {
    const TABSFieldDefs& fields = Fields().FieldDefs();
    TABSIndexDefs& indexes = Indexes().IndexDefs();
    int32_t objectId = -1;
    for (int32_t i = 0; i < indexes.Count() && objectId < 0; ++i) {
      const TABSIndexDef& index = indexes[i];
      if (index.Columns.size() < columns.size()) continue;
      if (index.IsTemporary() && index.OwnerSession != sessionNumber) continue;
      bool fits = true;
      for (size_t c = 0; c < columns.size() && fits; ++c) {
        const TABSIndexColumn& column = index.Columns[c];
        const bool descending = UpperName(orders[c]) == "DESC";
        const bool noCase = UpperName(cases[c]) == "NO_CASE";
        const TABSFieldDef* field = fields.FindField(columns[c]);
        const bool isString = field && IsStringBaseType(field->BaseType());
        fits = SameName(column.FieldName, columns[c]) && column.Descending == descending &&
               (!isString || noCase || !column.CaseInsensitive) && (!noCase || column.CaseInsensitive);
      }
      if (fits) objectId = index.ObjectID;
    }
    made = objectId < 0;
    if (made) {
      TABSIndexDef temporary;
      do {
        temporary.SetName("TEMPORARY_INDEX_" + std::to_string(platform::Random(1000000)));
      } while (indexes.IndexOfName(temporary.Name()) >= 0);
      temporary.Temporary = TABSIndexDef::kTemporary;
      temporary.OwnerSession = sessionNumber;
      temporary.ChangeCounter = recordManager_ ? recordManager_->StateCounter : 0;
      for (size_t c = 0; c < columns.size(); ++c) {
        TABSIndexColumn column;
        column.FieldName = columns[c];
        column.Descending = UpperName(orders[c]) == "DESC";
        column.CaseInsensitive = UpperName(cases[c]) == "NO_CASE";
        column.KeyLength = TABSIndexColumn::kTemporaryKeyLength;
        temporary.Columns.push_back(std::move(column));
      }
      objectId = Indexes().AddIndex(temporary, cursor).ObjectID;
    }
    const TABSIndexDef* result = indexes.FindIndexByObjectID(objectId);
    if (!result) throw EABSException(msg::kCannotFindIndexById, objectId);
    std::string name = result->Name();
    if (session) AfterChange(session, session->InTransaction());
    return name;
  } catch (...) {
    if (session) RollbackChange(session, session->InTransaction());
    throw;
  }
}

void TABSTableData::ReadBlobValue(TABSCursor* /*cursor*/, int32_t /*field*/, TABSBlobValue& /*result*/) {
  throw EABSException(msg::kMethodNotOverridden, "ReadBlobValue", "TABSTableData");
}

std::unique_ptr<TABSBlobValueStream> TABSTableData::OpenBlobStream(TABSCursor* /*cursor*/, bool /*readOnly*/,
                                                                   bool /*modify*/, int32_t /*field*/) {
  throw EABSException(msg::kMethodNotOverridden, "OpenBlobStream", "TABSTableData");
}

void TABSTableData::WriteBlobValue(uint8_t* /*record*/, int32_t /*field*/, TABSBlobValue /*value*/) {
  throw EABSException(msg::kMethodNotOverridden, "WriteBlobValue", "TABSTableData");
}

void TABSTableData::ReleaseAllBlobs(uint8_t* record) {
  if (!CheckBlobBlockSize()) return;
  const TABSFieldDefs& fields = Fields().FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i)
    if (IsBlobBaseType(fields[i].BaseType())) ReleaseFieldBlob(record, i);
}

int64_t TABSTableData::LastAutoincValue(int32_t field, TABSBaseSession* session) {
  std::lock_guard lock(database_->Lock());
  return Fields().GetLastAutoincValue(session, field);
}

void TABSTableData::SessionRolledBack(TABSBaseSession* session) {
  std::lock_guard lock(database_->Lock());
  for (TABSCursor* cursor : cursors_)
    if (cursor->Session() == session) RefreshTemporaryIndexes(cursor);
}

void TABSTableData::RefreshTemporaryIndexes(TABSCursor* cursor) {
  std::lock_guard lock(database_->Lock());
  if (!recordManager_) throw EABSException(msg::kNilPointer);
  Indexes().RefreshTemporaryIndexes(cursor, recordManager_->StateCounter);
}

bool TABSTableData::CheckBlobBlockSize() const {
  std::lock_guard lock(database_->Lock());
  const TABSFieldDefs& fields = Fields().FieldDefs();
  for (int32_t i = 0; i < fields.Count(); ++i) {
    if (!IsBlobBaseType(fields[i].BaseType())) continue;
    if (fields[i].BlobBlockSize <= 0) throw EABSException(msg::kBlobBlockSizeNotPositive, fields[i].Name());
    return true;
  }
  return false;
}

int32_t TABSTableData::RecordBufferSize() const {
  std::lock_guard lock(database_->Lock());
  const TABSFieldDefs& fields = Fields().FieldDefs();
  if (fields.Count() == 0) throw EABSException(msg::kNoFieldsSpecified);
  return fields.RecordBufferSize();
}

}  // namespace viz
