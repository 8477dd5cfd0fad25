// The real `File`: one POSIX descriptor, positioned I/O, and byte locks that are open-file-description
// locks checked against an in-process table first.
#pragma once

#include <sys/types.h>

#include "engine/platform/file.h"

namespace viz::platform::detail {

//! Identity of a file on this machine, the same for every path and descriptor that reaches it.
struct FileKey {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator<(const FileKey& other) const {
    return device != other.device ? device < other.device : inode < other.inode;
  }
};

class PosixFile final : public File {
 public:
  //! Takes ownership of `fd`. `writable` says whether the caller asked to write.
  PosixFile(int fd, std::string path, FileKey key, bool writable);
  ~PosixFile() override;
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  int64_t ReadAt(void* buffer, int64_t count, int64_t position) override;
  int64_t WriteAt(const void* buffer, int64_t count, int64_t position) override;
  int64_t Size() override;
  bool SetSize(int64_t size) override;
  bool Flush() override;
  LockResult LockBytes(int64_t position, int64_t count) override;
  bool UnlockBytes(int64_t position, int64_t count) override;
  //! One test of the operating system's locks (after this process's own table) instead of a lock
  //! taken and dropped.
  LockResult ProbeLockBytes(int64_t position, int64_t count) override;
  const OsError& LastError() const override { return lastError_; }
  const std::string& Path() const override { return path_; }

 private:
  bool Fail(int error);

  // Constant after construction.
  const int fd_;
  const std::string path_;
  const FileKey key_;
  const bool writable_;

  OsError lastError_;
};

//! Returns an `OsError` for errno value `error` with the system's text.
OsError MakeOsError(int error);

}  // namespace viz::platform::detail
