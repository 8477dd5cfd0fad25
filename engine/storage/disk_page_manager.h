// The disk page manager's file side: creating and opening a database file, the prefix (header,
// password-check block, lock area, object-id counter), page offsets, partial page reads and writes,
// the lock bytes, growing and cutting the file, and the page read and write hooks that encipher page
// data areas. The free-space manager it owns decides which page a new page gets.
//
// Lifecycle:
//
//   closed --CreateDatabaseFile--> open (new file, 0 pages) --CloseDatabaseFile--> closed
//   closed --OpenDatabaseFile----> open --CloseDatabaseFile / destructor--> closed
//
// A failed open leaves the file open only when the failure came after the file itself was opened;
// the owner then calls CloseDatabaseFile.
//
// Not safe for concurrent use: callers in one process serialise through the database's lock. Other
// processes are coordinated only through the byte locks in the file:
//   header lock (B + 360): reading the header at open, allocating and freeing pages, commits,
//     GetTotalPageCount; re-entrant within one manager.
//   table-catalogue lock (B + 359), object-id lock (first byte of NextObjectID).
// Beside the file: the rollback journal of a commit in progress (rollback_journal.h) and the
// allocation log of pages allocated and not yet committed (allocation_log.h), both used only under
// the header lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/VIZPage.h"
#include "engine/storage/database_file.h"
#include "engine/storage/file_format.h"
#include "engine/storage/page_cipher.h"

namespace viz {

class TABSAllocationLog;
class TABSDatabaseFreeSpaceManager;

class TABSDiskPageManager : public TABSPageManager {
 public:
  static constexpr int kDefaultLockAttempts = 4500;
  static constexpr int kDefaultLockPauseMs = 20;

  //! Uses `fileSystem` (the real one by default) for the database file.
  explicit TABSDiskPageManager(platform::FileSystem* fileSystem = nullptr);
  virtual ~TABSDiskPageManager();
  TABSDiskPageManager(const TABSDiskPageManager&) = delete;
  TABSDiskPageManager& operator=(const TABSDiskPageManager&) = delete;

  // ---- Creating, opening, closing

  //! Creates a new database file with no pages (replacing any file of that name) and leaves it open.
  //! Raises 10461 when this manager's file is open.
  void CreateDatabaseFile(const std::string& fileName, const TABSPassword& password,
                          uint16_t extentPageCount = file_format::kDefaultExtentPageCount,
                          uint16_t pageSize = file_format::kDefaultPageSize);
  //! Opens a database file. `multiUser` and `readOnly` are adjusted to what the file allows;
  //! `repairNeeded` reports an interrupted commit or an old version. For an enciphered file the
  //! password record takes the file's cipher type. Only once the file is known to be a database and
  //! the password fits does a writable open touch anything: it plays back the journal of an
  //! interrupted commit and returns the pages of connections that ended without committing them
  //! (the allocation log). Raises 10462 (in use), 20230 (header locked), 10470 (signature), 30445
  //! (password), 20237 (format), and the file errors.
  void OpenDatabaseFile(const std::string& fileName, const TABSPassword& password, bool& multiUser,
                        bool exclusive, bool& repairNeeded, bool& readOnly);
  //! Closes the file if open and drops the free-space manager.
  void CloseDatabaseFile();
  bool IsOpened() const { return file_.IsOpened(); }

  // ---- The prefix

  void ReadHeader();
  //! ReadHeader, taking in the same read the first `pageCount` pages into `pages` (`pageCount` x page
  //! size bytes, raw: no cipher). Returns how many of them the file holds whole (the others are not
  //! to be used). A failed read falls back to ReadHeader alone and returns 0.
  int32_t ReadHeaderAndFirstPages(uint8_t* pages, int32_t pageCount);
  //! Writes the 76 header bytes. In transient-open mode it refuses (20196) when another program
  //! changed the file and left a commit unfinished.
  void WriteHeader();
  void ReadCheckBlock();
  void WriteCheckBlock();
  void ReadLockAreaSize();
  void WriteLockArea();

  //! Returns a new object id: the stored counter plus 1, stored back; a read-only file returns it plus
  //! a random 0..9999 without storing. Raises 30401 when the counter's lock cannot be had.
  int32_t GetNextObjectID();
  //! Returns TotalPageCount read fresh from the file under the header lock (one attempt; 20236).
  int32_t GetTotalPageCount();

  // ---- Pages in the file

  //! Returns the file offset of a page. Raises "Invalid PageNo = %d" (10471) for a negative number.
  int64_t PageOffset(int32_t pageNo) const;
  //! Reads or writes `count` bytes at `offset` within a page, directly in the file (no cache, no
  //! cipher). Raises 10476 / 10477 when offset + count exceeds the page size.
  void ReadPagePart(void* buffer, int32_t pageNo, uint16_t count, uint16_t offset);
  void WritePagePart(const void* buffer, int32_t pageNo, uint16_t count, uint16_t offset);
  //! The update counter in the file; a failed read yields 2147483647.
  int32_t ReadPageUpdateCounter(int32_t pageNo);
  void WritePageUpdateCounter(int32_t pageNo, int32_t value);

  //! Read hook: reads a whole page into `buffer` (page size bytes) and, in an enciphered database,
  //! deciphers its data area unless it is a map page or `enciphered` is false. Returns false (update
  //! counter set to 2147483647 in the buffer) when the page cannot be read. Raises "Decrypt page
  //! error. Check CRC failed. PageNo: %d" (30446) when the deciphered data does not match its CRC.
  bool ReadPageBuffer(int32_t pageNo, uint8_t* buffer, bool enciphered = true);
  //! Write hook: increments the buffer's update counter and writes the whole page (10469). In an
  //! enciphered database the data area of a page other than a map page is enciphered on the way
  //! (CRC and cipher type in the header) unless `encipher` is false; the buffer is plain afterwards.
  void WritePageBuffer(int32_t pageNo, uint8_t* buffer, bool encipher = true);
  //! The update counter a page write gives a page whose counter is `counter`: one more, never the
  //! freed marker.
  static int32_t NextUpdateCounter(int32_t counter) {
    return counter >= file_format::kFreedPageCounter - 1 ? 0 : counter + 1;
  }
  //! Allocates a page through the free-space maps; durable when it returns. Not recorded in the
  //! allocation log: a caller outside the page cache writes the page itself (AddPage records).
  int32_t AllocatePageNumber();
  //! Frees a page: marks its update counter 2147483647 in the file, then clears it in the maps,
  //! then drops its allocation-log entry.
  void FreePageNo(int32_t pageNo) override;
  //! True when the page holds a written page: the page signature and an update counter other than
  //! the freed marker (a page never written, or freed, holds nothing).
  bool HoldsWrittenPage(int32_t pageNo);
  //! True for PFS and EAM pages (from the page geometry alone, also before the maps are set up).
  bool IsMapPageNo(int32_t pageNo) const;
  //! Raises "Cannot delete PFS or EAM page. PageNo=%d" (30434) for a map page.
  void CheckNotMapPage(int32_t pageNo) const;

  // ---- Locks

  //! One attempt at the header lock; re-entrant (a count is kept, the byte is released at zero).
  bool LockHeader();
  bool UnlockHeader();
  //! One attempt at the table-catalogue lock.
  bool LockTableCatalog();
  bool UnlockTableCatalog();
  bool LockPageByte(int32_t pageNo, uint16_t offset);
  bool UnlockPageByte(int32_t pageNo, uint16_t offset);
  bool IsPageByteLocked(int32_t pageNo, uint16_t offset);
  bool IsPageRegionLocked(int32_t pageNo, uint16_t offset, uint16_t count);
  //! Tries `attempt` up to the lock-attempt count, pausing between tries. True when it succeeded.
  bool RetryLock(const std::function<bool()>& attempt) const;
  //! Changes the attempt count and pause of `RetryLock` (4500 attempts 20 ms apart by default).
  void SetLockRetryPolicy(int attempts, int pauseMs);

  // ---- Page cache and transactions (disk_page_manager_cache.cpp)

  //! The page-manager slots backed by the file: TotalPageCount fresh from the file, durable
  //! allocation, the read and write hooks, and map pages refused by `RemovePage` and `GetPage`.
  int32_t GetPageCount() override;
  //! Allocates through the maps and records the page in the allocation log first.
  void AllocatePageNo(TABSPage* page) override;
  //! Adds `count` new dirty pages of `pageType` to the session's changes: the pages, numbers and
  //! file writes of `count` calls of AddPage, allocated in one pass of the free-space maps. The
  //! pages come back released (GetPage finds them among the session's changes); on a failure the
  //! pages had before it stay among the session's new pages.
  std::vector<int32_t> AddPages(int32_t session, uint16_t pageType, int32_t count);
  bool ReadPage(TABSPage* page) override;
  void WritePage(TABSPage* page) override;
  void RemovePage(int32_t session, int32_t pageNo) override;
  TABSPage* GetPage(int32_t session, int32_t pageNo, uint16_t expectedType = kAnyPageType) override;
  //! How many GetPage calls raised, and the page of the last one: lets a caller far above name the
  //! page behind an error of a damaged file.
  int64_t FailedPageRequests() const { return failedPageRequests_; }
  int32_t LastFailedPage() const { return lastFailedPage_; }
  //! Commits with the flush setting of `SetFlushOnCommit`.
  void Commit(int32_t session) override;
  //! Writes the session's changes atomically under the header lock (20213): the previous images
  //! go to the rollback journal first; `flush` makes the commit durable against power loss too.
  void Commit(int32_t session, bool flush);
  void SetFlushOnCommit(bool flush) { flushOnCommit_ = flush; }
  bool FlushOnCommit() const { return flushOnCommit_; }
  //! Plays back the journal of an interrupted commit and, with `releasePages`, returns the pages
  //! that commit allocated to the free space. Returns true when a complete journal is left that could
  //! not be played back (read-only file): the database then needs repair.
  //! REQUIRES: the header lock is held and the header was read.
  bool PlayBackJournal(bool releasePages = true);
  //! Returns to the free space the pages that connections which have ended had allocated and not
  //! committed (their allocation-log slots are no longer held), then empties those slots. A page is
  //! kept when it holds a written page or a live connection lists it. Nothing happens on a
  //! read-only file. REQUIRES: the header lock is held and any journal was played back.
  void ReleaseAbandonedAllocations();
  //! This connection's side of the allocation log (made on first use; the file is opened when needed).
  TABSAllocationLog& AllocationLog();

  // ---- Growing and cutting

  //! Adds `pageCount` pages at the end (TotalPageCount in memory; the caller writes the header).
  void ExtendFile(int32_t pageCount);
  //! Cuts `pageCount` pages off the end when 0 < pageCount <= TotalPageCount, writing the header.
  void TruncateFile(int32_t pageCount);
  //! Cuts the pages after LastUsedPageNo.
  void TruncateTrailingFreePages();

  // ---- State

  const TABSDatabaseHeader& Header() const { return header_; }
  //! The in-memory header; the free-space manager keeps TotalPageCount and LastUsedPageNo in it.
  TABSDatabaseHeader& MutableHeader() { return header_; }
  const TABSCheckBlock& CheckBlock() const { return checkBlock_; }
  const TABSPassword& Password() const { return password_; }
  bool IsEncrypted() const { return header_.encrypted != 0; }
  uint16_t PageSize() const { return pageSize_; }
  uint16_t PageHeaderSize() const { return file_format::kPageHeaderSize; }
  uint16_t PageDataSize() const { return pageDataSize_; }
  int64_t BaseOffset() const { return baseOffset_; }
  bool IsMultiUser() const { return multiUser_; }
  bool IsExclusive() const { return exclusive_; }
  bool IsReadOnly() const { return file_.AccessMode() == TABSDatabaseFile::kAccessRead; }
  TABSDatabaseFile& File() { return file_; }
  //! The free-space manager; null while the file is closed.
  TABSDatabaseFreeSpaceManager* FreeSpaceManager() { return freeSpace_.get(); }

 private:
  void RequireOpened(int32_t code) const;
  // Derives the offsets of the prefix parts from B and the header size.
  void SetPrefixOffsets(int64_t checkBlockOffset);
  void ResetState();
  platform::FileSystem& Fs() const;
  // The read-only probe of OpenDatabaseFile.
  bool ProbeReadOnly(const std::string& fileName, bool& multiUser);

  platform::FileSystem* fileSystem_;
  TABSDatabaseFile file_;
  TABSDatabaseHeader header_;
  TABSCheckBlock checkBlock_;
  uint16_t lockAreaSize_ = file_format::kLockAreaSize;
  TABSPassword password_;
  uint16_t pageSize_ = file_format::kDefaultPageSize;
  uint16_t pageDataSize_ = file_format::kDefaultPageSize - file_format::kPageHeaderSize;
  int64_t baseOffset_ = 0;
  int64_t checkBlockOffset_ = 0;
  int64_t lockAreaOffset_ = 0;
  int64_t nextObjectIdOffset_ = 0;
  int64_t pagesOffset_ = 0;
  bool multiUser_ = false;
  bool exclusive_ = false;
  int headerLockCount_ = 0;
  int64_t headerLockPosition_ = 0;
  int lockAttempts_ = kDefaultLockAttempts;
  int lockPauseMs_ = kDefaultLockPauseMs;
  std::unique_ptr<TABSDatabaseFreeSpaceManager> freeSpace_;

  // Page-cache side.
 protected:
  void ValidateCachedPage(TABSPage* page) override;

 private:
  // Writes the pages with the journal's order of work. REQUIRES: the header lock is held.
  void WriteJournalled(const std::vector<TABSPage*>& pages, const std::vector<int32_t>& toFree,
                       const std::vector<int32_t>& newPages, bool flush);
  // Writes the pages (ascending page numbers) as WritePage would, runs of consecutive pages at once.
  void WritePages(const std::vector<TABSPage*>& pages);
  // The write hook's steps around the write: the counter moved on and the data area enciphered
  // (returns whether it was), then the buffer made plain again.
  bool PrepareForWrite(int32_t pageNo, uint8_t* buffer, bool encipher);
  void RestoreAfterWrite(uint8_t* buffer, bool coded) const;
  // Hands `take` the bytes in the file of each page of `pageNos`, in that order (zeros past
  // `fileSize`, the file's size), reading runs of consecutive pages at once.
  void ReadPreviousImages(const std::vector<int32_t>& pageNos, int64_t fileSize,
                          const std::function<void(int32_t pageNo, const uint8_t* image)>& take);
  // ReadPreviousImages' buffer for a run of pages.
  std::vector<uint8_t> previousImages_;
  // Frees the pages that a journal written by an earlier version names as allocated by the undone
  // commit, unless a session of this manager still holds them.
  void ReleaseAfterPlayBack(const std::vector<int32_t>& pageNos);
  // Frees a page nobody owns any more: still marked used, holding nothing. REQUIRES: header lock.
  void ReleaseUnownedPage(int32_t pageNo);
  // Plays back a journal that a dead committer left, when there is one. REQUIRES: header lock.
  void PlayBackLeftoverJournal();
  int32_t Allocate(bool record);
  // Allocate for `count` pages in one pass, each recorded; appends them to `pageNos` as they are had.
  void AllocateRecorded(int32_t count, std::vector<int32_t>& pageNos);
  // The pages that freeing `toFree` may overwrite or cut off.
  std::vector<int32_t> PagesTouchedByFreeing(const std::vector<int32_t>& toFree);
  void SyncPageGeometry() { SetPageGeometry(pageSize_, file_format::kPageHeaderSize); }

  bool flushOnCommit_ = false;
  int64_t failedPageRequests_ = 0;
  int32_t lastFailedPage_ = -1;
  std::unique_ptr<TABSAllocationLog> allocationLog_;
};

//! Holds the header lock for a scope: taken with retries, raising "Database is locked" with
//! `failureCode` when it cannot be had; released when the scope ends.
class TABSHeaderLockHolder {
 public:
  TABSHeaderLockHolder(TABSDiskPageManager& manager, int32_t failureCode, bool retry = true);
  ~TABSHeaderLockHolder();
  TABSHeaderLockHolder(const TABSHeaderLockHolder&) = delete;
  TABSHeaderLockHolder& operator=(const TABSHeaderLockHolder&) = delete;

 private:
  TABSDiskPageManager& manager_;
};

}  // namespace viz
