// The allocation log: the pages that connections have allocated and not yet committed, kept in a
// file beside the database (`<database file name>-alloc`). Allocation is durable at once so that
// several processes can allocate in one file; without this record, the pages of a process that dies
// before its commit would stay marked used with nothing referring to them. Each connection's page
// manager owns one or more slots of the log, proven alive by a byte lock it holds; a slot with
// entries whose lock nobody holds belongs to a connection that is gone, and its pages are returned
// to the free space by the next open or commit that finds it (TABSDiskPageManager).
//
// File layout (little-endian):
//
//   offset            | width       | field
//   0                 | 8           | magic "VIZALLOC"
//   8                 | u32         | format version, 1
//   12                | u32         | entries per slot, 1024
//   16                | 4080        | reserved, 0
//   4096 + k x 4096   | 1024 x i32  | slot k: page numbers; 0 is an empty entry (page 0 is always a
//                     |             | map page, never allocated)
//
// Slot k belongs to whoever holds the byte lock at 2^40 + k of the log file (far beyond its data).
// The file may end inside its last slot; missing bytes read as empty entries. It stays beside the
// database once made.
//
// Order of work, which leaves no page unrecorded whenever a process dies:
//
//   allocate   record the page in the slot, then mark it used in the free-space maps
//   commit     journal, in-place writes, journal deleted, then the entries are forgotten
//   rollback   each page is freed in the maps, then its entry is forgotten
//
// An entry may therefore outlive its allocation (a page marked free again, or committed and in
// use): a page is returned only when it is still marked used, holds no written page, and no live
// slot lists it.
//
// Not safe for concurrent use; REQUIRES for every call that reads or writes the file: the
// database's header lock is held, which serialises all users of the log across processes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/platform/file.h"

namespace viz {

//! Returns the allocation log's file name for a database file name.
std::string AllocationLogFileName(const std::string& databaseFileName);

//! Who holds a slot of the log.
enum class TABSSlotOwner {
  Mine,     //!< this log object
  Alive,    //!< another connection, in this process or another one
  Gone,     //!< nobody: the connection that recorded the entries has ended
  Unknown,  //!< the file system cannot lock, so nobody can tell
};

//! One slot that holds entries.
struct TABSAllocationLogSlot {
  int32_t slot = 0;
  TABSSlotOwner owner = TABSSlotOwner::Unknown;
  std::vector<int32_t> pages;
};

struct TABSAllocationLogContents {
  enum class State {
    None,     //!< no log file
    Valid,    //!< a log of this format
    Foreign,  //!< a file of that name that is not an allocation log
  };
  State state = State::None;
  //! The slots that hold entries, in slot order.
  std::vector<TABSAllocationLogSlot> slots;
};

//! Reads a log and probes the lock of every slot with entries (nothing is changed). Raises 20308 /
//! 20310 when an existing log cannot be opened or read.
TABSAllocationLogContents ReadAllocationLog(platform::FileSystem& fileSystem, const std::string& path);

//! One connection's side of the allocation log.
class TABSAllocationLog {
 public:
  static constexpr int32_t kEntriesPerSlot = 1024;
  static constexpr int64_t kBlockSize = 4096;
  static constexpr int64_t kSlotLockBase = int64_t{1} << 40;

  TABSAllocationLog(platform::FileSystem& fileSystem, std::string path);
  //! Closes the file: the slots' locks go with it and their entries wait for the next recovery.
  ~TABSAllocationLog();
  TABSAllocationLog(const TABSAllocationLog&) = delete;
  TABSAllocationLog& operator=(const TABSAllocationLog&) = delete;

  const std::string& Path() const { return path_; }

  //! Opens the log when it exists; with `create` a missing (or empty) log is made. Returns false
  //! when there is no log to open. Raises 20308 when it cannot be opened, created, or is not an
  //! allocation log.
  bool Open(bool create);
  bool IsOpen() const { return file_ != nullptr; }
  //! False once the file system turned out not to lock: nothing is recorded then (no slot could be
  //! proven alive, so nobody could tell whose pages they are).
  bool Usable() const { return usable_; }

  //! Records a page this connection is about to mark used, creating the log and claiming a slot
  //! when needed. Raises 20308 / 20309; the page must then not be allocated.
  void Record(int32_t pageNo);
  //! Record in two steps, for a run of pages: Reserve gives the page its entry (creating the log
  //! and claiming a slot when needed; raises 20308 when that fails) without writing it, and
  //! WriteReserved writes every entry reserved since, one write per run of neighbouring entries.
  //! When WriteReserved raises (20309), the reserved entries are dropped again and none of their
  //! pages may be marked used; an entry that reached the file anyway is harmless.
  void Reserve(int32_t pageNo);
  void WriteReserved();
  //! Drops the entries of these pages (those not recorded are ignored). A failed write is not
  //! reported: an entry that outlives its page is harmless (see the head of this file).
  void Forget(const std::vector<int32_t>& pageNos);
  bool Contains(int32_t pageNo) const { return where_.count(pageNo) != 0; }
  //! Number of pages recorded by this connection.
  size_t RecordedCount() const { return where_.size(); }
  //! The first slot this connection holds, -1 when none.
  int32_t FirstSlot() const { return own_.empty() ? -1 : own_.front().slot; }

  //! Reads every slot with entries and who holds it. Returns state None when the log is not open.
  //! Raises 20310.
  TABSAllocationLogContents Read();
  //! Takes the lock of a slot whose owner is gone, so that its pages can be returned. Returns false
  //! when the slot is held after all.
  bool Adopt(int32_t slot);
  //! Empties an adopted slot and releases its lock. Raises 20309 (the slot keeps its lock until
  //! the log is closed, and its entries for the next recovery).
  void ReleaseAdopted(int32_t slot);

 private:
  struct OwnSlot {
    int32_t slot = 0;
    std::vector<int32_t> entries = std::vector<int32_t>(kEntriesPerSlot, 0);
    int32_t used = 0;
    int32_t nextFree = 0;  // no free entry below this index
  };
  struct Place {
    size_t own = 0;
    int32_t index = 0;
  };

  // Claims a slot that nobody holds and that is empty; returns its index in own_, or -1 when the
  // file system cannot lock.
  int ClaimSlot();
  void WriteEntries(int32_t slot, int32_t first, const int32_t* values, int32_t count, bool raise);
  bool IsMine(int32_t slot) const;
  [[noreturn]] void RaiseOpen(int code, const std::string& text) const;

  platform::FileSystem& fileSystem_;
  std::string path_;
  std::unique_ptr<platform::File> file_;
  bool usable_ = true;
  std::vector<OwnSlot> own_;
  std::unordered_map<int32_t, Place> where_;
  std::vector<int32_t> adopted_;
  // Entries given by Reserve and not yet written, in the order they were given.
  std::vector<int32_t> reserved_;
  // The file's bytes as last read by `Read`, kept so that every commit does not allocate anew.
  std::vector<uint8_t> readBuffer_;
};

}  // namespace viz
