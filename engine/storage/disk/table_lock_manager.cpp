#include "engine/storage/disk/table_lock_manager.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "engine/platform/random.h"
#include "engine/platform/system.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

// Kinds with more conflicts come first: a byte for a stronger kind may cover the weaker ones.
int ConflictCount(uint8_t kind) {
  int count = 0;
  for (uint8_t other = 0; other < kLockTypeCount; ++other) count += LockTypesCompatible(kind, other) ? 0 : 1;
  return count;
}

}  // namespace

// The manager's critical section for one operation (or nothing, when the caller holds it already).
class TABSDatabaseTableLockManager::Section {
 public:
  Section(std::recursive_mutex& mutex, bool enter) : mutex_(mutex), held_(enter) {
    if (held_) mutex_.lock();
  }
  ~Section() {
    if (held_) mutex_.unlock();
  }
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;

  //! Sleeps outside the critical section.
  void Sleep(int milliseconds) {
    if (milliseconds <= 0) return;
    if (held_) mutex_.unlock();
    platform::SleepMs(milliseconds);
    if (held_) mutex_.lock();
  }

 private:
  std::recursive_mutex& mutex_;
  bool held_;
};

TABSDatabaseTableLockManager::TABSDatabaseTableLockManager(TABSDiskPageManager& manager,
                                                           int32_t maxConnections)
    : manager_(manager), lists_(static_cast<size_t>(std::max(maxConnections, 0))) {}

void TABSDatabaseTableLockManager::SetInternalRetries(TABSLockRetry commit, TABSLockRetry transactionWrite,
                                                      TABSLockRetry unlock) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  commitRetry_ = commit;
  transactionWriteRetry_ = transactionWrite;
  unlockRetry_ = unlock;
}

bool TABSDatabaseTableLockManager::Bypassed() const {
  return manager_.IsExclusive() || !manager_.IsMultiUser();
}

TABSTableLockList* TABSDatabaseTableLockManager::ListFor(int32_t session) {
  if (session < 0 || session >= MaxConnections()) return nullptr;
  return &lists_[static_cast<size_t>(session)];
}

const TABSTableLockList* TABSDatabaseTableLockManager::LockList(int32_t session) const {
  return const_cast<TABSDatabaseTableLockManager*>(this)->ListFor(session);
}

void TABSDatabaseTableLockManager::CheckAllReleased() const {
  for (const TABSTableLockList& list : lists_) list.CheckEmpty();
}

void TABSDatabaseTableLockManager::OpenLocksFile(TABSTableLocksFile& file, int32_t tableKey) {
  file.Open(tableKey);
}

bool TABSDatabaseTableLockManager::Grantable(TABSTableLockList& list, TABSTableLocksFile& file,
                                             int32_t session, uint8_t kind) {
  // Kind 6 has no byte: whoever holds it holds the guard, which this request has just taken.
  for (uint8_t held = 0; held < ltExclusive; ++held) {
    if (LockTypesCompatible(held, kind)) continue;
    const TABSTableLockEntry* own = list.Find(held, file.StartPageNo());
    if (file.IsKindHeldByOthers(held, session, own != nullptr && own->inFile)) return false;
  }
  return true;
}

bool TABSDatabaseTableLockManager::RecordHeldByOthers(TABSTableLocksFile& file, int32_t session,
                                                      const TABSRecordAddress& address) {
  // The session holds no record of this table (one record per session and table), so its own byte
  // is free and the row is tested whole.
  for (int32_t other : file.SessionsHolding(ltRecord, session, false)) {
    if (file.ReadRecordAddress(other) == address) return true;
  }
  return false;
}

void TABSDatabaseTableLockManager::PutUncoveredInFile(TABSTableLockList& list, int32_t session,
                                                      TABSTableLocksFile& file) {
  const int32_t key = file.StartPageNo();
  std::vector<size_t> candidates;
  for (size_t index = 0; index < list.Entries().size(); ++index) {
    const TABSTableLockEntry& entry = list.Entries()[index];
    if (entry.tableKey == key && !entry.inFile) candidates.push_back(index);
  }
  std::stable_sort(candidates.begin(), candidates.end(), [&](size_t a, size_t b) {
    return ConflictCount(list.Entries()[a].kind) > ConflictCount(list.Entries()[b].kind);
  });
  for (size_t index : candidates) {
    TABSTableLockEntry& entry = list.Entries()[index];
    // A record lock is about its record, which only the exclusive lock (the guard) stands in for.
    const bool covered =
        entry.kind == ltRecord ? list.Find(ltExclusive, key) != nullptr : list.CoversInFile(entry.kind, key);
    if (covered) continue;
    if (!file.LockKind(entry.kind, session)) throw EABSException(msg::kCannotSetTableLock);
    if (entry.kind == ltRecord) file.WriteRecordAddress(session, entry.address);
    entry.inFile = true;
  }
}

bool TABSDatabaseTableLockManager::LockTable(int32_t session, uint8_t kind, bool nested, int retryIntervalMs,
                                             int attempts, TABSTableLocksFile& file) {
  if (Bypassed()) return true;
  if (kind >= kLockTypeCount) throw EABSException(msg::kCannotSetTableLock);
  Section section(mutex_, !nested);
  const int32_t key = file.StartPageNo();
  TABSTableLockList* list = ListFor(session);
  if (list != nullptr) {
    if (TABSTableLockEntry* entry = list->Find(kind, key)) {
      if (kind == ltWrite) return false;
      ++entry->count;
      return true;
    }
    if (list->Covers(kind, key)) {
      list->Add(kind, key, false);
      return true;
    }
  }
  if (list == nullptr || session >= file.SessionCount()) throw EABSException(msg::kLockSessionOutOfRange);

  const uint32_t half = static_cast<uint32_t>(std::max(retryIntervalMs, 0) / 2);
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0) section.Sleep(static_cast<int>(half + platform::Random(half)));
    if (!file.LockFile()) continue;
    bool granted = false;
    try {
      if (Grantable(*list, file, session, kind)) {
        if (kind != ltExclusive && !file.LockKind(kind, session))
          throw EABSException(msg::kCannotSetTableLock);
        granted = true;
      }
    } catch (...) {
      file.UnlockFile();
      throw;
    }
    if (granted) {
      list->Add(kind, key, true);
      // The exclusive lock is the guard itself.
      if (kind != ltExclusive) file.UnlockFile();
      return true;
    }
    file.UnlockFile();
  }
  return false;
}

bool TABSDatabaseTableLockManager::ReleaseInFile(Section& section, TABSTableLockList& list, int32_t session,
                                                 const TABSTableLockEntry& removed, TABSTableLocksFile& file,
                                                 const msg::Message& failure) {
  auto release = [&] {
    PutUncoveredInFile(list, session, file);
    if (removed.kind != ltExclusive && !file.UnlockKind(removed.kind, session)) throw EABSException(failure);
  };
  if (removed.kind == ltExclusive || list.Find(ltExclusive, removed.tableKey) != nullptr) {
    // The session holds the guard itself: taking it again would fail until the attempts run out.
    release();
    return removed.kind != ltExclusive || file.UnlockFile();
  }
  for (int attempt = 0; attempt < unlockRetry_.attempts; ++attempt) {
    if (attempt > 0) section.Sleep(unlockRetry_.intervalMs);
    if (!file.LockFile()) continue;
    try {
      release();
    } catch (...) {
      file.UnlockFile();
      throw;
    }
    file.UnlockFile();
    return true;
  }
  return false;
}

bool TABSDatabaseTableLockManager::UnlockTable(int32_t session, uint8_t kind, bool force, bool tolerant,
                                               TABSTableLocksFile& file) {
  if (Bypassed()) return true;
  Section section(mutex_, true);
  const int32_t key = file.StartPageNo();
  TABSTableLockList* list = ListFor(session);
  TABSTableLockEntry* entry = list != nullptr ? list->Find(kind, key) : nullptr;
  if (entry == nullptr) {
    if (tolerant) return true;
    throw EABSException(msg::kTableLockNotFound);
  }
  if (--entry->count > 0 && !force) return true;
  const TABSTableLockEntry removed = list->Remove(kind, key);
  if (!removed.inFile) return true;
  return ReleaseInFile(section, *list, session, removed, file, msg::kCannotUnlockTable);
}

bool TABSDatabaseTableLockManager::LockRecord(int32_t session, TABSTableLocksFile& file, int retryIntervalMs,
                                              int attempts, const TABSRecordAddress& address) {
  if (Bypassed()) return true;
  Section section(mutex_, true);
  const int32_t key = file.StartPageNo();
  TABSTableLockList* list = ListFor(session);
  if (list == nullptr || session >= file.SessionCount()) throw EABSException(msg::kLockSessionOutOfRange);
  if (list->Find(ltRecord, key) != nullptr) return false;
  if (list->Find(ltExclusive, key) != nullptr) {
    list->Add(ltRecord, key, false, address);
    return true;
  }
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0) section.Sleep(retryIntervalMs);
    if (!file.LockFile()) continue;
    bool granted = false;
    try {
      if (!RecordHeldByOthers(file, session, address)) {
        if (!file.LockKind(ltRecord, session)) throw EABSException(msg::kCannotLockRecord);
        try {
          file.WriteRecordAddress(session, address);
        } catch (...) {
          file.UnlockKind(ltRecord, session);
          throw;
        }
        granted = true;
      }
    } catch (...) {
      file.UnlockFile();
      throw;
    }
    file.UnlockFile();
    if (granted) {
      list->Add(ltRecord, key, true, address);
      return true;
    }
  }
  return false;
}

bool TABSDatabaseTableLockManager::UnlockRecord(int32_t session, TABSTableLocksFile& file,
                                                const TABSRecordAddress& /*address*/) {
  if (Bypassed()) return true;
  Section section(mutex_, true);
  const int32_t key = file.StartPageNo();
  TABSTableLockList* list = ListFor(session);
  TABSTableLockEntry* entry = list != nullptr ? list->Find(ltRecord, key) : nullptr;
  if (entry == nullptr) return false;
  if (--entry->count > 0) return true;
  const TABSTableLockEntry removed = list->Remove(ltRecord, key);
  if (!removed.inFile) return true;
  return ReleaseInFile(section, *list, session, removed, file, msg::kCannotUnlockRecord);
}

bool TABSDatabaseTableLockManager::LockModifiedTables(int32_t session) {
  if (Bypassed()) return true;
  Section section(mutex_, true);
  TABSTableLockList* list = ListFor(session);
  if (list == nullptr) return true;
  std::vector<int32_t> modified;
  for (const TABSTableLockEntry& entry : list->Entries()) {
    if (entry.kind == ltTransactionWrite && !list->Covers(ltCommit, entry.tableKey))
      modified.push_back(entry.tableKey);
  }
  for (int32_t key : modified) {
    TABSTableLocksFile file(manager_);
    OpenLocksFile(file, key);
    if (LockTable(session, ltCommit, true, commitRetry_.intervalMs, commitRetry_.attempts, file)) continue;
    std::vector<int32_t> committing;
    for (const TABSTableLockEntry& entry : list->Entries()) {
      if (entry.kind == ltCommit) committing.push_back(entry.tableKey);
    }
    for (int32_t held : committing) {
      TABSTableLocksFile heldFile(manager_);
      OpenLocksFile(heldFile, held);
      UnlockTable(session, ltCommit, false, false, heldFile);
    }
    for (const TABSTableLockEntry& entry : list->Entries()) {
      if (entry.kind == ltCommit) throw EABSException(msg::kTableLocksStillExist.At(20234));
    }
    return false;
  }
  return true;
}

bool TABSDatabaseTableLockManager::ReleaseTransactionLocks(int32_t session) {
  if (Bypassed()) return true;
  Section section(mutex_, true);
  TABSTableLockList* list = ListFor(session);
  if (list == nullptr) return true;
  std::vector<int32_t> recordTables;
  for (const TABSTableLockEntry& entry : list->Entries()) {
    if (entry.kind == ltRecord) recordTables.push_back(entry.tableKey);
  }
  for (int32_t key : recordTables) {
    if (list->Find(ltWrite, key) != nullptr) continue;
    TABSTableLocksFile file(manager_);
    OpenLocksFile(file, key);
    if (!LockTable(session, ltWrite, true, transactionWriteRetry_.intervalMs, transactionWriteRetry_.attempts,
                   file)) {
      return false;
    }
  }
  std::vector<std::pair<uint8_t, int32_t>> transactionLocks;
  for (const TABSTableLockEntry& entry : list->Entries()) {
    if (entry.kind == ltTransactionWrite || entry.kind == ltCommit)
      transactionLocks.emplace_back(entry.kind, entry.tableKey);
  }
  for (const auto& [kind, key] : transactionLocks) {
    TABSTableLocksFile file(manager_);
    OpenLocksFile(file, key);
    UnlockTable(session, kind, true, false, file);
  }
  return true;
}

void TABSDatabaseTableLockManager::ReleaseSessionLocks(int32_t session) {
  if (Bypassed()) return;
  Section section(mutex_, true);
  TABSTableLockList* list = ListFor(session);
  if (list == nullptr) return;
  std::vector<int32_t> tables;
  for (const TABSTableLockEntry& entry : list->Entries()) {
    if (std::find(tables.begin(), tables.end(), entry.tableKey) == tables.end())
      tables.push_back(entry.tableKey);
  }
  std::exception_ptr failure;
  for (int32_t key : tables) {
    try {
      TABSTableLocksFile file(manager_);
      OpenLocksFile(file, key);
      // Holding kind 6 means holding the guard already.
      bool guard = list->Find(ltExclusive, key) != nullptr;
      for (int attempt = 0; !guard && attempt < unlockRetry_.attempts; ++attempt) {
        if (attempt > 0) section.Sleep(unlockRetry_.intervalMs);
        guard = file.LockFile();
      }
      for (const TABSTableLockEntry& entry : list->Entries()) {
        if (entry.tableKey == key && entry.inFile && entry.kind != ltExclusive)
          file.UnlockKind(entry.kind, session);
      }
      if (guard) file.UnlockFile();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  list->Entries().clear();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace viz
