// An internal file read and written byte-wise directly in the database file: never through the page
// cache and never enciphered, so that several processes share it and lock single bytes of it with
// the operating system's byte locks. The sessions file and the tables' locks files are such files.
// Layout: internal_file.h.
//
// Byte 0 of the chain's first page (in its page header) is the file's guard byte: `LockFile` and
// `UnlockFile` take and drop it. Reads of page headers skip it, so that a held guard is not touched.
//
// Not safe for concurrent use: callers in one process serialise (the database's or the lock
// manager's critical section). Between processes only the byte locks coordinate.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/disk/internal_file.h"

namespace viz {

class TABSDiskPageManager;

class TABSInternalDBDirectAccessFile {
 public:
  //! A closed file whose pages are of `pageType`, in `manager`'s database file.
  TABSInternalDBDirectAccessFile(TABSDiskPageManager& manager, uint16_t pageType);
  virtual ~TABSInternalDBDirectAccessFile() = default;
  TABSInternalDBDirectAccessFile(const TABSInternalDBDirectAccessFile&) = delete;
  TABSInternalDBDirectAccessFile& operator=(const TABSInternalDBDirectAccessFile&) = delete;

  //! Adds, under session -2, the whole chain for `size` bytes (pages written plain), with the file
  //! header. The pages reach the file when session -2 commits. Raises "Cannot create Internal file.
  //! File already exists. StartPageNo=%d" (20157) when the file is open.
  void Create(int32_t size);
  //! Reads the size and walks the chain, recording its pages. Raises "Invalid PageType found: %d
  //! but wanted: %d" (20155) for a page of another type. The usable size is what the chain holds:
  //! when it is shorter than the stored size asks, the file's size is cut to it.
  void Open(int32_t startPageNo);
  void Close();
  //! Gives every page of the chain to session -2's pages to free, and closes the file.
  void Delete();

  //! Reads the size stored in the file header (directly from the file).
  int32_t GetSize();

  //! Copies up to `count` bytes from file position `position`, never past the file's end. Returns
  //! the bytes copied. Raises "Seek position bigger then file size. FileSize=%d. Position=%d"
  //! (20159) for a position beyond the end.
  int32_t DirectReadBuffer(void* buffer, int32_t count, int32_t position);
  //! Writes `count` bytes at `position`. Raises "Cannot write after end of file. FileSize=%d.
  //! Position=%d, Count=%d" (20158) when they do not fit in the file. Returns the bytes written.
  int32_t DirectWriteBuffer(const void* buffer, int32_t count, int32_t position);

  //! Takes (one attempt) or drops the guard byte.
  bool LockFile();
  bool UnlockFile();
  //! Takes, drops or probes the lock of the file byte holding position `position` (20159 for a
  //! position outside the file).
  bool LockByte(int32_t position);
  bool UnlockByte(int32_t position);
  bool IsByteLocked(int32_t position);
  //! Whether anyone, this process included, holds a byte of the range; false for count <= 0.
  bool IsRegionLocked(int32_t position, int32_t count);
  //! Takes the locks of every byte of the range, or none of them (false) when one is held.
  bool LockRegion(int32_t position, int32_t count);
  //! Drops the locks of every byte of the range; false when one of them was not held.
  bool UnlockRegion(int32_t position, int32_t count);

  bool IsOpened() const { return startPageNo_ >= 0; }
  int32_t StartPageNo() const { return startPageNo_; }
  uint16_t PageType() const { return pageType_; }
  //! The file's size: the stored size, or less when the chain holds less.
  int32_t Size() const { return size_; }
  //! The bytes the chain can hold: its pages times the data size, less the header.
  int64_t UsableSize() const;
  //! The chain's page numbers in order (recorded by Create and Open).
  const std::vector<int32_t>& Pages() const { return pages_; }
  TABSDiskPageManager& Manager() const { return manager_; }

 protected:
  // Raises 20156 with the operation's name when the file is closed.
  void RequireOpened(const char* operation) const;

 private:
  // One piece of a file range that lies in one page.
  struct Piece {
    int32_t pageNo;
    uint16_t offset;  // within the page, header included
    uint16_t count;
  };
  // The pieces of [position, position + count), cut at the chain's end. Raises 20159 for a position
  // beyond the end of the file.
  std::vector<Piece> PiecesOf(int64_t position, int64_t count) const;
  // Reads page bytes 1..39 (the header without the guard byte) and checks the page type. Returns the
  // page's NextPageNo.
  int32_t CheckPage(int32_t pageNo);
  // The piece holding the one byte at `position` (20159 unless 0 <= position < size).
  Piece BytePiece(int32_t position) const;

  TABSDiskPageManager& manager_;
  uint16_t pageType_;
  int32_t startPageNo_ = -1;
  int32_t size_ = 0;
  std::vector<int32_t> pages_;
};

}  // namespace viz
