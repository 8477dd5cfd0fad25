// Table lock kinds, which kinds two different sessions may hold on one table at once, and the
// per-session bookkeeping that counts nested requests so that the locks file is touched only for a
// session's first hold of a kind.
//
// Compatibility (row: kind held by another session; column: kind requested; 1 = allowed):
//
//   held \ requested | 0 1 2 3 4 5 6
//   0 open           | 1 1 1 1 1 1 0
//   1 read           | 1 1 1 1 0 1 0
//   2 write          | 1 1 1 0 1 1 0
//   3 trans. write   | 1 1 0 0 0 1 0
//   4 commit         | 1 0 1 0 0 1 0
//   5 record         | 1 1 1 1 1 1 0
//   6 exclusive      | 0 0 0 0 0 0 0
//
// except that a request for kind 3 is not blocked by another session's kind 2.
//
// A kind A covers a kind B when every kind that B conflicts with (a 0 in B's row) is also a kind that
// A conflicts with: while a session holds A in the file, nobody else can take a kind that would
// conflict with B, so B needs no byte of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/tables/record_layout.h"

namespace viz {

enum TABSLockType : uint8_t {
  ltOpen = 0,              //!< held by every cursor that has the table open
  ltRead = 1,              //!< held during each read operation
  ltWrite = 2,             //!< held while a record is edited outside a transaction
  ltTransactionWrite = 3,  //!< held from the first change in a transaction until its end
  ltCommit = 4,            //!< taken at commit for every table held with kind 3
  ltRecord = 5,            //!< one record of the table
  ltExclusive = 6,         //!< the table opened exclusively
};
inline constexpr int kLockTypeCount = 7;

//! Whether another session's `held` lets this session take `requested` (the matrix and its
//! exception).
bool LockTypesCompatible(uint8_t held, uint8_t requested);
//! Whether holding `a` makes a file lock for `b` unnecessary.
bool LockTypeCovers(uint8_t a, uint8_t b);

//! One lock a session holds on one table.
struct TABSTableLockEntry {
  uint8_t kind = 0;
  //! The StartPageNo of the table's locks file.
  int32_t tableKey = -1;
  int32_t count = 0;
  //! Whether the lock is held in the locks file (false: covered by another lock of the session).
  bool inFile = false;
  //! The record of a kind-5 lock.
  TABSRecordAddress address;
};

//! The locks one session holds, in the order they were taken.
class TABSTableLockList {
 public:
  //! Returns the entry of that kind on that table, or null.
  TABSTableLockEntry* Find(uint8_t kind, int32_t tableKey);
  const TABSTableLockEntry* Find(uint8_t kind, int32_t tableKey) const;
  //! Whether an entry on the table covers `kind` (an entry of that very kind included).
  bool Covers(uint8_t kind, int32_t tableKey) const;
  //! Whether an entry on the table that is held in the file covers `kind`.
  bool CoversInFile(uint8_t kind, int32_t tableKey) const;
  //! Appends an entry with count 1.
  TABSTableLockEntry& Add(uint8_t kind, int32_t tableKey, bool inFile, const TABSRecordAddress& address = {});
  //! Removes the entry of that kind on that table and returns it.
  TABSTableLockEntry Remove(uint8_t kind, int32_t tableKey);

  std::vector<TABSTableLockEntry>& Entries() { return entries_; }
  const std::vector<TABSTableLockEntry>& Entries() const { return entries_; }
  bool Empty() const { return entries_.empty(); }
  //! Raises "Some table locks still exist" (20201) while entries remain.
  void CheckEmpty() const;

 private:
  std::vector<TABSTableLockEntry> entries_;
};

}  // namespace viz
