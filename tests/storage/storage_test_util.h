// Helpers of the storage tests: raw file bytes, a file system that injects failures, and a database
// file made in a fresh directory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/platform/file.h"

namespace viz::testing {

//! Returns the whole content of a file.
std::vector<uint8_t> ReadAllBytes(const std::string& path);
//! Replaces the content of a file.
void WriteAllBytes(const std::string& path, const std::vector<uint8_t>& bytes);
//! Reads `count` bytes at `position` of a file (short at its end).
std::vector<uint8_t> ReadBytesAt(const std::string& path, int64_t position, size_t count);
//! Overwrites bytes at `position` of a file.
void WriteBytesAt(const std::string& path, int64_t position, const std::vector<uint8_t>& bytes);
int64_t FileSize(const std::string& path);

//! Wraps the real file system; the files it opens fail as asked.
class FaultyFileSystem : public platform::FileSystem {
 public:
  //! Every lock attempt reports that the file cannot lock.
  bool locksUnsupported = false;
  //! The next this many reads fail.
  int failingReads = 0;
  //! Every write fails.
  bool failWrites = false;
  //! Reads made by files of this file system.
  int readCalls = 0;

  std::unique_ptr<platform::File> Open(const std::string& path, platform::AccessMode access,
                                       platform::ShareMode share, platform::OsError* error) override;
  std::unique_ptr<platform::File> Create(const std::string& path, platform::OsError* error) override;
  std::unique_ptr<platform::File> CreateTemporary(platform::OsError* error) override;
  bool Exists(const std::string& path) override { return Real().Exists(path); }
  bool Delete(const std::string& path) override { return Real().Delete(path); }
  bool Rename(const std::string& from, const std::string& to) override { return Real().Rename(from, to); }
  bool IsReadOnly(const std::string& path) override { return Real().IsReadOnly(path); }
  bool ClearReadOnly(const std::string& path) override { return Real().ClearReadOnly(path); }
  bool SyncDirectory(const std::string& path) override { return Real().SyncDirectory(path); }

 private:
  static platform::FileSystem& Real() { return platform::FileSystem::Default(); }
  std::unique_ptr<platform::File> Wrap(std::unique_ptr<platform::File> file);
};

}  // namespace viz::testing
