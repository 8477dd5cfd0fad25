// Files as the engine sees them: positioned reads and writes that report counts, size, set size,
// flush, and non-blocking single-owner byte locks. `FileSystem` makes them and syncs directories;
// tests replace it (or wrap a `File`) to inject I/O failures and short reads.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

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
  //! Tells what `LockBytes` would answer now, without keeping a lock: `Locked` when the bytes are
  //! free. By default it takes the lock and drops it again; a file that can test a lock in one step
  //! overrides it.
  virtual LockResult ProbeLockBytes(int64_t position, int64_t count) {
    const LockResult result = LockBytes(position, count);
    if (result == LockResult::Locked) UnlockBytes(position, count);
    return result;
  }
  //! Returns the error of the last failed call.
  virtual const OsError& LastError() const = 0;
  //! Returns the path the file was opened with.
  virtual const std::string& Path() const = 0;
};

//! Opens and manages files by name. `FileSystem::Default()` is the real one.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  //! Opens an existing file. Returns null with `error` set when it does not exist, is a directory,
  //! access is denied or the share modes conflict (error code EBUSY, text `kSharingViolationText`).
  //! A file opened for reading only refuses writes (EBADF) but still takes byte locks when the
  //! caller may write the file; on a file nobody may write, byte locks report `Unsupported`.
  virtual std::unique_ptr<File> Open(const std::string& path, AccessMode access, ShareMode share,
                                     OsError* error) = 0;
  //! Creates a file anew (an existing one is cut to 0 bytes), opened for reading and writing, not
  //! shared. Fails with a sharing violation while anyone else has the file open, and with EACCES on
  //! a read-only file (clear the attribute first).
  virtual std::unique_ptr<File> Create(const std::string& path, OsError* error) = 0;
  //! Creates an anonymous temporary file (prefix VIZ in $TMPDIR, else /tmp) that vanishes when closed.
  virtual std::unique_ptr<File> CreateTemporary(OsError* error) = 0;

  virtual bool Exists(const std::string& path) = 0;
  virtual bool Delete(const std::string& path) = 0;
  //! Renames a file; fails (EEXIST) when `to` already exists.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  //! True when the file's permissions forbid writing for everyone (the read-only attribute).
  virtual bool IsReadOnly(const std::string& path) = 0;
  //! Clears the read-only attribute.
  virtual bool ClearReadOnly(const std::string& path) = 0;
  //! Forces the entries of a directory (files created, deleted or renamed in it) to the medium, so
  //! that they survive a power loss; `File::Flush` covers a file's content only. Reports success on
  //! a file system that cannot sync directories at all.
  virtual bool SyncDirectory(const std::string& path) = 0;

  //! Returns the error of the last failed Exists/Delete/Rename/IsReadOnly/ClearReadOnly/
  //! SyncDirectory call of this thread (empty when the file system does not keep one).
  virtual OsError LastError() const { return {}; }

  //! Returns the process-wide real file system.
  static FileSystem& Default();
};

//! Text of the error that a conflicting share mode gives (code EBUSY).
inline constexpr const char* kSharingViolationText =
    "The process cannot access the file because it is being used by another process";

//! Forwards every call to another file. Tests derive from it and override one method to inject
//! failures or short reads.
class FileWrapper : public File {
 public:
  explicit FileWrapper(std::unique_ptr<File> target) : target_(std::move(target)) {}

  int64_t ReadAt(void* buffer, int64_t count, int64_t position) override {
    return target_->ReadAt(buffer, count, position);
  }
  int64_t WriteAt(const void* buffer, int64_t count, int64_t position) override {
    return target_->WriteAt(buffer, count, position);
  }
  int64_t Size() override { return target_->Size(); }
  bool SetSize(int64_t size) override { return target_->SetSize(size); }
  bool Flush() override { return target_->Flush(); }
  LockResult LockBytes(int64_t position, int64_t count) override {
    return target_->LockBytes(position, count);
  }
  bool UnlockBytes(int64_t position, int64_t count) override { return target_->UnlockBytes(position, count); }
  const OsError& LastError() const override { return target_->LastError(); }
  const std::string& Path() const override { return target_->Path(); }

  File& Target() { return *target_; }

 private:
  std::unique_ptr<File> target_;
};

//! Forwards every call to another file system (by default the real one). Tests derive from it to
//! wrap the files it opens or to make calls fail.
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem& target = FileSystem::Default()) : target_(target) {}

  std::unique_ptr<File> Open(const std::string& path, AccessMode access, ShareMode share,
                             OsError* error) override {
    return target_.Open(path, access, share, error);
  }
  std::unique_ptr<File> Create(const std::string& path, OsError* error) override {
    return target_.Create(path, error);
  }
  std::unique_ptr<File> CreateTemporary(OsError* error) override { return target_.CreateTemporary(error); }
  bool Exists(const std::string& path) override { return target_.Exists(path); }
  bool Delete(const std::string& path) override { return target_.Delete(path); }
  bool Rename(const std::string& from, const std::string& to) override { return target_.Rename(from, to); }
  bool IsReadOnly(const std::string& path) override { return target_.IsReadOnly(path); }
  bool ClearReadOnly(const std::string& path) override { return target_.ClearReadOnly(path); }
  bool SyncDirectory(const std::string& path) override { return target_.SyncDirectory(path); }
  OsError LastError() const override { return target_.LastError(); }

 private:
  FileSystem& target_;
};

}  // namespace viz::platform
