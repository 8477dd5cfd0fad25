// Share modes between cooperating openers of one file, kept in open-file-description locks on a few
// reserved bytes far beyond any data:
//
//   | byte (from kReservedLockBase) | held as        | by every open that ...          |
//   |-------------------------------|----------------|---------------------------------|
//   | 0 guard                       | exclusive      | is checking and taking the rest |
//   | 1 reader                      | shared         | reads (every open)              |
//   | 2 writer                      | shared         | writes                          |
//   | 3 forbids readers             | shared         | lets nobody else read (None)    |
//   | 4 forbids writers             | shared         | lets nobody else write (None, Read) |
//
// A new open fails with a sharing violation when any other open forbids what it does (a lock on
// byte 3 or 4) or does what it forbids (a lock on byte 1 or 2), in either direction as with native
// share modes. Locks of other descriptors of this process count too. The locks live as long as the
// descriptor, so a crashed opener stops counting at once.
#pragma once

#include "engine/platform/file.h"

namespace viz::platform::detail {

//! Checks the other openers of the file behind `fd` and, when nothing conflicts, records this
//! open's access and share mode. `fdWritable` tells whether `fd` may hold exclusive locks (the guard
//! is skipped otherwise). Returns 0, or EBUSY for a sharing violation. Where the file system cannot
//! lock, share modes cannot be enforced and the open proceeds (returns 0).
int AcquireShareMode(int fd, bool fdWritable, AccessMode access, ShareMode share);

}  // namespace viz::platform::detail
