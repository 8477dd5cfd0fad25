// TABSPageManager: the shared cache, the per-session dirty lists, commit and rollback.
#include <algorithm>
#include <atomic>

#include "engine/platform/random.h"
#include "engine/storage/VIZPage.h"
#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
constexpr int32_t kMaxCachePages = 1000;
constexpr int64_t kBytesPerCachePage = 65536;
constexpr uint32_t kUpdateCounterRange = 0x3FFFFFFF;
// Every manager numbers the contents of its pages in a range of its own (2^40 numbers), so that a
// content serial is never seen again in this process, whichever manager a page belongs to.
std::atomic<uint64_t> nextSerialRange{1};
constexpr int kSerialRangeBits = 40;
}  // namespace

int32_t TABSPageManager::CapacityForMemory(int64_t availableBytes) {
  // Unknown free memory (0) should not leave the engine without a cache.
  if (availableBytes <= 0) return kMaxCachePages;
  return static_cast<int32_t>(std::clamp<int64_t>(availableBytes / kBytesPerCachePage, 1, kMaxCachePages));
}

TABSPageManager::TABSPageManager(uint16_t pageSize, uint16_t headerSize)
    : pageSize_(pageSize),
      headerSize_(headerSize),
      cacheCapacity_(CapacityForMemory(MemoryManager().GetAvailableMemory())),
      contentSerials_(nextSerialRange.fetch_add(1, std::memory_order_relaxed) << kSerialRangeBits) {}

TABSPageManager::~TABSPageManager() {
  for (TABSPage* page : cache_.Pages()) delete page;
  for (auto& [number, record] : sessions_) {
    for (TABSPage* page : record->dirty.Pages()) delete page;
  }
}

int32_t TABSPageManager::GetPageCount() {
  return pageCount_;
}

void TABSPageManager::LoadPages(TABSStream& /*stream*/) {}

void TABSPageManager::SavePages(TABSStream& /*stream*/) {}

void TABSPageManager::ValidateCachedPage(TABSPage* /*page*/) {}

TABSPageManager::SessionRecord& TABSPageManager::SessionFor(int32_t session) {
  // Records are never removed, so the one asked for last stays valid; most requests name it again.
  if (lastSession_ != nullptr && lastSession_->session == session) return *lastSession_;
  auto& slot = sessions_[session];
  if (!slot) {
    slot = std::make_unique<SessionRecord>();
    slot->session = session;
  }
  lastSession_ = slot.get();
  return *slot;
}

std::vector<int32_t> TABSPageManager::SessionNumbers() const {
  std::vector<int32_t> numbers;
  for (const auto& entry : sessions_) numbers.push_back(entry.first);
  return numbers;
}

TABSPageManager::SessionRecord* TABSPageManager::FindSession(int32_t session) {
  auto found = sessions_.find(session);
  return found == sessions_.end() ? nullptr : found->second.get();
}

bool TABSPageManager::HasChanges(int32_t session) const {
  auto found = sessions_.find(session);
  if (found == sessions_.end()) return false;
  const SessionRecord& record = *found->second;
  return record.dirty.Count() > 0 || !record.newPages.empty() || !record.pagesToFree.empty();
}

void TABSPageManager::DestroyPage(TABSPage* page) {
  delete page;
}

void TABSPageManager::RemoveFromList(TABSPage* page) {
  if (page->list_ != nullptr) page->list_->Delete(page->PageNo);
  page->list_ = nullptr;
}

TABSPage* TABSPageManager::GetPage(int32_t session, int32_t pageNo, uint16_t expectedType) {
  if (session == kInvalidSession) throw EABSException(msg::kInvalidSessionId);
  SessionRecord& record = SessionFor(session);
  ++pageRequests_;

  TABSPage* page = record.dirty.Find(pageNo);
  if (page == nullptr) {
    page = cache_.Find(pageNo);
    // A page in use may carry unreleased changes; only an idle copy may be refreshed.
    if (page != nullptr && page->UseCount == 0) {
      try {
        ValidateCachedPage(page);
      } catch (...) {
        // A copy that could not be read again is not kept.
        RemoveFromList(page);
        DestroyPage(page);
        throw;
      }
    }
  }
  if (page == nullptr) {
    auto fresh = std::make_unique<TABSPage>(this);
    fresh->PageNo = pageNo;
    fresh->OwnerSession = session;
    fresh->AllocBuffer();
    cache_.Insert(fresh.get());
    fresh->list_ = &cache_;
    ++pageReads_;
    try {
      ReadPage(fresh.get());
      fresh->NoteContentChanged();
    } catch (...) {
      // A page that could not be read is not kept: the next request reads it again.
      RemoveFromList(fresh.get());
      throw;
    }
    page = fresh.release();
    if (headerSize_ != 0 && expectedType != kAnyPageType && page->GetPageType() != expectedType) {
      throw EABSException(msg::kInvalidPageType, static_cast<int32_t>(expectedType),
                          static_cast<int32_t>(page->GetPageType()));
    }
  }
  if (page->UseCount > 0 && page->OwnerSession != session) throw EABSException(msg::kPageUsedByOtherSession);
  page->OwnerSession = session;
  if (page->UseCount++ == 0) ++record.heldPages;
  return page;
}

TABSPage* TABSPageManager::AddPage(int32_t session, uint16_t pageType) {
  if (session == kInvalidSession) throw EABSException(msg::kInvalidSessionId);
  auto page = std::make_unique<TABSPage>(this);
  AllocatePageNo(page.get());
  if (page->PageNo == -1) throw EABSException(msg::kInvalidPageNumber);
  return TakeNewPage(session, std::move(page), pageType);
}

TABSPage* TABSPageManager::TakeNewPage(int32_t session, std::unique_ptr<TABSPage> page, uint16_t pageType) {
  SessionRecord& record = SessionFor(session);
  if (page->Buffer() == nullptr) page->AllocBuffer();
  page->UseCount = 1;
  ++record.heldPages;
  page->Dirty = true;
  page->OwnerSession = session;
  if (headerSize_ > 0) {
    page->SetPageType(pageType);
    page->SetUpdateCounter(static_cast<int32_t>(platform::Random(kUpdateCounterRange)));
  }
  // A cached copy belongs to the page's previous life (it was freed since).
  if (TABSPage* old = cache_.Find(page->PageNo)) {
    RemoveFromList(old);
    if (old->UseCount == 0) {
      DestroyPage(old);
    } else {
      old->stale_ = true;
    }
  }
  record.dirty.Insert(page.get());
  page->list_ = &record.dirty;
  record.newPages.push_back(page->PageNo);
  return page.release();
}

void TABSPageManager::ReleasePage(TABSPage* page) {
  if (page == nullptr) throw EABSException(msg::kNilPointer);
  if (page->UseCount > 0 && --page->UseCount == 0) --SessionFor(page->OwnerSession).heldPages;
  if (page->UseCount == 0) {
    if (page->list_ == nullptr || page->stale_) {
      // A copy superseded while it was in use: its changes (if any) stay with its session.
      RemoveFromList(page);
      TABSSortedPageList& dirty = SessionFor(page->OwnerSession).dirty;
      if (page->Dirty && dirty.Find(page->PageNo) == nullptr) {
        page->stale_ = false;
        dirty.Insert(page);
        page->list_ = &dirty;
      } else {
        DestroyPage(page);
      }
      return;
    }
    if (page->list_ == &cache_) {
      // A change already in the backend leaves nothing to write: the page is clean again.
      if (page->Dirty && ChangesAreStored(*page)) page->Dirty = false;
      if (page->Dirty) {
        cache_.Delete(page->PageNo);
        TABSSortedPageList& dirty = SessionFor(page->OwnerSession).dirty;
        dirty.Insert(page);
        page->list_ = &dirty;
      } else {
        cache_.Touch(page);
      }
    }
  }
  if (page->list_ == &cache_ && cache_.Count() > cacheCapacity_) EvictOne();
}

void TABSPageManager::EvictOne() {
  TABSPage* oldest = cache_.Oldest();
  if (oldest == nullptr || oldest->UseCount > 0) return;
  RemoveFromList(oldest);
  DestroyPage(oldest);
}

void TABSPageManager::RemovePage(int32_t session, int32_t pageNo) {
  if (session == kInvalidSession) throw EABSException(msg::kInvalidSessionId);
  std::vector<int32_t>& toFree = SessionFor(session).pagesToFree;
  // Removing a page twice must not free it twice at commit.
  if (std::find(toFree.begin(), toFree.end(), pageNo) == toFree.end()) toFree.push_back(pageNo);
}

void TABSPageManager::CheckSessionPagesReleased(int32_t session) const {
  auto held = sessions_.find(session);
  if (held == sessions_.end() || held->second->heldPages <= 0) return;
  for (int32_t index = 0; index < cache_.Count(); ++index) {
    const TABSPage* page = cache_.At(index);
    if (page->OwnerSession == session && page->UseCount > 0)
      throw EABSException(msg::kSessionPagesNotReleased);
  }
  // A held page of the dirty list that is to be written is refused as "Cannot write used page";
  // one that the commit would free must not be destroyed under its user either.
  auto found = sessions_.find(session);
  if (found == sessions_.end()) return;
  const SessionRecord& record = *found->second;
  for (int32_t pageNo : record.pagesToFree) {
    const TABSPage* page = record.dirty.Find(pageNo);
    if (page != nullptr && page->UseCount > 0) throw EABSException(msg::kSessionPagesNotReleased);
  }
}

void TABSPageManager::CheckDirtyPagesWritable(SessionRecord& record, const std::vector<int32_t>& skip) const {
  for (int32_t index = 0; index < record.dirty.Count(); ++index) {
    const TABSPage* page = record.dirty.At(index);
    if (std::find(skip.begin(), skip.end(), page->PageNo) != skip.end()) continue;
    if (!page->Dirty) throw EABSException(msg::kInvalidDirtyPage);
    if (page->UseCount > 0) throw EABSException(msg::kCannotWriteUsedPage);
  }
}

void TABSPageManager::DropPage(SessionRecord& record, int32_t pageNo) {
  if (TABSPage* page = record.dirty.Find(pageNo)) {
    RemoveFromList(page);
    DestroyPage(page);
  }
  if (TABSPage* page = cache_.Find(pageNo)) {
    RemoveFromList(page);
    if (page->UseCount == 0) {
      DestroyPage(page);
    } else {
      page->stale_ = true;
    }
  }
}

bool TABSPageManager::CachePage(TABSPage* page, int32_t& olderPages) {
  // One copy per page number: the committed one replaces what another session read earlier.
  if (TABSPage* old = cache_.Find(page->PageNo)) {
    RemoveFromList(old);
    --olderPages;
    if (old->UseCount == 0) {
      DestroyPage(old);
    } else {
      old->stale_ = true;
    }
  }
  // Pages cached before are chained before the ones this commit placed, so while some are left
  // the oldest page is one of them.
  while (cache_.Count() >= cacheCapacity_ && olderPages > 0) {
    TABSPage* oldest = cache_.Oldest();
    if (oldest == nullptr || oldest->UseCount > 0) break;
    RemoveFromList(oldest);
    DestroyPage(oldest);
    --olderPages;
  }
  if (cache_.Count() >= cacheCapacity_) return false;
  cache_.Insert(page);
  page->list_ = &cache_;
  return true;
}

void TABSPageManager::WriteDirtyPages(SessionRecord& record) {
  // Every page is written before any leaves the dirty list, so a failed write leaves the session's
  // changes complete for another attempt.
  for (TABSPage* page : record.dirty.Pages()) WritePage(page);
  MoveWrittenPagesToCache(record);
}

void TABSPageManager::MoveWrittenPagesToCache(SessionRecord& record) {
  std::vector<TABSPage*> pages = record.dirty.Pages();
  record.dirty.Clear();
  // The pages just written are the likeliest to be asked for next (the last record, BLOB and
  // index pages of a table being filled): they take the places of the least recently used pages
  // cached before. A commit larger than the cache keeps its first pages.
  int32_t olderPages = cache_.Count();
  for (TABSPage* page : pages) {
    page->Dirty = false;
    page->list_ = nullptr;
    if (!CachePage(page, olderPages)) DestroyPage(page);
  }
}

void TABSPageManager::UncachePage(int32_t pageNo) {
  TABSPage* page = cache_.Find(pageNo);
  if (page == nullptr || page->UseCount > 0) return;
  RemoveFromList(page);
  DestroyPage(page);
}

void TABSPageManager::DropUnusedCachedPages() {
  for (TABSPage* page : cache_.Pages()) {
    if (page->UseCount == 0) {
      RemoveFromList(page);
      DestroyPage(page);
    }
  }
}

void TABSPageManager::Commit(int32_t session) {
  CheckSessionPagesReleased(session);
  SessionRecord* record = FindSession(session);
  if (record == nullptr) return;
  CheckDirtyPagesWritable(*record, record->pagesToFree);
  std::vector<int32_t> toFree = std::move(record->pagesToFree);
  record->pagesToFree.clear();
  record->newPages.clear();
  for (int32_t pageNo : toFree) {
    FreePageNo(pageNo);
    DropPage(*record, pageNo);
  }
  WriteDirtyPages(*record);
}

void TABSPageManager::Rollback(int32_t session) {
  SessionRecord* record = FindSession(session);
  if (record == nullptr) return;
  for (int32_t index = 0; index < record->dirty.Count(); ++index) {
    const TABSPage* page = record->dirty.At(index);
    if (!page->Dirty) throw EABSException(msg::kInvalidIndexPage);
    if (page->UseCount > 0) throw EABSException(msg::kCannotRemoveUsedPage);
  }
  for (TABSPage* page : record->dirty.Pages()) DestroyPage(page);
  record->dirty.Clear();
  std::vector<int32_t> newPages = std::move(record->newPages);
  record->newPages.clear();
  record->pagesToFree.clear();
  for (int32_t pageNo : newPages) FreePageNo(pageNo);
}

void TABSPageManager::FreeCache() {
  for (auto& [number, record] : sessions_) {
    if (record->dirty.Count() > 0) throw EABSException(msg::kCannotFreeNotCommittedPages);
  }
  for (TABSPage* page : cache_.Pages()) DestroyPage(page);
  cache_.Clear();
}

}  // namespace viz
