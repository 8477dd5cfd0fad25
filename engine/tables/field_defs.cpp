#include "engine/tables/field_defs.h"

#include "engine/tables/stored_form_io.h"
#include "engine/types/errors.h"

namespace viz {

// Native codes of the field definition's stored form, one per read or write.
namespace {
constexpr int32_t kWriteBaseType = 10170;
constexpr int32_t kWriteDataType = 10171;
constexpr int32_t kWriteSize = 10172;
constexpr int32_t kWriteBlobAlgorithm = 10173;
constexpr int32_t kWriteBlobMode = 10174;
constexpr int32_t kWriteBlobBlockSize = 10175;
constexpr int32_t kWriteIncrement = 10176;
constexpr int32_t kWriteInitialValue = 10177;
constexpr int32_t kWriteMinValue = 30412;
constexpr int32_t kWriteMaxValue = 30413;
constexpr int32_t kWriteCycled = 30414;

constexpr int32_t kReadBaseType = 10187;
constexpr int32_t kReadDataType = 10188;
constexpr int32_t kReadSize = 10189;
constexpr int32_t kReadBlobAlgorithm = 10190;
constexpr int32_t kReadBlobMode = 10191;
constexpr int32_t kReadBlobBlockSize = 10192;
constexpr int32_t kReadIncrement = 10193;
constexpr int32_t kReadInitialValue = 10194;
constexpr int32_t kReadMinValue = 30407;
constexpr int32_t kReadMaxValue = 30408;
constexpr int32_t kReadCycled = 30409;
}  // namespace

TABSFieldDef::TABSFieldDef(const TABSFieldDef& other) : TABSMetaObjectDef(other) {
  Assign(other);
}

std::unique_ptr<TABSMetaObjectDef> TABSFieldDef::Clone() const {
  return std::make_unique<TABSFieldDef>(*this);
}

void TABSFieldDef::Assign(const TABSMetaObjectDef& source) {
  TABSMetaObjectDef::Assign(source);
  const auto& field = static_cast<const TABSFieldDef&>(source);
  if (&field == this) return;
  baseType_ = field.baseType_;
  dataType_ = field.dataType_;
  size_ = field.size_;
  storedSize_ = field.storedSize_;
  bufferSize_ = field.bufferSize_;
  StoredOffset = field.StoredOffset;
  BufferOffset = field.BufferOffset;
  DefaultValue.Assign(field.DefaultValue, TABSCopyMode::Copy);
  BlobCompressionAlgorithm = field.BlobCompressionAlgorithm;
  BlobCompressionMode = field.BlobCompressionMode;
  BlobBlockSize = field.BlobBlockSize;
  Increment = field.Increment;
  InitialValue = field.InitialValue;
  MinValue = field.MinValue;
  MaxValue = field.MaxValue;
  Cycled = field.Cycled;
}

void TABSFieldDef::SetDataType(TABSDataType dataType, int32_t size) {
  const TABSBaseType baseType = BaseTypeOf(dataType);
  if (baseType == bt::kNone) throw EABSException(msg::kUnsupportedDataType, DataTypeName(dataType));
  dataType_ = dataType;
  baseType_ = baseType;
  size_ = size;
  ComputeSizes();
}

void TABSFieldDef::ComputeSizes() {
  bufferSize_ = BaseTypeDataSize(baseType_, size_);
  storedSize_ = IsBlobBaseType(baseType_) ? kStoredBlobSize : bufferSize_;
}

void TABSFieldDef::SaveToStream(TStream& stream) const {
  TABSMetaObjectDef::SaveToStream(stream);
  WriteU8(stream, baseType_, kWriteBaseType);
  WriteU8(stream, dataType_, kWriteDataType);
  WriteI32(stream, size_, kWriteSize);
  if (IsBlobBaseType(baseType_)) {
    WriteU8(stream, BlobCompressionAlgorithm, kWriteBlobAlgorithm);
    WriteU8(stream, BlobCompressionMode, kWriteBlobMode);
    WriteI32(stream, BlobBlockSize, kWriteBlobBlockSize);
  }
  WriteI64(stream, Increment, kWriteIncrement);
  WriteI64(stream, InitialValue, kWriteInitialValue);
  WriteI64(stream, MinValue, kWriteMinValue);
  WriteI64(stream, MaxValue, kWriteMaxValue);
  WriteU8(stream, Cycled ? 1 : 0, kWriteCycled);
  WriteVariant(stream, DefaultValue);
}

void TABSFieldDef::LoadFromStream(TStream& stream) {
  TABSMetaObjectDef::LoadFromStream(stream);
  baseType_ = ReadU8(stream, kReadBaseType);
  dataType_ = ReadU8(stream, kReadDataType);
  size_ = ReadI32(stream, kReadSize);
  if (IsBlobBaseType(baseType_)) {
    BlobCompressionAlgorithm = ReadU8(stream, kReadBlobAlgorithm);
    BlobCompressionMode = ReadU8(stream, kReadBlobMode);
    BlobBlockSize = ReadI32(stream, kReadBlobBlockSize);
  }
  Increment = ReadI64(stream, kReadIncrement);
  InitialValue = ReadI64(stream, kReadInitialValue);
  MinValue = ReadI64(stream, kReadMinValue);
  MaxValue = ReadI64(stream, kReadMaxValue);
  Cycled = ReadU8(stream, kReadCycled) != 0;
  ReadVariant(stream, DefaultValue);
  ComputeSizes();
}

TABSFieldDef& TABSFieldDefs::AddCreated() {
  auto field = std::make_unique<TABSFieldDef>();
  TABSFieldDef& result = *field;
  Add(std::move(field));
  return result;
}

void TABSFieldDefs::ComputeOffsets() {
  int32_t storedOffset = NullBitmapSize();
  int32_t bufferOffset = storedOffset;
  for (int32_t i = 0; i < Count(); ++i) {
    TABSFieldDef& field = (*this)[i];
    field.StoredOffset = storedOffset;
    field.BufferOffset = bufferOffset;
    storedOffset += field.StoredSize();
    bufferOffset += field.BufferSize();
  }
}

int32_t TABSFieldDefs::RecordBufferSize() const {
  const int32_t count = Count();
  int32_t size = (count + 7) / 8;
  for (int32_t i = 0; i < count; ++i) size += (*this)[i].BufferSize();
  return size;
}

int32_t TABSFieldDefs::StoredRecordSize() const {
  const int32_t count = Count();
  int32_t size = (count + 7) / 8;
  for (int32_t i = 0; i < count; ++i) size += (*this)[i].StoredSize();
  return size;
}

bool TABSFieldDefs::HasBlobFields() const {
  for (int32_t i = 0; i < Count(); ++i)
    if (IsBlobBaseType((*this)[i].BaseType())) return true;
  return false;
}

}  // namespace viz
