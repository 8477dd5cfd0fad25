// One database file as the engine sees it: create, open, close, positioned reads and writes, size,
// flush and single-owner byte locks, each failure raised as an engine error carrying the file name
// and the operating system's own error text.
//
// Transient-open mode (process-wide): the file is kept closed between operations. Each operation
// opens it with the remembered access and share modes and closes it again when the last nested
// operation ends; the file still counts as opened in between. Unlocks always report success then.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/platform/file.h"

namespace viz {

class TABSDatabaseFile {
 public:
  //! Access modes: 0 = read only, 1 = read and write.
  static constexpr uint8_t kAccessRead = 0;
  static constexpr uint8_t kAccessReadWrite = 1;
  //! Share modes: 0 = no sharing, 1 = others may read and write, 2 = others may read.
  static constexpr uint8_t kShareNone = 0;
  static constexpr uint8_t kShareReadWrite = 1;
  static constexpr uint8_t kShareRead = 2;
  //! The error code used for a failed seek when the caller gave none.
  static constexpr int32_t kNoErrorCode = 0;

  //! Uses `fileSystem` (the real one by default) for every file it opens.
  explicit TABSDatabaseFile(platform::FileSystem* fileSystem = nullptr);
  ~TABSDatabaseFile();
  TABSDatabaseFile(const TABSDatabaseFile&) = delete;
  TABSDatabaseFile& operator=(const TABSDatabaseFile&) = delete;

  //! Replaces any existing file of that name (clearing its read-only attribute first) by a new
  //! empty one, opened for reading and writing, not shared. Raises 30374 for a blank name, 30361.
  void CreateFile(const std::string& fileName);
  //! Opens an existing file. Raises 30366 / 30367 for unknown modes, 30364 when it cannot be opened.
  void OpenFile(const std::string& fileName, uint8_t accessMode, uint8_t shareMode);
  //! Closes the file; it counts as closed afterwards.
  void CloseFile();

  //! Moves the file position; true when the resulting position equals the requested one.
  bool Seek(int64_t position);
  //! `Seek`, raising the position error (30372) on failure.
  void SetPosition(int64_t position);
  int64_t GetPosition();
  //! Cuts or extends the file to `size` bytes (30370 on failure).
  void SetSize(int64_t size);
  //! Returns the file size (30371 on failure).
  int64_t GetSize();

  //! Reads `count` bytes at `position` into `buffer`. A failed read is retried once after probing
  //! the range's lock; a second failure raises the read error with `errorCode`. A short read at the
  //! end of the file is not an error: the bytes not read are set to zero. Returns the count read.
  int64_t ReadBuffer(void* buffer, int32_t errorCode, int64_t position, int64_t count);
  //! Writes `count` bytes at `position`; a failure raises the write error with `errorCode`.
  void WriteBuffer(const void* buffer, int32_t errorCode, int64_t position, int64_t count);
  //! Forces written data to the medium (30379 on failure).
  void FlushFileBuffers();

  //! Takes an exclusive, non-blocking lock on `count` bytes. Once the file has shown that it cannot
  //! lock, every refused lock reports success (the locking-unsupported latch).
  bool LockByte(int64_t count, int64_t position);
  //! Releases such a lock; reports success when it worked, in transient-open mode, or when the file
  //! cannot lock at all.
  bool UnlockByte(int64_t count, int64_t position);
  //! True when someone holds the byte (probes by locking and unlocking it).
  bool IsByteLocked(int64_t position);
  //! True when someone holds a byte of the range.
  bool IsRegionLocked(int64_t count, int64_t position);

  //! Searches the file for the database signature followed by the header size 76: first at offset
  //! 0, then through the whole file in overlapping windows. Returns true with the offset found.
  //! The file position is restored afterwards.
  bool FindSignature(int64_t* baseOffset);

  bool IsOpened() const { return opened_; }
  const std::string& FileName() const { return fileName_; }
  uint8_t AccessMode() const { return accessMode_; }
  uint8_t ShareMode() const { return shareMode_; }
  bool LockingUnsupported() const { return lockingUnsupported_; }

  //! The process-wide transient-open switch (off by default).
  static void SetTransientOpenMode(bool on);
  static bool TransientOpenMode();

 private:
  class Access;  // RAII: makes the handle available for one operation (opens it in transient mode)

  void RequireOpened(const char* operation) const;
  void RequireClosed(const char* operation) const;
  // Opens the handle with the remembered modes, raising 30364.
  void OpenHandle();
  platform::FileSystem& Fs() const;
  // The size for messages; -1 when unknown.
  int64_t SizeForMessage();

  platform::FileSystem* fileSystem_;
  std::string fileName_;
  uint8_t accessMode_ = kAccessRead;
  uint8_t shareMode_ = kShareNone;
  std::unique_ptr<platform::File> handle_;
  bool opened_ = false;
  // Nesting of operations holding the handle in transient-open mode.
  int openCount_ = 0;
  bool lockingUnsupported_ = false;
  int64_t position_ = 0;
};

}  // namespace viz
