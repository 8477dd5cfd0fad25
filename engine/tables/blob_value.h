// A BLOB value as the backends keep it: the bytes of its compressed stream (compressed_blob_stream.h,
// starting at position 0 of their own stream) with the two numbers that describe them, and the
// stream through which a cursor reads and writes such a value.
//
//   cursor write --> TABSBlobValueStream --TakeValue--> table (BLOB cache, stored with the record)
//   stored value --> TABSBlobValue --> TABSBlobValueStream --> cursor read
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/tables/streams.h"

namespace viz {

class TABSCompressedBLOBStream;

//! One BLOB value in its compressed-stream form.
struct TABSBlobValue {
  //! Number of compressed blocks (0 for an uncompressed value).
  int32_t BlockCount = 0;
  //! Size of the value before compression.
  int64_t UncompressedSize = 0;
  //! The stored bytes from position 0; null for an empty value.
  std::unique_ptr<TABSStream> Data;

  int64_t StoredSize() const { return Data ? Data->GetSize() : 0; }
  bool Empty() const { return UncompressedSize <= 0; }
};

//! Returns an empty stream for stored bytes: a temporary stream (memory first, then a temporary
//! file) or, with files disabled, one that stays in memory.
std::unique_ptr<TABSStream> NewBlobDataStream(bool disableTempFiles);

//! Replaces `bytes` by the content of a value's stream from its beginning: as many bytes as the
//! stream's size, fewer when it gives fewer (a buffer of the size is not taken at once).
void ReadWholeValue(TStream& stream, std::string& bytes);

//! How a BLOB field compresses its values (from its definition).
struct TABSBlobFormat {
  //! Uncompressed bytes per block.
  int32_t BlockSize = 0;
  //! 0 none, 1 zlib, 2 bzip2, 3 PPMd, and the level 1-9.
  uint8_t Algorithm = 0;
  uint8_t Mode = 0;
};

//! Replaces `bytes` by the value whose `storedSize` stored bytes are `stored` (with its block count
//! and size), read as a read-only TABSBlobValueStream on that value would read it: the same bytes and
//! the same errors, raised as they come (without an origin), but without that stream.
void DecodeStoredValue(const TABSBlobFormat& format, int32_t blockCount, int64_t uncompressedSize,
                       const uint8_t* stored, int64_t storedSize, std::string& bytes);

//! The value of one BLOB field, read and written through its compressed stream with the field's
//! compression settings and block size. It owns the value's stored bytes.
class TABSBlobValueStream : public TABSStream {
 public:
  //! Opens `value` (an empty value starts a new one). Raises "Stream block size = 0 is not allowed"
  //! (20149) for a field without a block size, "Invalid blob field size" (20248) for a negative
  //! size (given, or the sum of the block headers), and the compressed stream's errors (10081 to
  //! 10084) for stored bytes it cannot walk.
  TABSBlobValueStream(const TABSBlobFormat& format, TABSBlobValue value, bool readOnly,
                      bool disableTempFiles);
  ~TABSBlobValueStream() override;

  using TABSStream::Read;
  using TABSStream::Write;
  int64_t Read(void* buffer, int64_t count) override;
  //! Raises "Cannot write to read only stream" (10115) on a read-only stream.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override;
  int64_t GetSize() const override;
  //! Raises "Cannot write to read only stream" (10116) on a read-only stream.
  void SetSize(int64_t size) override;

  //! Names where the value is stored (a table and its first page): an error its stored bytes raise
  //! while they are read is then raised again as damage of that page.
  void SetOrigin(std::string tableName, int32_t pageNo);
  bool ReadOnly() const { return readOnly_; }
  //! Whether a write or size change happened.
  bool Modified() const { return modified_; }
  //! The value as now written: its stored bytes, block count and size. The stream is closed
  //! afterwards (every later operation raises "Nil pointer occured").
  TABSBlobValue TakeValue();

 private:
  TABSCompressedBLOBStream& Compressed() const;

  // Raises the current engine error again, naming the origin when there is one.
  [[noreturn]] void RethrowWithOrigin() const;

  TABSBlobValue value_;
  std::unique_ptr<TABSCompressedBLOBStream> compressed_;
  std::string originTable_;
  int32_t originPage_ = -1;
  bool readOnly_;
  bool modified_ = false;
};

}  // namespace viz
