#include "engine/tables/index_manager.h"

#include <algorithm>

#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/base_session.h"
#include "engine/tables/btree/record_index.h"
#include "engine/tables/table_cursor.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
constexpr int32_t kCatalogueSession = -2;

int32_t SessionOf(const TABSCursor* cursor) {
  return cursor && cursor->Session() ? cursor->Session()->SessionNumber() : kCatalogueSession;
}
}  // namespace

void TABSIndex::Rebuild(TABSCursor* cursor) {
  Drop(SessionOf(cursor));
  Create(cursor, definition_);
}

TABSBaseIndexManager::TABSBaseIndexManager(TABSTableData* table, TABSPageManager* pageManager,
                                           TABSPageManager* temporaryPageManager)
    : table_(table), pageManager_(pageManager), temporaryPageManager_(temporaryPageManager) {}

TABSBaseIndexManager::~TABSBaseIndexManager() = default;

std::unique_ptr<TABSIndex> TABSBaseIndexManager::NewIndexObject(const TABSIndexDef& /*definition*/,
                                                                TABSPageManager* pageManager) {
  return std::make_unique<TABSBTreeRecordIndex>(*this, pageManager);
}

void TABSBaseIndexManager::LoadFromStream(TStream& stream) {
  CloseIndexes();
  indexDefs_.LoadFromStream(stream);
}

void TABSBaseIndexManager::SaveToStream(TStream& stream) const {
  indexDefs_.SaveToStream(stream);
}

void TABSBaseIndexManager::Assign(const TABSIndexDefs& definitions) {
  CloseIndexes();
  indexDefs_.Assign(definitions);
}

TABSIndex& TABSBaseIndexManager::GetIndex(int32_t objectId) {
  for (const auto& index : openIndexes_)
    if (index->Definition().ObjectID == objectId) return *index;
  const TABSIndexDef* definition = indexDefs_.FindIndexByObjectID(objectId);
  if (!definition) throw EABSException(msg::kIndexNotFound);
  auto index = NewIndexObject(*definition, definition->IsTemporary() ? temporaryPageManager_ : pageManager_);
  index->Open(*definition);
  openIndexes_.push_back(std::move(index));
  return *openIndexes_.back();
}

void TABSBaseIndexManager::CloseIndexes() {
  openIndexes_.clear();
}

TABSIndexDef& TABSBaseIndexManager::AddIndex(const TABSIndexDef& definition, TABSCursor* cursor) {
  auto added = std::make_unique<TABSIndexDef>();
  added->Assign(definition);
  added->ObjectID = table_->Database()->NextObjectID();
  TABSIndexDef& result = *added;
  indexDefs_.Add(std::move(added));
  const int32_t objectId = result.ObjectID;
  try {
    TABSIndex& index = GetIndex(objectId);
    index.Create(cursor, result);
    result.RootPage = index.Definition().RootPage;
  } catch (...) {
    auto open = std::find_if(openIndexes_.begin(), openIndexes_.end(),
                             [&](const auto& index) { return index->Definition().ObjectID == objectId; });
    if (open != openIndexes_.end()) openIndexes_.erase(open);
    indexDefs_.Delete(indexDefs_.IndexOfObjectID(objectId));
    throw;
  }
  return result;
}

void TABSBaseIndexManager::DropIndex(int32_t objectId, TABSCursor* cursor) {
  TABSIndex& index = GetIndex(objectId);
  index.Drop(SessionOf(cursor));
  openIndexes_.erase(std::find_if(openIndexes_.begin(), openIndexes_.end(),
                                  [&](const auto& open) { return open.get() == &index; }));
  indexDefs_.Delete(indexDefs_.IndexOfObjectID(objectId));
}

void TABSBaseIndexManager::EmptyIndexes(int32_t session) {
  for (int32_t i = 0; i < indexDefs_.Count(); ++i) {
    TABSIndex& index = GetIndex(indexDefs_[i].ObjectID);
    index.Empty(session);
    NoteChange(indexDefs_[i], index);
  }
}

void TABSBaseIndexManager::NoteChange(TABSIndexDef& definition, const TABSIndex& index) {
  definition.RootPage = index.Definition().RootPage;
  ++definition.ChangeCounter;
}

void TABSBaseIndexManager::InsertRecordKeys(int32_t session, const uint8_t* record,
                                            const TABSRecordAddress& address) {
  for (int32_t i = 0; i < indexDefs_.Count(); ++i) {
    TABSIndex& index = GetIndex(indexDefs_[i].ObjectID);
    index.InsertKey(session, record, address);
    NoteChange(indexDefs_[i], index);
  }
}

void TABSBaseIndexManager::UpdateRecordKeys(int32_t session, const uint8_t* oldRecord,
                                            const uint8_t* newRecord, const TABSRecordAddress& address) {
  for (int32_t i = 0; i < indexDefs_.Count(); ++i) {
    TABSIndex& index = GetIndex(indexDefs_[i].ObjectID);
    index.UpdateKey(session, oldRecord, newRecord, address);
    NoteChange(indexDefs_[i], index);
  }
}

void TABSBaseIndexManager::DeleteRecordKeys(int32_t session, const uint8_t* record,
                                            const TABSRecordAddress& address) {
  for (int32_t i = 0; i < indexDefs_.Count(); ++i) {
    TABSIndex& index = GetIndex(indexDefs_[i].ObjectID);
    if (!index.DeleteKey(session, record, address)) throw EABSException(msg::kIndexEntryNotFound);
    NoteChange(indexDefs_[i], index);
  }
}

void TABSBaseIndexManager::RefreshTemporaryIndexes(TABSCursor* cursor, int32_t stateCounter) {
  if (refreshing_) return;
  refreshing_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{refreshing_};
  const int32_t session = SessionOf(cursor);
  for (int32_t i = 0; i < indexDefs_.Count(); ++i) {
    TABSIndexDef& definition = indexDefs_[i];
    if (!definition.IsTemporary() || definition.OwnerSession != session) continue;
    if (definition.ChangeCounter == stateCounter) continue;
    TABSIndex& index = GetIndex(definition.ObjectID);
    index.Rebuild(cursor);
    definition.RootPage = index.Definition().RootPage;
    definition.ChangeCounter = stateCounter;
  }
}

}  // namespace viz
