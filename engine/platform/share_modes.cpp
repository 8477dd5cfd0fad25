#include "engine/platform/share_modes.h"

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "engine/platform/ofd_lock.h"

namespace viz::platform::detail {
namespace {

constexpr int64_t kGuardByte = kReservedLockBase + 0;
constexpr int64_t kReaderByte = kReservedLockBase + 1;
constexpr int64_t kWriterByte = kReservedLockBase + 2;
constexpr int64_t kForbidsReadersByte = kReservedLockBase + 3;
constexpr int64_t kForbidsWritersByte = kReservedLockBase + 4;
constexpr int kGuardAttempts = 10000;  // 500 µs apart

//! Holds the guard byte while an open checks and records its share mode, so that two opens racing
//! each other cannot both pass the checks before either has recorded itself.
class GuardHold {
 public:
  GuardHold(int fd, bool writable) : fd_(fd) {
    // A descriptor open for reading only cannot take an exclusive lock; such an open checks
    // without the guard (a race only with another open in the same few microseconds). Others hold
    // the guard for microseconds; one that keeps it longer (a stopped process) is not waited for
    // beyond a few seconds, and the open then checks without it.
    if (!writable) return;
    for (int attempt = 0; attempt < kGuardAttempts; ++attempt) {
      int error = OfdSetLock(fd_, F_WRLCK, kGuardByte, 1, /*wait=*/false);
      if (error == 0) {
        held_ = true;
        return;
      }
      if (error != EAGAIN && error != EACCES) return;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
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

}  // namespace

int AcquireShareMode(int fd, bool fdWritable, AccessMode access, ShareMode share) {
  const bool writes = access == AccessMode::ReadWrite;
  const bool forbidsReaders = share == ShareMode::None;
  const bool forbidsWriters = share != ShareMode::ReadWrite;

  GuardHold guard(fd, fdWritable);

  // The bytes to probe and to record, as bit masks over the offsets from kReservedLockBase. Each
  // run of neighbouring bytes takes one call: a lock on a run is the same lock, for every other
  // open, as locks on each of its bytes (the kernel merges them), and a probe of a run finds a lock
  // on any of them.
  auto bit = [](int64_t byte) { return 1u << (byte - kReservedLockBase); };
  unsigned probes = bit(kForbidsReadersByte);                   // someone lets nobody else read
  if (writes) probes |= bit(kForbidsWritersByte);               // someone lets nobody else write
  if (forbidsReaders) probes |= bit(kReaderByte);               // someone reads what we keep
  if (forbidsWriters) probes |= bit(kWriterByte);               // someone writes while we forbid it
  unsigned records = bit(kReaderByte);
  if (writes) records |= bit(kWriterByte);
  if (forbidsReaders) records |= bit(kForbidsReadersByte);
  if (forbidsWriters) records |= bit(kForbidsWritersByte);

  // Calls `each(start, length)` for every run of set bits; stops at the first nonzero result.
  auto forRuns = [](unsigned mask, auto&& each) {
    for (int offset = 0; offset < 32 && (mask >> offset) != 0;) {
      if (!((mask >> offset) & 1u)) {
        ++offset;
        continue;
      }
      int length = 0;
      while (offset + length < 32 && ((mask >> (offset + length)) & 1u)) ++length;
      if (int result = each(kReservedLockBase + offset, length)) return result;
      offset += length;
    }
    return 0;
  };

  constexpr int kUnsupported = -1;
  int probed = forRuns(probes, [&](int64_t start, int length) {
    bool held = false;
    if (OfdTestLock(fd, F_WRLCK, start, length, &held) != 0) return kUnsupported;
    return held ? EBUSY : 0;
  });
  if (probed == kUnsupported) return 0;  // no locking here: share modes cannot be enforced
  if (probed != 0) return probed;

  int recorded = forRuns(records, [&](int64_t start, int length) {
    // Shared locks only conflict with exclusive ones, which nobody takes on these bytes; a
    // failure therefore means the file system cannot lock.
    return OfdSetLock(fd, F_RDLCK, start, length, false) != 0 ? kUnsupported : 0;
  });
  if (recorded != 0) OfdSetLock(fd, F_UNLCK, kReaderByte, 4, false);  // drop what was taken, go on
  return 0;
}

}  // namespace viz::platform::detail
