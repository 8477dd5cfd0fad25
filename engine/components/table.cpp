#include "engine/components/table.h"

#include "engine/components/database.h"
#include "engine/components/engine_manager.h"
#include "engine/components/local_session.h"
#include "engine/components/session.h"
#include "engine/platform/text.h"
#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"
#include "framework/data/exceptions.h"
#include "framework/data/text_values.h"

namespace viz {

TABSTable::TABSTable(TABSComponentOwner* owner)
    : TABSDataSet(owner), masterLink_(std::make_unique<TMasterDataLink>(this)) {
  masterLink_->OnMasterChange = [this] { MasterChanged(); };
  masterLink_->OnMasterDisable = [this] { MasterDisabled(); };
}

TABSTable::~TABSTable() {
  try {
    Close();
  } catch (const Exception&) {
    // A destructor cannot report; the cursor is gone all the same.
  }
}

void TABSTable::SetTableName(const std::string& name) {
  CheckInactive();
  tableName_ = name;
}

void TABSTable::SetExclusive(bool value) {
  CheckInactive();
  exclusive_ = value;
}

void TABSTable::SetIndexName(const std::string& name) {
  indexText_ = name;
  byFieldNames_ = false;
  if (Active()) ApplyIndex();
}

void TABSTable::SetIndexFieldNames(const std::string& names) {
  indexText_ = names;
  byFieldNames_ = !names.empty();
  if (Active()) ApplyIndex();
}

std::string TABSTable::SelectedIndexName() const {
  if (indexText_.empty()) return {};
  if (!byFieldNames_) return indexText_;
  return indexDefs_.FindIndexForFields(indexText_).Name;
}

void TABSTable::OrderByFields(const std::vector<std::string>& fields, const std::vector<std::string>& orders,
                              const std::vector<std::string>& cases) {
  TABSLocalCursor& cursor = CheckedCursor(10360);
  cursor.OrderByFields(fields, orders, cases);
  SetIndexName(cursor.CurrentIndexName());
}

bool TABSTable::Exists() {
  if (Active()) return true;
  TABSSession* session = TABSEngineManager::Instance().FindSession(SessionName());
  if (!session) throw EABSException(msg::kInvalidSessionName, SessionName());
  TABSDatabase& database = session->OpenDatabase(DatabaseName(), Owner());
  bool exists = false;
  try {
    exists = database.HasTable(TrimBlanks(tableName_));
  } catch (...) {
    session->CloseDatabase(database);
    throw;
  }
  session->CloseDatabase(database);
  return exists;
}

std::unique_ptr<TABSLocalCursor> TABSTable::CreateHandle(TABSDatabase& database) {
  if (TrimBlanks(tableName_).empty()) Error(msg::kMissingTableName);
  auto cursor = std::make_unique<TABSLocalCursor>(database.EngineSession());
  cursor->SetTableName(TrimBlanks(tableName_));
  cursor->SetExclusive(exclusive_);
  cursor->SetReadOnly(ReadOnly() || database.ReadOnly());
  cursor->SetInMemory(InMemory());
  cursor->SetDisableTempFiles(InMemory() || database.DisableTempFiles());
  cursor->OpenTable();
  return cursor;
}

void TABSTable::ReadIndexDefs() {
  indexDefs_.Clear();
  const TABSIndexDefs& definitions = Cursor()->IndexDefs();
  for (int32_t index = 0; index < definitions.Count(); ++index) {
    const TABSIndexDef& definition = definitions[index];
    if (definition.IsTemporary()) continue;
    std::string fields, descending, caseInsensitive;
    for (const TABSIndexColumn& column : definition.Columns) {
      auto append = [&](std::string& list) { list += (list.empty() ? "" : ";") + column.FieldName; };
      append(fields);
      if (column.Descending) append(descending);
      if (column.CaseInsensitive) append(caseInsensitive);
    }
    TIndexOptions options = 0;
    if (definition.Primary) options |= ixPrimary;
    if (definition.Unique) options |= ixUnique;
    TIndexDef& added = indexDefs_.Add(definition.Name(), fields, options);
    added.DescFields = descending;
    added.CaseInsFields = caseInsensitive;
  }
}

void TABSTable::AfterCursorOpen() {
  ReadIndexDefs();
  const std::string name = SelectedIndexName();
  Cursor()->SetCurrentIndexName(name);
  if (!name.empty() && Cursor()->CurrentIndexNumber() < 0) throw EABSException(msg::kCannotFindIndex, name);
  indexFields_.clear();
  indexColumns_.clear();
  if (Cursor()->CurrentIndexNumber() >= 0) {
    for (const TABSIndexColumn& column :
         Cursor()->CachedIndexDefs()[Cursor()->CurrentIndexNumber()].Columns) {
      indexColumns_.push_back(column.FieldName);
      if (const TField* field = FindField(column.FieldName)) indexFields_.push_back(field->FieldNo());
    }
  }
  ResetKeys();
}

void TABSTable::ApplyIndex() {
  CheckBrowseMode();
  UpdateCursorPos();
  // The keys and the range were those of the old index; a master's range is rebuilt on the new one.
  AfterCursorOpen();
  Resync(false, false);
}

}  // namespace viz
