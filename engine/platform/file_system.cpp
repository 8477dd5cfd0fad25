#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/platform/file.h"
#include "engine/platform/posix_file.h"
#include "engine/platform/share_modes.h"

namespace viz::platform {
namespace {

using detail::FileKey;
using detail::MakeOsError;
using detail::PosixFile;

thread_local OsError lastFileSystemError;

void Report(OsError* error, int code) {
  if (error) *error = MakeOsError(code);
}

int OpenDescriptor(const std::string& path, int flags, mode_t mode = 0) {
  for (;;) {
    int fd = open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

//! Finishes an open: refuses directories, checks and records the share mode, then wraps `fd`.
//! Closes `fd` on failure.
std::unique_ptr<File> Adopt(int fd, const std::string& path, bool fdWritable, AccessMode access,
                            ShareMode share, OsError* error) {
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    Report(error, errno);
    close(fd);
    return nullptr;
  }
  if (S_ISDIR(info.st_mode)) {
    Report(error, EISDIR);
    close(fd);
    return nullptr;
  }
  if (detail::AcquireShareMode(fd, fdWritable, access, share) != 0) {
    if (error) *error = OsError{EBUSY, kSharingViolationText};
    close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd, path, FileKey{info.st_dev, info.st_ino},
                                     access == AccessMode::ReadWrite);
}

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> Open(const std::string& path, AccessMode access, ShareMode share,
                             OsError* error) override {
    if (access != AccessMode::Read && access != AccessMode::ReadWrite) {
      Report(error, EINVAL);
      return nullptr;
    }
    if (share != ShareMode::None && share != ShareMode::ReadWrite && share != ShareMode::Read) {
      Report(error, EINVAL);
      return nullptr;
    }
    // A read-only open still asks for a writable descriptor when it may have one, because only
    // such a descriptor can hold exclusive byte locks; the file object itself refuses writes.
    int fd = OpenDescriptor(path, O_RDWR);
    bool fdWritable = fd >= 0;
    if (fd < 0 && access == AccessMode::Read &&
        (errno == EACCES || errno == EROFS || errno == EPERM || errno == ETXTBSY || errno == EISDIR)) {
      fd = OpenDescriptor(path, O_RDONLY);
    }
    if (fd < 0) {
      Report(error, errno);
      return nullptr;
    }
    return Adopt(fd, path, fdWritable, access, share, error);
  }

  std::unique_ptr<File> Create(const std::string& path, OsError* error) override {
    // Not O_TRUNC: the file may only be cut once no other open of it is left (checked by the share
    // mode, which lets nobody else in).
    int fd = OpenDescriptor(path, O_RDWR | O_CREAT, 0666);
    if (fd < 0) {
      Report(error, errno);
      return nullptr;
    }
    std::unique_ptr<File> file = Adopt(fd, path, true, AccessMode::ReadWrite, ShareMode::None, error);
    // An empty file (the usual case: a new one) is left alone. Cutting a file to zero also marks it,
    // on some file systems, for its data to be written out when it is closed, which costs a commit
    // of a small journal more than all its writes. The size is asked once nobody else has it open.
    if (file && file->Size() != 0 && !file->SetSize(0)) {
      if (error) *error = file->LastError();
      return nullptr;
    }
    return file;
  }

  std::unique_ptr<File> CreateTemporary(OsError* error) override {
    const char* directory = getenv("TMPDIR");
    std::string pattern = (directory && *directory) ? directory : "/tmp";
    if (pattern.back() != '/') pattern += '/';
    pattern += "VIZXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      Report(error, errno);
      return nullptr;
    }
    // Unlinked at once: the data lives as long as the descriptor, and nothing is left behind
    // even when the process dies.
    unlink(name.data());
    struct stat info {};
    if (fstat(fd, &info) != 0) {
      Report(error, errno);
      close(fd);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd, std::string(name.data()), FileKey{info.st_dev, info.st_ino}, true);
  }

  bool Exists(const std::string& path) override {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return true;
    return Fail(errno);
  }

  bool Delete(const std::string& path) override { return unlink(path.c_str()) == 0 || Fail(errno); }

  bool Rename(const std::string& from, const std::string& to) override {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return Fail(errno);
    // File systems without the no-replace flag: a hard link fails on an existing target, then the
    // old name goes. Where links are impossible, check and rename.
    if (link(from.c_str(), to.c_str()) == 0) return unlink(from.c_str()) == 0 || Fail(errno);
    if (errno == EEXIST) return Fail(errno);
    struct stat info {};
    if (lstat(to.c_str(), &info) == 0) return Fail(EEXIST);
    return rename(from.c_str(), to.c_str()) == 0 || Fail(errno);
  }

  bool IsReadOnly(const std::string& path) override {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return Fail(errno);
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  }

  bool ClearReadOnly(const std::string& path) override {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return Fail(errno);
    if (info.st_mode & S_IWUSR) return true;
    return chmod(path.c_str(), (info.st_mode & 07777) | S_IWUSR) == 0 || Fail(errno);
  }

  bool SyncDirectory(const std::string& path) override {
    int fd = OpenDescriptor(path, O_RDONLY | O_DIRECTORY);
    if (fd < 0) return Fail(errno);
    int result;
    do {
      result = fsync(fd);
    } while (result != 0 && errno == EINTR);
    int code = errno;
    close(fd);
    // EINVAL and EROFS: a file system that has no way to sync a directory (or nothing to sync).
    if (result == 0 || code == EINVAL || code == EROFS) return true;
    return Fail(code);
  }

  OsError LastError() const override { return lastFileSystemError; }

 private:
  static bool Fail(int code) {
    lastFileSystemError = MakeOsError(code);
    return false;
  }
};

}  // namespace

FileSystem& FileSystem::Default() {
  static PosixFileSystem* instance = new PosixFileSystem();  // never destroyed
  return *instance;
}

}  // namespace viz::platform
