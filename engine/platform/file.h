// Files as the engine sees them: positioned reads and writes that report counts, size, set size,
// flush, and non-blocking single-owner byte locks. `FileSystem` makes them; tests replace it (or wrap
// a `File`) to inject I/O failures and short reads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace viz::platform {

//! Access asked for when opening: 0 = read only, 1 = read and write.
enum class AccessMode : uint8_t { Read = 0, ReadWrite = 1 };

//! What other openers may do meanwhile: 0 = nothing, 1 = read and write, 2 = read.
//! Enforced between cooperating processes (and within this process) as a sharing violation.
enum class ShareMode : uint8_t { None = 0, ReadWrite = 1, Read = 2 };

//! The operating system's error number and its own text.
struct OsError {
  int code = 0;
  std::string message;
};

//! Result of a byte-lock attempt.
enum class LockResult {
  Locked,       //!< the bytes are now held by this file object
  Refused,      //!< someone (another process, another handle or this very handle) holds them
  Unsupported,  //!< the file system cannot lock at all (network share without locks, ...)
};

//! An open file. Not safe for concurrent use by several threads unless the caller serialises.
class File {
 public:
  virtual ~File() = default;

  //! Reads up to `count` bytes at `position`. Returns the count read (short only at end of file), or
  //! -1 on failure with `LastError` set.
  virtual int64_t ReadAt(void* buffer, int64_t count, int64_t position) = 0;
  //! Writes `count` bytes at `position`, extending the file when needed. Returns the count written,
  //! or -1 on failure with `LastError` set.
  virtual int64_t WriteAt(const void* buffer, int64_t count, int64_t position) = 0;
  //! Returns the size in bytes, or -1 on failure.
  virtual int64_t Size() = 0;
  //! Cuts or extends the file to `size` bytes.
  virtual bool SetSize(int64_t size) = 0;
  //! Forces written data to the medium.
  virtual bool Flush() = 0;
  //! Takes an exclusive, non-blocking lock on [position, position + count). A second attempt on a
  //! held byte is refused, also from the same process and the same file object.
  virtual LockResult LockBytes(int64_t position, int64_t count) = 0;
  //! Releases a lock taken by this file object. Returns false when it held no such lock.
  virtual bool UnlockBytes(int64_t position, int64_t count) = 0;
  //! Returns the error of the last failed call.
  virtual const OsError& LastError() const = 0;
  //! Returns the path the file was opened with.
  virtual const std::string& Path() const = 0;
};

//! Opens and manages files by name. `FileSystem::Default()` is the real one.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  //! Opens an existing file. Returns null with `error` set when it does not exist, access is denied
  //! or the share modes conflict (error code EBUSY, "sharing violation" text).
  virtual std::unique_ptr<File> Open(const std::string& path, AccessMode access, ShareMode share,
                                     OsError* error) = 0;
  //! Creates a file anew (an existing one is replaced), opened for reading and writing, not shared.
  virtual std::unique_ptr<File> Create(const std::string& path, OsError* error) = 0;
  //! Creates an anonymous temporary file (prefix VIZ in $TMPDIR, else /tmp) that vanishes when closed.
  virtual std::unique_ptr<File> CreateTemporary(OsError* error) = 0;

  virtual bool Exists(const std::string& path) = 0;
  virtual bool Delete(const std::string& path) = 0;
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  //! True when the file's permissions forbid writing for everyone (the read-only attribute).
  virtual bool IsReadOnly(const std::string& path) = 0;
  //! Clears the read-only attribute.
  virtual bool ClearReadOnly(const std::string& path) = 0;

  //! Returns the process-wide real file system.
  static FileSystem& Default();
};

}  // namespace viz::platform
