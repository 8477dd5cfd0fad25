#include "engine/tables/compressed_blob_stream.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/memory_manager.h"
#include "engine/types/crc32.h"
#include "engine/types/errors.h"
#include "engine/types/messages.h"

namespace viz {

int32_t DefaultCompressedBlockSize(uint8_t mode) {
  if (mode == 0) return 102400;
  if (mode <= 3) return 524288;
  if (mode <= 6) return 1048576;
  return 1572864;
}

// ---- TABSCompressedStreamBlockHeadersArray

void TABSCompressedStreamBlockHeadersArray::Add(const TABSCompressedStreamBlockHeader& header,
                                                int64_t position) {
  int64_t start = items_.empty() ? 0 : starts_.back() + items_.back().header.UncompressedSize;
  items_.push_back({header, position});
  starts_.push_back(start);
}

void TABSCompressedStreamBlockHeadersArray::Set(int64_t index,
                                                const TABSCompressedStreamBlockHeader& header) {
  items_[static_cast<size_t>(index)].header = header;
  for (size_t i = static_cast<size_t>(index) + 1; i < items_.size(); i++)
    starts_[i] = starts_[i - 1] + items_[i - 1].header.UncompressedSize;
}

void TABSCompressedStreamBlockHeadersArray::Truncate(int64_t count) {
  if (count < Count()) {
    items_.resize(static_cast<size_t>(count));
    starts_.resize(static_cast<size_t>(count));
  }
}

int64_t TABSCompressedStreamBlockHeadersArray::FindBlock(int64_t offset) const {
  if (items_.empty() || offset < 0) return -1;
  auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
  int64_t index = (it - starts_.begin()) - 1;
  if (offset >=
      starts_[static_cast<size_t>(index)] + items_[static_cast<size_t>(index)].header.UncompressedSize)
    return -1;
  return index;
}

// ---- TABSCompressedBLOBStream

TABSCompressedBLOBStream::TABSCompressedBLOBStream(TStream& inner, bool newValue,
                                                   const TABSBLOBDescriptor& descriptor)
    : inner_(inner), descriptor_(descriptor) {
  const int64_t start = descriptor_.StartPosition;
  CheckedSeek(inner_, start, 10103);
  if (!Compressed()) {
    if (newValue) {
      descriptor_.UncompressedSize = 0;
    } else {
      int64_t innerSize = inner_.Size();
      if (innerSize - start < descriptor_.UncompressedSize || descriptor_.UncompressedSize < 0)
        throw EABSException(msg::kStreamSizeTooSmall, innerSize, start + descriptor_.UncompressedSize);
    }
    size_ = descriptor_.UncompressedSize;
    descriptor_.NumBlocks = 0;
    return;
  }

  if (newValue) {
    if (descriptor_.BlockSize == 0)
      descriptor_.BlockSize = DefaultCompressedBlockSize(descriptor_.CompressionMode);
    descriptor_.NumBlocks = 0;
  }
  if (descriptor_.BlockSize <= 0)
    throw EABSException(msg::kInvalidCompressedBlockSize, static_cast<int64_t>(descriptor_.BlockSize));
  blockSize_ = descriptor_.BlockSize;

  if (!newValue) {
    const int64_t innerSize = inner_.Size();
    int64_t position = start;
    for (int64_t i = 0; i < descriptor_.NumBlocks; i++) {
      if (innerSize - position < static_cast<int64_t>(sizeof(TABSCompressedStreamBlockHeader)))
        throw EABSException(msg::kStreamSizeTooSmall.At(10082), innerSize,
                            position + static_cast<int64_t>(sizeof(TABSCompressedStreamBlockHeader)));
      TABSCompressedStreamBlockHeader header;
      ExactRead(&header, sizeof(header), inner_, 10082);
      // A block length that does not lead past this block's data cannot be followed.
      int64_t next = position + header.BlockLength;
      if (header.CompressedSize < 0 || header.BlockLength != static_cast<int64_t>(header.CompressedSize) + 20)
        throw EABSException(msg::kCannotSetStreamPosition.At(10083), next, position, innerSize);
      headers_.Add(header, position);
      size_ += header.UncompressedSize;
      position = next;
      CheckedSeek(inner_, position, 10083);
    }
  }
  Recount();
}

int64_t TABSCompressedBLOBStream::EndOfBlocks() const {
  if (headers_.Count() == 0) return descriptor_.StartPosition;
  const auto& last = headers_[headers_.Count() - 1];
  return last.position + last.header.BlockLength;
}

void TABSCompressedBLOBStream::Recount() {
  compressedSize_ = 0;
  for (int64_t i = 0; i < headers_.Count(); i++) compressedSize_ += headers_[i].header.CompressedSize;
  descriptor_.NumBlocks = headers_.Count();
  descriptor_.UncompressedSize = size_;
  compressionRate_ =
      size_ > 0 ? static_cast<float>(
                      (1.0 - static_cast<double>(compressedSize_) / static_cast<double>(size_)) * 100.0)
                : 0.0f;
}

void TABSCompressedBLOBStream::LoadBlock(int64_t index) {
  if (cachedBlock_ == index) return;
  const auto& item = headers_[index];
  const TABSCompressedStreamBlockHeader& header = item.header;
  if (header.UncompressedSize <= 0 || header.UncompressedSize > blockSize_)
    throw EABSException(msg::kDecompressSizeMismatch, blockSize_,
                        static_cast<int64_t>(header.UncompressedSize));

  const int64_t dataPosition = item.position + static_cast<int64_t>(sizeof(TABSCompressedStreamBlockHeader));
  const int64_t innerSize = inner_.Size();
  // Refuse before allocating when the inner stream cannot hold the data the header announces.
  if (header.CompressedSize > innerSize - dataPosition)
    throw EABSException(msg::kStreamCannotRead.At(10086), dataPosition, innerSize,
                        static_cast<int64_t>(header.CompressedSize),
                        std::max<int64_t>(innerSize - dataPosition, 0));
  CheckedSeek(inner_, dataPosition, 10086);
  TABSMemBlock data(MemoryManager().GetMem(std::max<size_t>(header.CompressedSize, 1)));
  ExactRead(data.data(), header.CompressedSize, inner_, 10086);

  void* out = nullptr;
  int64_t outSize = 0;
  if (!DecompressBuffer(descriptor_.CompressionAlgorithm, data.data(), header.CompressedSize,
                        header.UncompressedSize, out, outSize))
    throw EABSException(msg::kDecompressBufferFailed, static_cast<int32_t>(descriptor_.CompressionAlgorithm),
                        static_cast<int64_t>(header.CompressedSize), outSize);
  TABSMemBlock decompressed(out);
  if (outSize != header.UncompressedSize)
    throw EABSException(msg::kDecompressSizeMismatch, outSize, static_cast<int64_t>(header.UncompressedSize));
  uint32_t crc = ComputeCRC32(out, static_cast<size_t>(outSize));
  if (crc != header.Crc32)
    throw EABSException(msg::kDecompressChecksumMismatch, static_cast<int64_t>(crc),
                        static_cast<int64_t>(header.Crc32));
  cache_ = std::move(decompressed);
  cachedBlock_ = index;
}

TABSCompressedStreamBlockHeader TABSCompressedBLOBStream::WriteBlock(const void* data, int64_t count,
                                                                     int64_t position) {
  void* out = nullptr;
  int64_t outSize = 0;
  if (!CompressBuffer(descriptor_.CompressionAlgorithm, descriptor_.CompressionMode, data, count, out,
                      outSize))
    throw EABSException(msg::kCompressBufferFailed, static_cast<int32_t>(descriptor_.CompressionAlgorithm),
                        static_cast<int32_t>(descriptor_.CompressionMode), count, outSize);
  TABSMemBlock compressed(out);
  TABSCompressedStreamBlockHeader header;
  header.CompressedSize = static_cast<int32_t>(outSize);
  header.UncompressedSize = static_cast<int32_t>(count);
  header.Crc32 = ComputeCRC32(data, static_cast<size_t>(count));
  header.BlockLength = outSize + static_cast<int64_t>(sizeof(TABSCompressedStreamBlockHeader));
  CheckedSeek(inner_, position, 10099);
  ExactWrite(&header, sizeof(header), inner_, 10100);
  ExactWrite(compressed.data(), outSize, inner_, 10101);
  return header;
}

int64_t TABSCompressedBLOBStream::Append(const uint8_t* data, int64_t count) {
  int64_t taken = 0;
  // When the value ends the inner stream, a shorter rewrite of its last block must not leave stale
  // bytes of the old block behind it.
  const int64_t oldEnd = EndOfBlocks();
  const bool valueEndsInner = inner_.Size() == oldEnd;
  const int64_t last = headers_.Count() - 1;
  if (last >= 0 && headers_[last].header.UncompressedSize < blockSize_) {
    LoadBlock(last);
    const int64_t have = headers_[last].header.UncompressedSize;
    const int64_t fill = std::min(blockSize_ - have, count);
    TABSMemBlock block(MemoryManager().GetMem(static_cast<size_t>(blockSize_)));
    std::memcpy(block.data(), cache_.data(), static_cast<size_t>(have));
    std::memcpy(block.bytes() + have, data, static_cast<size_t>(fill));
    cachedBlock_ = -1;
    headers_.Set(last, WriteBlock(block.data(), have + fill, headers_[last].position));
    cache_ = std::move(block);
    cachedBlock_ = last;
    size_ += fill;
    taken += fill;
  }
  while (taken < count) {
    const int64_t piece = std::min(blockSize_, count - taken);
    const int64_t position = EndOfBlocks();
    headers_.Add(WriteBlock(data + taken, piece, position), position);
    size_ += piece;
    taken += piece;
  }
  if (valueEndsInner && inner_.Size() > EndOfBlocks()) inner_.SetSize(EndOfBlocks());
  Recount();
  return taken;
}

int64_t TABSCompressedBLOBStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  if (!Compressed()) {
    CheckedSeek(inner_, descriptor_.StartPosition + position_, 10102);
    int64_t read = inner_.Read(buffer, std::min(count, size_ - position_));
    position_ += std::max<int64_t>(read, 0);
    return std::max<int64_t>(read, 0);
  }
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int64_t delivered = 0;
  while (position_ < size_ && delivered < count) {
    const int64_t block = position_ / blockSize_;
    int64_t take = 0;
    if (block < headers_.Count()) {
      LoadBlock(block);
      const int64_t offset = position_ - block * blockSize_;
      take =
          std::min({headers_[block].header.UncompressedSize - offset, count - delivered, size_ - position_});
    }
    if (take <= 0) throw EABSException(msg::kCannotReadReadSize, std::max<int64_t>(take, 0));
    std::memcpy(out + delivered, cache_.bytes() + (position_ - block * blockSize_),
                static_cast<size_t>(take));
    position_ += take;
    delivered += take;
    currentBlock_ = block;
  }
  return delivered;
}

int64_t TABSCompressedBLOBStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (!Compressed()) {
    CheckedSeek(inner_, descriptor_.StartPosition + position_, 10102);
    int64_t written = std::max<int64_t>(inner_.Write(buffer, count), 0);
    position_ += written;
    size_ = inner_.Size() - descriptor_.StartPosition;
    descriptor_.UncompressedSize = size_;
    return written;
  }
  if (position_ < size_) return 0;
  if (position_ > size_) {
    const int64_t target = position_;
    SetSize(target);
    if (position_ != target)
      throw EABSException(msg::kCannotSetStreamPosition.At(10091), target, position_, size_);
    if (size_ != target) throw EABSException(msg::kInvalidStreamSize, size_, target);
  }
  const int64_t written = Append(static_cast<const uint8_t*>(buffer), count);
  position_ += written;
  currentBlock_ = position_ / blockSize_;
  return written;
}

void TABSCompressedBLOBStream::SetSize(int64_t size) {
  size = std::max<int64_t>(size, 0);
  if (!Compressed()) {
    inner_.SetSize(descriptor_.StartPosition + size);
    size_ = size;
    descriptor_.UncompressedSize = size;
  } else if (size > size_) {
    const int64_t extension = size - size_;
    if (extension <= 0) throw EABSException(msg::kInvalidExtensionSize, size, size_, extension);
    TABSMemBlock zeros(MemoryManager().GetMemZero(static_cast<size_t>(std::min(blockSize_, extension))));
    while (size_ < size) {
      const int64_t piece = std::min(blockSize_, size - size_);
      const int64_t before = size_;
      const int64_t taken = Append(zeros.bytes(), piece);
      if (taken != piece) throw EABSException(msg::kStreamCannotWrite.At(10097), before, size_, piece, taken);
    }
  } else if (size < size_) {
    const int64_t keep = size / blockSize_;
    const int64_t rest = size % blockSize_;
    if (rest > 0) {
      if (keep >= headers_.Count()) throw EABSException(msg::kCannotReadReadSize, rest);
      LoadBlock(keep);
      TABSMemBlock block(MemoryManager().GetMem(static_cast<size_t>(rest)));
      std::memcpy(block.data(), cache_.data(), static_cast<size_t>(rest));
      cachedBlock_ = -1;
      headers_.Set(keep, WriteBlock(block.data(), rest, headers_[keep].position));
      headers_.Truncate(keep + 1);
    } else {
      headers_.Truncate(keep);
    }
    if (cachedBlock_ >= headers_.Count()) cachedBlock_ = -1;
    const int64_t end = EndOfBlocks();
    inner_.SetSize(end);
    if (inner_.Size() != end) throw EABSException(msg::kInvalidStreamSize.At(10093), inner_.Size(), end);
  }
  size_ = size;
  if (Compressed()) Recount();
  if (position_ > size_) {
    position_ = size_;
    currentBlock_ = Compressed() ? position_ / blockSize_ : 0;
  }
}

int64_t TABSCompressedBLOBStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t target = offset;
  if (origin == TSeekOrigin::Current) target = position_ + offset;
  if (origin == TSeekOrigin::End) target = size_ + offset;
  if (target <= 0) {
    position_ = 0;
    currentBlock_ = 0;
  } else {
    position_ = target;
    currentBlock_ = Compressed() ? target / blockSize_ : 0;
  }
  if (!Compressed())
    position_ = inner_.Seek(descriptor_.StartPosition + position_, TSeekOrigin::Beginning) -
                descriptor_.StartPosition;
  return position_;
}

}  // namespace viz
