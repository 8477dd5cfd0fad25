// TABSDiskPageManager: page offsets, partial page access, page locks and the page read and write
// hooks with their ciphering.
#include <cstring>
#include <vector>

#include "engine/storage/allocation_log.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/free_space_manager.h"
#include "engine/types/crc32.h"
#include "engine/types/errors.h"

namespace viz {

using namespace file_format;

namespace {

constexpr int32_t kPagePartReadCode = 10474;
constexpr int32_t kPagePartWriteCode = 10475;
constexpr int32_t kPageWriteCode = 10469;
constexpr int32_t kUpdateCounterReadCode = 20197;
constexpr int32_t kUpdateCounterWriteCode = 20198;

}  // namespace

int64_t TABSDiskPageManager::PageOffset(int32_t pageNo) const {
  // Only -1 is "no page", but any negative number would address the prefix and overwrite it.
  if (pageNo < 0) throw EABSException(msg::kInvalidPageNo, pageNo);
  return pagesOffset_ + static_cast<int64_t>(pageNo) * pageSize_;
}

void TABSDiskPageManager::ReadPagePart(void* buffer, int32_t pageNo, uint16_t count, uint16_t offset) {
  if (static_cast<int>(offset) + count > pageSize_)
    throw EABSException(msg::kInvalidPageOffset, static_cast<int>(offset) + count,
                        static_cast<int>(pageSize_));
  file_.ReadBuffer(buffer, kPagePartReadCode, PageOffset(pageNo) + offset, count);
}

void TABSDiskPageManager::WritePagePart(const void* buffer, int32_t pageNo, uint16_t count, uint16_t offset) {
  if (static_cast<int>(offset) + count > pageSize_)
    throw EABSException(msg::kInvalidPageOffset.At(10477), static_cast<int>(offset) + count,
                        static_cast<int>(pageSize_));
  file_.WriteBuffer(buffer, kPagePartWriteCode, PageOffset(pageNo) + offset, count);
}

int32_t TABSDiskPageManager::ReadPageUpdateCounter(int32_t pageNo) {
  unsigned char bytes[4];
  try {
    if (file_.ReadBuffer(bytes, kUpdateCounterReadCode, PageOffset(pageNo) + kPageUpdateCounterOffset, 4) < 4)
      return kFreedPageCounter;
  } catch (const EABSException&) {
    return kFreedPageCounter;
  }
  return GetI32(bytes);
}

void TABSDiskPageManager::WritePageUpdateCounter(int32_t pageNo, int32_t value) {
  unsigned char bytes[4];
  PutI32(bytes, value);
  file_.WriteBuffer(bytes, kUpdateCounterWriteCode, PageOffset(pageNo) + kPageUpdateCounterOffset, 4);
}

bool TABSDiskPageManager::ReadPageBuffer(int32_t pageNo, uint8_t* buffer, bool enciphered) {
  const int64_t offset = PageOffset(pageNo);
  int64_t got = -1;
  try {
    got = file_.ReadBuffer(buffer, kPagePartReadCode, offset, pageSize_);
  } catch (const EABSException&) {
    got = -1;
  }
  if (got < pageSize_) {
    PutI32(buffer + kPageUpdateCounterOffset, kFreedPageCounter);
    return false;
  }
  if (IsEncrypted() && enciphered && !IsMapPageNo(pageNo)) {
    uint8_t* data = buffer + kPageHeaderSize;
    DecipherBuffer(buffer[kPageCipherTypeOffset], data, pageDataSize_, password_.password);
    if (ComputeCRC32(data, pageDataSize_) != GetU32(buffer + kPageCrcOffset))
      throw EABSException(msg::kDecryptPageError, pageNo);
  }
  return true;
}

bool TABSDiskPageManager::PrepareForWrite(int32_t pageNo, uint8_t* buffer, bool encipher) {
  // The counter tells other processes that the page changed; it never reaches the freed marker.
  PutI32(buffer + kPageUpdateCounterOffset, NextUpdateCounter(GetI32(buffer + kPageUpdateCounterOffset)));

  const bool coded = IsEncrypted() && encipher && !IsMapPageNo(pageNo);
  if (coded) {
    uint8_t* data = buffer + kPageHeaderSize;
    buffer[kPageCipherTypeOffset] = password_.cipherType;
    PutU32(buffer + kPageCrcOffset, ComputeCRC32(data, pageDataSize_));
    EncipherBuffer(password_.cipherType, data, pageDataSize_, password_.password);
  }
  return coded;
}

void TABSDiskPageManager::RestoreAfterWrite(uint8_t* buffer, bool coded) const {
  if (coded) DecipherBuffer(password_.cipherType, buffer + kPageHeaderSize, pageDataSize_, password_.password);
}

void TABSDiskPageManager::WritePageBuffer(int32_t pageNo, uint8_t* buffer, bool encipher) {
  const int64_t offset = PageOffset(pageNo);
  // The caller's copy must be plain again whether or not the write worked.
  struct Restore {
    const TABSDiskPageManager& manager;
    uint8_t* buffer;
    bool coded;
    ~Restore() { manager.RestoreAfterWrite(buffer, coded); }
  } restore{*this, buffer, PrepareForWrite(pageNo, buffer, encipher)};
  file_.WriteBuffer(buffer, kPageWriteCode, offset, pageSize_);
}

void TABSDiskPageManager::WritePages(const std::vector<TABSPage*>& pages) {
  // Pages of consecutive numbers lie side by side in the file: each run goes out in one write of
  // the same bytes that page-by-page writes would give.
  constexpr size_t kRunPages = 64;
  std::vector<uint8_t> run;
  std::vector<int32_t> counters;
  for (size_t first = 0; first < pages.size();) {
    size_t count = 1;
    while (first + count < pages.size() && count < kRunPages &&
           pages[first + count]->PageNo == pages[first]->PageNo + static_cast<int32_t>(count)) {
      ++count;
    }
    if (count == 1) {
      WritePage(pages[first]);
      ++first;
      continue;
    }
    const int64_t offset = PageOffset(pages[first]->PageNo);
    run.resize(count * pageSize_);
    counters.resize(count);
    for (size_t index = 0; index < count; ++index) {
      TABSPage* page = pages[first + index];
      counters[index] = GetI32(page->Buffer() + kPageUpdateCounterOffset);
      const bool coded = PrepareForWrite(page->PageNo, page->Buffer(), page->EncipherOnWrite);
      std::memcpy(run.data() + index * pageSize_, page->Buffer(), pageSize_);
      RestoreAfterWrite(page->Buffer(), coded);
    }
    try {
      file_.WriteBuffer(run.data(), kPageWriteCode, offset, static_cast<int64_t>(run.size()));
    } catch (...) {
      // As if the run's first page had failed: the pages after it were never prepared.
      for (size_t index = 1; index < count; ++index)
        PutI32(pages[first + index]->Buffer() + kPageUpdateCounterOffset, counters[index]);
      throw;
    }
    first += count;
  }
}

bool TABSDiskPageManager::IsMapPageNo(int32_t pageNo) const {
  // Map pages are never enciphered, whoever reads them: the test needs only the geometry.
  return TABSDatabaseFreeSpaceManager::IsMapPage(pageNo, pageDataSize_, header_.extentPageCount);
}

bool TABSDiskPageManager::HoldsWrittenPage(int32_t pageNo) {
  unsigned char header[kPageHeaderSize] = {};
  ReadPagePart(header, pageNo, kPageHeaderSize, 0);
  return std::memcmp(header, kPageSignature, 4) == 0 &&
         GetI32(header + kPageUpdateCounterOffset) != kFreedPageCounter;
}

int32_t TABSDiskPageManager::AllocatePageNumber() {
  return Allocate(false);
}

int32_t TABSDiskPageManager::Allocate(bool record) {
  if (record) {
    std::vector<int32_t> pageNos;
    AllocateRecorded(1, pageNos);
    return pageNos.front();
  }
  if (!freeSpace_) throw EABSException(msg::kDatabaseFileNotOpened.At(10459));
  TABSHeaderLockHolder lock(*this, 20231);
  // Maps half-written by a committer that died must be put back before anything is taken from them.
  PlayBackLeftoverJournal();
  return freeSpace_->AllocatePage();
}

void TABSDiskPageManager::AllocateRecorded(int32_t count, std::vector<int32_t>& pageNos) {
  if (!freeSpace_) throw EABSException(msg::kDatabaseFileNotOpened.At(10459));
  TABSHeaderLockHolder lock(*this, 20231);
  PlayBackLeftoverJournal();
  TABSAllocationLog& log = AllocationLog();
  // The pass's entries reach the log in one write before any map page marks their pages.
  freeSpace_->AllocatePages(
      count, pageNos, [&log](int32_t pageNo) { log.Reserve(pageNo); }, [&log] { log.WriteReserved(); });
}

void TABSDiskPageManager::FreePageNo(int32_t pageNo) {
  if (!freeSpace_) throw EABSException(msg::kDatabaseFileNotOpened.At(10459));
  TABSHeaderLockHolder lock(*this, 20232);
  PlayBackLeftoverJournal();
  freeSpace_->FreePage(pageNo);
  // Only now: killed before this, the entry still leads the next recovery to the page.
  if (allocationLog_) allocationLog_->Forget({pageNo});
}

void TABSDiskPageManager::CheckNotMapPage(int32_t pageNo) const {
  if (freeSpace_) freeSpace_->CheckNotMapPage(pageNo);
}

bool TABSDiskPageManager::LockPageByte(int32_t pageNo, uint16_t offset) {
  return file_.LockByte(1, PageOffset(pageNo) + offset);
}

bool TABSDiskPageManager::UnlockPageByte(int32_t pageNo, uint16_t offset) {
  return file_.UnlockByte(1, PageOffset(pageNo) + offset);
}

bool TABSDiskPageManager::IsPageByteLocked(int32_t pageNo, uint16_t offset) {
  return file_.IsByteLocked(PageOffset(pageNo) + offset);
}

bool TABSDiskPageManager::IsPageRegionLocked(int32_t pageNo, uint16_t offset, uint16_t count) {
  return file_.IsRegionLocked(count, PageOffset(pageNo) + offset);
}

}  // namespace viz
