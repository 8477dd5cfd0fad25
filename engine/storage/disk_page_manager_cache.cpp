// TABSDiskPageManager, page-cache side: the page-manager slots over the file, the multi-user
// validation of cached pages, and the atomic commit with its rollback journal.
//
// A commit, all under the header lock:
//
//   [hot journal of a dead process?] --> play it back first
//   read header
//   journal: previous header + previous image of every page to write; seal (flush: sync journal)
//   header State := 1, write
//   write the pages in place
//   ChangeCounter + 1, State := 2, write header          (flush: sync the database)
//   delete the journal                                   <- the commit can no longer be undone
//   free the removed pages (only now may they be reused)
//
// A process that dies before the journal is sealed leaves an incomplete journal and an untouched
// database; one that dies later leaves a complete journal that the next open (or the next commit of
// another process) plays back, so the database is exactly as before the commit.
#include <algorithm>
#include <cstring>

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

}  // namespace

int32_t TABSDiskPageManager::GetPageCount() {
  return GetTotalPageCount();
}

void TABSDiskPageManager::AllocatePageNo(TABSPage* page) {
  SyncPageGeometry();
  page->PageNo = AllocatePageNumber();
  page->AllocBuffer();
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
  CheckNotMapPage(pageNo);
  SyncPageGeometry();
  return TABSPageManager::GetPage(session, pageNo, expectedType);
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
}

void TABSDiskPageManager::Commit(int32_t session) {
  Commit(session, flushOnCommit_);
}

void TABSDiskPageManager::Commit(int32_t session, bool flush) {
  CheckSessionPagesReleased(session);
  SessionRecord* record = FindSession(session);
  if (record == nullptr || !HasChanges(session)) return;
  CheckDirtyPagesWritable(*record, record->pagesToFree);
  SyncPageGeometry();

  TABSHeaderLockHolder lock(*this, kCommitLockedCode);
  PlayBackJournal();
  ReadHeader();

  std::vector<int32_t> toFree = record->pagesToFree;
  std::vector<TABSPage*> pages;
  for (TABSPage* page : record->dirty.Pages()) {
    if (std::find(toFree.begin(), toFree.end(), page->PageNo) == toFree.end()) pages.push_back(page);
  }
  WriteJournalled(pages, flush);

  // The commit is final. Whatever fails from here on, the session's lists must say so.
  struct Finish {
    TABSDiskPageManager& manager;
    SessionRecord& record;
    ~Finish() {
      for (int32_t pageNo : record.pagesToFree) manager.DropPage(record, pageNo);
      record.pagesToFree.clear();
      record.newPages.clear();
      manager.MoveWrittenPagesToCache(record);
    }
  } finish{*this, *record};
  // Freed pages become reusable only now that the commit can no longer be rolled back; a process
  // that dies in this loop leaves pages marked used that nothing refers to, never a page in use twice.
  for (int32_t pageNo : toFree) FreePageNo(pageNo);
}

void TABSDiskPageManager::WriteJournalled(const std::vector<TABSPage*>& pages, bool flush) {
  const std::string journalPath = JournalFileName(file_.FileName());
  auto journal = std::make_unique<TABSJournalWriter>(Fs(), journalPath);
  journal->Begin(pageSize_, baseOffset_, static_cast<int32_t>(pages.size()) + 1);
  const TABSDatabaseHeader before = header_;
  unsigned char headerBytes[kDatabaseHeaderSize];
  before.Encode(headerBytes);
  bool sealed = false;
  try {
    journal->Append(-1, baseOffset_, headerBytes, kDatabaseHeaderSize);
    std::vector<uint8_t> image(pageSize_);
    for (TABSPage* page : pages) {
      // Bytes past the end of the file read as zeros; restoring them is harmless.
      std::fill(image.begin(), image.end(), 0);
      ReadPagePart(image.data(), page->PageNo, pageSize_, 0);
      journal->Append(page->PageNo, PageOffset(page->PageNo), image.data(), pageSize_);
    }
    journal->Seal(flush);
    sealed = true;

    header_.state = kStateCommitting;
    WriteHeader();
    for (TABSPage* page : pages) WritePage(page);
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
        PlayBackJournal();
      } else {
        Fs().Delete(journalPath);
      }
    } catch (...) {
      // The original failure is the one to report.
    }
    throw;
  }
}

bool TABSDiskPageManager::PlayBackJournal() {
  if (!file_.IsOpened() || std::memcmp(header_.signature, kDatabaseSignature, kSignatureLength) != 0)
    return false;
  const std::string journalPath = JournalFileName(file_.FileName());
  platform::FileSystem& fs = Fs();
  if (!fs.Exists(journalPath)) return false;

  std::vector<int32_t> restoredPages;
  auto restore = [&](const TABSJournalRecord& record) {
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
      [&] { file_.FlushFileBuffers(); }, accept);
  if (result == TABSJournalRecovery::PlayedBack) {
    ReadHeader();
    for (int32_t pageNo : restoredPages) UncachePage(pageNo);
  }
  return result == TABSJournalRecovery::NotPlayedBack;
}

}  // namespace viz
