#include "engine/tables/blob_value.h"

#include "engine/tables/compressed_blob_stream.h"
#include "engine/types/errors.h"

namespace viz {

std::unique_ptr<TABSStream> NewBlobDataStream(bool disableTempFiles) {
  return std::make_unique<TABSTemporaryStream>(disableTempFiles);
}

TABSBlobValueStream::TABSBlobValueStream(const TABSBlobFormat& format, TABSBlobValue value, bool readOnly,
                                         bool disableTempFiles)
    : value_(std::move(value)), readOnly_(readOnly) {
  if (format.BlockSize <= 0) throw EABSException(msg::kStreamBlockSizeZero.At(20149));
  if (value_.UncompressedSize < 0 || value_.BlockCount < 0) throw EABSException(msg::kInvalidBlobFieldSize);
  if (!value_.Data) value_.Data = NewBlobDataStream(disableTempFiles);
  TABSBLOBDescriptor descriptor;
  descriptor.BlockSize = format.BlockSize;
  descriptor.NumBlocks = value_.BlockCount;
  descriptor.UncompressedSize = value_.UncompressedSize;
  descriptor.StartPosition = 0;
  descriptor.CompressionAlgorithm = format.Algorithm;
  descriptor.CompressionMode = format.Algorithm == acaNone ? 0 : format.Mode;
  const bool newValue = value_.Empty();
  if (newValue) value_.Data->SetSize(0);
  compressed_ = std::make_unique<TABSCompressedBLOBStream>(*value_.Data, newValue, descriptor);
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
