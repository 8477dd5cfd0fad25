#include "engine/storage/memory/blob_stores.h"

#include <cstring>
#include <limits>

#include "engine/storage/memory/temporary_file.h"
#include "engine/storage/memory_manager.h"
#include "engine/tables/streams.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

// The temporary store's file transfers, at the call sites of the temporary stream's file.
constexpr int32_t kFileWrite = 10109;
constexpr int32_t kFileRead = 10419;
constexpr int32_t kFileSeek = 10091;
// Moving a value's bytes between its stream and a store.
constexpr int32_t kValueWrite = 10179;
constexpr int32_t kValueRead = 10183;

TABSMemBlock NewBlock(int64_t size) {
  if (size > std::numeric_limits<int32_t>::max())
    throw EABSException(msg::kMemoryLimitExceeded, std::numeric_limits<int32_t>::max());
  return TABSMemBlock(MemoryManager().GetMem(static_cast<size_t>(size)), static_cast<int32_t>(size));
}

}  // namespace

int32_t ReadBlobReference(const uint8_t* field) {
  int32_t reference;
  std::memcpy(&reference, field, sizeof reference);
  return reference;
}

void WriteBlobReference(uint8_t* field, int32_t reference) {
  std::memcpy(field, &reference, sizeof reference);
  std::memset(field + sizeof reference, 0, kBlobReferenceSize - sizeof reference);
}

int32_t ReadBlobHandle(const uint8_t* field) {
  int32_t handle;
  std::memcpy(&handle, field + kBlobHandleOffset, sizeof handle);
  return handle;
}

void WriteBlobHandle(uint8_t* field, int32_t handle) {
  std::memcpy(field + kBlobHandleOffset, &handle, sizeof handle);
}

TABSBlobValue MakeBlobValue(int32_t blockCount, int64_t uncompressedSize, const void* bytes, int64_t size) {
  TABSBlobValue value;
  value.BlockCount = blockCount;
  value.UncompressedSize = uncompressedSize;
  if (size > 0) {
    value.Data = std::make_unique<TABSMemoryStream>();
    ExactWrite(bytes, size, *value.Data, kValueWrite);
    value.Data->SetPosition(0);
  }
  return value;
}

namespace {
// The stored bytes of a value in one new block; an empty block for none.
TABSMemBlock BytesOf(const TABSBlobValue& value) {
  const int64_t size = value.StoredSize();
  if (size <= 0) return {};
  TABSMemBlock bytes = NewBlock(size);
  value.Data->SetPosition(0);
  ExactRead(bytes.data(), size, *value.Data, kValueRead);
  return bytes;
}
}  // namespace

TABSBlobValue CopyBlobValue(const TABSBlobValue& value) {
  const TABSMemBlock bytes = BytesOf(value);
  return MakeBlobValue(value.BlockCount, value.UncompressedSize, bytes.data(), bytes.size());
}

// ---- TABSMemoryBlobStore

int32_t TABSMemoryBlobStore::Add(const TABSBlobValue& value) {
  const int64_t stored = value.StoredSize();
  TABSMemBlock block = NewBlock(kHeaderSize + stored);
  auto* bytes = static_cast<uint8_t*>(block.data());
  std::memcpy(bytes, &value.BlockCount, 4);
  std::memcpy(bytes + 4, &value.UncompressedSize, 8);
  if (stored > 0) {
    value.Data->SetPosition(0);
    ExactRead(bytes + kHeaderSize, stored, *value.Data, kValueRead);
  }
  int32_t reference;
  if (!free_.empty()) {
    reference = free_.back();
    free_.pop_back();
    blocks_[static_cast<size_t>(reference - 1)] = std::move(block);
  } else {
    if (blocks_.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
      throw EABSException(msg::kMemoryLimitExceeded, std::numeric_limits<int32_t>::max());
    blocks_.push_back(std::move(block));
    reference = static_cast<int32_t>(blocks_.size());
  }
  ++count_;
  return reference;
}

bool TABSMemoryBlobStore::Contains(int32_t reference) const {
  return reference > 0 && static_cast<size_t>(reference) <= blocks_.size() &&
         blocks_[static_cast<size_t>(reference - 1)].data() != nullptr;
}

const TABSMemBlock& TABSMemoryBlobStore::BlockOf(int32_t reference) const {
  if (!Contains(reference)) throw EABSException(msg::kInvalidPointerOnSize);
  return blocks_[static_cast<size_t>(reference - 1)];
}

TABSBlobValue TABSMemoryBlobStore::Read(int32_t reference) const {
  const TABSMemBlock& block = BlockOf(reference);
  const auto* bytes = static_cast<const uint8_t*>(block.data());
  int32_t blockCount;
  int64_t uncompressedSize;
  std::memcpy(&blockCount, bytes, 4);
  std::memcpy(&uncompressedSize, bytes + 4, 8);
  return MakeBlobValue(blockCount, uncompressedSize, bytes + kHeaderSize, block.size() - kHeaderSize);
}

int32_t TABSMemoryBlobStore::Clone(int32_t reference) {
  return Add(Read(reference));
}

void TABSMemoryBlobStore::Free(int32_t reference) {
  if (!Contains(reference)) return;
  blocks_[static_cast<size_t>(reference - 1)].Reset();
  free_.push_back(reference);
  --count_;
}

void TABSMemoryBlobStore::Clear() {
  blocks_.clear();
  free_.clear();
  count_ = 0;
}

// ---- TABSTemporaryBlobStore

TABSTemporaryBlobStore::TABSTemporaryBlobStore(bool memoryOnly, platform::FileSystem* fileSystem)
    : memoryOnly_(memoryOnly), fileSystem_(fileSystem) {}

TABSTemporaryBlobStore::~TABSTemporaryBlobStore() = default;

int32_t TABSTemporaryBlobStore::Append(const TABSBlobValue& value) {
  if (values_.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw EABSException(msg::kMemoryLimitExceeded, std::numeric_limits<int32_t>::max());
  Value stored;
  stored.BlockCount = value.BlockCount;
  stored.UncompressedSize = value.UncompressedSize;
  stored.StoredSize = value.StoredSize();
  TABSMemBlock bytes = BytesOf(value);
  if (memoryOnly_ || (file_ == nullptr && memoryBytes_ + stored.StoredSize <= kMemoryLimit)) {
    stored.Bytes = std::move(bytes);
    memoryBytes_ += stored.StoredSize;
  } else {
    if (file_ == nullptr) file_ = NewTemporaryFileStream(fileSystem_);
    stored.FilePosition = file_->Size();
    CheckedSeek(*file_, stored.FilePosition, kFileSeek);
    ExactWrite(bytes.data(), stored.StoredSize, *file_, kFileWrite);
  }
  values_.push_back(std::move(stored));
  return static_cast<int32_t>(values_.size());
}

bool TABSTemporaryBlobStore::Contains(int32_t reference) const {
  return reference > 0 && static_cast<size_t>(reference) <= values_.size();
}

TABSBlobValue TABSTemporaryBlobStore::Read(int32_t reference) const {
  if (!Contains(reference)) throw EABSException(msg::kInvalidPointerOnSize);
  const Value& stored = values_[static_cast<size_t>(reference - 1)];
  if (stored.FilePosition < 0)
    return MakeBlobValue(stored.BlockCount, stored.UncompressedSize, stored.Bytes.data(), stored.StoredSize);
  if (file_ == nullptr) throw EABSException(msg::kTemporaryFileMissing);
  TABSMemBlock bytes = NewBlock(stored.StoredSize);
  CheckedSeek(*file_, stored.FilePosition, kFileSeek);
  ExactRead(bytes.data(), stored.StoredSize, *file_, kFileRead);
  return MakeBlobValue(stored.BlockCount, stored.UncompressedSize, bytes.data(), stored.StoredSize);
}

void TABSTemporaryBlobStore::Clear() {
  values_.clear();
  memoryBytes_ = 0;
  file_.reset();
}

// ---- TABSPendingBlobs

int32_t TABSPendingBlobs::Put(TABSBlobValue value) {
  // Handles are handed out in turn; one still held is passed over when the numbers wrap.
  int32_t handle = next_;
  while (handle == 0 || values_.count(handle) > 0)
    handle = handle == std::numeric_limits<int32_t>::max() ? 1 : handle + 1;
  next_ = handle == std::numeric_limits<int32_t>::max() ? 1 : handle + 1;
  values_.emplace(handle, std::move(value));
  return handle;
}

const TABSBlobValue* TABSPendingBlobs::Find(int32_t handle) const {
  auto found = values_.find(handle);
  return found == values_.end() ? nullptr : &found->second;
}

}  // namespace viz
