// One BLOB value stored inside another stream, optionally as a chain of independently compressed
// blocks, so that a read decompresses only the blocks it touches and an append rewrites at most the
// last block.
//
// BLOB descriptor (32 bytes, little-endian):
//
//   offset | width | field
//   0      | i32   | block size: uncompressed bytes per block (0 for a new value: default of its mode)
//   4      | i64   | block count
//   12     | i64   | uncompressed size of the value
//   20     | i64   | start: position in the inner stream where the value begins
//   28     | u8    | algorithm: 0 none, 1 zlib, 2 bzip2, 3 PPMd
//   29     | u8    | mode: compression level 1-9 (0 with algorithm 0)
//   30     | 2     | unused
//
// A compressed value is, from the start position, a sequence of blocks; block i holds uncompressed
// bytes [i * block size, (i + 1) * block size) (the last may be shorter) as a 20-byte header and the
// compressed data right after it:
//
//   offset | width | field
//   0      | i32   | compressed size n
//   4      | i32   | uncompressed size of the block
//   8      | u32   | checksum (Crc32) of the uncompressed bytes
//   12     | i64   | block length n + 20: distance to the next header
//
// With algorithm 0 the bytes lie unchanged at the start position, without headers.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

#include "engine/tables/compression.h"
#include "engine/tables/streams.h"

namespace viz {

static_assert(std::endian::native == std::endian::little, "stored structures are little-endian");

#pragma pack(push, 1)
struct TABSBLOBDescriptor {
  int32_t BlockSize = 0;
  int64_t NumBlocks = 0;
  int64_t UncompressedSize = 0;
  int64_t StartPosition = 0;
  uint8_t CompressionAlgorithm = 0;
  uint8_t CompressionMode = 0;
  uint8_t Reserved[2] = {0, 0};
};

struct TABSCompressedStreamBlockHeader {
  int32_t CompressedSize = 0;
  int32_t UncompressedSize = 0;
  uint32_t Crc32 = 0;
  int64_t BlockLength = 0;
};
#pragma pack(pop)
static_assert(sizeof(TABSBLOBDescriptor) == 32);
static_assert(sizeof(TABSCompressedStreamBlockHeader) == 20);

//! Returns the block size a new value of `mode` gets when its descriptor says 0.
int32_t DefaultCompressedBlockSize(uint8_t mode);

//! The block headers of one value in block order, each with the position of its header in the
//! inner stream.
class TABSCompressedStreamBlockHeadersArray {
 public:
  struct Item {
    TABSCompressedStreamBlockHeader header;
    int64_t position;
  };

  int64_t Count() const { return static_cast<int64_t>(items_.size()); }
  const Item& operator[](int64_t index) const { return items_[static_cast<size_t>(index)]; }
  void Add(const TABSCompressedStreamBlockHeader& header, int64_t position);
  void Set(int64_t index, const TABSCompressedStreamBlockHeader& header);
  //! Keeps the first `count` headers.
  void Truncate(int64_t count);
  void Clear() { Truncate(0); }
  //! Returns the block that holds uncompressed offset `offset`, or -1 when it lies beyond the last.
  int64_t FindBlock(int64_t offset) const;
  //! Returns the uncompressed offset where block `index` begins.
  int64_t BlockStart(int64_t index) const { return starts_[static_cast<size_t>(index)]; }

 private:
  std::vector<Item> items_;
  std::vector<int64_t> starts_;  // uncompressed offset of each block
};

class TABSCompressedBLOBStream : public TABSStream {
 public:
  //! Opens the value that `descriptor` describes inside `inner` (not owned), or starts a new one.
  //! Raises 10103 when the start cannot be reached, 10081 when an uncompressed value does not fit
  //! in the inner stream, 10082/10083 when the block headers cannot be read or walked, and 10084
  //! for a block size below 1.
  TABSCompressedBLOBStream(TStream& inner, bool newValue, const TABSBLOBDescriptor& descriptor);
  ~TABSCompressedBLOBStream() override = default;

  //! Reads from the blocks that hold [position, position + count). Raises 10086-10090 for blocks
  //! that cannot be read back.
  int64_t Read(void* buffer, int64_t count) override;
  //! Appends at the end of a compressed value (a position beyond it appends zeros first); a
  //! position inside the value writes nothing and returns 0.
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override { return position_; }
  int64_t GetSize() const override { return size_; }
  //! Grows with zero bytes or shrinks, rewriting the last kept block.
  void SetSize(int64_t size) override;

  //! The descriptor with the current block count and size.
  const TABSBLOBDescriptor& Descriptor() const { return descriptor_; }
  //! Sum of the blocks' compressed sizes (headers not counted).
  int64_t CompressedSize() const { return compressedSize_; }
  //! (1 - compressed / uncompressed) * 100; 0 when nothing is compressed.
  float CompressionRate() const { return compressionRate_; }
  const TABSCompressedStreamBlockHeadersArray& BlockHeaders() const { return headers_; }
  int64_t CurrentBlock() const { return currentBlock_; }

 private:
  bool Compressed() const { return descriptor_.CompressionAlgorithm != acaNone; }
  // Decompresses block `index` into the block cache (unless it is there already).
  void LoadBlock(int64_t index);
  // Compresses `count` bytes and writes header and data at `position`; returns the header.
  TABSCompressedStreamBlockHeader WriteBlock(const void* data, int64_t count, int64_t position);
  // Appends `count` bytes at the end of a compressed value; returns the count taken.
  int64_t Append(const uint8_t* data, int64_t count);
  // Returns the inner position right after the last block.
  int64_t EndOfBlocks() const;
  void Recount();

  TStream& inner_;
  TABSBLOBDescriptor descriptor_;
  int64_t blockSize_ = 0;
  int64_t size_ = 0;
  int64_t compressedSize_ = 0;
  int64_t position_ = 0;
  int64_t currentBlock_ = 0;
  float compressionRate_ = 0;
  TABSCompressedStreamBlockHeadersArray headers_;
  // The most recently decompressed block, kept for reads that follow one another.
  TABSMemBlock cache_;
  int64_t cachedBlock_ = -1;
};

}  // namespace viz
