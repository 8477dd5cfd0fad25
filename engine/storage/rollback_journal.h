// The rollback journal: before a commit overwrites anything in the database file, the previous bytes
// of every range it will overwrite are saved in a file beside it (`<database file name>-journal`).
// A journal that is complete and checked can restore the database exactly as it was before the
// commit; a journal that is not complete proves that the database was not touched yet.
//
// Journal file layout (little-endian):
//
//   Header, 48 bytes
//   offset | width | field
//   0      | 8     | magic "VIZJOURN"
//   8      | u32   | format version, 1
//   12     | u16   | database page size
//   14     | u16   | reserved, 0
//   16     | i64   | database base offset
//   24     | i32   | record count
//   28     | u32   | nonce: a number drawn for this journal, repeated in the commit record
//   32     | i64   | size of the database file before the commit (-1 = not recorded)
//   40     | u32   | reserved, 0
//   44     | u32   | CRC-32 of bytes 0..43
//
//   Record, 20 bytes + length, record count times
//   0      | i32   | page number (-1 for the database header)
//   4      | i64   | absolute offset of the bytes in the database file; -1 with length 0: a page
//          |       | the commit allocated, to be released when the commit is undone (written by
//          |       | earlier versions; the allocation log now returns such pages)
//   12     | u32   | length
//   16     | u32   | CRC-32 of the bytes
//   20     | length| the previous bytes
//
//   Commit record, 24 bytes
//   0      | 8     | magic "VIZJDONE"
//   8      | i32   | record count
//   12     | u32   | nonce
//   16     | u32   | CRC-32 of everything from journal byte 0 to the commit record
//   20     | u32   | CRC-32 of bytes 0..19 of the commit record
//
// Order of work for one commit, with "flush" for safety against power loss:
//
//   Begin, Append...   the previous images
//   Seal(flush)        commit record; with flush the journal and then its directory are synced,
//                      so that the new file's name is on the medium too   -> journal "hot"
//   ... in-place writes of the database; with flush the database is synced ...
//   Remove             the commit can no longer be undone
//   (flush)            SyncJournalDirectory: the deletion is on the medium, and a power loss cannot
//                      bring the journal back to undo the commit at the next open
//
// Without flush the same order holds against a process that dies at any moment.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/platform/file.h"

namespace viz {

//! Returns the journal file name for a database file name.
std::string JournalFileName(const std::string& databaseFileName);

//! Writes one journal. Not safe for concurrent use; the commit that uses it holds the header lock.
class TABSJournalWriter {
 public:
  TABSJournalWriter(platform::FileSystem& fileSystem, std::string path);
  //! Closes the file without deleting it (a journal left behind by a failed commit stays hot).
  ~TABSJournalWriter();
  TABSJournalWriter(const TABSJournalWriter&) = delete;
  TABSJournalWriter& operator=(const TABSJournalWriter&) = delete;

  //! Creates the journal file (replacing any) and writes its header. `fileSize` is the database
  //! file's size to restore on play-back (-1: leave the size alone). Raises 20301 / 20302.
  void Begin(uint16_t pageSize, int64_t baseOffset, int32_t recordCount, int64_t fileSize = -1);
  //! Adds the previous bytes of one range. REQUIRES: Begin; at most `recordCount` calls.
  void Append(int32_t pageNo, int64_t offset, const void* bytes, uint32_t count);
  //! Writes the commit record; with `flush` forces the journal and its directory entry to the
  //! medium. Raises 20302 / 20303. REQUIRES: exactly `recordCount` records appended.
  void Seal(bool flush);
  //! Closes and deletes the journal file. Raises 20304 when it cannot be deleted.
  void Remove();

  const std::string& Path() const { return path_; }

 private:
  void WritePending();
  [[noreturn]] void RaiseWrite(const platform::OsError& error) const;

  platform::FileSystem& fileSystem_;
  std::string path_;
  std::unique_ptr<platform::File> file_;
  std::vector<uint8_t> pending_;
  int64_t written_ = 0;
  // Checksum of every byte appended so far, header included.
  uint32_t runningCrc_ = 0;
  // The combine operator of zlib for records of `combineLength_` bytes.
  uint32_t combineLength_ = 0;
  unsigned long combineOp_ = 0;
  uint32_t nonce_ = 0;
  int32_t expectedRecords_ = 0;
  int32_t records_ = 0;
};

//! Forces the changes to the entries of a journal's directory (the journal created or deleted) to
//! the medium. Raises 20303 (with the journal's name) when the directory cannot be synced.
void SyncJournalDirectory(platform::FileSystem& fileSystem, const std::string& journalPath);

//! Offset of a record that names a page to release instead of saving bytes.
inline constexpr int64_t kReleaseOffset = -1;

//! One saved range of the database file, or a page to release.
struct TABSJournalRecord {
  int32_t pageNo = -1;
  int64_t offset = 0;
  std::vector<uint8_t> bytes;

  bool IsRelease() const { return offset == kReleaseOffset; }
};

enum class TABSJournalState {
  None,        //!< no journal file
  Incomplete,  //!< a journal that is torn, unsealed or damaged: the database was not touched
  Complete,    //!< sealed and every checksum holds: it can be played back
};

struct TABSJournalContents {
  TABSJournalState state = TABSJournalState::None;
  uint16_t pageSize = 0;
  int64_t baseOffset = 0;
  int64_t fileSize = -1;
  std::vector<TABSJournalRecord> records;
};

//! Reads and checks a journal. Raises 20306 / 20305 when an existing journal cannot be read.
TABSJournalContents ReadJournal(platform::FileSystem& fileSystem, const std::string& path);

//! Checks the bytes of a journal file: Complete with its records, or Incomplete.
TABSJournalContents ParseJournal(const std::vector<uint8_t>& data);

//! What `RecoverJournal` did.
enum class TABSJournalRecovery {
  NoJournal,      //!< nothing to do
  Discarded,      //!< an incomplete journal: the database is as before the commit (deleted when writable)
  PlayedBack,     //!< the database was restored to its state before the interrupted commit
  NotPlayedBack,  //!< a complete journal that a read-only opener cannot apply
  Stale,          //!< a complete journal written for another state of the file: deleted, not applied
};

//! Restores one saved range into the database file.
using TABSJournalRestore = std::function<void(const TABSJournalRecord& record)>;

//! Looks for a journal of a database and deals with it: an incomplete one is discarded; a complete
//! one that does not match the page size, the base offset and `accept` is stale and deleted; a
//! matching one is played back: `resize` gives the
//! file its recorded size, `restore` writes back each record (release records included), then
//! `afterRestore` runs (it syncs the database and releases pages) and the journal is deleted. With
//! `writable` false nothing is changed.
//! REQUIRES: no commit of this database is running (the header lock is held).
TABSJournalRecovery RecoverJournal(platform::FileSystem& fileSystem, const std::string& path, bool writable,
                                   uint16_t pageSize, int64_t baseOffset, const TABSJournalRestore& restore,
                                   const std::function<void()>& afterRestore,
                                   const std::function<bool(const TABSJournalContents&)>& accept = nullptr,
                                   const std::function<void(int64_t)>& resize = nullptr);

}  // namespace viz
