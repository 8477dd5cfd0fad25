// TABSDiskPageManager, page-cache side: the page-manager slots over the file, the multi-user
// validation of cached pages, and the atomic commit with its rollback journal.
//
// A commit, all under the header lock:
//
//   read header; [hot journal of a dead process?] --> play it back first
//   [allocation-log slots of ended connections?] --> return their pages
//   journal: file size, previous header, previous image of every page to write or that the frees
//            touch (the page itself, its map pages; of a page the commit allocated, its page
//            header); seal (flush: sync the journal, its directory)
//   header State := 1, write
//   write the pages in place; free the removed pages
//   ChangeCounter + 1, State := 2, write header          (flush: sync the database)
//   delete the journal                                   <- the commit can no longer be undone
//   forget the new pages in the allocation log
//   (flush: sync the journal's directory)
//   release the header lock                              <- only now may freed pages be reused
//
// A process that dies before the journal is sealed leaves an incomplete journal and an untouched
// database; one that dies later leaves a complete journal that the next open (or the next commit of
// another process) plays back, so the database is exactly as before the commit. Either way the
// commit's new pages are still in the allocation log, and go back to the free space with the rest of
// that connection's pages. Dying after the journal was deleted leaves entries of pages that now hold
// committed data (or were freed by the commit): they are kept, since a page is returned only while
// it holds nothing.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "engine/storage/allocation_log.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/free_space_manager.h"
#include "engine/storage/rollback_journal.h"
#include "engine/types/errors.h"

namespace viz {

using namespace file_format;

namespace {

constexpr int32_t kCommitLockedCode = 20213;
constexpr int32_t kHeaderRestoreCode = 10462;
constexpr int32_t kPageRestoreCode = 10469;
constexpr int32_t kPagePartReadCode = 10474;

}  // namespace

int32_t TABSDiskPageManager::GetPageCount() {
  return GetTotalPageCount();
}

void TABSDiskPageManager::AllocatePageNo(TABSPage* page) {
  SyncPageGeometry();
  page->PageNo = Allocate(true);
  page->AllocBuffer();
}

std::vector<int32_t> TABSDiskPageManager::AddPages(int32_t session, uint16_t pageType, int32_t count) {
  if (session == kInvalidSession) throw EABSException(msg::kInvalidSessionId);
  SyncPageGeometry();
  std::vector<int32_t> pageNos;
  pageNos.reserve(static_cast<size_t>(std::max(count, 0)));
  // Each page number had becomes a page of the session, also those had before a failure: the
  // session's rollback returns them like any new page.
  auto takeAll = [&] {
    for (int32_t pageNo : pageNos) {
      auto page = std::make_unique<TABSPage>(this);
      page->PageNo = pageNo;
      ReleasePage(TakeNewPage(session, std::move(page), pageType));
    }
  };
  try {
    AllocateRecorded(count, pageNos);
  } catch (...) {
    takeAll();
    throw;
  }
  takeAll();
  return pageNos;
}

bool TABSDiskPageManager::ReadPage(TABSPage* page) {
  return ReadPageBuffer(page->PageNo, page->Buffer(), page->EncipherOnWrite);
}

void TABSDiskPageManager::WritePage(TABSPage* page) {
  WritePageBuffer(page->PageNo, page->Buffer(), page->EncipherOnWrite);
}

void TABSDiskPageManager::RemovePage(int32_t session, int32_t pageNo) {
  CheckNotMapPage(pageNo);
  TABSPageManager::RemovePage(session, pageNo);
}

TABSPage* TABSDiskPageManager::GetPage(int32_t session, int32_t pageNo, uint16_t expectedType) {
  try {
    CheckNotMapPage(pageNo);
    SyncPageGeometry();
    return TABSPageManager::GetPage(session, pageNo, expectedType);
  } catch (...) {
    ++failedPageRequests_;
    lastFailedPage_ = pageNo;
    throw;
  }
}

void TABSDiskPageManager::ValidateCachedPage(TABSPage* page) {
  if (!multiUser_) return;
  int32_t counter = ReadPageUpdateCounter(page->PageNo);
  if (counter == page->GetUpdateCounter() || counter == kFreedPageCounter) {
    page->SetUpdateCounter(counter);
    return;
  }
  // Another process committed this page since it was cached.
  ReadPage(page);
  page->NoteContentChanged();
}

void TABSDiskPageManager::Commit(int32_t session) {
  Commit(session, flushOnCommit_);
}

void TABSDiskPageManager::Commit(int32_t session, bool flush) {
  // A session that changed nothing has nothing to commit, even while it still reads pages.
  SessionRecord* record = FindSession(session);
  if (record == nullptr || !HasChanges(session)) return;
  CheckSessionPagesReleased(session);
  CheckDirtyPagesWritable(*record, record->pagesToFree);
  SyncPageGeometry();

  TABSHeaderLockHolder lock(*this, kCommitLockedCode);
  ReadHeader();
  // A process that died in the middle of a commit may have left its journal: undo that first.
  PlayBackJournal();
  ReleaseAbandonedAllocations();

  const std::vector<int32_t> toFree = record->pagesToFree;
  std::vector<TABSPage*> pages;
  for (TABSPage* page : record->dirty.Pages()) {
    if (std::find(toFree.begin(), toFree.end(), page->PageNo) == toFree.end()) pages.push_back(page);
  }
  WriteJournalled(pages, toFree, record->newPages, flush);

  for (int32_t pageNo : toFree) DropPage(*record, pageNo);
  if (allocationLog_) allocationLog_->Forget(record->newPages);
  record->pagesToFree.clear();
  record->newPages.clear();
  MoveWrittenPagesToCache(*record);
  // The commit is final. With flush its journal's deletion must reach the medium too: a journal
  // that a power loss brought back would undo the commit at the next open. A failure here is
  // reported, but the commit stands.
  if (flush) SyncJournalDirectory(Fs(), JournalFileName(file_.FileName()));
}

std::vector<int32_t> TABSDiskPageManager::PagesTouchedByFreeing(const std::vector<int32_t>& toFree) {
  std::vector<int32_t> touched;
  if (toFree.empty() || !freeSpace_) return touched;
  const int64_t total = header_.totalPageCount;
  for (int32_t pageNo : toFree) {
    if (pageNo >= 0 && pageNo < total) touched.push_back(pageNo);  // gets the freed marker
  }
  // Freeing changes the pages' PFS and EAM pages, and cutting free pages off the end may take map
  // pages anywhere above the new last used page with it: every map page is saved (one PFS and one
  // EAM page per 32448 pages with the default sizes).
  for (int64_t index = 0; freeSpace_->PfsPageNo(index) < total; ++index) {
    touched.push_back(static_cast<int32_t>(freeSpace_->PfsPageNo(index)));
  }
  for (int64_t index = 0; freeSpace_->EamPageNo(index) < total; ++index) {
    touched.push_back(static_cast<int32_t>(freeSpace_->EamPageNo(index)));
  }
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  return touched;
}

void TABSDiskPageManager::WriteJournalled(const std::vector<TABSPage*>& pages,
                                          const std::vector<int32_t>& toFree,
                                          const std::vector<int32_t>& newPages, bool flush) {
  // Every page the commit will overwrite: the changed pages, and what freeing pages changes in the
  // file (their counters, their map pages, map pages a cut could remove).
  std::vector<int32_t> saved;
  for (TABSPage* page : pages) saved.push_back(page->PageNo);
  // A page the commit allocated held nothing before it, as its header says (no signature, or the
  // freed marker): undoing the commit needs that header back, not the rest of its old bytes, which
  // nothing reads. Pages that freeing touches keep their whole image.
  std::unordered_set<int32_t> fresh(newPages.begin(), newPages.end());
  for (int32_t pageNo : PagesTouchedByFreeing(toFree)) {
    fresh.erase(pageNo);
    if (std::find(saved.begin(), saved.end(), pageNo) == saved.end()) saved.push_back(pageNo);
  }

  const std::string journalPath = JournalFileName(file_.FileName());
  auto journal = std::make_unique<TABSJournalWriter>(Fs(), journalPath);
  const int64_t fileSize = file_.GetSize();
  journal->Begin(pageSize_, baseOffset_, static_cast<int32_t>(saved.size()) + 1, fileSize);
  const TABSDatabaseHeader before = header_;
  unsigned char headerBytes[kDatabaseHeaderSize];
  before.Encode(headerBytes);
  bool sealed = false;
  try {
    journal->Append(-1, baseOffset_, headerBytes, kDatabaseHeaderSize);
    ReadPreviousImages(saved, fileSize, [&](int32_t pageNo, const uint8_t* image) {
      const uint16_t length = fresh.count(pageNo) != 0 ? kPageHeaderSize : pageSize_;
      journal->Append(pageNo, PageOffset(pageNo), image, length);
    });
    journal->Seal(flush);
    sealed = true;

    header_.state = kStateCommitting;
    WriteHeader();
    WritePages(pages);
    // Freed pages are released inside the journalled part: nobody can take them before the header
    // lock goes, and by then the journal is gone and the commit final.
    for (int32_t pageNo : toFree) freeSpace_->FreePage(pageNo);
    header_.changeCounter = before.changeCounter + 1;
    header_.state = kStateConsistent;
    WriteHeader();
    if (flush) file_.FlushFileBuffers();
    journal->Remove();
  } catch (...) {
    journal.reset();
    header_ = before;
    try {
      if (sealed) {
        // Undo the partial writes now; if that fails as well, the journal stays for the next open.
        // The session keeps its new pages (and their allocation-log entries) for another attempt.
        PlayBackJournal(false);
      } else {
        Fs().Delete(journalPath);
      }
    } catch (...) {
      // The original failure is the one to report.
    }
    throw;
  }
}

void TABSDiskPageManager::ReadPreviousImages(const std::vector<int32_t>& pageNos, int64_t fileSize,
                                             const std::function<void(int32_t, const uint8_t*)>& take) {
  // Pages of consecutive numbers lie side by side in the file: each run is read at once. Bytes past
  // the end of the file read as zeros (restoring them is harmless), and a run that lies wholly past
  // it is not read at all.
  constexpr size_t kRunPages = 64;
  // Kept from commit to commit: a fresh buffer of this size costs a page fault per 4 KB each time.
  std::vector<uint8_t>& images = previousImages_;
  if (images.size() != kRunPages * pageSize_) images.assign(kRunPages * pageSize_, 0);
  for (size_t first = 0; first < pageNos.size();) {
    size_t count = 1;
    while (first + count < pageNos.size() && count < kRunPages &&
           pageNos[first + count] == pageNos[first] + static_cast<int32_t>(count)) {
      ++count;
    }
    const int64_t offset = PageOffset(pageNos[first]);
    const size_t bytes = count * pageSize_;
    int64_t got = 0;
    if (offset < fileSize) {
      try {
        got = std::max<int64_t>(
            file_.ReadBuffer(images.data(), kPagePartReadCode, offset, static_cast<int64_t>(bytes)), 0);
      } catch (const EABSException&) {
        got = static_cast<int64_t>(bytes);
        // Page by page again, so that a failure names the page's own range.
        std::fill(images.begin(), images.begin() + static_cast<std::ptrdiff_t>(bytes), 0);
        for (size_t index = 0; index < count; ++index)
          ReadPagePart(images.data() + index * pageSize_, pageNos[first + index], pageSize_, 0);
      }
    }
    // What the read did not reach (past the end of the file) is zeros.
    std::fill(
        images.begin() + static_cast<std::ptrdiff_t>(std::min<int64_t>(got, static_cast<int64_t>(bytes))),
        images.begin() + static_cast<std::ptrdiff_t>(bytes), 0);
    for (size_t index = 0; index < count; ++index)
      take(pageNos[first + index], images.data() + index * pageSize_);
    first += count;
  }
}

void TABSDiskPageManager::ReleaseAfterPlayBack(const std::vector<int32_t>& pageNos) {
  for (int32_t pageNo : pageNos) {
    bool held = false;
    for (int32_t session : SessionNumbers()) {
      const std::vector<int32_t>& own = SessionFor(session).newPages;
      held = held || std::find(own.begin(), own.end(), pageNo) != own.end();
    }
    if (!held) ReleaseUnownedPage(pageNo);
  }
}

void TABSDiskPageManager::ReleaseUnownedPage(int32_t pageNo) {
  ReadHeader();
  // Past the header's page count lies only what an allocation that died was growing into: the next
  // growth takes it again.
  if (pageNo < 0 || pageNo >= header_.totalPageCount || freeSpace_->IsMapPage(pageNo)) return;
  if (!freeSpace_->IsPageUsed(pageNo) || HoldsWrittenPage(pageNo)) return;
  freeSpace_->FreePage(pageNo);
  UncachePage(pageNo);
}

void TABSDiskPageManager::PlayBackLeftoverJournal() {
  if (!Fs().Exists(JournalFileName(file_.FileName()))) return;
  ReadHeader();
  PlayBackJournal();
}

TABSAllocationLog& TABSDiskPageManager::AllocationLog() {
  if (!allocationLog_)
    allocationLog_ = std::make_unique<TABSAllocationLog>(Fs(), AllocationLogFileName(file_.FileName()));
  return *allocationLog_;
}

void TABSDiskPageManager::ReleaseAbandonedAllocations() {
  if (!freeSpace_ || IsReadOnly()) return;
  TABSAllocationLog& log = AllocationLog();
  if (!log.IsOpen() && !log.Open(false)) return;
  const TABSAllocationLogContents contents = log.Read();
  // A page can be listed twice: by a connection that ended between recording it and marking it,
  // and by the one that took it after. The live one has it.
  std::unordered_set<int32_t> held;
  bool abandoned = false;
  for (const TABSAllocationLogSlot& slot : contents.slots) {
    if (slot.owner == TABSSlotOwner::Gone)
      abandoned = true;
    else
      held.insert(slot.pages.begin(), slot.pages.end());
  }
  if (!abandoned) return;
  for (const TABSAllocationLogSlot& slot : contents.slots) {
    if (slot.owner != TABSSlotOwner::Gone || !log.Adopt(slot.slot)) continue;
    // Dying in here is harmless: the slot keeps its entries until it is emptied, and returning a
    // page that is already free again does nothing.
    for (int32_t pageNo : slot.pages) {
      if (held.count(pageNo) == 0) ReleaseUnownedPage(pageNo);
    }
    log.ReleaseAdopted(slot.slot);
  }
  ReadHeader();
}

bool TABSDiskPageManager::PlayBackJournal(bool releasePages) {
  if (!file_.IsOpened() || std::memcmp(header_.signature, kDatabaseSignature, kSignatureLength) != 0)
    return false;
  const std::string journalPath = JournalFileName(file_.FileName());
  platform::FileSystem& fs = Fs();
  if (!fs.Exists(journalPath)) return false;

  std::vector<int32_t> restoredPages;
  std::vector<int32_t> releases;
  auto restore = [&](const TABSJournalRecord& record) {
    if (record.IsRelease()) {
      releases.push_back(record.pageNo);
      return;
    }
    file_.WriteBuffer(record.bytes.data(), record.pageNo < 0 ? kHeaderRestoreCode : kPageRestoreCode,
                      record.offset, static_cast<int64_t>(record.bytes.size()));
    if (record.pageNo >= 0) restoredPages.push_back(record.pageNo);
  };
  // A journal belongs to this file when its saved header is this file's header as it was before
  // the commit: same signature and page size, and a change counter the commit had not yet moved
  // on, or had moved on by exactly one.
  auto accept = [&](const TABSJournalContents& contents) {
    if (contents.records.empty() || contents.records[0].pageNo != -1 ||
        contents.records[0].bytes.size() != kDatabaseHeaderSize ||
        contents.records[0].offset != baseOffset_) {
      return false;
    }
    TABSDatabaseHeader saved;
    saved.Decode(contents.records[0].bytes.data());
    return std::memcmp(saved.signature, kDatabaseSignature, kSignatureLength) == 0 &&
           saved.pageSize == header_.pageSize &&
           (header_.changeCounter == saved.changeCounter || header_.changeCounter == saved.changeCounter + 1);
  };
  TABSJournalRecovery result = RecoverJournal(
      fs, journalPath, !IsReadOnly(), header_.pageSize, baseOffset_, restore,
      [&] {
        file_.FlushFileBuffers();
        if (releasePages && !releases.empty() && freeSpace_) {
          // Dying here is harmless: the journal is still there, and playing it back again restores
          // the maps before releasing anew.
          ReadHeader();
          ReleaseAfterPlayBack(releases);
          file_.FlushFileBuffers();
        }
      },
      accept, [&](int64_t size) { file_.SetSize(size); });
  if (result == TABSJournalRecovery::PlayedBack) {
    ReadHeader();
    for (int32_t pageNo : restoredPages) UncachePage(pageNo);
  }
  return result == TABSJournalRecovery::NotPlayedBack;
}

}  // namespace viz
