// A file system that forwards to the real one and can make the process "die" at a chosen write:
// the N-th write (counted over every file it opened) and every later write, flush and delete fail,
// as if the process had been killed at that moment. What was written before stays on disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/platform/file.h"

namespace viz::testing {

class FaultFileSystem : public platform::FileSystem {
 public:
  explicit FaultFileSystem(platform::FileSystem& real = platform::FileSystem::Default()) : real_(real) {}

  //! Fails write number `n` (1-based) and everything after it; 0 = never.
  void FailAtWrite(int64_t n) {
    failAt_ = n;
    writes_ = 0;
    dead_ = false;
    once_ = false;
  }
  //! Fails write number `n` only, as a full disk or a passing I/O error would.
  void FailOnceAtWrite(int64_t n) {
    FailAtWrite(n);
    once_ = true;
  }
  int64_t Writes() const { return writes_; }
  bool Dead() const { return dead_; }

  //! Returns true when the call may go on; counts writes and flips to "dead" at the chosen one.
  bool AllowWrite() {
    if (dead_) return false;
    ++writes_;
    if (once_) return writes_ != failAt_;
    if (failAt_ > 0 && writes_ >= failAt_) dead_ = true;
    return !dead_;
  }
  bool Alive() const { return !dead_; }

  std::unique_ptr<platform::File> Open(const std::string& path, platform::AccessMode access,
                                       platform::ShareMode share, platform::OsError* error) override;
  std::unique_ptr<platform::File> Create(const std::string& path, platform::OsError* error) override;
  std::unique_ptr<platform::File> CreateTemporary(platform::OsError* error) override {
    return real_.CreateTemporary(error);
  }
  bool Exists(const std::string& path) override { return real_.Exists(path); }
  bool Delete(const std::string& path) override { return AllowWrite() && real_.Delete(path); }
  bool Rename(const std::string& from, const std::string& to) override {
    return AllowWrite() && real_.Rename(from, to);
  }
  bool IsReadOnly(const std::string& path) override { return real_.IsReadOnly(path); }
  bool ClearReadOnly(const std::string& path) override { return real_.ClearReadOnly(path); }
  bool SyncDirectory(const std::string& path) override { return Alive() && real_.SyncDirectory(path); }

 private:
  platform::FileSystem& real_;
  int64_t failAt_ = 0;
  int64_t writes_ = 0;
  bool dead_ = false;
  bool once_ = false;
};

}  // namespace viz::testing
