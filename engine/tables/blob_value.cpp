#include "engine/tables/blob_value.h"

#include <algorithm>

#include "engine/tables/compressed_blob_stream.h"
#include "engine/types/errors.h"

namespace viz {

std::unique_ptr<TABSStream> NewBlobDataStream(bool disableTempFiles) {
  return std::make_unique<TABSTemporaryStream>(disableTempFiles);
}

void ReadWholeValue(TStream& stream, std::string& bytes) {
  // Read in pieces: the block headers of a damaged value may add up to far more than it holds, and
  // the read of such a value fails at its first false block, before a buffer of that size is needed.
  constexpr int64_t kPiece = int64_t{1} << 22;
  const int64_t size = stream.GetSize();
  stream.Seek(0, TSeekOrigin::Beginning);
  bytes.clear();
  int64_t done = 0;
  while (done < size) {
    const int64_t piece = std::min(size - done, kPiece);
    bytes.resize(static_cast<size_t>(done + piece));
    const int64_t read = std::max<int64_t>(stream.Read(bytes.data() + done, piece), 0);
    done += read;
    if (read < piece) break;
  }
  bytes.resize(static_cast<size_t>(done));
}

namespace {

// Checks a value's format and numbers and describes it for its compressed stream.
TABSBLOBDescriptor DescriptorOf(const TABSBlobFormat& format, int32_t blockCount, int64_t uncompressedSize) {
  if (format.BlockSize <= 0) throw EABSException(msg::kStreamBlockSizeZero.At(20149));
  if (uncompressedSize < 0 || blockCount < 0) throw EABSException(msg::kInvalidBlobFieldSize);
  TABSBLOBDescriptor descriptor;
  descriptor.BlockSize = format.BlockSize;
  descriptor.NumBlocks = blockCount;
  descriptor.UncompressedSize = uncompressedSize;
  descriptor.StartPosition = 0;
  descriptor.CompressionAlgorithm = format.Algorithm;
  descriptor.CompressionMode = format.Algorithm == acaNone ? 0 : format.Mode;
  return descriptor;
}

}  // namespace

void DecodeStoredValue(const TABSBlobFormat& format, int32_t blockCount, int64_t uncompressedSize,
                       const uint8_t* stored, int64_t storedSize, std::string& bytes) {
  const TABSBLOBDescriptor descriptor = DescriptorOf(format, blockCount, uncompressedSize);
  // An empty value is a new one to the stream, which reads nothing of the stored bytes.
  if (uncompressedSize <= 0) {
    bytes.clear();
    return;
  }
  storedSize = std::max<int64_t>(storedSize, 0);
  if (descriptor.CompressionAlgorithm == acaNone) {
    // What the compressed stream checks of a value stored as it is, before it gives its first bytes.
    if (storedSize < uncompressedSize) throw EABSException(msg::kStreamSizeTooSmall, storedSize, uncompressedSize);
    bytes.assign(reinterpret_cast<const char*>(stored), static_cast<size_t>(uncompressedSize));
    return;
  }
  TABSByteViewStream inner(stored, storedSize);
  TABSCompressedBLOBStream value(inner, false, descriptor);
  if (value.GetSize() < 0) throw EABSException(msg::kInvalidBlobFieldSize);
  ReadWholeValue(value, bytes);
}

TABSBlobValueStream::TABSBlobValueStream(const TABSBlobFormat& format, TABSBlobValue value, bool readOnly,
                                         bool disableTempFiles)
    : value_(std::move(value)), readOnly_(readOnly) {
  const TABSBLOBDescriptor descriptor = DescriptorOf(format, value_.BlockCount, value_.UncompressedSize);
  if (!value_.Data) value_.Data = NewBlobDataStream(disableTempFiles);
  const bool newValue = value_.Empty();
  if (newValue) value_.Data->SetSize(0);
  compressed_ = std::make_unique<TABSCompressedBLOBStream>(*value_.Data, newValue, descriptor);
  // Block headers that add up to less than nothing are damage, not a size.
  if (compressed_->GetSize() < 0) throw EABSException(msg::kInvalidBlobFieldSize);
}

TABSBlobValueStream::~TABSBlobValueStream() = default;

TABSCompressedBLOBStream& TABSBlobValueStream::Compressed() const {
  if (!compressed_) throw EABSException(msg::kNilPointer);
  return *compressed_;
}

void TABSBlobValueStream::SetOrigin(std::string tableName, int32_t pageNo) {
  originTable_ = std::move(tableName);
  originPage_ = pageNo;
}

void TABSBlobValueStream::RethrowWithOrigin() const {
  try {
    throw;
  } catch (const EABSException& error) {
    if (originPage_ < 0 || error.NativeErrorCode() == msg::kDamagedTablePage.code) throw;
    throw EABSException(msg::kDamagedTablePage, originTable_, originPage_, error.Message());
  }
}

int64_t TABSBlobValueStream::Read(void* buffer, int64_t count) {
  try {
    return Compressed().Read(buffer, count);
  } catch (const EABSException&) {
    RethrowWithOrigin();
  }
}

int64_t TABSBlobValueStream::Write(const void* buffer, int64_t count) {
  if (readOnly_) throw EABSException(msg::kCannotWriteReadOnlyStream);
  const int64_t written = Compressed().Write(buffer, count);
  if (written > 0) modified_ = true;
  return written;
}

int64_t TABSBlobValueStream::Seek(int64_t offset, TSeekOrigin origin) {
  return Compressed().Seek(offset, origin);
}

int64_t TABSBlobValueStream::GetPosition() const {
  return Compressed().GetPosition();
}

int64_t TABSBlobValueStream::GetSize() const {
  return Compressed().GetSize();
}

void TABSBlobValueStream::SetSize(int64_t size) {
  if (readOnly_) throw EABSException(msg::kCannotWriteReadOnlyStream.At(10116));
  TABSCompressedBLOBStream& compressed = Compressed();
  if (size == compressed.GetSize()) {
    modified_ = true;
    return;
  }
  compressed.SetSize(size);
  modified_ = true;
}

TABSBlobValue TABSBlobValueStream::TakeValue() {
  TABSCompressedBLOBStream& compressed = Compressed();
  TABSBlobValue result;
  result.UncompressedSize = compressed.GetSize();
  result.BlockCount = static_cast<int32_t>(compressed.Descriptor().NumBlocks);
  result.Data = std::move(value_.Data);
  compressed_.reset();
  value_ = {};
  return result;
}

}  // namespace viz
