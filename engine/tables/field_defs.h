// Field definitions and the field definition list, with the record layout they determine.
//
// Stored form of a field definition (after the metadata object):
//   u8 base type | u8 data type | i32 size
//   only for BLOB base types (18-20): u8 compression algorithm | u8 compression mode | i32 block size
//   i64 increment | i64 initial value | i64 minimum value | i64 maximum value | u8 cycled
//   default value in the variant stream form
// Sizes and offsets are not stored; they are recomputed after loading.
// Stored form of the list: i32 count, then the definitions.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>

#include "engine/tables/meta_object_defs.h"
#include "engine/types/VIZVariant.h"
#include "engine/types/data_types.h"

namespace viz {

//! One column of a table.
class TABSFieldDef : public TABSMetaObjectDef {
 public:
  static constexpr int32_t kDefaultBlobBlockSize = 102400;
  //! Bytes a BLOB field takes in a stored record: the stored BLOB reference.
  static constexpr int32_t kStoredBlobSize = 6;

  TABSFieldDef() = default;
  TABSFieldDef(const TABSFieldDef& other);
  TABSFieldDef& operator=(const TABSFieldDef&) = delete;

  std::unique_ptr<TABSMetaObjectDef> Clone() const override;
  void Assign(const TABSMetaObjectDef& source) override;
  //! Reads the definition (10187 to 10194, 30407 to 30409 on a short read) and recomputes the sizes.
  void LoadFromStream(TStream& stream) override;
  //! Writes the definition (10170 to 10177, 30412 to 30414 on a short write).
  void SaveToStream(TStream& stream) const override;

  TABSBaseType BaseType() const { return baseType_; }
  TABSDataType DataType() const { return dataType_; }
  int32_t Size() const { return size_; }
  //! Sets data type and declared size, looks up the base type and recomputes the sizes.
  //! Raises 30007 "Unsupported data type '%s'" for a data type without a base type.
  void SetDataType(TABSDataType dataType, int32_t size = 0);

  //! Bytes of the field in the stored record: 6 for BLOB base types, else the buffer size.
  int32_t StoredSize() const { return storedSize_; }
  //! Bytes of the field in the record buffer.
  int32_t BufferSize() const { return bufferSize_; }
  int32_t StoredOffset = 0;
  int32_t BufferOffset = 0;

  //! Value given to the field of a new record; NULL for none.
  TABSVariant DefaultValue;
  uint8_t BlobCompressionAlgorithm = 0;
  uint8_t BlobCompressionMode = 0;
  int32_t BlobBlockSize = kDefaultBlobBlockSize;
  int64_t Increment = 1;
  int64_t InitialValue = 0;
  int64_t MinValue = 0;
  //! Largest value of the automatic counter; 0 means no maximum.
  int64_t MaxValue = std::numeric_limits<int64_t>::max();
  bool Cycled = false;

 private:
  void ComputeSizes();

  TABSBaseType baseType_ = 0;
  TABSDataType dataType_ = 0;
  int32_t size_ = 0;
  int32_t storedSize_ = 0;
  int32_t bufferSize_ = 0;
};

//! The fields of a table in definition order.
class TABSFieldDefs : public TABSMetaObjectDefs {
 public:
  TABSFieldDef& AddCreated() override;
  //! Slot 10: lays the fields out after the null bitmap, in order, without padding.
  virtual void ComputeOffsets();

  TABSFieldDef& operator[](int32_t index) const { return static_cast<TABSFieldDef&>(Item(index)); }
  TABSFieldDef* FindField(std::string_view name) const {
    return static_cast<TABSFieldDef*>(FindByName(name));
  }
  TABSFieldDef* FindFieldByObjectID(int32_t objectId) const {
    return static_cast<TABSFieldDef*>(FindByObjectID(objectId));
  }

  //! Bytes of the null bitmap: ceil(field count / 8).
  int32_t NullBitmapSize() const { return (Count() + 7) / 8; }
  //! Null bitmap + the buffer sizes of all fields.
  int32_t RecordBufferSize() const;
  //! Null bitmap + the stored sizes of all fields.
  int32_t StoredRecordSize() const;
  //! Whether some field has a BLOB base type.
  bool HasBlobFields() const;

 protected:
  const char* ClassName() const override { return "TABSFieldDefs"; }
};

}  // namespace viz
