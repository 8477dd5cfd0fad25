#include "engine/storage/memory/memory_page_manager.h"

#include <cstring>
#include <limits>

#include "engine/storage/memory_manager.h"
#include "engine/tables/streams.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

// Native numbers of the single reads and writes of the stream form.
constexpr int32_t kWriteCapacity = 10362;
constexpr int32_t kWriteHighest = 10363;
constexpr int32_t kWriteGrowthStep = 10364;
constexpr int32_t kWritePageSize = 10365;
constexpr int32_t kWriteHeaderSize = 10366;
constexpr int32_t kWriteAllocated = 10367;
constexpr int32_t kWritePages = 10368;
constexpr int32_t kReadCapacity = 10369;
constexpr int32_t kReadHighest = 10370;
constexpr int32_t kReadGrowthStep = 10371;
constexpr int32_t kReadPageSize = 10372;
constexpr int32_t kReadHeaderSize = 10373;
constexpr int32_t kReadAllocated = 10374;
constexpr int32_t kReadPages = 10375;

constexpr int32_t kReadUnallocated = 10392;
constexpr int32_t kWriteUnallocated = 10393;

template <class T>
void Put(TStream& stream, T value, int32_t code) {
  ExactWrite(&value, sizeof value, stream, code);
}

template <class T>
T Get(TStream& stream, int32_t code) {
  T value;
  ExactRead(&value, sizeof value, stream, code);
  return value;
}

TABSMemBlock NewPageBuffer(uint16_t pageSize) {
  return TABSMemBlock(MemoryManager().GetMemZero(pageSize), pageSize);
}

}  // namespace

TABSMemoryPageManager::TABSMemoryPageManager() : TABSPageManager(kPageSize, 0) {
  SetCacheCapacity(std::numeric_limits<int32_t>::max());
}

TABSMemoryPageManager::~TABSMemoryPageManager() {
  // The cached page objects share the buffers: they go first, before the buffers are freed.
  DropUnusedCachedPages();
}

int32_t TABSMemoryPageManager::GetPageCount() {
  return highest_ + 1;
}

bool TABSMemoryPageManager::IsAllocated(int32_t pageNo) const {
  return pageNo >= 0 && pageNo < capacity_ && used_.GetBit(pageNo);
}

void TABSMemoryPageManager::Reserve(int32_t pageNo) {
  if (pageNo < capacity_) return;
  const int64_t steps = (static_cast<int64_t>(pageNo) - capacity_) / growthStep_ + 1;
  const int64_t capacity = capacity_ + steps * growthStep_;
  if (capacity > std::numeric_limits<int32_t>::max()) throw EABSException(msg::kInvalidPageNumber);
  used_.SetBitCount(capacity);
  buffers_.resize(static_cast<size_t>(capacity));
  capacity_ = static_cast<int32_t>(capacity);
}

uint8_t* TABSMemoryPageManager::BufferOf(int32_t pageNo) {
  TABSMemBlock& buffer = buffers_[static_cast<size_t>(pageNo)];
  if (buffer.data() == nullptr) buffer = NewPageBuffer(PageSize());
  return static_cast<uint8_t*>(buffer.data());
}

int32_t TABSMemoryPageManager::LowestFreePage() const {
  const uint8_t* bytes = used_.Bytes();
  for (int32_t pageNo = lowestFree_; pageNo <= highest_;) {
    // Whole bytes of allocated pages are skipped at once.
    if ((pageNo & 7) == 0 && pageNo + 7 <= highest_ && bytes[pageNo >> 3] == 0xFF) {
      pageNo += 8;
      continue;
    }
    if (!used_.GetBit(pageNo)) return pageNo;
    ++pageNo;
  }
  return -1;
}

void TABSMemoryPageManager::AllocatePageNo(TABSPage* page) {
  int32_t pageNo = LowestFreePage();
  if (pageNo < 0) {
    if (highest_ == std::numeric_limits<int32_t>::max()) throw EABSException(msg::kInvalidPageNumber);
    pageNo = highest_ + 1;
    Reserve(pageNo);
  }
  if (used_.GetBit(pageNo)) throw EABSException(msg::kNotReleasedPageAllocated);
  uint8_t* buffer = BufferOf(pageNo);
  // A reused page starts as zeros, as a new one does.
  std::memset(buffer, 0, PageSize());
  used_.SetBit(pageNo, true);
  ++allocated_;
  if (pageNo > highest_) highest_ = pageNo;
  lowestFree_ = pageNo + 1;
  page->PageNo = pageNo;
  page->BorrowBuffer(buffer, PageSize());
}

void TABSMemoryPageManager::FreePageNo(int32_t pageNo) {
  if (!IsAllocated(pageNo)) return;
  used_.SetBit(pageNo, false);
  --allocated_;
  if (pageNo < lowestFree_) lowestFree_ = pageNo;
}

bool TABSMemoryPageManager::ReadPage(TABSPage* page) {
  if (!IsAllocated(page->PageNo)) throw EABSException(msg::kNotReleasedPageAllocated.At(kReadUnallocated));
  page->BorrowBuffer(BufferOf(page->PageNo), PageSize());
  return true;
}

void TABSMemoryPageManager::WritePage(TABSPage* page) {
  if (!IsAllocated(page->PageNo)) throw EABSException(msg::kNotReleasedPageAllocated.At(kWriteUnallocated));
  uint8_t* stored = BufferOf(page->PageNo);
  if (page->OwnsBuffer() && page->Buffer() != stored) std::memcpy(stored, page->Buffer(), PageSize());
}

void TABSMemoryPageManager::SavePages(TABSStream& stream) {
  Put<int32_t>(stream, capacity_, kWriteCapacity);
  Put<int32_t>(stream, highest_, kWriteHighest);
  Put<int32_t>(stream, growthStep_, kWriteGrowthStep);
  Put<uint16_t>(stream, PageSize(), kWritePageSize);
  Put<uint16_t>(stream, PageHeaderSize(), kWriteHeaderSize);
  Put<int32_t>(stream, allocated_, kWriteAllocated);
  used_.SaveToStream(stream);
  TABSMemBlock zeros = NewPageBuffer(PageSize());
  for (int32_t pageNo = 0; pageNo < capacity_; ++pageNo) {
    const void* bytes = buffers_[static_cast<size_t>(pageNo)].data();
    ExactWrite(bytes ? bytes : zeros.data(), PageSize(), stream, kWritePages);
  }
}

void TABSMemoryPageManager::LoadPages(TABSStream& stream) {
  const int32_t capacity = Get<int32_t>(stream, kReadCapacity);
  const int32_t highest = Get<int32_t>(stream, kReadHighest);
  const int32_t growthStep = Get<int32_t>(stream, kReadGrowthStep);
  const uint16_t pageSize = Get<uint16_t>(stream, kReadPageSize);
  const uint16_t headerSize = Get<uint16_t>(stream, kReadHeaderSize);
  const int32_t allocated = Get<int32_t>(stream, kReadAllocated);
  if (capacity < 0 || highest < -1 || highest >= capacity || growthStep <= 0 || pageSize != PageSize() ||
      headerSize != PageHeaderSize() || allocated < 0 || allocated > capacity)
    throw EABSException(msg::kInvalidDatabaseFormat);
  TABSBitsArray used;
  used.LoadFromStream(stream);
  if (used.BitCount() != capacity || used.CountSetBits() != allocated ||
      (highest >= 0 ? !used.GetBit(highest) || used.FindNextSet(highest, true) >= 0 : allocated != 0))
    throw EABSException(msg::kInvalidDatabaseFormat);
  // Pages are read completely before anything is replaced: a short stream leaves the store as it was.
  std::vector<TABSMemBlock> buffers(static_cast<size_t>(capacity));
  for (int32_t pageNo = 0; pageNo < capacity; ++pageNo) {
    TABSMemBlock buffer = NewPageBuffer(pageSize);
    ExactRead(buffer.data(), pageSize, stream, kReadPages);
    if (pageNo <= highest) buffers[static_cast<size_t>(pageNo)] = std::move(buffer);
  }
  FreeCache();
  capacity_ = capacity;
  highest_ = highest;
  growthStep_ = growthStep;
  allocated_ = allocated;
  used_ = std::move(used);
  buffers_ = std::move(buffers);
  lowestFree_ = 0;
}

}  // namespace viz
