#include "engine/storage/disk/direct_file.h"

#include <algorithm>
#include <unordered_set>

#include "engine/storage/disk/page_use.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/types/errors.h"

namespace viz {

using namespace file_format;

namespace {
constexpr int32_t kFileExistsCode = 20157;
constexpr int32_t kClosedFileCode = 20156;
// Page bytes 1..39: the page header without byte 0, the guard byte of a file's first page.
constexpr uint16_t kHeaderTailOffset = 1;
constexpr uint16_t kHeaderTailSize = kPageHeaderSize - 1;
}  // namespace

TABSInternalDBDirectAccessFile::TABSInternalDBDirectAccessFile(TABSDiskPageManager& manager,
                                                               uint16_t pageType)
    : manager_(manager), pageType_(pageType) {}

void TABSInternalDBDirectAccessFile::RequireOpened(const char* operation) const {
  if (!IsOpened()) throw EABSException(msg::kClosedInternalFile.At(kClosedFileCode), operation);
}

int64_t TABSInternalDBDirectAccessFile::UsableSize() const {
  return static_cast<int64_t>(pages_.size()) * manager_.PageDataSize() - kInternalFileHeaderSize;
}

void TABSInternalDBDirectAccessFile::Create(int32_t size) {
  if (IsOpened()) throw EABSException(msg::kInternalFileExists.At(kFileExistsCode), startPageNo_);
  size = std::max(size, 0);
  const int64_t count = InternalFilePageCount(size, manager_.PageDataSize());
  std::vector<int32_t> pages;
  TABSPageUse previous(manager_, nullptr);
  for (int64_t index = 0; index < count; ++index) {
    TABSPageUse page(manager_, manager_.AddPage(kSystemSession, pageType_));
    page->EncipherOnWrite = false;
    if (index == 0) {
      TABSInternalFileHeader header;
      header.storedSize = size;
      header.Encode(page->Data());
    } else {
      previous->SetNextPageNo(page->PageNo);
      previous->MarkDirty();
    }
    pages.push_back(page->PageNo);
    previous.Reset(page.Release());
  }
  previous.Reset(nullptr);
  pages_ = std::move(pages);
  size_ = size;
  startPageNo_ = pages_.front();
}

int32_t TABSInternalDBDirectAccessFile::CheckPage(int32_t pageNo) {
  uint8_t header[kPageHeaderSize] = {};
  manager_.ReadPagePart(header + kHeaderTailOffset, pageNo, kHeaderTailSize, kHeaderTailOffset);
  const uint16_t type = GetU16(header + kPageTypeOffset);
  if (type != pageType_)
    throw EABSException(msg::kInvalidPageTypeFound, static_cast<int32_t>(type),
                        static_cast<int32_t>(pageType_));
  return GetI32(header + kPageNextOffset);
}

void TABSInternalDBDirectAccessFile::Open(int32_t startPageNo) {
  Close();
  startPageNo_ = startPageNo;
  try {
    const int32_t stored = GetSize();
    const int64_t count = InternalFilePageCount(stored, manager_.PageDataSize());
    std::unordered_set<int32_t> seen;
    int32_t pageNo = startPageNo;
    // A link back into the chain ends it: a damaged chain is never walked twice.
    while (static_cast<int64_t>(pages_.size()) < count && pageNo >= 0 && seen.insert(pageNo).second) {
      const int32_t next = CheckPage(pageNo);
      pages_.push_back(pageNo);
      pageNo = next;
    }
    size_ = static_cast<int32_t>(std::clamp<int64_t>(UsableSize(), 0, std::max(stored, 0)));
  } catch (...) {
    Close();
    throw;
  }
}

void TABSInternalDBDirectAccessFile::Close() {
  startPageNo_ = -1;
  size_ = 0;
  pages_.clear();
}

void TABSInternalDBDirectAccessFile::Delete() {
  RequireOpened("Delete");
  for (int32_t pageNo : pages_) manager_.RemovePage(kSystemSession, pageNo);
  Close();
}

int32_t TABSInternalDBDirectAccessFile::GetSize() {
  RequireOpened("GetSize");
  uint8_t bytes[kInternalFileHeaderSize];
  manager_.ReadPagePart(bytes, startPageNo_, kInternalFileHeaderSize, kPageHeaderSize);
  TABSInternalFileHeader header;
  header.Decode(bytes);
  return header.storedSize;
}

std::vector<TABSInternalDBDirectAccessFile::Piece> TABSInternalDBDirectAccessFile::PiecesOf(
    int64_t position, int64_t count) const {
  if (position < 0 || position > size_) throw EABSException(msg::kSeekBeyondFileSize, size_, position);
  const int64_t dataSize = manager_.PageDataSize();
  std::vector<Piece> pieces;
  int64_t place = position + kInternalFileHeaderSize;
  for (int64_t left = count; left > 0;) {
    const size_t index = static_cast<size_t>(place / dataSize);
    if (index >= pages_.size()) break;
    const int64_t within = place % dataSize;
    const int64_t take = std::min(dataSize - within, left);
    pieces.push_back(
        {pages_[index], static_cast<uint16_t>(kPageHeaderSize + within), static_cast<uint16_t>(take)});
    place += take;
    left -= take;
  }
  return pieces;
}

TABSInternalDBDirectAccessFile::Piece TABSInternalDBDirectAccessFile::BytePiece(int32_t position) const {
  if (position < 0 || position >= size_) throw EABSException(msg::kSeekBeyondFileSize, size_, position);
  return PiecesOf(position, 1).front();
}

int32_t TABSInternalDBDirectAccessFile::DirectReadBuffer(void* buffer, int32_t count, int32_t position) {
  RequireOpened("DirectReadBuffer");
  const std::vector<Piece> pieces = PiecesOf(position, std::min<int64_t>(count, size_ - int64_t{position}));
  // Every page is checked before any byte moves.
  for (const Piece& piece : pieces) CheckPage(piece.pageNo);
  auto* bytes = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  for (const Piece& piece : pieces) {
    manager_.ReadPagePart(bytes + done, piece.pageNo, piece.count, piece.offset);
    done += piece.count;
  }
  return done;
}

int32_t TABSInternalDBDirectAccessFile::DirectWriteBuffer(const void* buffer, int32_t count,
                                                          int32_t position) {
  RequireOpened("DirectWriteBuffer");
  if (int64_t{position} + count > size_)
    throw EABSException(msg::kWriteAfterEndOfFile, size_, position, count);
  const std::vector<Piece> pieces = PiecesOf(position, count);
  for (const Piece& piece : pieces) CheckPage(piece.pageNo);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  int32_t done = 0;
  for (const Piece& piece : pieces) {
    manager_.WritePagePart(bytes + done, piece.pageNo, piece.count, piece.offset);
    done += piece.count;
  }
  return done;
}

bool TABSInternalDBDirectAccessFile::LockFile() {
  RequireOpened("LockFile");
  return manager_.LockPageByte(startPageNo_, 0);
}

bool TABSInternalDBDirectAccessFile::UnlockFile() {
  RequireOpened("UnlockFile");
  return manager_.UnlockPageByte(startPageNo_, 0);
}

bool TABSInternalDBDirectAccessFile::LockByte(int32_t position) {
  RequireOpened("LockByte");
  const Piece piece = BytePiece(position);
  return manager_.LockPageByte(piece.pageNo, piece.offset);
}

bool TABSInternalDBDirectAccessFile::UnlockByte(int32_t position) {
  RequireOpened("UnlockByte");
  const Piece piece = BytePiece(position);
  return manager_.UnlockPageByte(piece.pageNo, piece.offset);
}

bool TABSInternalDBDirectAccessFile::IsByteLocked(int32_t position) {
  RequireOpened("IsByteLocked");
  const Piece piece = BytePiece(position);
  return manager_.IsPageByteLocked(piece.pageNo, piece.offset);
}

bool TABSInternalDBDirectAccessFile::IsRegionLocked(int32_t position, int32_t count) {
  RequireOpened("IsRegionLocked");
  if (count <= 0) return false;
  for (const Piece& piece : PiecesOf(position, count)) {
    if (manager_.IsPageRegionLocked(piece.pageNo, piece.offset, piece.count)) return true;
  }
  return false;
}

bool TABSInternalDBDirectAccessFile::LockRegion(int32_t position, int32_t count) {
  RequireOpened("LockRegion");
  const std::vector<Piece> pieces = PiecesOf(position, count);
  TABSDatabaseFile& file = manager_.File();
  for (size_t index = 0; index < pieces.size(); ++index) {
    const Piece& piece = pieces[index];
    if (file.LockByte(piece.count, manager_.PageOffset(piece.pageNo) + piece.offset)) continue;
    while (index-- > 0) {
      file.UnlockByte(pieces[index].count, manager_.PageOffset(pieces[index].pageNo) + pieces[index].offset);
    }
    return false;
  }
  return true;
}

bool TABSInternalDBDirectAccessFile::UnlockRegion(int32_t position, int32_t count) {
  RequireOpened("UnlockRegion");
  TABSDatabaseFile& file = manager_.File();
  bool all = true;
  for (const Piece& piece : PiecesOf(position, count)) {
    all = file.UnlockByte(piece.count, manager_.PageOffset(piece.pageNo) + piece.offset) && all;
  }
  return all;
}

}  // namespace viz
