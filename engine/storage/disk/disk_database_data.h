// One open disk database: the database file shared by every session of the process that uses it.
// It opens and creates the file with its catalogue (disk_catalog.h), numbers the sessions, runs
// commit and rollback with the table locks (table_lock_manager.h), and keeps the table objects.
//
//   closed --first ConnectSession--> open --last DisconnectSession--> closed
//
// Session numbers. In multi-user mode a session's number is its slot in the sessions file, held by
// a byte lock for the life of the connection. In single-user mode every connection of the process
// gets its own number (the lowest one no other connection of this database uses), so that each
// keeps its own uncommitted changes; no file slot is taken for it, and the first connection takes
// the single-user hold (every slot), without which the database is read-only. Session -2 is the
// database's own catalogue work, always committed or rolled back before the operation returns.
//
// Safe for concurrent use by multiple threads: every operation runs under the database lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/disk/disk_catalog.h"
#include "engine/storage/disk/table_list_file.h"
#include "engine/storage/disk/table_lock_manager.h"
#include "engine/storage/page_cipher.h"
#include "engine/tables/VIZBaseEngine.h"

namespace viz {

namespace platform {
class FileSystem;
}

class TABSDiskPageManager;
class TABSDiskTableData;

class TABSDiskDatabaseData : public TABSDatabaseData {
 public:
  //! A database for the file `settings.DatabaseFileName`; the other settings are used when
  //! `CreateDatabase` makes the file. Uses `fileSystem` (the real one by default).
  explicit TABSDiskDatabaseData(const TABSConnectionSettings& settings,
                                platform::FileSystem* fileSystem = nullptr);
  //! For inspection (the file checker): works on the already open `manager`, read-only, with no
  //! sessions and no locks. Loads the catalogue at once.
  explicit TABSDiskDatabaseData(TABSDiskPageManager& manager);
  ~TABSDiskDatabaseData() override;

  // Slots in order.
  //! Opens the database when it is not open, then numbers the session. Raises "Cannot open database
  //! in multi-user and signle-user mode at the same time" (20235) for a session whose multi-user flag
  //! differs from the database's, and the file's and the sessions file's errors.
  void ConnectSession(TABSBaseSession* session) override;
  //! Discards the session's uncommitted changes, gives its slot (or the single-user hold) up and
  //! closes the database after its last session.
  void DisconnectSession(TABSBaseSession* session) override;
  //! The tables of the table list.
  void ListTableNames(std::vector<std::string>& names) override;
  //! Creates the file with its catalogue. Raises "Cannot create database. Database is already open"
  //! (20092) while the database is open.
  void CreateDatabase() override;
  TABSTableData* NewTableData(TABSCursor* cursor) override;
  int32_t NextObjectID() override;
  //! Multi-user: takes the commit lock of every table the session changed in its transaction
  //! ("Cannot commit changes. Locks of modified tables failed" (20233) when it cannot), commits and
  //! releases the transaction locks. Single-user: commits.
  void Commit(TABSBaseSession* session, bool flush) override;
  //! Releases the transaction locks (multi-user), discards the session's pages and lets every table
  //! read its state again.
  void Rollback(TABSBaseSession* session) override;
  void Flush() override;

  // The table catalogue.
  //! Takes the table-catalogue lock (4500 attempts, 20 ms apart). Raises "Database tables are
  //! locked" (20210).
  void LockTableCatalog();
  //! Raises "Cannot unlock database tables" (20211).
  void UnlockTableCatalog();
  //! Each saves the list under session -2 (the caller commits it). A missing list raises "Pointer is
  //! nil" (20129 find, 20130 delete, 20131 rename).
  void AddTableEntry(int32_t tableId, const std::string& name, int32_t locksStartPageNo,
                     int32_t headerDataStartPageNo, int32_t metadataStartPageNo);
  TABSTableListEntry FindTableEntry(const std::string& name);
  bool TableEntryExists(const std::string& name);
  void DeleteTableEntry(const std::string& name);
  void RenameTableEntry(const std::string& oldName, const std::string& newName);
  //! Reads the table list again (after a failed catalogue operation).
  void ReloadTableList();
  //! Cuts the free pages off the end of the file.
  void TruncateTrailingFreePages();

  //! Set on a database that is copied from (repair): record pages are read without their checks.
  bool LenientRead() const { return lenientRead_; }
  void SetLenientRead(bool value) { lenientRead_ = value; }
  bool IsOpen() const { return pages_ != nullptr; }
  bool ReadOnly() const { return readOnly_; }
  //! Raises "Cannot change the database '%s': it is open read-only" (20364) on a read-only database.
  void CheckWritable() const;
  int32_t MaxConnections() const { return maxConnections_; }
  const std::string& FileName() const { return settings_.DatabaseFileName; }

  //! The open file's page manager. REQUIRES: the database is open.
  TABSDiskPageManager& Pages() const;
  TABSDiskCatalog& Catalog() const;
  TABSDatabaseTableLockManager& TableLocks() const;
  //! The table object of that name, made when there is none (a table of the file or one about to be
  //! created).
  TABSDiskTableData& Table(const std::string& name);

 protected:
  void CommitPages(int32_t session, bool flush) override;
  void RollbackPages(int32_t session) override;

 private:
  // Opens the file for the first session; on failure frees what it made and raises again.
  void Open(TABSBaseSession& session);
  // Frees the catalogue objects, the lock manager and the page manager.
  void Close();
  // The lowest single-user session number no connected session uses.
  int32_t FreeSessionNumber() const;
  // Lets every table know that the session's changes were committed or discarded.
  void SessionEnded(TABSBaseSession* session, bool committed);

  TABSConnectionSettings settings_;
  platform::FileSystem* fileSystem_;
  // Constant after construction: set for an inspection over a borrowed page manager.
  TABSDiskPageManager* borrowed_ = nullptr;
  // State below is protected by the database lock.
  std::unique_ptr<TABSDiskPageManager> ownPages_;
  TABSDiskPageManager* pages_ = nullptr;
  std::unique_ptr<TABSDiskCatalog> catalog_;
  std::unique_ptr<TABSDatabaseTableLockManager> tableLocks_;
  TABSPassword password_;
  int32_t maxConnections_ = TABSDiskCatalog::kDefaultMaxConnections;
  bool readOnly_ = false;
  // The multi-user flag the first session asked for; the open may have cleared the database's.
  bool requestedMultiUser_ = false;
  bool lenientRead_ = false;
  bool singleUserHold_ = false;
};

}  // namespace viz
