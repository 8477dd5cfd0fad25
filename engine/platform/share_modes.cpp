#include "engine/platform/share_modes.h"

#include <fcntl.h>

#include <cerrno>

#include "engine/platform/ofd_lock.h"

namespace viz::platform::detail {
namespace {

constexpr int64_t kGuardByte = kReservedLockBase + 0;
constexpr int64_t kReaderByte = kReservedLockBase + 1;
constexpr int64_t kWriterByte = kReservedLockBase + 2;
constexpr int64_t kForbidsReadersByte = kReservedLockBase + 3;
constexpr int64_t kForbidsWritersByte = kReservedLockBase + 4;

//! Holds the guard byte while an open checks and records its share mode, so that two opens racing
//! each other cannot both pass the checks before either has recorded itself.
class GuardHold {
 public:
  GuardHold(int fd, bool writable) : fd_(fd) {
    // A descriptor open for reading only cannot take an exclusive lock; such an open checks
    // without the guard (a race only with another open in the same few microseconds).
    held_ = writable && OfdSetLock(fd_, F_WRLCK, kGuardByte, 1, /*wait=*/true) == 0;
  }
  ~GuardHold() {
    if (held_) OfdSetLock(fd_, F_UNLCK, kGuardByte, 1, false);
  }
  GuardHold(const GuardHold&) = delete;
  GuardHold& operator=(const GuardHold&) = delete;

 private:
  int fd_;
  bool held_ = false;
};

//! Returns 0 with `*held` telling whether another open holds any lock on `byte`, or an errno value.
int Probe(int fd, int64_t byte, bool* held) {
  return OfdTestLock(fd, F_WRLCK, byte, 1, held);
}

}  // namespace

int AcquireShareMode(int fd, bool fdWritable, AccessMode access, ShareMode share) {
  const bool writes = access == AccessMode::ReadWrite;
  const bool forbidsReaders = share == ShareMode::None;
  const bool forbidsWriters = share != ShareMode::ReadWrite;

  GuardHold guard(fd, fdWritable);

  struct Check {
    bool wanted;
    int64_t byte;
  };
  const Check checks[] = {
      {true, kForbidsReadersByte},    // someone lets nobody else read
      {writes, kForbidsWritersByte},  // someone lets nobody else write
      {forbidsReaders, kReaderByte},  // someone reads what we would keep to ourselves
      {forbidsWriters, kWriterByte},  // someone writes while we would forbid it
  };
  for (const Check& check : checks) {
    if (!check.wanted) continue;
    bool held = false;
    int error = Probe(fd, check.byte, &held);
    if (error != 0) return 0;  // no locking here: share modes cannot be enforced
    if (held) return EBUSY;
  }

  const Check records[] = {
      {true, kReaderByte},
      {writes, kWriterByte},
      {forbidsReaders, kForbidsReadersByte},
      {forbidsWriters, kForbidsWritersByte},
  };
  for (const Check& record : records) {
    if (!record.wanted) continue;
    if (OfdSetLock(fd, F_RDLCK, record.byte, 1, false) != 0) {
      // Shared locks only conflict with exclusive ones, which nobody takes on these bytes; a
      // failure therefore means the file system cannot lock. Drop what was taken and go on.
      OfdSetLock(fd, F_UNLCK, kReaderByte, 4, false);
      return 0;
    }
  }
  return 0;
}

}  // namespace viz::platform::detail
