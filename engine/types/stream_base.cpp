#include "engine/types/stream_base.h"

#include "engine/types/errors.h"

namespace viz {

void TABSStreamBase::ReadBuffer(void* buffer, int32_t count, int32_t nativeCode) {
  const int64_t before = GetPosition();
  const int32_t done = count > 0 ? Read(buffer, count) : 0;
  if (done != count) {
    throw EABSException(msg::kStreamCannotRead.At(nativeCode), before, GetSize(), count, done);
  }
}

void TABSStreamBase::WriteBuffer(const void* buffer, int32_t count, int32_t nativeCode) {
  const int64_t before = GetPosition();
  const int32_t done = count > 0 ? Write(buffer, count) : 0;
  if (done != count) {
    throw EABSException(msg::kStreamCannotWrite.At(nativeCode), before, GetSize(), count, done);
  }
}

}  // namespace viz
