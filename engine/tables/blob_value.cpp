#include "engine/tables/blob_value.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/storage/memory_manager.h"
#include "engine/tables/field_defs.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

constexpr int32_t kWriteReadOnly = 10115;
constexpr int32_t kSizeReadOnly = 10116;

TABSMemBlock CopyBytes(const void* bytes, int64_t size) {
  if (size <= 0) return {};
  if (size > std::numeric_limits<int32_t>::max())
    throw EABSException(msg::kMemoryLimitExceeded, std::numeric_limits<int32_t>::max());
  TABSMemBlock block(MemoryManager().GetMem(static_cast<size_t>(size)), static_cast<int32_t>(size));
  std::memcpy(block.data(), bytes, static_cast<size_t>(size));
  return block;
}

TABSBLOBDescriptor DescriptorOf(const TABSFieldDef& field, const TABSBlobData& value) {
  TABSBLOBDescriptor descriptor;
  descriptor.BlockSize = field.BlobBlockSize > 0 ? field.BlobBlockSize : TABSFieldDef::kDefaultBlobBlockSize;
  descriptor.NumBlocks = value.BlockCount;
  descriptor.UncompressedSize = value.UncompressedSize;
  descriptor.StartPosition = 0;
  descriptor.CompressionAlgorithm = field.BlobCompressionAlgorithm;
  descriptor.CompressionMode = field.BlobCompressionMode;
  return descriptor;
}

}  // namespace

TABSBlobData TABSBlobData::Copy() const {
  TABSBlobData copy;
  copy.BlockCount = BlockCount;
  copy.UncompressedSize = UncompressedSize;
  copy.Bytes = CopyBytes(Bytes.data(), Bytes.size());
  return copy;
}

TABSBlobValueStream::TABSBlobValueStream(const TABSFieldDef& field, TABSBlobData value, bool readOnly,
                                         bool empty)
    : inner_(empty ? nullptr : value.Bytes.Release()), readOnly_(readOnly) {
  if (empty) value = TABSBlobData{};
  stream_ = std::make_unique<TABSCompressedBLOBStream>(
      inner_, empty || (value.IsEmpty() && inner_.Size() == 0), DescriptorOf(field, value));
}

int64_t TABSBlobValueStream::Read(void* buffer, int64_t count) {
  return stream_->Read(buffer, count);
}

int64_t TABSBlobValueStream::Write(const void* buffer, int64_t count) {
  if (readOnly_) throw EABSException(msg::kCannotWriteReadOnlyStream.At(kWriteReadOnly));
  const int64_t written = stream_->Write(buffer, count);
  if (written > 0) modified_ = true;
  return written;
}

int64_t TABSBlobValueStream::Seek(int64_t offset, TSeekOrigin origin) {
  return stream_->Seek(offset, origin);
}

void TABSBlobValueStream::SetSize(int64_t size) {
  if (readOnly_) throw EABSException(msg::kCannotWriteReadOnlyStream.At(kSizeReadOnly));
  stream_->SetSize(size);
  modified_ = true;
}

TABSBlobData TABSBlobValueStream::Value() const {
  TABSBlobData value;
  const TABSBLOBDescriptor& descriptor = stream_->Descriptor();
  value.BlockCount = static_cast<int32_t>(descriptor.NumBlocks);
  value.UncompressedSize = stream_->GetSize();
  // An uncompressed value is its bytes; a compressed one ends with its last block.
  int64_t end = value.UncompressedSize;
  const TABSCompressedStreamBlockHeadersArray& headers = stream_->BlockHeaders();
  if (descriptor.CompressionAlgorithm != acaNone) {
    const int64_t last = headers.Count() - 1;
    end = last < 0 ? 0 : headers[last].position + headers[last].header.BlockLength;
  }
  if (value.UncompressedSize > 0) value.Bytes = CopyBytes(inner_.Memory(), std::min(end, inner_.Size()));
  return value;
}

TABSBlobData MakeBlobData(const TABSFieldDef& field, const void* bytes, int64_t size) {
  TABSBlobValueStream stream(field, TABSBlobData{}, false, true);
  if (size > 0) ExactWrite(bytes, size, stream, msg::kStreamCannotWrite.code);
  return stream.Value();
}

}  // namespace viz
