#include "engine/storage/memory/memory_database_data.h"

namespace viz {

namespace {
void ReleaseTablePages(TABSDatabaseData& database, int32_t session) {
  for (TABSTableData* table : database.Tables())
    static_cast<TABSInMemoryTableData*>(table)->ReleasePages(session);
}
}  // namespace

TABSTableData* TABSMemoryDatabaseData::NewTableData(TABSCursor* cursor) {
  std::lock_guard lock(Lock());
  return new TABSMemoryTableData(this, cursor->TableName(), kTableGrowthStep);
}

void TABSMemoryDatabaseData::CommitPages(int32_t session, bool /*flush*/) {
  ReleaseTablePages(*this, session);
}

void TABSMemoryDatabaseData::RollbackPages(int32_t session) {
  ReleaseTablePages(*this, session);
}

TABSTableData* TABSTemporaryDatabaseData::NewTableData(TABSCursor* cursor) {
  std::lock_guard lock(Lock());
  return new TABSTemporaryTableData(this, cursor->TableName(), kTableGrowthStep, kTableWriteBuffer,
                                    availableMemory_, fileSystem_);
}

void TABSTemporaryDatabaseData::CommitPages(int32_t session, bool /*flush*/) {
  ReleaseTablePages(*this, session);
}

void TABSTemporaryDatabaseData::RollbackPages(int32_t session) {
  ReleaseTablePages(*this, session);
}

}  // namespace viz
