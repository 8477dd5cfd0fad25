#include "engine/storage/free_space_manager.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/storage/disk_page_manager.h"
#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"

namespace viz {

using namespace file_format;

namespace {

// Codes of "Wrong page type" by the place that reads the map page.
constexpr int32_t kTypeCodeSearch = 30423;
constexpr int32_t kTypeCodeSetBit = 30424;
constexpr int32_t kTypeCodeUpdateExtent = 30428;
constexpr int32_t kTypeCodeTestBit = 30430;
constexpr int32_t kTypeCodeFindLastUsed = 30432;

std::string TypeNameForMessage(uint16_t pageType) {
  return pageType <= kLastPageType ? PageTypeName(pageType) : PageTypeName(ptUnknown);
}

}  // namespace

// One map page outside the cache: read through the read hook and type-checked on construction,
// written through the write hook by `Write`. The buffer comes from the engine memory manager.
class TABSDatabaseFreeSpaceManager::MapPage {
 public:
  // `read`, when given, holds the page's bytes as the read hook would read them now.
  MapPage(TABSDiskPageManager& manager, int64_t pageNo, uint16_t expectedType, int32_t wrongTypeCode,
          const uint8_t* read = nullptr)
      : manager_(manager), pageNo_(static_cast<int32_t>(pageNo)), buffer_(manager.PageSize()) {
    if (read != nullptr)
      std::memcpy(buffer_.bytes, read, manager.PageSize());
    else
      manager_.ReadPageBuffer(pageNo_, buffer_.bytes, /*enciphered=*/false);
    uint16_t type = GetU16(buffer_.bytes + kPageTypeOffset);
    if (type != expectedType) {
      throw EABSException(msg::kWrongPageType.At(wrongTypeCode), TypeNameForMessage(type),
                          PageTypeName(expectedType));
    }
  }
  // A new map page: zero data area except its own mark in byte 0.
  MapPage(TABSDiskPageManager& manager, int64_t pageNo, uint16_t pageType)
      : manager_(manager), pageNo_(static_cast<int32_t>(pageNo)), buffer_(manager.PageSize()) {
    InitPageHeader(buffer_.bytes, pageType, 0);
    Data()[0] = 1;
  }

  int32_t PageNo() const { return pageNo_; }
  uint16_t Type() const { return GetU16(buffer_.bytes + kPageTypeOffset); }
  uint8_t* Data() { return buffer_.bytes + kPageHeaderSize; }
  void Write() { manager_.WritePageBuffer(pageNo_, buffer_.bytes, false); }
  // A write put off until WritePending; every one put off moves the update counter on as the write
  // would have.
  void PutOffWrite() { ++putOff_; }
  bool HasPutOffWrites() const { return putOff_ > 0; }
  void WritePending() {
    if (putOff_ == 0) return;
    int32_t counter = GetI32(buffer_.bytes + kPageUpdateCounterOffset);
    for (int32_t write = 1; write < putOff_; ++write)
      counter = TABSDiskPageManager::NextUpdateCounter(counter);
    PutI32(buffer_.bytes + kPageUpdateCounterOffset, counter);
    putOff_ = 0;
    Write();
  }

 private:
  // A zeroed block of the engine memory manager, returned when the page object goes, also when a
  // constructor raises.
  struct Buffer {
    explicit Buffer(size_t size) : bytes(static_cast<uint8_t*>(MemoryManager().GetMemZero(size))) {}
    ~Buffer() { MemoryManager().FreeAndNil(bytes); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    uint8_t* bytes;
  };

  TABSDiskPageManager& manager_;
  int32_t pageNo_;
  Buffer buffer_;
  int32_t putOff_ = 0;
};

// Keeps the map pages that one public call reads for the rest of the call (the outermost scope
// drops them): allocation and release run under the header lock, so no other process changes a map
// page meanwhile, and every change of this manager goes through the kept copy, which it writes
// through to the file at once. A read test outside the lock reads the maps fresh each time.
class TABSDatabaseFreeSpaceManager::MapScope {
 public:
  explicit MapScope(TABSDatabaseFreeSpaceManager& owner) : owner_(owner) { ++owner_.mapScopeDepth_; }
  ~MapScope() {
    if (--owner_.mapScopeDepth_ == 0) {
      owner_.loaded_.clear();
      owner_.preloadedCount_ = 0;
    }
  }
  MapScope(const MapScope&) = delete;
  MapScope& operator=(const MapScope&) = delete;

 private:
  TABSDatabaseFreeSpaceManager& owner_;
};

TABSDatabaseFreeSpaceManager::MapPage& TABSDatabaseFreeSpaceManager::Map(int64_t pageNo, uint16_t type,
                                                                         int32_t wrongTypeCode) {
  assert(mapScopeDepth_ > 0);
  for (const std::unique_ptr<MapPage>& page : loaded_) {
    if (page->PageNo() == pageNo) {
      // Kept pages passed the type test when they were read; a page of one number is only ever
      // asked for as the map page its number makes it.
      return *page;
    }
  }
  const uint8_t* read = pageNo < preloadedCount_ ? preloaded_.data() + pageNo * manager_.PageSize() : nullptr;
  loaded_.push_back(std::make_unique<MapPage>(manager_, pageNo, type, wrongTypeCode, read));
  return *loaded_.back();
}

void TABSDatabaseFreeSpaceManager::ReadHeaderAndFirstMaps() {
  assert(mapScopeDepth_ > 0);
  if (mapScopeDepth_ > 1 || !loaded_.empty()) {
    manager_.ReadHeader();
    return;
  }
  constexpr int32_t kFirstMaps = 2;  // PFS page 0 and EAM page 0, which is page 1
  preloaded_.resize(static_cast<size_t>(kFirstMaps) * manager_.PageSize());
  preloadedCount_ = 0;
  preloadedCount_ = manager_.ReadHeaderAndFirstPages(preloaded_.data(), kFirstMaps);
}

TABSDatabaseFreeSpaceManager::~TABSDatabaseFreeSpaceManager() = default;

TABSDatabaseFreeSpaceManager::TABSDatabaseFreeSpaceManager(TABSDiskPageManager& manager)
    : manager_(manager),
      extentPageCount_(manager.Header().extentPageCount),
      pagesPerPfs_(static_cast<int64_t>(manager.PageDataSize()) * 8),
      extentsPerEam_(static_cast<int64_t>(manager.PageDataSize()) * 4),
      pagesPerEam_(extentsPerEam_ * extentPageCount_) {}

int32_t& TABSDatabaseFreeSpaceManager::TotalPageCount() {
  return manager_.MutableHeader().totalPageCount;
}
int32_t& TABSDatabaseFreeSpaceManager::LastUsedPageNo() {
  return manager_.MutableHeader().lastUsedPageNo;
}
int32_t TABSDatabaseFreeSpaceManager::TotalPageCount() const {
  return manager_.Header().totalPageCount;
}
int32_t TABSDatabaseFreeSpaceManager::LastUsedPageNo() const {
  return manager_.Header().lastUsedPageNo;
}

int64_t TABSDatabaseFreeSpaceManager::EamPageNo(int64_t index) const {
  int64_t pageNo = index * pagesPerEam_;
  return pageNo % pagesPerPfs_ == 0 ? pageNo + 1 : pageNo;
}

int64_t TABSDatabaseFreeSpaceManager::LastPfsIndex() const {
  return TotalPageCount() <= 0 ? -1 : (TotalPageCount() - 1) / pagesPerPfs_;
}

int64_t TABSDatabaseFreeSpaceManager::LastEamIndex() const {
  if (TotalPageCount() <= 0) return -1;
  int64_t index = (TotalPageCount() - 1) / pagesPerEam_;
  // When the file ends on the PFS page that precedes an EAM page, that EAM page is not there yet.
  if (EamPageNo(index) >= TotalPageCount()) --index;
  return index;
}

bool TABSDatabaseFreeSpaceManager::IsMapPage(int64_t pageNo) const {
  // Asked for every page a reader takes: in 32 bits when the numbers fit, as they always do for
  // page numbers (the same test as the general one below).
  constexpr int64_t kMax = UINT32_MAX;
  if (pageNo >= 0 && pageNo <= kMax && pagesPerPfs_ > 0 && pagesPerPfs_ <= kMax && pagesPerEam_ > 0 &&
      pagesPerEam_ <= kMax) {
    const auto page = static_cast<uint32_t>(pageNo);
    const auto pfs = static_cast<uint32_t>(pagesPerPfs_);
    const auto eam = static_cast<uint32_t>(pagesPerEam_);
    if (page % pfs == 0 || page % eam == 0) return true;
    return (page - 1) % pfs == 0 && (page - 1) % eam == 0;
  }
  return IsMapPage(pageNo, pagesPerPfs_ / 8, extentPageCount_);
}

bool TABSDatabaseFreeSpaceManager::IsMapPage(int64_t pageNo, int64_t pageDataSize, int64_t extentPageCount) {
  const int64_t pagesPerPfs = pageDataSize * 8;
  const int64_t pagesPerEam = pageDataSize * 4 * extentPageCount;
  if (pageNo < 0 || pagesPerPfs <= 0 || pagesPerEam <= 0) return false;
  if (pageNo % pagesPerPfs == 0 || pageNo % pagesPerEam == 0) return true;
  return (pageNo - 1) % pagesPerPfs == 0 && (pageNo - 1) % pagesPerEam == 0;
}

void TABSDatabaseFreeSpaceManager::CheckNotMapPage(int32_t pageNo) const {
  if (IsMapPage(pageNo)) throw EABSException(msg::kCannotDeleteMapPage, pageNo);
}

int32_t TABSDatabaseFreeSpaceManager::GrowthStep() const {
  if (TotalPageCount() == 0) return 6;
  return static_cast<int32_t>(std::max<int64_t>(TotalPageCount() / 10, extentPageCount_));
}

bool TABSDatabaseFreeSpaceManager::IsPageUsed(int32_t pageNo) {
  MapScope scope(*this);
  const int64_t index = pageNo % pagesPerPfs_;
  MapPage& pfs = Map(PfsPageNo(pageNo / pagesPerPfs_), ptPFS, kTypeCodeTestBit);
  return (pfs.Data()[index / 8] >> (index % 8)) & 1;
}

int TABSDatabaseFreeSpaceManager::ExtentEntry(int64_t extentNo) {
  MapScope scope(*this);
  const int64_t index = extentNo % extentsPerEam_;
  MapPage& eam = Map(EamPageNo(extentNo / extentsPerEam_), ptEAM, kTypeCodeUpdateExtent);
  return (eam.Data()[index / 4] >> (2 * (index % 4))) & 3;
}

void TABSDatabaseFreeSpaceManager::SetPageBit(int32_t pageNo, bool used) {
  if (pageNo < 0 || pageNo >= TotalPageCount())
    throw EABSException(msg::kPageCannotBeAddressed, pageNo, TotalPageCount());
  const int64_t index = pageNo % pagesPerPfs_;
  MapPage& pfs = Map(PfsPageNo(pageNo / pagesPerPfs_), ptPFS, kTypeCodeSetBit);
  uint8_t& byte = pfs.Data()[index / 8];
  const uint8_t mask = static_cast<uint8_t>(1u << (index % 8));
  if (used && (byte & mask)) throw EABSException(msg::kPageAlreadyUsed, pageNo);
  if (!used && !(byte & mask)) throw EABSException(msg::kPageAlreadyFree, pageNo);
  if (used) {
    byte = static_cast<uint8_t>(byte | mask);
    WriteMap(pfs);
    UpdateExtentEntry(pageNo);
    return;
  }
  // With a page of it free, the extent has room (entry 1, whatever else it holds). The entry is
  // written first: a process killed in between leaves the harmless "has room" on a full extent,
  // never "full" on an extent with a free page, which would hide that page from every search.
  const int64_t eamPageNo = EamPageNo(pageNo / extentPageCount_ / extentsPerEam_);
  if (eamPageNo >= TotalPageCount())
    throw EABSException(msg::kPageCannotBeAddressed.At(30431), pageNo, TotalPageCount());
  WriteExtentEntry(pageNo / extentPageCount_, 1);
  byte = static_cast<uint8_t>(byte & ~mask);
  WriteMap(pfs);
}

void TABSDatabaseFreeSpaceManager::WriteMap(MapPage& page) {
  if (putOffMapWrites_)
    page.PutOffWrite();
  else
    page.Write();
}

void TABSDatabaseFreeSpaceManager::WritePutOffMaps() {
  // Every PFS page before any EAM page: killed in between, an extent may be marked as having room
  // while it is full (harmless), never full while a page of it is marked free.
  for (uint16_t type : {ptPFS, ptEAM}) {
    std::vector<MapPage*> pages;
    for (const std::unique_ptr<MapPage>& page : loaded_) {
      if (page->HasPutOffWrites() && page->Type() == type) pages.push_back(page.get());
    }
    std::sort(pages.begin(), pages.end(), [](MapPage* a, MapPage* b) { return a->PageNo() < b->PageNo(); });
    for (MapPage* page : pages) page->WritePending();
  }
}

void TABSDatabaseFreeSpaceManager::WriteExtentEntry(int64_t extentNo, uint8_t entry) {
  MapPage& eam = Map(EamPageNo(extentNo / extentsPerEam_), ptEAM, kTypeCodeUpdateExtent);
  const int64_t index = extentNo % extentsPerEam_;
  uint8_t& byte = eam.Data()[index / 4];
  const int shift = static_cast<int>(2 * (index % 4));
  const uint8_t updated = static_cast<uint8_t>((byte & ~(3u << shift)) | (entry << shift));
  if (updated != byte) {
    byte = updated;
    WriteMap(eam);
  }
}

void TABSDatabaseFreeSpaceManager::UpdateExtentEntry(int32_t pageNo) {
  if (pageNo < 0 || pageNo >= TotalPageCount())
    throw EABSException(msg::kPageCannotBeAddressed.At(30431), pageNo, TotalPageCount());
  const int64_t extentNo = pageNo / extentPageCount_;
  const int64_t first = extentNo * extentPageCount_;
  int usedCount = 0;
  int freeCount = 0;
  MapPage* pfs = nullptr;
  int64_t loadedPfs = -1;
  for (int64_t page = first; page < first + extentPageCount_ && !(usedCount && freeCount); ++page) {
    const int64_t pfsIndex = page / pagesPerPfs_;
    const int64_t pfsPageNo = PfsPageNo(pfsIndex);
    // A PFS page past the last used page marks nothing but itself: its pages count as free unread.
    if (pfsPageNo > LastUsedPageNo() || pfsPageNo >= TotalPageCount()) {
      ++freeCount;
      continue;
    }
    if (loadedPfs != pfsIndex) {
      pfs = &Map(pfsPageNo, ptPFS, kTypeCodeTestBit);
      loadedPfs = pfsIndex;
    }
    const int64_t index = page % pagesPerPfs_;
    if ((pfs->Data()[index / 8] >> (index % 8)) & 1)
      ++usedCount;
    else
      ++freeCount;
  }
  const uint8_t entry = (usedCount && !freeCount) ? 3 : (!usedCount && !freeCount) ? 0 : 1;

  const int64_t eamPageNo = EamPageNo(extentNo / extentsPerEam_);
  if (eamPageNo >= TotalPageCount())
    throw EABSException(msg::kPageCannotBeAddressed.At(30431), pageNo, TotalPageCount());
  WriteExtentEntry(extentNo, entry);
}

int32_t TABSDatabaseFreeSpaceManager::SearchEam(int64_t eamIndex) {
  if (EamPageNo(eamIndex) >= TotalPageCount()) return -1;
  const int64_t dataSize = manager_.PageDataSize();
  int64_t extentNo = -1;
  {
    const uint8_t* data = Map(EamPageNo(eamIndex), ptEAM, kTypeCodeSearch).Data();
    for (int64_t at = 0; at < dataSize; ++at) {
      if (data[at] == 255) continue;
      for (int entry = 0; entry < 4; ++entry) {
        if (((data[at] >> (2 * entry)) & 2) == 0) {
          extentNo = eamIndex * extentsPerEam_ + 4 * at + entry;
          break;
        }
      }
      break;
    }
  }
  if (extentNo < 0) return -1;

  const int64_t firstPfs = extentNo * extentPageCount_ / pagesPerPfs_;
  int64_t lastPfs = (extentNo * extentPageCount_ + extentPageCount_ - 1) / pagesPerPfs_;
  while (lastPfs >= firstPfs && PfsPageNo(lastPfs) >= TotalPageCount()) --lastPfs;
  int64_t candidate = -1;
  for (int64_t pfsIndex = firstPfs; pfsIndex <= lastPfs; ++pfsIndex) {
    const uint8_t* data = Map(PfsPageNo(pfsIndex), ptPFS, kTypeCodeSearch).Data();
    for (int64_t at = 0; at < dataSize; ++at) {
      if (data[at] == 255) continue;
      int bit = 0;
      while ((data[at] >> bit) & 1) ++bit;
      candidate = PfsPageNo(pfsIndex) + 8 * at + bit;
      break;
    }
  }
  return candidate >= 0 && candidate < TotalPageCount() ? static_cast<int32_t>(candidate) : -1;
}

int32_t TABSDatabaseFreeSpaceManager::FindFreePage(const BeforeMarking& beforeMarking) {
  if (LastUsedPageNo() == -1) return -1;
  const int64_t lastEam = std::max<int64_t>(TotalPageCount() - 1, 0) / pagesPerEam_;
  int32_t found = SearchEam(lastEam);
  for (int64_t eamIndex = 0; found < 0 && eamIndex < lastEam; ++eamIndex) found = SearchEam(eamIndex);
  if (found >= 0) {
    if (beforeMarking) beforeMarking(found);
    SetPageBit(found, true);
  }
  return found;
}

void TABSDatabaseFreeSpaceManager::CreateMapPage(int64_t pageNo, uint16_t pageType) {
  auto page = std::make_unique<MapPage>(manager_, pageNo, pageType);
  WriteMap(*page);
  // The new page replaces whatever a kept copy of that number said (a page cut off earlier).
  for (std::unique_ptr<MapPage>& kept : loaded_) {
    if (kept->PageNo() == pageNo) {
      kept = std::move(page);
      return;
    }
  }
  loaded_.push_back(std::move(page));
}

int32_t TABSDatabaseFreeSpaceManager::GrowFile(const BeforeMarking& beforeMarking) {
  const bool empty = LastUsedPageNo() == -1;
  const int64_t lastPfs = empty ? -1 : LastPfsIndex();
  const int64_t lastEam = empty ? -1 : LastEamIndex();

  int64_t candidate = static_cast<int64_t>(LastUsedPageNo()) + 1;
  while (IsMapPage(candidate)) ++candidate;
  int64_t count = GrowthStep();
  if (candidate >= TotalPageCount() + count) count = candidate - TotalPageCount() + 1;
  // The file never ends on a map page, so every map page the maps refer to lies inside it.
  while (IsMapPage(TotalPageCount() + count - 1)) ++count;
  manager_.ExtendFile(static_cast<int32_t>(count));

  const int64_t newLastPfs = LastPfsIndex();
  const int64_t newLastEam = LastEamIndex();
  for (int64_t index = lastPfs + 1; index <= newLastPfs; ++index) CreateMapPage(PfsPageNo(index), ptPFS);
  for (int64_t index = lastEam + 1; index <= newLastEam; ++index) CreateMapPage(EamPageNo(index), ptEAM);
  LastUsedPageNo() = static_cast<int32_t>(candidate);
  for (int64_t index = lastEam + 1; index <= newLastEam; ++index) {
    const auto eamPageNo = static_cast<int32_t>(EamPageNo(index));
    // A PFS page that survived a cut may still mark an EAM page that was cut off with it.
    if (IsPageUsed(eamPageNo))
      UpdateExtentEntry(eamPageNo);
    else
      SetPageBit(eamPageNo, true);
  }
  for (int64_t index = lastPfs + 1; index <= newLastPfs; ++index)
    UpdateExtentEntry(static_cast<int32_t>(PfsPageNo(index)));
  const auto pageNo = static_cast<int32_t>(candidate);
  if (beforeMarking) beforeMarking(pageNo);
  // A page above LastUsedPageNo that is marked used and holds nothing was being allocated by a
  // process that died before it wrote the header: nobody has it, so it is taken as it is.
  if (IsPageUsed(pageNo) && !manager_.HoldsWrittenPage(pageNo))
    UpdateExtentEntry(pageNo);
  else
    SetPageBit(pageNo, true);
  return pageNo;
}

int32_t TABSDatabaseFreeSpaceManager::AllocatePage(const BeforeMarking& beforeMarking) {
  std::vector<int32_t> taken;
  AllocatePages(1, taken, beforeMarking);
  return taken.front();
}

void TABSDatabaseFreeSpaceManager::AllocatePages(int32_t count, std::vector<int32_t>& taken,
                                                 const BeforeMarking& beforeMarking,
                                                 const BeforeWriting& beforeWriting) {
  TABSHeaderLockHolder lock(manager_, 20231);
  MapScope scope(*this);
  ReadHeaderAndFirstMaps();
  // The header as the file holds it, and how many of `taken` the file knows.
  int32_t fileTotal = TotalPageCount();
  int32_t fileLastUsed = LastUsedPageNo();
  size_t written = taken.size();
  // Pages are chosen and marked in the kept copies of the maps; a write-out then records them
  // (`beforeWriting`), writes each changed map page once (PFS pages, then EAM pages) and the header
  // last. One follows every growth, before any page past the old page count but the one the growth
  // took is chosen, and one ends the pass. Killed within a write-out, the file holds the states of
  // the order above: pages recorded and not marked; marked pages nobody has that are recorded and
  // lie inside the header's page count (returned by the recovery); at most the page a growth took
  // marked past it (taken again by the next growth).
  auto writeOut = [&] {
    if (taken.size() == written) return;
    try {
      if (beforeWriting) beforeWriting();
      WritePutOffMaps();
      if (TotalPageCount() != fileTotal || LastUsedPageNo() != fileLastUsed) manager_.WriteHeader();
    } catch (...) {
      // Not all of it reached the file: none of its pages is handed out. Those already marked are
      // recorded, and return to the free space when this connection's entries are recovered.
      taken.resize(written);
      throw;
    }
    written = taken.size();
    fileTotal = TotalPageCount();
    fileLastUsed = LastUsedPageNo();
  };
  struct PutOff {
    bool& flag;
    explicit PutOff(bool& f) : flag(f) { flag = true; }
    ~PutOff() { flag = false; }
  };
  try {
    PutOff putOff(putOffMapWrites_);
    try {
      for (int32_t made = 0; made < count; ++made) {
        int32_t pageNo = FindFreePage(beforeMarking);
        const bool grown = pageNo < 0;
        if (grown) pageNo = GrowFile(beforeMarking);
        if (pageNo > LastUsedPageNo()) LastUsedPageNo() = pageNo;
        taken.push_back(pageNo);
        if (grown) writeOut();
      }
    } catch (...) {
      // The pages had before the failure stay allocated; the page the failure stopped is not.
      try {
        if (taken.size() > written) {
          LastUsedPageNo() =
              std::max(fileLastUsed,
                       *std::max_element(taken.begin() + static_cast<std::ptrdiff_t>(written), taken.end()));
        }
        writeOut();
      } catch (...) {
        // The first failure is the one to report.
      }
      throw;
    }
    writeOut();
  } catch (...) {
    // The header kept here is the one in the file again: a growth cut short counts no page, and no
    // map page it did not write.
    TotalPageCount() = fileTotal;
    LastUsedPageNo() = fileLastUsed;
    throw;
  }
}

int32_t TABSDatabaseFreeSpaceManager::FindLastUsedPage(int32_t ignored) {
  const int64_t dataSize = manager_.PageDataSize();
  for (int64_t pfsIndex = LastPfsIndex(); pfsIndex >= 0; --pfsIndex) {
    const uint8_t* data = Map(PfsPageNo(pfsIndex), ptPFS, kTypeCodeFindLastUsed).Data();
    for (int64_t at = dataSize - 1; at >= 0; --at) {
      if (data[at] == 0) continue;
      for (int bit = 7; bit >= 0; --bit) {
        if (!((data[at] >> bit) & 1)) continue;
        const int64_t pageNo = PfsPageNo(pfsIndex) + 8 * at + bit;
        // A bit past the file's end is what an allocation cut short left behind, not a used page.
        if (!IsMapPage(pageNo) && pageNo != ignored && pageNo < TotalPageCount())
          return static_cast<int32_t>(pageNo);
      }
    }
  }
  return -1;
}

void TABSDatabaseFreeSpaceManager::FreePage(int32_t pageNo) {
  CheckNotMapPage(pageNo);
  TABSHeaderLockHolder lock(manager_, 20232);
  MapScope scope(*this);
  ReadHeaderAndFirstMaps();
  const int32_t startLastUsed = LastUsedPageNo();
  if (pageNo < 0 || pageNo >= TotalPageCount())
    throw EABSException(msg::kPageCannotBeAddressed, pageNo, TotalPageCount());
  if (!IsPageUsed(pageNo)) throw EABSException(msg::kPageAlreadyFree, pageNo);
  // Other processes see the page as gone before anyone can take it again.
  manager_.WritePageUpdateCounter(pageNo, kFreedPageCounter);
  // The header goes before the bit: killed in between, the page stays marked above the last used
  // page, holding nothing, and the next growth takes it.
  LastUsedPageNo() = FindLastUsedPage(pageNo);
  if (LastUsedPageNo() != startLastUsed) manager_.WriteHeader();
  SetPageBit(pageNo, false);

  const int32_t step = GrowthStep();
  const int32_t trailing = TotalPageCount() - LastUsedPageNo() - 1;
  if (trailing >= step) {
    // Map pages cut off with the end are gone from the file: no kept copy may speak for them.
    loaded_.clear();
    preloadedCount_ = 0;
    manager_.TruncateFile((trailing / step) * step);
  }
}

}  // namespace viz
