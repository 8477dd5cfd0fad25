#include "engine/sql/expressions/record_row_source.h"

#include "engine/sql/expressions/values.h"
#include "engine/tables/name_compare.h"
#include "engine/tables/record_layout.h"
#include "engine/types/errors.h"

namespace viz {

TABSRecordRowSource::TABSRecordRowSource(const TABSFieldDefs& fields, std::string tableName)
    : fields_(fields), tableName_(std::move(tableName)) {
  for (int32_t i = 0; i < fields.Count(); ++i) {
    const TABSFieldDef& field = fields[i];
    layouts_.push_back({field.DataType(), field.BaseType(), field.BufferOffset, field.BufferSize()});
  }
}

int32_t TABSRecordRowSource::FindField(std::string_view tableName, std::string_view fieldName) const {
  if (!tableName.empty() && !SameName(tableName, tableName_)) return -1;
  return fields_.IndexOfName(fieldName);
}

TABSExprFieldInfo TABSRecordRowSource::FieldInfo(int32_t fieldNo) const {
  const TABSFieldDef& field = fields_[fieldNo];
  TABSExprFieldInfo info;
  info.Name = field.Name();
  info.TableName = tableName_;
  info.DataType = field.DataType();
  info.BaseType = field.BaseType();
  info.Size = field.Size();
  return info;
}

void TABSRecordRowSource::ReadField(int32_t fieldNo, TABSVariant& value) {
  if (record_ == nullptr) throw EABSException(msg::kExprPointerIsNil.At(20255));
  const TABSFieldLayout& layout = layouts_[static_cast<size_t>(fieldNo)];
  if (GetFieldNullBit(record_, fieldNo)) {
    SetNullOf(value, layout.BaseType);
    return;
  }
  if (IsBlobBaseType(layout.BaseType)) {
    ReadBlobField(fieldNo, value);
    return;
  }
  value.ReadFromRecord(record_, fieldNo, layout, TABSCopyMode::Borrow);
}

TABSFieldBytes TABSRecordRowSource::FieldBytes(int32_t fieldNo) {
  const TABSFieldLayout& layout = layouts_[static_cast<size_t>(fieldNo)];
  if (record_ == nullptr || IsBlobBaseType(layout.BaseType)) return {};
  if (IsNullFlagSet(record_, fieldNo)) return {nullptr, 0, true};
  return {record_ + layout.MemoryOffset, layout.MemoryDataSize, false};
}

void TABSRecordRowSource::ReadBlobField(int32_t fieldNo, TABSVariant&) {
  throw EABSException(msg::kBlobFieldNeedsTable, fields_[fieldNo].Name());
}

}  // namespace viz
