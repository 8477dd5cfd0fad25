// Where memory and temporary tables keep BLOB values.
//
// A stored record holds a 6-byte reference per BLOB field: a 32-bit number (0 = no value) and a
// 16-bit 0. The number names a value of the table's store, so a reference that is not the table's own
// is recognised instead of followed.
//
//   TABSMemoryBlobStore     one engine memory block per value: 12 header bytes (i32 block count,
//                           i64 uncompressed size) followed by the stored bytes; values are freed
//                           one by one (memory tables are editable)
//   TABSTemporaryBlobStore  append-only: values stay in memory up to the temporary-stream limit and
//                           then go to a temporary file, unless temporary files are disabled
//   TABSPendingBlobs        values written into a record buffer and not yet posted, by the handle the
//                           buffer carries
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "engine/platform/file.h"
#include "engine/tables/blob_value.h"
#include "engine/types/raw_values.h"

namespace viz {

class TABSFileStream;

//! Where the 6-byte stored reference and the 4-byte pending handle of a BLOB field lie in a record
//! buffer, relative to the field's buffer offset.
inline constexpr int32_t kBlobReferenceSize = 6;
inline constexpr int32_t kBlobHandleOffset = 6;

//! Reads and writes the 32-bit number of a BLOB field's stored reference.
int32_t ReadBlobReference(const uint8_t* field);
void WriteBlobReference(uint8_t* field, int32_t reference);
//! The same for the pending handle behind the reference in a record buffer.
int32_t ReadBlobHandle(const uint8_t* field);
void WriteBlobHandle(uint8_t* field, int32_t handle);

//! Returns a value whose stored bytes are a copy of `size` bytes, in a memory stream.
TABSBlobValue MakeBlobValue(int32_t blockCount, int64_t uncompressedSize, const void* bytes, int64_t size);
//! Returns a copy of a value with bytes of its own.
TABSBlobValue CopyBlobValue(const TABSBlobValue& value);

class TABSMemoryBlobStore {
 public:
  static constexpr int32_t kHeaderSize = 12;

  TABSMemoryBlobStore() = default;
  TABSMemoryBlobStore(const TABSMemoryBlobStore&) = delete;
  TABSMemoryBlobStore& operator=(const TABSMemoryBlobStore&) = delete;

  //! Keeps a copy of a non-empty value; returns its reference (never 0).
  int32_t Add(const TABSBlobValue& value);
  //! Keeps a second copy of a value; returns the new reference.
  int32_t Clone(int32_t reference);
  //! Returns a copy of the value. Raises "Invalid pointer" (30005) for a reference not in the store.
  TABSBlobValue Read(int32_t reference) const;
  bool Contains(int32_t reference) const;
  //! Frees the value (a reference not in the store is left alone).
  void Free(int32_t reference);
  void Clear();

  int64_t Count() const { return count_; }

 private:
  const TABSMemBlock& BlockOf(int32_t reference) const;

  // Block of reference r at r - 1; empty for a freed one, whose number waits in free_.
  std::vector<TABSMemBlock> blocks_;
  std::vector<int32_t> free_;
  int64_t count_ = 0;
};

class TABSTemporaryBlobStore {
 public:
  //! Bytes held in memory before values go to a temporary file (the temporary stream's limit).
  static constexpr int64_t kMemoryLimit = 1048576;

  explicit TABSTemporaryBlobStore(bool memoryOnly, platform::FileSystem* fileSystem = nullptr);
  ~TABSTemporaryBlobStore();
  TABSTemporaryBlobStore(const TABSTemporaryBlobStore&) = delete;
  TABSTemporaryBlobStore& operator=(const TABSTemporaryBlobStore&) = delete;

  //! Appends a non-empty value; returns its reference (never 0). Raises the file's errors.
  int32_t Append(const TABSBlobValue& value);
  //! Returns a copy of the value. Raises "Invalid pointer" (30005) for a reference not in the store.
  TABSBlobValue Read(int32_t reference) const;
  bool Contains(int32_t reference) const;
  //! Drops every value and the temporary file.
  void Clear();

  int64_t Count() const { return static_cast<int64_t>(values_.size()); }
  int64_t MemoryBytes() const { return memoryBytes_; }
  bool HasFile() const { return file_ != nullptr; }

 private:
  struct Value {
    int32_t BlockCount = 0;
    int64_t UncompressedSize = 0;
    int64_t StoredSize = 0;
    //! The bytes while in memory; else they lie in the file at FilePosition.
    TABSMemBlock Bytes;
    int64_t FilePosition = -1;
  };

  bool memoryOnly_;
  platform::FileSystem* fileSystem_;
  std::vector<Value> values_;
  int64_t memoryBytes_ = 0;
  std::unique_ptr<TABSFileStream> file_;
};

class TABSPendingBlobs {
 public:
  //! Keeps the value; returns its handle (never 0).
  int32_t Put(TABSBlobValue value);
  //! The value of a handle; null for a handle not held (0, taken, dropped or foreign).
  const TABSBlobValue* Find(int32_t handle) const;
  void Drop(int32_t handle) { values_.erase(handle); }
  void Clear() { values_.clear(); }
  int64_t Count() const { return static_cast<int64_t>(values_.size()); }

 private:
  std::unordered_map<int32_t, TABSBlobValue> values_;
  int32_t next_ = 1;
};

}  // namespace viz
