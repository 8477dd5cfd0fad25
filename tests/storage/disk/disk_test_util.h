// Helpers of the disk-backend tests: database files with a catalogue and a few tables' internal
// files, opened with their catalogue and lock manager, and a child role that works on such a file
// from another process.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/disk/disk_catalog.h"
#include "engine/storage/disk/table_lock_manager.h"
#include "storage/storage_test_util.h"

namespace viz::testing {

//! Creates a database file with a catalogue of `maxConnections` slots and tables "T0", "T1", ...,
//! each with one INTEGER field "Id" and no records.
void CreateCatalogDatabase(const std::string& path, int32_t maxConnections = 16, int tableCount = 2,
                           const TABSPassword& password = {});

//! A database opened with its catalogue and a lock manager whose own retries are short.
struct CatalogDatabase {
  explicit CatalogDatabase(const std::string& path, bool multiUser = true,
                           platform::FileSystem* fileSystem = nullptr);

  //! The locks file of table "T<index>", opened on first use.
  TABSTableLocksFile& Locks(int tableIndex);
  //! The metadata file of table "T<index>".
  TABSInternalDBTransactedAccessFile Metadata(int tableIndex);

  OpenDatabase db;
  TABSDiskCatalog catalog;
  std::unique_ptr<TABSDatabaseTableLockManager> locks;

 private:
  std::map<int, std::unique_ptr<TABSTableLocksFile>> locksFiles_;
};

//! The raw bytes of page `pageNo` of a database file with 4096-byte pages.
std::vector<uint8_t> RawPage(const std::string& path, int32_t pageNo);

//! Runs the vizcheck tool on the file and returns its report, line by line (nothing when the tool
//! is not part of the build).
std::vector<std::string> CheckerReport(const std::string& path, const std::string& password = {},
                                       bool tablesOnly = false);
//! The problems of the report (lines "PROBLEM: ..." or "ERROR: ..."), and a line for an abnormal end.
std::vector<std::string> CheckerProblems(const std::string& path, const std::string& password = {});

//! Reads a transacted file's whole content as text.
std::string ContentText(TABSInternalDBTransactedAccessFile& file, int32_t session);

}  // namespace viz::testing
