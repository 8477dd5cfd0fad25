#include "framework/data/stream.h"

#include <algorithm>
#include <vector>

namespace viz {

int64_t TStream::GetSize() {
  int64_t position = Seek(0, TSeekOrigin::Current);
  int64_t size = Seek(0, TSeekOrigin::End);
  Seek(position, TSeekOrigin::Beginning);
  return size;
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int64_t kStep = 65536;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min(count, kStep)));
  int64_t copied = 0;
  while (copied < count) {
    int64_t step = std::min(count - copied, kStep);
    int64_t read = source.Read(buffer.data(), step);
    if (read <= 0) break;
    int64_t written = Write(buffer.data(), read);
    copied += std::max<int64_t>(written, 0);
    if (written != read) break;
  }
  return copied;
}

}  // namespace viz
