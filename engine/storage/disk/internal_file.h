// Internal files: variable-length data (catalogues, table metadata, lock tables) kept in a chain of
// pages of one page type inside the database file, known by the number of its first page (its
// StartPageNo). The chain is linked by the page header's NextPageNo, -1 after the last page.
//
// With D = the page data size, the first 10 bytes of the first page's data area are the file
// header; file data begins at data offset 10 of the first page and at data offset 0 of every later
// page. A file of S bytes needs ceil((S + 10) / D) pages, at least 1; file position x lies in the
// page at index (x + 10) div D of the chain, at data offset (x + 10) mod D.
//
// File header (10 bytes at the start of the first page's data area):
//
//   offset | width | transacted file                                   | direct file
//   0      | u8    | 10, the offset of the data                        | 10
//   1      | i32   | stored size (the compressed size when compressed) | file size
//   5      | i32   | uncompressed size                                 | 0
//   9      | u8    | compression type (0 none, 1 zlib, 2 bzip2, 3 PPM) | 0
#pragma once

#include <cstdint>

#include "engine/storage/file_format.h"

namespace viz {

//! Size of the file header at the start of an internal file's first data area.
inline constexpr uint16_t kInternalFileHeaderSize = 10;
static_assert(file_format::kMinimumPageSize == file_format::kPageHeaderSize + kInternalFileHeaderSize + 1,
              "the smallest page size leaves room for an internal file's header and a record");

//! The 10-byte header of an internal file.
struct TABSInternalFileHeader {
  uint8_t dataOffset = kInternalFileHeaderSize;
  int32_t storedSize = 0;
  int32_t uncompressedSize = 0;
  uint8_t compressionType = 0;

  void Encode(uint8_t* out) const {
    out[0] = dataOffset;
    file_format::PutI32(out + 1, storedSize);
    file_format::PutI32(out + 5, uncompressedSize);
    out[9] = compressionType;
  }
  void Decode(const uint8_t* in) {
    dataOffset = in[0];
    storedSize = file_format::GetI32(in + 1);
    uncompressedSize = file_format::GetI32(in + 5);
    compressionType = in[9];
  }
};

//! Returns the pages a file of `size` bytes needs with `dataSize` bytes of data per page: at least
//! 1; a negative size counts as 0.
inline int64_t InternalFilePageCount(int64_t size, uint32_t dataSize) {
  const int64_t bytes = (size < 0 ? 0 : size) + kInternalFileHeaderSize;
  return (bytes + dataSize - 1) / dataSize;
}

}  // namespace viz
