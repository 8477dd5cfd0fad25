#include "engine/storage/memory_manager.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "engine/platform/system.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

// The block header ends at p; p is placed 16 bytes into the allocation so that it keeps the heap's
// alignment, and the 9 header bytes sit right before it as the layout demands.
constexpr size_t kFrontPad = 16;
constexpr size_t kSizeOffset = 9;
constexpr size_t kMethodOffset = 5;
constexpr size_t kGuardOffset = 4;
constexpr uint8_t kMethodHeap = 0;

template <class T>
T LoadAt(const unsigned char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <class T>
void StoreAt(unsigned char* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

// The text of an engine error without its " - Native error: N" suffix, to be quoted in another.
std::string WithoutNativeCode(const std::string& message) {
  const size_t at = message.rfind(" - Native error:");
  return at == std::string::npos ? message : message.substr(0, at);
}

}  // namespace

TABSMemoryManager& MemoryManager() {
  // Never destroyed: blocks may still be freed by static objects during shutdown.
  static TABSMemoryManager* manager = new TABSMemoryManager();
  return *manager;
}

size_t TABSMemoryManager::CheckedSize(const void* block, int32_t invalidCode) {
  const unsigned char* p = static_cast<const unsigned char*>(block);
  if (LoadAt<uint32_t>(p - kGuardOffset) != kLeadingGuard) {
    throw EABSException(msg::kInvalidPointerOnFree.At(invalidCode));
  }
  int32_t size = LoadAt<int32_t>(p - kSizeOffset);
  if (size <= 0) throw EABSException(msg::kInvalidPointerOnFree.At(invalidCode));
  return static_cast<size_t>(size);
}

void* TABSMemoryManager::GetMem(size_t size) {
  if (size == 0) throw EABSException(msg::kCannotAllocateZero);
  if (size > static_cast<size_t>(INT32_MAX) - kFrontPad - 4) {
    throw EABSException(msg::kGetMemError, "requested size is too large");
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (limit_ > 0 && inUse_ + static_cast<int64_t>(size) > limit_) {
      throw EABSException(msg::kMemoryLimitExceeded, limit_);
    }
    inUse_ += static_cast<int64_t>(size);
    ++getMemCalls_;
  }
  unsigned char* base = static_cast<unsigned char*>(std::malloc(kFrontPad + size + 4));
  if (!base) {
    std::lock_guard<std::mutex> lock(mutex_);
    inUse_ -= static_cast<int64_t>(size);
    throw EABSException(msg::kGetMemError, std::strerror(ENOMEM));
  }
  unsigned char* p = base + kFrontPad;
  StoreAt<int32_t>(p - kSizeOffset, static_cast<int32_t>(size));
  StoreAt<uint8_t>(p - kMethodOffset, kMethodHeap);
  StoreAt<uint32_t>(p - kGuardOffset, kLeadingGuard);
  StoreAt<uint32_t>(p + size, kTrailingGuard);
  return p;
}

void* TABSMemoryManager::GetMemZero(size_t size) {
  void* block = GetMem(size);
  std::memset(block, 0, size);
  return block;
}

size_t TABSMemoryManager::GetMemSize(const void* block) const {
  if (!block) return 0;
  return CheckedSize(block, msg::kInvalidPointerOnSize.code);
}

void TABSMemoryManager::FreeAndNillMem(void*& block) {
  if (!block) return;
  unsigned char* p = static_cast<unsigned char*>(block);
  size_t size = CheckedSize(p, msg::kInvalidPointerOnFree.code);
  uint8_t method = LoadAt<uint8_t>(p - kMethodOffset);
  if (method != kMethodHeap) throw EABSException(msg::kFreeMemError, "unknown allocation method");
  bool overrun = LoadAt<uint32_t>(p + size) != kTrailingGuard;
  // Spoil the guard so that a second free of the same pointer is recognised as foreign.
  StoreAt<uint32_t>(p - kGuardOffset, 0);
  std::free(p - kFrontPad);
  block = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    inUse_ -= static_cast<int64_t>(size);
    ++freeMemCalls_;
  }
  if (overrun) throw EABSException(msg::kMemoryOverrun);
}

void TABSMemoryManager::ReallocMem(void*& block, size_t newSize, bool zeroFill) {
  // A foreign pointer is refused as such; every other failure (the limit, the allocator, an overrun
  // of the old block found when it is freed) is a failed resize.
  const size_t oldSize = block ? CheckedSize(block, msg::kInvalidPointerOnRealloc.code) : 0;
  try {
    if (!block) {
      block = zeroFill ? GetMemZero(newSize) : GetMem(newSize);
      return;
    }
    unsigned char* p = static_cast<unsigned char*>(block);
    if (LoadAt<uint8_t>(p - kMethodOffset) == kMethodHeap &&
        LoadAt<uint32_t>(p + oldSize) == kTrailingGuard && ResizeInPlace(block, oldSize, newSize)) {
      if (zeroFill && newSize > oldSize)
        std::memset(static_cast<unsigned char*>(block) + oldSize, 0, newSize - oldSize);
      return;
    }
    void* fresh = GetMem(newSize);
    std::memcpy(fresh, block, oldSize < newSize ? oldSize : newSize);
    if (zeroFill && newSize > oldSize) {
      std::memset(static_cast<unsigned char*>(fresh) + oldSize, 0, newSize - oldSize);
    }
    void* old = block;
    block = fresh;
    FreeAndNillMem(old);
  } catch (const EABSException& error) {
    throw EABSException(msg::kReallocMemError, WithoutNativeCode(error.Message()));
  }
}

bool TABSMemoryManager::ResizeInPlace(void*& block, size_t oldSize, size_t newSize) {
  // The heap's own resize grows a block without copying it where it can (a large block is moved by
  // remapping its pages), so a stream that grows step by step costs no copy of its content per
  // step. The rules are those of a new block: the limit counts the old block too, and the counts
  // see one allocation and one release.
  if (newSize == 0) throw EABSException(msg::kCannotAllocateZero);
  if (newSize > static_cast<size_t>(INT32_MAX) - kFrontPad - 4) {
    throw EABSException(msg::kGetMemError, "requested size is too large");
  }
  const int64_t delta = static_cast<int64_t>(newSize) - static_cast<int64_t>(oldSize);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (limit_ > 0 && inUse_ + static_cast<int64_t>(newSize) > limit_) {
      throw EABSException(msg::kMemoryLimitExceeded, limit_);
    }
    inUse_ += delta;
  }
  unsigned char* p = static_cast<unsigned char*>(block);
  auto* base = static_cast<unsigned char*>(std::realloc(p - kFrontPad, kFrontPad + newSize + 4));
  if (!base) {
    // Refused: the old block is untouched, and the caller copies it into a new one (or fails there).
    std::lock_guard<std::mutex> lock(mutex_);
    inUse_ -= delta;
    return false;
  }
  p = base + kFrontPad;
  StoreAt<int32_t>(p - kSizeOffset, static_cast<int32_t>(newSize));
  StoreAt<uint32_t>(p + newSize, kTrailingGuard);
  block = p;
  std::lock_guard<std::mutex> lock(mutex_);
  ++getMemCalls_;
  ++freeMemCalls_;
  return true;
}

int64_t TABSMemoryManager::GetAvailableMemory() const {
  int64_t available = platform::AvailablePhysicalMemory();
  std::lock_guard<std::mutex> lock(mutex_);
  if (limit_ > 0 && (available <= 0 || limit_ < available)) available = limit_;
  lastAvailable_ = available;
  return available;
}

void TABSMemoryManager::SetLimit(int64_t limit) {
  std::lock_guard<std::mutex> lock(mutex_);
  limit_ = limit < 0 ? 0 : limit;
}

int64_t TABSMemoryManager::GetLimit() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return limit_;
}

int64_t TABSMemoryManager::GetMemoryInUse() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return inUse_;
}

int64_t TABSMemoryManager::GetMemCallCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return getMemCalls_;
}

}  // namespace viz
