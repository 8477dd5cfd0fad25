#include "storage/fault_file_system.h"

#include <cerrno>

namespace viz::testing {

namespace {

const platform::OsError kInjected{EIO, "injected failure"};

class FaultFile : public platform::FileWrapper {
 public:
  FaultFile(FaultFileSystem& owner, std::unique_ptr<platform::File> target)
      : FileWrapper(std::move(target)), owner_(owner) {}

  int64_t ReadAt(void* buffer, int64_t count, int64_t position) override {
    if (owner_.failingReads > 0) {
      --owner_.failingReads;
      return Fail({EIO, "Input/output error"});
    }
    return FileWrapper::ReadAt(buffer, count, position);
  }
  int64_t WriteAt(const void* buffer, int64_t count, int64_t position) override {
    if (!owner_.AllowWrite()) return Fail(kInjected);
    if (owner_.failWrites) return Fail({ENOSPC, "No space left on device"});
    return FileWrapper::WriteAt(buffer, count, position);
  }
  bool SetSize(int64_t size) override {
    return owner_.AllowWrite() ? FileWrapper::SetSize(size) : Fail(kInjected) == 0;
  }
  bool Flush() override { return owner_.Alive() ? FileWrapper::Flush() : Fail(kInjected) == 0; }
  platform::LockResult LockBytes(int64_t position, int64_t count) override {
    if (owner_.locksUnsupported) return platform::LockResult::Unsupported;
    return FileWrapper::LockBytes(position, count);
  }
  bool UnlockBytes(int64_t position, int64_t count) override {
    return !owner_.locksUnsupported && FileWrapper::UnlockBytes(position, count);
  }
  const platform::OsError& LastError() const override {
    return error_.code != 0 ? error_ : FileWrapper::LastError();
  }

 private:
  int64_t Fail(const platform::OsError& error) {
    error_ = error;
    return -1;
  }

  FaultFileSystem& owner_;
  platform::OsError error_;
};

}  // namespace

std::unique_ptr<platform::File> FaultFileSystem::Wrap(std::unique_ptr<platform::File> file) {
  if (!file) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(file));
}

bool FaultFileSystem::Refuse() {
  refused_ = true;
  return false;
}

bool FaultFileSystem::Forwarded(bool result) {
  refused_ = false;
  return result;
}

std::unique_ptr<platform::File> FaultFileSystem::Open(const std::string& path, platform::AccessMode access,
                                                      platform::ShareMode share, platform::OsError* error) {
  return Wrap(FileSystemWrapper::Open(path, access, share, error));
}

std::unique_ptr<platform::File> FaultFileSystem::Create(const std::string& path, platform::OsError* error) {
  if (!AllowWrite()) {
    if (error != nullptr) *error = kInjected;
    return nullptr;
  }
  return Wrap(FileSystemWrapper::Create(path, error));
}

std::unique_ptr<platform::File> FaultFileSystem::CreateTemporary(platform::OsError* error) {
  return Wrap(FileSystemWrapper::CreateTemporary(error));
}

bool FaultFileSystem::Delete(const std::string& path) {
  if (!AllowWrite()) return Refuse();
  lastDelete_ = writes_;
  return Forwarded(FileSystemWrapper::Delete(path));
}

bool FaultFileSystem::Rename(const std::string& from, const std::string& to) {
  return AllowWrite() ? Forwarded(FileSystemWrapper::Rename(from, to)) : Refuse();
}

bool FaultFileSystem::SyncDirectory(const std::string& path) {
  return Alive() ? Forwarded(FileSystemWrapper::SyncDirectory(path)) : Refuse();
}

platform::OsError FaultFileSystem::LastError() const {
  return refused_ ? kInjected : FileSystemWrapper::LastError();
}

}  // namespace viz::testing
