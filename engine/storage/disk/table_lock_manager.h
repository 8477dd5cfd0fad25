// The table-lock protocol of one open database. Sessions of one or several processes coordinate
// their access to a table through the table's locks file (table_locks_file.h): a request tests the
// other sessions' bytes and sets its own under the file's guard byte, never waits on a lock, and is
// tried a given number of times with a pause between attempts before it is given up (false).
//
// Each session's locks are counted in its `TABSTableLockList`; only the first hold of a kind touches
// the file, and a kind covered by a lock the session already holds is not put in the file at all.
// Invariant: every entry of a list is held in the file or covered by an entry of the same table that
// is (a record lock only by the exclusive lock). When a lock goes, the entries it alone covered are put in
// the file first (nobody can have taken a conflicting kind meanwhile), so that, for example, a table still
// open by a cursor stays protected when the exclusive lock of another cursor of the session goes.
//
// In single-user mode and in a database opened exclusively every request succeeds at once and
// nothing is recorded.
//
// Safe for concurrent use by multiple threads: every operation runs under the manager's critical
// section, which is left while sleeping between attempts.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/storage/disk/table_locks.h"
#include "engine/storage/disk/table_locks_file.h"
#include "engine/types/messages.h"

namespace viz {

class TABSDiskPageManager;

//! Retry settings of the callers of the lock manager: pause between attempts (ms) and attempts.
struct TABSLockRetry {
  int intervalMs;
  int attempts;
};
inline constexpr TABSLockRetry kOpenTableLockRetry{100, 50};  //!< kind 0 or 6 when opening a table
inline constexpr TABSLockRetry kReadLockRetry{40, 2250};      //!< kind 1 around read operations
inline constexpr TABSLockRetry kEditLockRetry{100, 900};      //!< kind 2 or 3 when editing a record
inline constexpr TABSLockRetry kRecordLockRetry{100, 15};     //!< the record lock when editing
inline constexpr TABSLockRetry kCommitLockRetry{100, 900};    //!< kind 4 at commit
//! Releasing a lock: up to 4500 attempts at the guard, 20 ms apart.
inline constexpr TABSLockRetry kUnlockRetry{20, 4500};

class TABSDatabaseTableLockManager {
 public:
  //! The lock manager of a database opened by `manager`, for session numbers 0 to
  //! `maxConnections` - 1.
  TABSDatabaseTableLockManager(TABSDiskPageManager& manager, int32_t maxConnections);
  TABSDatabaseTableLockManager(const TABSDatabaseTableLockManager&) = delete;
  TABSDatabaseTableLockManager& operator=(const TABSDatabaseTableLockManager&) = delete;

  //! Takes table lock `kind` (0 to 4, or 6) for the session on the table of `file`; true when it
  //! is held. A second request of a kind the session holds counts up, except for kind 2 (false).
  //! `nested`: the caller already holds the manager's critical section. Raises "Cannot set table
  //! lock. Try to repair database or to increase number of allowed connections" (20200) for a
  //! session number without a byte in the file, "Cannot set table lock" (20203) when its byte cannot
  //! be locked although free.
  bool LockTable(int32_t session, uint8_t kind, bool nested, int retryIntervalMs, int attempts,
                 TABSTableLocksFile& file);
  //! Counts a hold of `kind` down; the lock goes at 0 or when `force` is set. Raises "Cannot remove
  //! table lock. Lock not found" (20202) when the session does not hold it, unless `tolerant`
  //! (then true). "Cannot unlock table" (20204) when its byte cannot be unlocked. False when the
  //! guard could not be had to release it.
  bool UnlockTable(int32_t session, uint8_t kind, bool force, bool tolerant, TABSTableLocksFile& file);
  //! Locks one record of the table for the session: false when the session already holds a record
  //! of this table, or when another session holds this record after every attempt. Raises "Cannot
  //! lock record" (20205).
  bool LockRecord(int32_t session, TABSTableLocksFile& file, int retryIntervalMs, int attempts,
                  const TABSRecordAddress& address);
  //! Releases the session's record lock on the table; false when it holds none. Raises "Cannot
  //! unlock record" (20206).
  bool UnlockRecord(int32_t session, TABSTableLocksFile& file, const TABSRecordAddress& address);
  //! At commit: takes kind 4 on every table the session holds with kind 3. On failure gives the
  //! kind-4 locks up again and returns false; raises "Some table locks still exist" (20234) when
  //! one of them stays.
  bool LockModifiedTables(int32_t session);
  //! After commit or rollback: keeps every record still locked protected with kind 2, then gives up
  //! every kind-3 and kind-4 lock of the session. False (and nothing given up) when a kind-2 lock
  //! cannot be had.
  bool ReleaseTransactionLocks(int32_t session);
  //! At disconnect: gives up every lock the session holds, in every locks file, and empties its
  //! list. A byte is released even when the guard cannot be had (nobody is harmed by that).
  void ReleaseSessionLocks(int32_t session);

  //! The session's lock list; null for a session number out of range.
  const TABSTableLockList* LockList(int32_t session) const;
  //! Raises "Some table locks still exist" (20201) while a session holds a lock.
  void CheckAllReleased() const;
  int32_t MaxConnections() const { return static_cast<int32_t>(lists_.size()); }

  //! Replaces the retry settings that the protocol uses for itself (tests shorten them).
  void SetInternalRetries(TABSLockRetry commit, TABSLockRetry transactionWrite, TABSLockRetry unlock);

 private:
  class Section;

  // True when every request succeeds at once (single-user mode, database opened exclusively).
  bool Bypassed() const;
  TABSTableLockList* ListFor(int32_t session);
  // Whether kind `kind` is free for `session`: no other session holds a conflicting kind in the file.
  // REQUIRES: the file's guard is held.
  bool Grantable(TABSTableLockList& list, TABSTableLocksFile& file, int32_t session, uint8_t kind);
  // Whether another session holds `address` with its record lock. REQUIRES: the guard is held.
  bool RecordHeldByOthers(TABSTableLocksFile& file, int32_t session, const TABSRecordAddress& address);
  // Puts into the file every entry of the session on the file's table that no entry held in the
  // file covers any more. REQUIRES: the guard is held.
  void PutUncoveredInFile(TABSTableLockList& list, int32_t session, TABSTableLocksFile& file);
  // Releases the byte (or, for kind 6, the guard) of an entry that was held in the file.
  bool ReleaseInFile(Section& section, TABSTableLockList& list, int32_t session,
                     const TABSTableLockEntry& removed, TABSTableLocksFile& file,
                     const msg::Message& failure);
  // The locks file whose StartPageNo is `tableKey`, opened.
  void OpenLocksFile(TABSTableLocksFile& file, int32_t tableKey);

  TABSDiskPageManager& manager_;
  TABSLockRetry commitRetry_ = kCommitLockRetry;
  TABSLockRetry transactionWriteRetry_ = kEditLockRetry;
  TABSLockRetry unlockRetry_ = kUnlockRetry;
  std::recursive_mutex mutex_;
  // State below is protected by mutex_.
  std::vector<TABSTableLockList> lists_;
};

}  // namespace viz
