// TABSVariant and record buffers.
#include "engine/types/VIZVariant.h"

namespace viz {

void TABSVariant::ReadFromRecord(const void* recordBuffer, int32_t fieldNo, const TABSFieldLayout& field,
                                 TABSCopyMode mode) {
  if (IsFieldNull(recordBuffer, fieldNo)) {
    SetNull();
    return;
  }
  SetRaw(static_cast<const char*>(recordBuffer) + field.MemoryOffset, field.MemoryDataSize, field.BaseType,
         mode);
}

void TABSVariant::WriteToRecord(void* recordBuffer, int32_t fieldNo, const TABSFieldLayout& field) {
  if (IsNull()) {
    SetFieldNull(recordBuffer, fieldNo, true);
    return;
  }
  ConvertTo(field.BaseType);
  const bool copied = CopyRawTo(static_cast<char*>(recordBuffer) + field.MemoryOffset, field.MemoryDataSize);
  SetFieldNull(recordBuffer, fieldNo, !copied);
}

}  // namespace viz
