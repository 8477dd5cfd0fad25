// Pages in memory and the page-manager protocol that every table, index, BLOB and internal file
// goes through.
//
// Users follow one pattern:
//
//   page = GetPage(session, n, type)  or  page = AddPage(session, type)
//   read or change page->Data() (MarkDirty() when changing)
//   ReleasePage(page)
//   ... later Commit(session) or Rollback(session)
//
// A page must be released before its session commits. Life of a page object:
//
//            GetPage (read)                         AddPage
//                 |                                    |
//                 v         ReleasePage(dirty)         v
//   [shared cache, clean] ---------------------> [session's dirty list]
//        ^     |                                       |        |
//        |     | eviction (least recently used,        | Commit | Rollback
//        |     v  use count 0)                         |        v
//        |  destroyed   <------ cache full ------------+     destroyed
//        +-------------------- written -----------------+
//
// Pages changed by a session stay private to it until it commits; other sessions of the same
// manager read the committed version from the backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "engine/storage/file_format.h"
#include "engine/storage/sorted_page_list.h"

namespace viz {

class TABSPageManager;
class TABSStream;

//! `GetPage` with this expected type accepts a page of any type.
inline constexpr uint16_t kAnyPageType = 255;
//! Session number of the database's own catalogue work, committed at once by the code doing it.
inline constexpr int32_t kSystemSession = -2;
//! Never a valid session number.
inline constexpr int32_t kInvalidSession = -1;

//! One page in memory: a buffer of the manager's page size (header + data area) and its cache
//! state. Created and destroyed only by its page manager.
class TABSPage {
 public:
  explicit TABSPage(TABSPageManager* manager);
  ~TABSPage();
  TABSPage(const TABSPage&) = delete;
  TABSPage& operator=(const TABSPage&) = delete;

  TABSPageManager* Manager() const { return manager_; }

  //! -1 until assigned.
  int32_t PageNo = -1;
  //! Changed since it was read; set by whoever changes the data area.
  bool Dirty = false;
  //! Number of current users (GetPage/AddPage minus ReleasePage).
  int32_t UseCount = 0;
  //! Session that last obtained the page.
  int32_t OwnerSession = kInvalidSession;
  //! False for pages of direct-access internal files, which stay plain in enciphered databases.
  bool EncipherOnWrite = true;

  //! The whole buffer, starting with the page header. Null before AllocBuffer.
  uint8_t* Header() const { return buffer_; }
  uint8_t* Buffer() const { return buffer_; }
  //! The data area: buffer + the manager's page header size.
  uint8_t* Data() const;
  //! Page size minus the manager's page header size.
  uint32_t DataSize() const;
  //! Bytes in the buffer (the page size unless the buffer was grown).
  uint32_t BufferSize() const { return bufferSize_; }
  bool OwnsBuffer() const { return ownsBuffer_; }

  //! Allocates a zero-filled owned buffer of the page size and, when the manager's pages have a
  //! header, writes the new-page header: "ABSP", counter 0, type 0, next -1, CRC 0, bytes 18..21 zero,
  //! 22 and 26 -1, 30 zero.
  void AllocBuffer();
  //! Releases an owned buffer; forgets a borrowed one.
  void FreeBuffer();
  //! Makes the page use `buffer` of `size` bytes without owning it.
  void BorrowBuffer(uint8_t* buffer, uint32_t size);
  //! Grows the buffer to `newSize` (not below the page size). An owned buffer is resized; a borrowed
  //! one is copied into a new owned buffer. Raises 20038 without a buffer, 20039 below the page size.
  void GrowBuffer(uint32_t newSize);

  //! Notes a change of the data area: sets `Dirty` and gives the content a new serial. Code that
  //! changes a page calls this (not `Dirty = true`), so that nothing learnt from the old content
  //! is taken for current.
  void MarkDirty();
  //! A number that changes whenever the buffer's content may have changed (it was read, replaced or
  //! marked changed), never the same for two contents in one process: what was learnt from a page's
  //! content stays true while its serial is the same.
  uint64_t ContentSerial() const { return contentSerial_; }
  //! Gives the content a new serial (the buffer was filled or changed).
  void NoteContentChanged();

  // Page header fields (meaningful when the manager's pages have a header).
  int32_t GetUpdateCounter() const;
  void SetUpdateCounter(int32_t value);
  uint16_t GetPageType() const;
  void SetPageType(uint16_t type);
  int32_t GetNextPageNo() const;
  void SetNextPageNo(int32_t pageNo);

 private:
  friend class TABSPageManager;
  friend class TABSSortedPageList;

  TABSPageManager* manager_;
  uint8_t* buffer_ = nullptr;
  uint32_t bufferSize_ = 0;
  bool ownsBuffer_ = false;
  // The list the page is in: the shared cache, a session's dirty list, or none.
  TABSSortedPageList* list_ = nullptr;
  // Neighbours in that list's order of use (older = used less recently), kept by the list.
  TABSPage* older_ = nullptr;
  TABSPage* newer_ = nullptr;
  // A newer copy of this page number was committed while this one was in use: drop it on release.
  bool stale_ = false;
  uint64_t contentSerial_ = 0;
};

//! Base of the objects that interpret the data area of one page (the B-tree pages derive from it).
class TABSPageController {
 public:
  explicit TABSPageController(TABSPage* page = nullptr) : page_(page) {}
  virtual ~TABSPageController() = default;

  TABSPage* Page() const { return page_; }
  void SetPage(TABSPage* page) { page_ = page; }

  int32_t GetPageNo() const;
  void SetPageNo(int32_t pageNo);
  //! The page size of the page's manager.
  uint32_t PageSize() const;
  uint8_t* Data() const;
  uint32_t DataSize() const;
  void MarkDirty();
  void GrowBuffer(uint32_t newSize);

 protected:
  // The page must be set before any other call; raises "Nil pointer occured" otherwise.
  TABSPage& CheckedPage() const;

  TABSPage* page_;
};

//! Hands out pages per session, keeps the clean ones in a bounded shared cache, keeps each session's
//! changes private until `Commit`, and throws them away on `Rollback`. Backends supply the page
//! storage through the abstract slots.
//!
//! Not safe for concurrent use: callers hold the database's lock for every call.
class TABSPageManager {
  friend class TABSPage;

 public:
  //! `headerSize` is 40 for disk pages, 0 for memory pages (the defaults are those of a new disk
  //! database). The cache capacity starts at min(1000, available memory div 65536) pages.
  explicit TABSPageManager(uint16_t pageSize = 4096, uint16_t headerSize = file_format::kPageHeaderSize);
  //! Destroys every page object. Call `FreeCache` first to be told about uncommitted changes.
  virtual ~TABSPageManager();
  TABSPageManager(const TABSPageManager&) = delete;
  TABSPageManager& operator=(const TABSPageManager&) = delete;

  // ---- Virtual slots, in their fixed order.

  //! Slot 0. Returns the number of pages of the backend (base: the stored count).
  virtual int32_t GetPageCount();
  //! Slot 1. Reads all pages from a stream (base: nothing).
  virtual void LoadPages(TABSStream& stream);
  //! Slot 2. Writes all pages to a stream (base: nothing).
  virtual void SavePages(TABSStream& stream);
  //! Slot 3. Gives the page a number (-1 when none could be had) and a fresh buffer.
  virtual void AllocatePageNo(TABSPage* page) = 0;
  //! Slot 4. Returns a page number to the backend's free space.
  virtual void FreePageNo(int32_t pageNo) = 0;
  //! Slot 5. Reads page `page->PageNo` into the page's buffer.
  virtual bool ReadPage(TABSPage* page) = 0;
  //! Slot 6. Writes the page's buffer to the backend.
  virtual void WritePage(TABSPage* page) = 0;
  //! Slot 7. Schedules page `pageNo` to be freed when the session commits.
  virtual void RemovePage(int32_t session, int32_t pageNo);
  //! Slot 8. Returns page `pageNo` for the session, with its use count raised. Raises 20186 for
  //! session -1, 20153 when the page's stored type is not `expectedType` (255 accepts any), 20090
  //! when another session uses the page.
  virtual TABSPage* GetPage(int32_t session, int32_t pageNo, uint16_t expectedType = kAnyPageType);
  //! Slot 9. Frees the session's removed pages and writes its changed pages. Raises 20152 (and
  //! writes nothing) while one of its pages in the shared cache is still in use, 20086 (likewise
  //! before anything is written) for a page of its dirty list that is still in use.
  virtual void Commit(int32_t session);

  // ---- Non-virtual protocol.

  //! Returns a new dirty page of `pageType` for the session, allocated in the backend at once.
  TABSPage* AddPage(int32_t session, uint16_t pageType);
  //! Ends one use of the page. A changed page moves to its session's dirty list; a clean one
  //! becomes the most recently used, and at most one unused page is evicted when the cache is over
  //! its capacity.
  void ReleasePage(TABSPage* page);
  //! Throws away the session's changes and returns its new pages to the backend's free space.
  void Rollback(int32_t session);
  //! Raises "Cannot free not commited pages" (20097) while a session has changes; otherwise
  //! destroys every cached page.
  void FreeCache();

  uint16_t PageSize() const { return pageSize_; }
  uint16_t PageHeaderSize() const { return headerSize_; }
  uint32_t PageDataSize() const { return pageSize_ - headerSize_; }

  //! Maximum number of clean pages kept in the shared cache.
  int32_t CacheCapacity() const { return cacheCapacity_; }
  void SetCacheCapacity(int32_t capacity) { cacheCapacity_ = capacity; }
  int32_t CachedPageCount() const { return cache_.Count(); }
  //! True when page `pageNo` is in the shared cache.
  bool IsCached(int32_t pageNo) const { return cache_.Find(pageNo) != nullptr; }
  //! True when the session has changed, new or removed pages not yet committed.
  bool HasChanges(int32_t session) const;

  //! Returns min(1000, available div 65536), at least 1.
  static int32_t CapacityForMemory(int64_t availableBytes);

  //! Pages handed out by GetPage (each request, whether the page was cached or not) and pages read
  //! from the backend, since the manager was made: what an operation costs in pages.
  int64_t PageRequestCount() const { return pageRequests_; }
  int64_t PageReadCount() const { return pageReads_; }

 protected:
  //! A session's private state. Lives as long as its manager.
  struct SessionRecord {
    int32_t session = kInvalidSession;
    TABSSortedPageList dirty;
    std::vector<int32_t> newPages;
    std::vector<int32_t> pagesToFree;
    //! Pages the session holds (use count above 0, wherever they are): a commit with none held
    //! need not look for them.
    int32_t heldPages = 0;
  };

  //! Called for a page found in the shared cache before it is handed out; a backend shared with
  //! other processes re-reads the page when it changed there. Base: nothing.
  virtual void ValidateCachedPage(TABSPage* page);
  //! Whether a change of the page is in the backend the moment it is made (the page shares the
  //! backend's own buffer). Such a page stays in the shared cache when released changed, instead of
  //! joining its session's changes to be written at commit. Base: false.
  virtual bool ChangesAreStored(const TABSPage& /*page*/) const { return false; }

  SessionRecord& SessionFor(int32_t session);
  //! The numbers of the sessions that have a record.
  std::vector<int32_t> SessionNumbers() const;
  SessionRecord* FindSession(int32_t session);

  //! Raises 20152 when a page in the shared cache, or a page of the session's dirty list that the
  //! commit frees, is still used by the session.
  void CheckSessionPagesReleased(int32_t session) const;
  //! Raises 20085 or 20086 for a dirty-list page that cannot be written. Skips `skip` pages.
  void CheckDirtyPagesWritable(SessionRecord& record, const std::vector<int32_t>& skip) const;
  //! Removes and destroys the session's copy and the cached copy of a page that is freed.
  void DropPage(SessionRecord& record, int32_t pageNo);
  //! Writes every page of the dirty list in ascending order and moves it to the shared cache (see
  //! MoveWrittenPagesToCache); clears the dirty list.
  void WriteDirtyPages(SessionRecord& record);
  //! Moves the (written) pages of the dirty list to the shared cache in ascending order, in place of
  //! the least recently used pages cached before; destroys those that find no room (the cache
  //! already full of this commit's pages, or its oldest page in use); clears the dirty list.
  void MoveWrittenPagesToCache(SessionRecord& record);
  //! The second half of AddPage: makes `page`, which has its new number, a held dirty page of
  //! `pageType` among the session's new pages. REQUIRES: a valid session.
  TABSPage* TakeNewPage(int32_t session, std::unique_ptr<TABSPage> page, uint16_t pageType);
  //! Drops the cached copy of a page when nobody uses it (the file changed under it).
  void UncachePage(int32_t pageNo);
  //! Destroys every unused cached page.
  void DropUnusedCachedPages();
  //! Sets the page size and header size once a backend knows them (a file opened later).
  void SetPageGeometry(uint16_t pageSize, uint16_t headerSize) {
    pageSize_ = pageSize;
    headerSize_ = headerSize;
  }

  //! Inserts a clean page into the shared cache, replacing an older copy of the same number. A full
  //! cache makes room by dropping its least recently used unused pages, but only among the
  //! `olderPages` oldest (those cached before the pages now being placed; counted down as they go).
  //! Returns false (and leaves the page alone) when no room can be made.
  bool CachePage(TABSPage* page, int32_t& olderPages);
  void DestroyPage(TABSPage* page);

  uint16_t pageSize_;
  uint16_t headerSize_;
  int32_t pageCount_ = 0;
  int32_t cacheCapacity_;

 private:
  void RemoveFromList(TABSPage* page);
  void EvictOne();

  TABSSortedPageList cache_;
  std::map<int32_t, std::unique_ptr<SessionRecord>> sessions_;
  SessionRecord* lastSession_ = nullptr;
  int64_t pageRequests_ = 0;
  int64_t pageReads_ = 0;
  uint64_t contentSerials_ = 0;
};

inline void TABSPage::NoteContentChanged() {
  if (manager_ != nullptr) contentSerial_ = ++manager_->contentSerials_;
}

inline void TABSPage::MarkDirty() {
  Dirty = true;
  NoteContentChanged();
}

}  // namespace viz
