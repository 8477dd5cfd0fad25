// TABSVariant and record buffers.
#include "engine/types/VIZVariant.h"

namespace viz {

void TABSVariant::ReadFromRecord(const void* recordBuffer, int32_t fieldNo, const TABSFieldLayout& field,
                                 TABSCopyMode mode) {
  if (GetFieldNullBit(recordBuffer, fieldNo)) {
    SetNull();
    return;
  }
  SetRaw(static_cast<const char*>(recordBuffer) + field.MemoryOffset, field.MemoryDataSize, field.BaseType,
         mode);
}

void TABSVariant::WriteToRecord(void* recordBuffer, int32_t fieldNo, const TABSFieldLayout& field) {
  if (IsNull()) {
    SetFieldNullBit(recordBuffer, fieldNo, true);
    return;
  }
  ConvertTo(field.BaseType);
  const bool copied = CopyRawTo(static_cast<char*>(recordBuffer) + field.MemoryOffset, field.MemoryDataSize);
  SetFieldNullBit(recordBuffer, fieldNo, !copied);
}

}  // namespace viz
