// TABSVariant stream form (layout in VIZVariant.h).
#include "engine/storage/memory_manager.h"
#include "engine/types/VIZVariant.h"
#include "engine/types/errors.h"
#include "engine/types/raw_access.h"

namespace viz {

void TABSVariant::SaveToStream(TABSStreamBase& stream) const {
  stream.WriteBuffer(&type_, 1, 10179);
  const bool isNull = IsNull();
  const uint8_t marker = isNull ? (nullMarker_ != 0 ? nullMarker_ : kNullMarker) : 0;
  stream.WriteBuffer(&marker, 1, 10180);
  if (isNull) return;
  uint8_t size[4];
  StoreRaw(size, size_);
  stream.WriteBuffer(size, 4, 10181);
  stream.WriteBuffer(data_, size_, 10182);
}

void TABSVariant::LoadFromStream(TABSStreamBase& stream) {
  Clear(bt::kNone);
  uint8_t type = 0;
  uint8_t marker = 0;
  stream.ReadBuffer(&type, 1, 10183);
  stream.ReadBuffer(&marker, 1, 10184);
  if (marker != 0) {
    type_ = type;
    return;
  }
  uint8_t sizeBytes[4];
  stream.ReadBuffer(sizeBytes, 4, 10185);
  const int32_t size = LoadRaw<int32_t>(sizeBytes);
  if (size == 0) {
    type_ = type;
    return;
  }
  // A size that is negative or runs past the stream's end is reported as the short read it would
  // be, before anything is allocated for it.
  const int64_t available = stream.GetSize() - stream.GetPosition();
  if (size < 0 || size > available) {
    throw EABSException(msg::kStreamCannotRead.At(10186), stream.GetPosition(), stream.GetSize(), size,
                        available > 0 ? available : 0);
  }
  TABSMemBlock block(MemoryManager().GetMem(static_cast<size_t>(size)), size);
  stream.ReadBuffer(block.data(), size, 10186);
  type_ = type;
  TakeBlock(std::move(block));
}

}  // namespace viz
