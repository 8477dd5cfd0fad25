#include "engine/platform/ofd_lock.h"

#include <fcntl.h>

#include <cerrno>

namespace viz::platform::detail {
namespace {

struct flock Describe(short type, int64_t start, int64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(start);
  lock.l_len = static_cast<off_t>(length);
  lock.l_pid = 0;  // required to be 0 for open-file-description locks
  return lock;
}

}  // namespace

int OfdSetLock(int fd, short type, int64_t start, int64_t length, bool wait) {
  struct flock lock = Describe(type, start, length);
  for (;;) {
    if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

int OfdTestLock(int fd, short type, int64_t start, int64_t length, bool* conflict) {
  struct flock lock = Describe(type, start, length);
  for (;;) {
    if (fcntl(fd, F_OFD_GETLK, &lock) == 0) {
      *conflict = lock.l_type != F_UNLCK;
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

bool MeansLockingUnsupported(int error) {
  switch (error) {
    case ENOLCK:      // no lock records available, or a network file system without a lock service
    case EINVAL:      // the file system or the file type does not know these locks
    case EOPNOTSUPP:  // (== ENOTSUP on Linux)
    case ENOSYS:      // kernel without open-file-description locks
    case EBADF:       // the descriptor is not open for writing, so it cannot hold an exclusive lock
    case EIO:
    case ENOTTY:
      return true;
    default:
      return false;
  }
}

}  // namespace viz::platform::detail
