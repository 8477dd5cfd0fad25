#include "engine/platform/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "engine/platform/ofd_lock.h"

namespace viz::platform::detail {
namespace {

//! Byte ranges that files of this process hold, per file identity. The operating system's locks
//! do not stop a descriptor from locking again what it already holds; this table does, and it
//! also serialises threads of this process around the lock calls.
class HeldRanges {
 public:
  struct Range {
    const PosixFile* owner;
    int64_t position;
    int64_t count;
  };

  static HeldRanges& Instance() {
    static HeldRanges* instance = new HeldRanges();  // never destroyed: files may outlive statics
    return *instance;
  }

  //! REQUIRES: mutex() is held.
  bool Overlaps(const FileKey& key, int64_t position, int64_t count) const {
    auto it = ranges_.find(key);
    if (it == ranges_.end()) return false;
    for (const Range& range : it->second) {
      if (position < range.position + range.count && range.position < position + count) return true;
    }
    return false;
  }
  //! REQUIRES: mutex() is held.
  void Add(const FileKey& key, const PosixFile* owner, int64_t position, int64_t count) {
    ranges_[key].push_back({owner, position, count});
  }
  //! Removes the exact range of `owner`. REQUIRES: mutex() is held.
  bool Remove(const FileKey& key, const PosixFile* owner, int64_t position, int64_t count) {
    auto it = ranges_.find(key);
    if (it == ranges_.end()) return false;
    std::vector<Range>& list = it->second;
    for (size_t index = 0; index < list.size(); ++index) {
      if (list[index].owner == owner && list[index].position == position && list[index].count == count) {
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
        if (list.empty()) ranges_.erase(it);
        return true;
      }
    }
    return false;
  }
  //! Forgets every range of `owner` (its descriptor is closing, which drops the locks themselves).
  //! REQUIRES: mutex() is held.
  void RemoveAll(const FileKey& key, const PosixFile* owner) {
    auto it = ranges_.find(key);
    if (it == ranges_.end()) return;
    std::erase_if(it->second, [owner](const Range& range) { return range.owner == owner; });
    if (it->second.empty()) ranges_.erase(it);
  }

  std::mutex& mutex() { return mutex_; }

 private:
  std::mutex mutex_;
  std::map<FileKey, std::vector<Range>> ranges_;  // Protected by mutex_.
};

}  // namespace

OsError MakeOsError(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which is not always placed in the buffer.
  const char* text = strerror_r(error, buffer, sizeof buffer);
  return OsError{error, text ? std::string(text) : std::string()};
}

PosixFile::PosixFile(int fd, std::string path, FileKey key, bool writable)
    : fd_(fd), path_(std::move(path)), key_(key), writable_(writable) {}

PosixFile::~PosixFile() {
  HeldRanges& held = HeldRanges::Instance();
  std::lock_guard<std::mutex> lock(held.mutex());
  held.RemoveAll(key_, this);
  // Closing the only descriptor of this open file description drops its locks.
  close(fd_);
}

bool PosixFile::Fail(int error) {
  lastError_ = MakeOsError(error);
  return false;
}

int64_t PosixFile::ReadAt(void* buffer, int64_t count, int64_t position) {
  if (count < 0 || position < 0) return Fail(EINVAL), -1;
  auto* bytes = static_cast<char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t got =
        pread(fd_, bytes + done, static_cast<size_t>(count - done), static_cast<off_t>(position + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return Fail(errno), -1;
    }
    if (got == 0) break;  // end of file
    done += got;
  }
  return done;
}

int64_t PosixFile::WriteAt(const void* buffer, int64_t count, int64_t position) {
  if (count < 0 || position < 0) return Fail(EINVAL), -1;
  if (!writable_) return Fail(EBADF), -1;
  const auto* bytes = static_cast<const char*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t put =
        pwrite(fd_, bytes + done, static_cast<size_t>(count - done), static_cast<off_t>(position + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      return Fail(errno), -1;
    }
    if (put == 0) return Fail(ENOSPC), -1;
    done += put;
  }
  return done;
}

int64_t PosixFile::Size() {
  struct stat info {};
  if (fstat(fd_, &info) != 0) return Fail(errno), -1;
  return static_cast<int64_t>(info.st_size);
}

bool PosixFile::SetSize(int64_t size) {
  if (size < 0) return Fail(EINVAL);
  if (!writable_) return Fail(EBADF);
  while (ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    if (errno != EINTR) return Fail(errno);
  }
  return true;
}

bool PosixFile::Flush() {
  if (!writable_) return true;  // nothing written through this file
  while (fdatasync(fd_) != 0) {
    if (errno != EINTR) return Fail(errno);
  }
  return true;
}

LockResult PosixFile::LockBytes(int64_t position, int64_t count) {
  if (position < 0 || count <= 0 || count > kReservedLockBase - position) {
    Fail(EINVAL);
    return LockResult::Refused;
  }
  HeldRanges& held = HeldRanges::Instance();
  std::lock_guard<std::mutex> lock(held.mutex());
  if (held.Overlaps(key_, position, count)) {
    Fail(EAGAIN);
    return LockResult::Refused;
  }
  int error = OfdSetLock(fd_, F_WRLCK, position, count, /*wait=*/false);
  if (error != 0) {
    Fail(error);
    return MeansLockingUnsupported(error) ? LockResult::Unsupported : LockResult::Refused;
  }
  held.Add(key_, this, position, count);
  return LockResult::Locked;
}

LockResult PosixFile::ProbeLockBytes(int64_t position, int64_t count) {
  if (position < 0 || count <= 0 || count > kReservedLockBase - position) {
    Fail(EINVAL);
    return LockResult::Refused;
  }
  HeldRanges& held = HeldRanges::Instance();
  std::lock_guard<std::mutex> lock(held.mutex());
  if (held.Overlaps(key_, position, count)) {
    Fail(EAGAIN);
    return LockResult::Refused;
  }
  bool conflict = false;
  int error = OfdTestLock(fd_, F_WRLCK, position, count, &conflict);
  if (error != 0) {
    Fail(error);
    return MeansLockingUnsupported(error) ? LockResult::Unsupported : LockResult::Refused;
  }
  if (conflict) {
    Fail(EAGAIN);
    return LockResult::Refused;
  }
  return LockResult::Locked;
}

bool PosixFile::UnlockBytes(int64_t position, int64_t count) {
  HeldRanges& held = HeldRanges::Instance();
  std::lock_guard<std::mutex> lock(held.mutex());
  if (!held.Remove(key_, this, position, count)) return Fail(ENOLCK);
  int error = OfdSetLock(fd_, F_UNLCK, position, count, false);
  if (error != 0) return Fail(error);
  return true;
}

}  // namespace viz::platform::detail
