#include "storage/fault_file_system.h"

#include <cerrno>

namespace viz::testing {

namespace {

class FaultFile : public platform::File {
 public:
  FaultFile(FaultFileSystem& owner, std::unique_ptr<platform::File> real)
      : owner_(owner), real_(std::move(real)) {}

  int64_t ReadAt(void* buffer, int64_t count, int64_t position) override {
    return real_->ReadAt(buffer, count, position);
  }
  int64_t WriteAt(const void* buffer, int64_t count, int64_t position) override {
    if (!owner_.AllowWrite()) return Fail();
    return real_->WriteAt(buffer, count, position);
  }
  int64_t Size() override { return real_->Size(); }
  bool SetSize(int64_t size) override { return owner_.AllowWrite() ? real_->SetSize(size) : Fail() == 0; }
  bool Flush() override { return owner_.Alive() ? real_->Flush() : Fail() == 0; }
  platform::LockResult LockBytes(int64_t position, int64_t count) override {
    return real_->LockBytes(position, count);
  }
  bool UnlockBytes(int64_t position, int64_t count) override { return real_->UnlockBytes(position, count); }
  const platform::OsError& LastError() const override { return injected_ ? error_ : real_->LastError(); }
  const std::string& Path() const override { return real_->Path(); }

 private:
  int64_t Fail() {
    injected_ = true;
    error_ = {EIO, "injected failure"};
    return -1;
  }

  FaultFileSystem& owner_;
  std::unique_ptr<platform::File> real_;
  bool injected_ = false;
  platform::OsError error_;
};

}  // namespace

std::unique_ptr<platform::File> FaultFileSystem::Open(const std::string& path, platform::AccessMode access,
                                                      platform::ShareMode share, platform::OsError* error) {
  auto file = real_.Open(path, access, share, error);
  if (!file) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(file));
}

std::unique_ptr<platform::File> FaultFileSystem::Create(const std::string& path, platform::OsError* error) {
  if (!AllowWrite()) {
    if (error != nullptr) *error = {EIO, "injected failure"};
    return nullptr;
  }
  auto file = real_.Create(path, error);
  if (!file) return nullptr;
  return std::make_unique<FaultFile>(*this, std::move(file));
}

}  // namespace viz::testing
