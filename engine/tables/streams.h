// The engine's streams: a base with a critical section, copy steps and progress; a memory stream on
// the engine memory manager; a file stream; a temporary stream that moves from memory to a
// temporary file when it grows; and the exact read, exact write and checked seek with which every
// stored structure of the engine is moved, each call site passing its own native error number.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/platform/file.h"
#include "engine/types/stream_base.h"
#include "framework/data/stream.h"

namespace viz {

//! The engine's stream. It is also the stream that stored values are saved to and loaded from
//! (`TABSStreamBase`), whose 32-bit reads and writes go to the 64-bit ones.
class TABSStream : public TStream, public TABSStreamBase {
 public:
  using TStream::Read;
  using TStream::Write;
  int32_t Read(void* buffer, int32_t count) final {
    return static_cast<int32_t>(Read(buffer, static_cast<int64_t>(count)));
  }
  int32_t Write(const void* buffer, int32_t count) final {
    return static_cast<int32_t>(Write(buffer, static_cast<int64_t>(count)));
  }
  //! One declaration for both bases.
  int64_t GetPosition() const override = 0;
  int64_t GetSize() const override = 0;

  //! Receives the stream and the percentage done of a copy.
  using TABSProgressEvent = std::function<void(TABSStream& sender, int percentDone)>;

  static constexpr int64_t kDefaultCopyBlockSize = 102400;

  //! Enters the stream's critical section. Users that share a stream between threads bracket their
  //! operations with Lock/Unlock; the stream itself assumes one user at a time.
  virtual void Lock() { mutex_.lock(); }
  virtual void Unlock() { mutex_.unlock(); }

  //! Bytes moved per step when copying; 0 makes copies raise 10418.
  int64_t CopyBlockSize() const { return copyBlockSize_; }
  void SetCopyBlockSize(int64_t size) { copyBlockSize_ = size; }

  TABSProgressEvent OnProgress;

  //! Replaces this stream's content by the whole content of `source`, moved in copy-block-size steps
  //! from its position 0; progress is reported from 0 to 100; both positions are restored.
  void LoadFromStream(TStream& source);
  //! Replaces the content of `destination` by this stream's whole content, likewise.
  void SaveToStream(TStream& destination);

 protected:
  int64_t copyBlockSize_ = kDefaultCopyBlockSize;

 private:
  void Copy(TStream& from, TStream& to);

  std::recursive_mutex mutex_;
};

//! Holds a stream's critical section for a scope.
class TABSStreamLock {
 public:
  explicit TABSStreamLock(TABSStream& stream) : stream_(stream) { stream_.Lock(); }
  ~TABSStreamLock() { stream_.Unlock(); }
  TABSStreamLock(const TABSStreamLock&) = delete;
  TABSStreamLock& operator=(const TABSStreamLock&) = delete;

 private:
  TABSStream& stream_;
};

//! A stream in one block of the engine memory manager whose length is the stream size.
class TABSMemoryStream : public TABSStream {
 public:
  TABSMemoryStream() = default;
  //! Takes over `block` (from the engine memory manager, may be null) with its size as the content.
  explicit TABSMemoryStream(void* block);
  ~TABSMemoryStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  //! Writing past the end grows the block to exactly position + count (a gap reads as zeros).
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override { return position_; }
  int64_t GetSize() const override { return size_; }
  //! Reallocates the block to `size` bytes keeping the contents (0 frees it); a position beyond the
  //! new end moves to the end.
  void SetSize(int64_t size) override;

  //! Returns the block (null when empty). It stays owned by the stream.
  void* Memory() const { return buffer_; }

 private:
  void* buffer_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

//! A stream on a file.
class TABSFileStream : public TABSStream {
 public:
  //! The open mode that creates or truncates the file for reading and writing, not shared.
  static constexpr uint16_t kCreateMode = 0xFFFF;

  //! Creates (mode `kCreateMode`) or opens the named file. Any other mode opens an existing file:
  //! bits 0-1 are the access (0 read, 1 write, 2 read-write), bits 4-6 the sharing (0x10 exclusive,
  //! 0x20 deny write, 0x30 deny read, 0x40 deny none). A temporary file vanishes when closed.
  //! Raises 10104 when the file cannot be created, 10105 when it cannot be opened.
  TABSFileStream(const std::string& fileName, uint16_t mode, bool temporary = false,
                 platform::FileSystem* fileSystem = nullptr);
  //! Wraps an already opened file (for instance a new anonymous temporary file).
  TABSFileStream(std::unique_ptr<platform::File> file, const std::string& fileName, uint16_t mode,
                 bool temporary);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override { return position_; }
  int64_t GetSize() const override;
  //! Moves the end of the file; a platform failure raises the platform's error. The position is
  //! kept unless it now lies beyond the end.
  void SetSize(int64_t size) override;

  const std::string& FileName() const { return fileName_; }
  uint16_t Mode() const { return mode_; }
  bool IsTemporary() const { return temporary_; }

 private:
  std::unique_ptr<platform::File> file_;
  std::string fileName_;
  uint16_t mode_;
  bool temporary_;
  int64_t position_ = 0;
};

//! Starts in memory; a write that would take the memory stream past `kMemoryLimit` bytes moves the
//! content to an anonymous temporary file first, unless files are disabled.
class TABSTemporaryStream : public TABSStream {
 public:
  static constexpr int64_t kMemoryLimit = 1048576;

  explicit TABSTemporaryStream(bool disableTempFiles, platform::FileSystem* fileSystem = nullptr);
  //! Starts with the content of `memory` (not null), taken over as it is, position included.
  TABSTemporaryStream(bool disableTempFiles, std::unique_ptr<TABSMemoryStream> memory,
                      platform::FileSystem* fileSystem = nullptr);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override { return Active().GetPosition(); }
  int64_t GetSize() const override { return Active().GetSize(); }
  void SetSize(int64_t size) override;

  //! True while the content is held in memory.
  bool InMemory() const { return memory_ != nullptr; }

 private:
  TABSStream& Active();
  const TABSStream& Active() const;
  void MoveToFile();

  platform::FileSystem* fileSystem_;
  bool disableTempFiles_;
  std::unique_ptr<TABSMemoryStream> memory_;
  std::unique_ptr<TABSFileStream> file_;
};

//! A read-only stream on bytes it does not own (for instance a value inside a cached page), read
//! as a memory stream with that content would be: a reader can walk them without copying them first.
//! Writes take nothing; a size change raises "Cannot write to read only stream" (10116).
class TABSByteViewStream : public TStream {
 public:
  TABSByteViewStream(const void* bytes, int64_t size)
      : bytes_(static_cast<const uint8_t*>(bytes)), size_(std::max<int64_t>(size, 0)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* /*buffer*/, int64_t /*count*/) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t GetPosition() const override { return position_; }
  int64_t GetSize() const override { return size_; }
  void SetSize(int64_t size) override;

 private:
  const uint8_t* bytes_;
  int64_t size_;
  int64_t position_ = 0;
};

//! Writes exactly `count` bytes at the stream's position, else raises `code` with the write message.
void ExactWrite(const void* buffer, int64_t count, TStream& stream, int32_t code);
//! Reads exactly `count` bytes at the stream's position, else raises `code` with the read message.
void ExactRead(void* buffer, int64_t count, TStream& stream, int32_t code);
//! Seeks to `position` from the beginning; raises `code` when the stream ends up elsewhere.
void CheckedSeek(TStream& stream, int64_t position, int32_t code);

}  // namespace viz
