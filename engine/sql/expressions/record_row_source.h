// A row source over a record buffer laid out by field definitions (the table data model's layout):
// the null bitmap, then each field at its buffer offset. Field values are read in place, without
// copying. A cursor's row source builds on it and reads BLOB kinds through the table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/sql/expressions/row_source.h"
#include "engine/tables/field_defs.h"

namespace viz {

class TABSRecordRowSource : public TABSExprRowSource {
 public:
  //! REQUIRES: `fields` is complete with its offsets computed; it outlives the source and does
  //! not change while the source is used (the source keeps the layout it had).
  TABSRecordRowSource(const TABSFieldDefs& fields, std::string tableName);

  //! The record the fields are read from; it must outlive its use as the current row.
  void SetRecordBuffer(const uint8_t* record) { record_ = record; }
  const uint8_t* RecordBuffer() const { return record_; }
  const std::string& TableName() const { return tableName_; }

  int32_t FindField(std::string_view tableName, std::string_view fieldName) const override;
  TABSExprFieldInfo FieldInfo(int32_t fieldNo) const override;
  //! Raises 20255 "Pointer is nil" without a record buffer.
  void ReadField(int32_t fieldNo, TABSVariant& value) override;
  TABSFieldBytes FieldBytes(int32_t fieldNo) override;

 protected:
  //! Reads a BLOB-kind field that is not NULL: the record holds only its reference. Raises 30199
  //! "BLOB field '%s' can only be read through its table" unless a derived source reads it.
  virtual void ReadBlobField(int32_t fieldNo, TABSVariant& value);

 private:
  const TABSFieldDefs& fields_;
  std::string tableName_;
  std::vector<TABSFieldLayout> layouts_;
  const uint8_t* record_ = nullptr;
};

}  // namespace viz
