#include "engine/types/mem_block.h"

#include "engine/storage/memory_manager.h"

namespace viz {

TABSMemBlock& TABSMemBlock::operator=(TABSMemBlock&& other) noexcept {
  if (this != &other) {
    Reset();
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
  }
  return *this;
}

void TABSMemBlock::Reset() noexcept {
  if (!data_) return;
  try {
    MemoryManager().FreeAndNillMem(data_);
  } catch (...) {
    // An overrun of an engine block is reported when it is freed; a destructor cannot pass it on.
  }
  data_ = nullptr;
  size_ = 0;
}

}  // namespace viz
