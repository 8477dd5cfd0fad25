#include "engine/storage/disk/transacted_file.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "engine/storage/VIZPage.h"
#include "engine/storage/disk/page_use.h"
#include "engine/tables/compression.h"
#include "engine/types/errors.h"

namespace viz {

TABSInternalDBTransactedAccessFile::TABSInternalDBTransactedAccessFile(TABSPageManager& manager,
                                                                       uint16_t pageType)
    : manager_(manager), pageType_(pageType) {}

void TABSInternalDBTransactedAccessFile::RequireOpened(const char* operation) const {
  if (!IsOpened()) throw EABSException(msg::kClosedInternalFile, operation);
}

void TABSInternalDBTransactedAccessFile::Create(int32_t session) {
  if (IsOpened()) throw EABSException(msg::kInternalFileExists, startPageNo_);
  TABSPageUse page(manager_, manager_.AddPage(session, pageType_));
  TABSInternalFileHeader().Encode(page->Data());
  page->MarkDirty();
  startPageNo_ = page->PageNo;
}

void TABSInternalDBTransactedAccessFile::Open(int32_t startPageNo) {
  startPageNo_ = startPageNo;
}

std::vector<int32_t> TABSInternalDBTransactedAccessFile::ChainPages(int32_t session) {
  RequireOpened("ChainPages");
  std::vector<int32_t> pages;
  std::unordered_set<int32_t> seen;
  for (int32_t pageNo = startPageNo_; pageNo >= 0 && seen.insert(pageNo).second;) {
    pages.push_back(pageNo);
    TABSPageUse page(manager_, manager_.GetPage(session, pageNo, pageType_));
    pageNo = page->GetNextPageNo();
  }
  return pages;
}

void TABSInternalDBTransactedAccessFile::Delete(int32_t session) {
  RequireOpened("Delete");
  for (int32_t pageNo : ChainPages(session)) manager_.RemovePage(session, pageNo);
  Close();
}

TABSInternalFileHeader TABSInternalDBTransactedAccessFile::GetSize(int32_t session) {
  RequireOpened("GetSize");
  TABSPageUse first(manager_, manager_.GetPage(session, startPageNo_, pageType_));
  TABSInternalFileHeader header;
  header.Decode(first->Data());
  return header;
}

void TABSInternalDBTransactedAccessFile::SetSize(int32_t session, int32_t size, uint8_t compressionType,
                                                 int32_t uncompressedSize) {
  RequireOpened("SetSize");
  size = std::max(size, 0);
  const uint32_t dataSize = manager_.PageDataSize();
  TABSPageUse first(manager_, manager_.GetPage(session, startPageNo_, pageType_));
  TABSInternalFileHeader header;
  header.Decode(first->Data());
  const int64_t oldCount = InternalFilePageCount(header.storedSize, dataSize);
  const int64_t newCount = InternalFilePageCount(size, dataSize);

  if (newCount != oldCount) {
    // Walk to the last page that stays (shrinking) or to the chain's last page (growing). A chain
    // shorter than its header says ends early; growing then appends from where it really ends.
    const int64_t keep = std::min(newCount, oldCount);
    TABSPageUse current(manager_, nullptr);
    TABSPage* page = first.get();
    int64_t index = 0;
    for (; index + 1 < keep; ++index) {
      const int32_t next = page->GetNextPageNo();
      if (next < 0) break;
      current.Reset(manager_.GetPage(session, next, pageType_));
      page = current.get();
    }
    if (newCount > oldCount) {
      for (int64_t count = index + 1; count < newCount; ++count) {
        TABSPageUse added(manager_, manager_.AddPage(session, pageType_));
        page->SetNextPageNo(added->PageNo);
        page->MarkDirty();
        current.Reset(added.Release());
        page = current.get();
      }
    } else {
      int32_t next = page->GetNextPageNo();
      page->SetNextPageNo(-1);
      page->MarkDirty();
      // At most the pages the header accounts for are freed: a damaged link must not free pages
      // of some other chain.
      for (int64_t count = keep; count < oldCount && next >= 0; ++count) {
        TABSPageUse cut(manager_, manager_.GetPage(session, next, pageType_));
        manager_.RemovePage(session, next);
        next = cut->GetNextPageNo();
      }
    }
  }
  header.dataOffset = kInternalFileHeaderSize;
  header.storedSize = size;
  header.uncompressedSize = uncompressedSize;
  header.compressionType = compressionType;
  header.Encode(first->Data());
  first->MarkDirty();
}

void TABSInternalDBTransactedAccessFile::WriteFile(int32_t session, const void* buffer, int level,
                                                   uint8_t compressionType, int32_t length) {
  RequireOpened("WriteFile");
  length = std::max(length, 0);
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  int64_t storedSize = length;
  TABSMemBlock compressed;
  // Nothing to compress in an empty content: it is stored plain.
  if (length == 0) compressionType = 0;
  if (compressionType != 0) {
    void* packed = nullptr;
    const bool packedOk = CompressBuffer(compressionType, level, buffer, length, packed, storedSize);
    compressed = TABSMemBlock(packed);
    if (!packedOk || storedSize > std::numeric_limits<int32_t>::max()) {
      throw EABSException(msg::kTableFileCompressionError);
    }
    bytes = compressed.bytes();
  }
  SetSize(session, static_cast<int32_t>(storedSize), compressionType, length);

  const uint32_t dataSize = manager_.PageDataSize();
  TABSPageUse page(manager_, manager_.GetPage(session, startPageNo_, pageType_));
  uint32_t offset = kInternalFileHeaderSize;
  int64_t done = 0;
  for (;;) {
    const int64_t count = std::min<int64_t>(dataSize - offset, storedSize - done);
    if (count > 0) std::memcpy(page->Data() + offset, bytes + done, static_cast<size_t>(count));
    page->MarkDirty();
    done += count;
    if (done >= storedSize) break;
    const int32_t next = page->GetNextPageNo();
    if (next < 0) throw EABSException(msg::kInternalFileChainEnded, storedSize, done, storedSize);
    page.Reset(manager_.GetPage(session, next, pageType_));
    offset = 0;
  }
}

void TABSInternalDBTransactedAccessFile::ReadFile(int32_t session, void* buffer, int32_t length) {
  RequireOpened("ReadFile");
  const TABSInternalFileHeader header = GetSize(session);
  if (header.uncompressedSize < length)
    throw EABSException(msg::kCannotReadInternalFile, header.uncompressedSize, length);
  const bool compressed = header.compressionType != 0;
  // Catalogues and definitions stay far below this; a larger size in a header is damage, refused
  // before the decompression allocates for it.
  if (compressed && header.uncompressedSize > kMaxUncompressedSize) throw EABSException(msg::kTableFileDecompressionError);
  const int64_t toRead = std::max<int64_t>(compressed ? header.storedSize : length, 0);

  // The stored bytes of a compressed file go to a scratch buffer that grows page by page, so a
  // damaged size cannot make it larger than the chain.
  std::vector<uint8_t> scratch;
  uint8_t* target = static_cast<uint8_t*>(buffer);
  const uint32_t dataSize = manager_.PageDataSize();
  TABSPageUse page(manager_, manager_.GetPage(session, startPageNo_, pageType_));
  uint32_t offset = kInternalFileHeaderSize;
  int64_t done = 0;
  while (done < toRead) {
    const int64_t count = std::min<int64_t>(dataSize - offset, toRead - done);
    if (compressed) {
      scratch.resize(static_cast<size_t>(done + count));
      target = scratch.data();
    }
    std::memcpy(target + done, page->Data() + offset, static_cast<size_t>(count));
    done += count;
    if (done >= toRead) break;
    const int32_t next = page->GetNextPageNo();
    if (next < 0) break;
    page.Reset(manager_.GetPage(session, next, pageType_));
    offset = 0;
  }
  page.Reset(nullptr);
  if (done < toRead) throw EABSException(msg::kInternalFileChainEnded, toRead, done, toRead);
  if (!compressed) return;

  void* unpacked = nullptr;
  int64_t produced = 0;
  const bool unpackedOk =
      DecompressBuffer(header.compressionType, scratch.data(), toRead, header.uncompressedSize, unpacked, produced);
  const TABSMemBlock plain(unpacked);
  if (!unpackedOk || produced < length) {
    throw EABSException(msg::kTableFileDecompressionError);
  }
  if (length > 0) std::memcpy(buffer, plain.data(), static_cast<size_t>(length));
}

std::vector<uint8_t> TABSInternalDBTransactedAccessFile::ReadAll(int32_t session) {
  RequireOpened("ReadFile");
  const TABSInternalFileHeader header = GetSize(session);
  const int32_t length = std::max(header.uncompressedSize, 0);
  if (header.compressionType != 0 && length > kMaxUncompressedSize) throw EABSException(msg::kTableFileDecompressionError);
  // A plain file cannot hold more than its chain: a damaged size is refused before allocating.
  if (header.compressionType == 0) {
    const int64_t capacity =
        static_cast<int64_t>(ChainPages(session).size()) * manager_.PageDataSize() - kInternalFileHeaderSize;
    if (length > capacity) throw EABSException(msg::kInternalFileChainEnded, length, capacity, length);
  }
  std::vector<uint8_t> content(static_cast<size_t>(length));
  ReadFile(session, content.data(), length);
  return content;
}

}  // namespace viz
