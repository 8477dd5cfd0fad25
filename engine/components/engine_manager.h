// The process-wide state of the database components: the list of database backends (one per
// database file; the built-in "MEMORY" and "TEMP"), the list of sessions with the bit set that
// numbers automatic session names, the one critical section all sessions share, and the default
// session "Default", which is the first session ever registered.
//
// Safe for concurrent use by multiple threads: the two lists have locks of their own; session and
// connection bookkeeping runs under the shared critical section.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "engine/tables/base_session.h"

namespace viz {

class TABSDatabaseData;
class TABSDiskDatabaseData;
class TABSSession;

class TABSEngineManager {
 public:
  //! The one manager of the process, made on first use.
  static TABSEngineManager& Instance();
  ~TABSEngineManager();
  TABSEngineManager(const TABSEngineManager&) = delete;
  TABSEngineManager& operator=(const TABSEngineManager&) = delete;

  //! The critical section of session and connection bookkeeping. Re-entrant.
  std::recursive_mutex& SessionsSection() { return sessionsSection_; }

  // ---- Sessions
  //! The default session, made with the manager.
  TABSSession& DefaultSession();
  //! The session of that name (ignoring case); the default one for an empty name; null when none.
  TABSSession* FindSession(std::string_view name);
  //! A copy of the session list.
  std::vector<TABSSession*> Sessions();
  //! The lowest free automatic number (from 0), taken.
  int32_t TakeAutoNumber();
  void ReturnAutoNumber(int32_t number);

  // ---- Database backends
  //! The built-in database of that alias ("MEMORY" or "TEMP", exactly), made on first use and kept
  //! while the process lives; null for other names.
  TABSDatabaseData* BuiltInDatabase(std::string_view alias);
  //! The disk database of that file (compared as absolute paths, ignoring case); null when none.
  TABSDiskDatabaseData* FindDiskDatabase(const std::string& fileName);
  //! The disk database of the file, made for `settings` and added to the list when there is none.
  TABSDiskDatabaseData& FindOrCreateDiskDatabase(const TABSConnectionSettings& settings);
  //! Frees a disk database that no session is connected to.
  void ReleaseDiskDatabase(TABSDiskDatabaseData* database);
  //! The number of disk databases in the list.
  size_t DiskDatabaseCount();

 private:
  friend class TABSSession;
  TABSEngineManager();

  void RegisterSession(TABSSession* session);
  void UnregisterSession(TABSSession* session);

  std::recursive_mutex sessionsSection_;
  std::mutex listLock_;
  // Below: protected by listLock_.
  std::vector<TABSSession*> sessions_;
  std::vector<bool> autoNumbers_;
  std::vector<std::unique_ptr<TABSDiskDatabaseData>> diskDatabases_;
  std::vector<std::unique_ptr<TABSDatabaseData>> builtIn_;  // "MEMORY", "TEMP" when present
  std::unique_ptr<TABSSession> defaultSession_;
};

//! The default session.
TABSSession& DefaultSession();

}  // namespace viz
