// The two databases outside any file: "MEMORY" holds in-memory tables, "TEMP" the work tables of
// queries and other operations. Each exists once per process (the session layer keeps them); every
// session connects as number 0, identities are a counter of the database starting at 1, and the
// database's commit and rollback only release the page objects its tables used.
#pragma once

#include <cstdint>

#include "engine/platform/file.h"
#include "engine/storage/memory/memory_table_data.h"
#include "engine/storage/memory/temporary_table_data.h"
#include "engine/tables/VIZBaseEngine.h"

namespace viz {

//! The names that choose the two built-in databases (exactly, in upper case).
inline constexpr const char* kMemoryDatabaseName = "MEMORY";
inline constexpr const char* kTemporaryDatabaseName = "TEMP";

class TABSMemoryDatabaseData : public TABSDatabaseData {
 public:
  static constexpr int32_t kTableGrowthStep = 1000;

  //! Slot 5: a TABSMemoryTableData of the cursor's table name, in the table list.
  TABSTableData* NewTableData(TABSCursor* cursor) override;
  //! Slot 8.
  int32_t NextObjectID() override { return nextObjectId_++; }

 protected:
  //! Both release the session's page objects of every table.
  void CommitPages(int32_t session, bool flush) override;
  void RollbackPages(int32_t session) override;

 private:
  int32_t nextObjectId_ = 1;
};

class TABSTemporaryDatabaseData : public TABSDatabaseData {
 public:
  static constexpr int32_t kTableGrowthStep = 1000;
  static constexpr int32_t kTableWriteBuffer = 10;

  //! Slot 5: a TABSTemporaryTableData of the cursor's table name, in the table list.
  TABSTableData* NewTableData(TABSCursor* cursor) override;
  //! Slot 8.
  int32_t NextObjectID() override { return nextObjectId_++; }

  //! The memory new tables size their memory parts by; -1 (the default) asks the engine memory
  //! manager when a table is created.
  void SetAvailableMemory(int64_t bytes) { availableMemory_ = bytes; }
  int64_t AvailableMemory() const { return availableMemory_; }
  //! Where new tables make their temporary files; null (the default) is the real file system.
  void SetFileSystem(platform::FileSystem* fileSystem) { fileSystem_ = fileSystem; }

 protected:
  void CommitPages(int32_t session, bool flush) override;
  void RollbackPages(int32_t session) override;

 private:
  int32_t nextObjectId_ = 1;
  int64_t availableMemory_ = -1;
  platform::FileSystem* fileSystem_ = nullptr;
};

}  // namespace viz
