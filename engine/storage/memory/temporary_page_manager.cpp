#include "engine/storage/memory/temporary_page_manager.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/storage/memory/temporary_file.h"
#include "engine/storage/memory_manager.h"
#include "engine/tables/streams.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
constexpr int32_t kReadUnallocated = 10396;
constexpr int32_t kWriteUnallocated = 10397;

int32_t MemoryPagesFor(int64_t availableMemory) {
  const int64_t pages = availableMemory / 10 / TABSTemporaryPageManager::kPageSize;
  return static_cast<int32_t>(std::clamp<int64_t>(pages, 0, std::numeric_limits<int32_t>::max()));
}
}  // namespace

TABSTemporaryPageManager::TABSTemporaryPageManager(bool memoryOnly, int64_t availableMemory,
                                                   platform::FileSystem* fileSystem)
    : TABSPageManager(kPageSize, 0),
      memoryOnly_(memoryOnly),
      memoryPageLimit_(
          MemoryPagesFor(availableMemory < 0 ? MemoryManager().GetAvailableMemory() : availableMemory)),
      fileSystem_(fileSystem) {}

TABSTemporaryPageManager::~TABSTemporaryPageManager() {
  // Cached memory pages share the buffers of the memory part: they go first.
  DropUnusedCachedPages();
}

int32_t TABSTemporaryPageManager::GetPageCount() {
  const int64_t lastFilePage = filePages_.FindNextSet(filePages_.BitCount(), false);
  if (lastFilePage >= 0) return memoryPageLimit_ + static_cast<int32_t>(lastFilePage) + 1;
  return memory_.GetPageCount();
}

bool TABSTemporaryPageManager::IsFilePageAllocated(int32_t pageNo) const {
  const int64_t bit = static_cast<int64_t>(pageNo) - memoryPageLimit_;
  return bit >= 0 && bit < filePages_.BitCount() && filePages_.GetBit(bit);
}

int64_t TABSTemporaryPageManager::FileOffset(int32_t pageNo) const {
  return (static_cast<int64_t>(pageNo) - memoryPageLimit_) * PageSize();
}

void TABSTemporaryPageManager::AllocatePageNo(TABSPage* page) {
  if (memoryOnly_ || memory_.AllocatedCount() < memoryPageLimit_) {
    memory_.AllocatePageNo(page);
    return;
  }
  if (!file_) file_ = NewTemporaryFileStream(fileSystem_);
  int64_t bit = filePages_.FindFirst(false);
  if (bit < 0) {
    bit = filePages_.BitCount();
    if (bit + memoryPageLimit_ >= std::numeric_limits<int32_t>::max())
      throw EABSException(msg::kInvalidPageNumber);
    filePages_.SetBitCount(std::max<int64_t>(bit + 1, 2 * bit));
  }
  filePages_.SetBit(bit, true);
  page->PageNo = memoryPageLimit_ + static_cast<int32_t>(bit);
  page->AllocBuffer();
}

void TABSTemporaryPageManager::FreePageNo(int32_t pageNo) {
  if (!IsFilePage(pageNo)) {
    memory_.FreePageNo(pageNo);
    return;
  }
  if (IsFilePageAllocated(pageNo)) filePages_.SetBit(static_cast<int64_t>(pageNo) - memoryPageLimit_, false);
}

bool TABSTemporaryPageManager::ReadPage(TABSPage* page) {
  if (!IsFilePage(page->PageNo)) {
    if (!memory_.IsAllocated(page->PageNo))
      throw EABSException(msg::kNotReleasedPageAllocated.At(kReadUnallocated));
    return memory_.ReadPage(page);
  }
  if (!IsFilePageAllocated(page->PageNo))
    throw EABSException(msg::kNotReleasedPageAllocated.At(kReadUnallocated));
  if (!file_) throw EABSException(msg::kTemporaryFileMissing);
  if (page->Buffer() == nullptr || !page->OwnsBuffer()) page->AllocBuffer();
  const int64_t offset = FileOffset(page->PageNo);
  // A page allocated but never written lies beyond the end of the file: it reads as zeros.
  const int64_t available = std::clamp<int64_t>(file_->Size() - offset, 0, PageSize());
  std::memset(page->Buffer() + available, 0, PageSize() - static_cast<size_t>(available));
  if (available > 0) {
    CheckedSeek(*file_, offset, kReadUnallocated);
    ExactRead(page->Buffer(), available, *file_, kReadUnallocated);
  }
  return true;
}

void TABSTemporaryPageManager::WritePage(TABSPage* page) {
  if (!IsFilePage(page->PageNo)) {
    if (!memory_.IsAllocated(page->PageNo))
      throw EABSException(msg::kNotReleasedPageAllocated.At(kWriteUnallocated));
    memory_.WritePage(page);
    return;
  }
  if (!IsFilePageAllocated(page->PageNo))
    throw EABSException(msg::kNotReleasedPageAllocated.At(kWriteUnallocated));
  if (!file_) throw EABSException(msg::kTemporaryFileMissing);
  const int64_t offset = FileOffset(page->PageNo);
  const int64_t needed = offset + PageSize();
  if (file_->Size() < needed) file_->SetSize(needed + needed / 2);
  CheckedSeek(*file_, offset, kWriteUnallocated);
  ExactWrite(page->Buffer(), PageSize(), *file_, kWriteUnallocated);
}

}  // namespace viz
