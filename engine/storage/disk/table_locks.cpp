#include "engine/storage/disk/table_locks.h"

#include <algorithm>

#include "engine/types/errors.h"

namespace viz {

namespace {

// kCompatible[held][requested].
constexpr bool kCompatible[kLockTypeCount][kLockTypeCount] = {
    {1, 1, 1, 1, 1, 1, 0},  // 0 open
    {1, 1, 1, 1, 0, 1, 0},  // 1 read
    {1, 1, 1, 0, 1, 1, 0},  // 2 write
    {1, 1, 0, 0, 0, 1, 0},  // 3 transaction write
    {1, 0, 1, 0, 0, 1, 0},  // 4 commit
    {1, 1, 1, 1, 1, 1, 0},  // 5 record
    {0, 0, 0, 0, 0, 0, 0},  // 6 exclusive
};

}  // namespace

bool LockTypesCompatible(uint8_t held, uint8_t requested) {
  if (held >= kLockTypeCount || requested >= kLockTypeCount) return false;
  if (held == ltWrite && requested == ltTransactionWrite) return true;
  return kCompatible[held][requested];
}

bool LockTypeCovers(uint8_t a, uint8_t b) {
  if (a >= kLockTypeCount || b >= kLockTypeCount) return false;
  for (int kind = 0; kind < kLockTypeCount; ++kind) {
    if (!kCompatible[b][kind] && kCompatible[a][kind]) return false;
  }
  return true;
}

TABSTableLockEntry* TABSTableLockList::Find(uint8_t kind, int32_t tableKey) {
  for (TABSTableLockEntry& entry : entries_) {
    if (entry.kind == kind && entry.tableKey == tableKey) return &entry;
  }
  return nullptr;
}

const TABSTableLockEntry* TABSTableLockList::Find(uint8_t kind, int32_t tableKey) const {
  return const_cast<TABSTableLockList*>(this)->Find(kind, tableKey);
}

bool TABSTableLockList::Covers(uint8_t kind, int32_t tableKey) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const TABSTableLockEntry& entry) {
    return entry.tableKey == tableKey && LockTypeCovers(entry.kind, kind);
  });
}

bool TABSTableLockList::CoversInFile(uint8_t kind, int32_t tableKey) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const TABSTableLockEntry& entry) {
    return entry.inFile && entry.tableKey == tableKey && LockTypeCovers(entry.kind, kind);
  });
}

TABSTableLockEntry& TABSTableLockList::Add(uint8_t kind, int32_t tableKey, bool inFile,
                                           const TABSRecordAddress& address) {
  entries_.push_back({kind, tableKey, 1, inFile, address});
  return entries_.back();
}

TABSTableLockEntry TABSTableLockList::Remove(uint8_t kind, int32_t tableKey) {
  auto found = std::find_if(entries_.begin(), entries_.end(), [&](const TABSTableLockEntry& entry) {
    return entry.kind == kind && entry.tableKey == tableKey;
  });
  if (found == entries_.end()) throw EABSException(msg::kTableLockNotFound);
  TABSTableLockEntry removed = *found;
  entries_.erase(found);
  return removed;
}

void TABSTableLockList::CheckEmpty() const {
  if (!entries_.empty()) throw EABSException(msg::kTableLocksStillExist);
}

}  // namespace viz
