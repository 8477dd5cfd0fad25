// Open-file-description locks: the one locking primitive of the platform layer. They belong to the
// open file description (not to the process), so closing some other descriptor of the same file
// leaves them alone, two descriptors of one process conflict like two processes, and they vanish
// when the last descriptor of the description closes, including when the process dies.
#pragma once

#include <cstdint>

namespace viz::platform::detail {

//! Bytes from here on are never data: share modes keep their lock bytes there.
inline constexpr int64_t kReservedLockBase = int64_t{1} << 62;

//! Takes (F_RDLCK / F_WRLCK) or drops (F_UNLCK) a lock on [start, start + length). With `wait`
//! false the call never blocks. Returns 0 or the errno value.
int OfdSetLock(int fd, short type, int64_t start, int64_t length, bool wait);

//! Asks whether a lock of `type` on [start, start + length) would conflict with a lock held
//! through another open file description. Returns 0 (with `*conflict` set) or the errno value.
int OfdTestLock(int fd, short type, int64_t start, int64_t length, bool* conflict);

//! True for errno values that mean the file system cannot lock at all (as opposed to a lock
//! that someone else holds).
bool MeansLockingUnsupported(int error);

}  // namespace viz::platform::detail
