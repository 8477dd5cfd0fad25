// An internal file read and written through the page cache under a session: its changes are part of
// that session's transaction, private to it until the session commits and thrown away when it rolls
// back. The whole content may be stored compressed (zlib, bzip2 or PPM). Layout: internal_file.h.
//
// Closed (StartPageNo -1) --Create / Open--> open --Delete / Close--> closed
//
// Not safe for concurrent use: callers hold the database's lock, as for every page-manager call.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/disk/internal_file.h"

namespace viz {

class TABSPageManager;

class TABSInternalDBTransactedAccessFile {
 public:
  //! The largest content a compressed internal file may claim (64 MiB).
  static constexpr int32_t kMaxUncompressedSize = 64 * 1024 * 1024;

  //! A closed file whose pages will be of `pageType`, kept by `manager`.
  TABSInternalDBTransactedAccessFile(TABSPageManager& manager, uint16_t pageType);

  //! Adds the first page for the session, holding an empty file. Raises "Cannot create Internal
  //! file. File already exists. StartPageNo=%d" (30383) when the file is open.
  void Create(int32_t session);
  //! Opens the file that starts at `startPageNo`; reads nothing.
  void Open(int32_t startPageNo);
  //! Forgets the file; its pages stay.
  void Close() { startPageNo_ = -1; }
  //! Gives every page of the chain to the session's pages to free (freed when it commits) and
  //! closes the file.
  void Delete(int32_t session);

  //! Makes the chain hold `size` stored bytes: pages are appended or cut off the end (cut pages are
  //! freed when the session commits); the header takes the sizes and the compression type.
  void SetSize(int32_t session, int32_t size, uint8_t compressionType, int32_t uncompressedSize);
  //! Returns the file header as the session sees it.
  TABSInternalFileHeader GetSize(int32_t session);
  //! Reads the first `length` bytes of the content (decompressed when stored compressed). Raises
  //! 30387 when the file is smaller, 30388 when the chain ends before the stored bytes, 20189 when
  //! the stored bytes do not decompress.
  void ReadFile(int32_t session, void* buffer, int32_t length);
  //! Replaces the content by `length` bytes, compressed with `compressionType` (0 = none) at
  //! `level`. Raises "Table file compression error" (20187) when compression fails.
  void WriteFile(int32_t session, const void* buffer, int level, uint8_t compressionType, int32_t length);

  //! Reads the whole content (its uncompressed size).
  std::vector<uint8_t> ReadAll(int32_t session);
  //! Returns the page numbers of the chain in order, following the links from the first page
  //! (stops at a page met twice).
  std::vector<int32_t> ChainPages(int32_t session);

  bool IsOpened() const { return startPageNo_ >= 0; }
  int32_t StartPageNo() const { return startPageNo_; }
  uint16_t PageType() const { return pageType_; }
  TABSPageManager& Manager() const { return manager_; }

 private:
  // Raises 30389 with the operation's name when the file is closed.
  void RequireOpened(const char* operation) const;

  TABSPageManager& manager_;
  uint16_t pageType_;
  int32_t startPageNo_ = -1;
};

}  // namespace viz
