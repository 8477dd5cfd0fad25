// The storage tests' file system double: it forwards to another file system (by default the real
// one) and injects the failures a test asks for.
//
// - Death at a chosen write: the N-th write (counted over every file it opened, together with
//   creating, cutting, deleting and renaming files) and every later write, flush, directory sync,
//   delete and rename fail, as if the process had been killed at that moment. What was written
//   before stays on disk.
// - A passing fault at one chosen write, as a full disk or a brief I/O error would give.
// - Failing reads, failing writes, and files that cannot lock at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/platform/file.h"

namespace viz::testing {

class FaultFileSystem : public platform::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;

  //! Fails write number `n` (1-based) and everything after it; 0 = never.
  void FailAtWrite(int64_t n) {
    failAt_ = n;
    writes_ = 0;
    lastDelete_ = 0;
    dead_ = false;
    once_ = false;
  }
  //! Fails write number `n` only, as a full disk or a passing I/O error would.
  void FailOnceAtWrite(int64_t n) {
    FailAtWrite(n);
    once_ = true;
  }
  //! Writes counted since the last FailAtWrite / FailOnceAtWrite.
  int64_t Writes() const { return writes_; }
  //! The number of the write that the last file deletion was (0 when none since FailAtWrite).
  int64_t LastDeleteWrite() const { return lastDelete_; }
  bool Dead() const { return dead_; }
  bool Alive() const { return !dead_; }
  //! Returns true when a write may go on; counts it and flips to "dead" at the chosen one.
  bool AllowWrite() {
    if (dead_) return false;
    ++writes_;
    if (once_) return writes_ != failAt_;
    if (failAt_ > 0 && writes_ >= failAt_) dead_ = true;
    return !dead_;
  }

  //! The next this many reads fail (EIO, "Input/output error").
  int failingReads = 0;
  //! Every write of a file fails (ENOSPC, "No space left on device"); not counted as a write.
  bool failWrites = false;
  //! Every lock attempt reports that the file cannot lock.
  bool locksUnsupported = false;

  std::unique_ptr<platform::File> Open(const std::string& path, platform::AccessMode access,
                                       platform::ShareMode share, platform::OsError* error) override;
  std::unique_ptr<platform::File> Create(const std::string& path, platform::OsError* error) override;
  std::unique_ptr<platform::File> CreateTemporary(platform::OsError* error) override;
  bool Delete(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool SyncDirectory(const std::string& path) override;
  platform::OsError LastError() const override;

 private:
  std::unique_ptr<platform::File> Wrap(std::unique_ptr<platform::File> file);
  //! Records an injected failure as the last error; returns false.
  bool Refuse();
  //! Forwards a call's outcome, clearing an earlier injected error.
  bool Forwarded(bool result);

  int64_t failAt_ = 0;
  int64_t writes_ = 0;
  int64_t lastDelete_ = 0;
  bool dead_ = false;
  bool once_ = false;
  bool refused_ = false;
};

}  // namespace viz::testing
