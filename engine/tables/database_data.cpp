#include <algorithm>

#include "engine/tables/VIZBaseEngine.h"
#include "engine/storage/VIZPage.h"
#include "engine/tables/name_compare.h"

namespace viz {

TABSDatabaseData::~TABSDatabaseData() {
  // Each table removes itself from the list when it is destroyed.
  while (!tables_.empty()) delete tables_.back();
}

void TABSDatabaseData::ConnectSession(TABSBaseSession* session) {
  std::lock_guard lock(lock_);
  sessions_.push_back(session);
  session->SetSessionNumber(0);
}

void TABSDatabaseData::DisconnectSession(TABSBaseSession* session) {
  std::lock_guard lock(lock_);
  sessions_.erase(std::remove(sessions_.begin(), sessions_.end(), session), sessions_.end());
}

bool TABSDatabaseData::FreeIfUnused() {
  {
    std::lock_guard lock(lock_);
    if (!sessions_.empty()) return false;
  }
  delete this;
  return true;
}

void TABSDatabaseData::ListTableNames(std::vector<std::string>& names) {
  std::lock_guard lock(lock_);
  for (const TABSTableData* table : tables_) names.push_back(table->TableName());
}

TABSTableData* TABSDatabaseData::FindTableData(TABSCursor* cursor) {
  std::lock_guard lock(lock_);
  for (TABSTableData* table : tables_)
    if (SameName(table->TableName(), cursor->TableName())) return table;
  return nullptr;
}

TABSTableData* TABSDatabaseData::FindOrCreateTableData(TABSCursor* cursor) {
  std::lock_guard lock(lock_);
  if (TABSTableData* table = FindTableData(cursor)) return table;
  return NewTableData(cursor);
}

void TABSDatabaseData::CommitPages(int32_t session, bool /*flush*/) {
  if (pageManager_) pageManager_->Commit(session);
}

void TABSDatabaseData::RollbackPages(int32_t session) {
  if (pageManager_) pageManager_->Rollback(session);
}

void TABSDatabaseData::Commit(TABSBaseSession* session, bool flush) {
  std::lock_guard lock(lock_);
  CommitPages(session->SessionNumber(), flush);
}

void TABSDatabaseData::Rollback(TABSBaseSession* session) {
  std::lock_guard lock(lock_);
  RollbackPages(session->SessionNumber());
  for (TABSTableData* table : tables_) table->SessionRolledBack(session);
}

bool TABSDatabaseData::TableExists(std::string_view tableName) {
  std::vector<std::string> names;
  ListTableNames(names);
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& name) { return SameName(name, tableName); });
}

}  // namespace viz
