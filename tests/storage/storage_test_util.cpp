#include "storage/storage_test_util.h"

#include <fstream>
#include <iterator>

namespace viz::testing {

std::vector<uint8_t> ReadAllBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAllBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBytesAt(const std::string& path, int64_t position, size_t count) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(position);
  std::vector<uint8_t> bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

void WriteBytesAt(const std::string& path, int64_t position, const std::vector<uint8_t>& bytes) {
  std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(position);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int64_t FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<int64_t>(in.tellg()) : -1;
}

namespace {

class FaultyFile : public platform::File {
 public:
  FaultyFile(std::unique_ptr<platform::File> inner, FaultyFileSystem& owner)
      : inner_(std::move(inner)), owner_(owner) {}

  int64_t ReadAt(void* buffer, int64_t count, int64_t position) override {
    ++owner_.readCalls;
    if (owner_.failingReads > 0) {
      --owner_.failingReads;
      error_ = {5, "Input/output error"};
      return -1;
    }
    return inner_->ReadAt(buffer, count, position);
  }
  int64_t WriteAt(const void* buffer, int64_t count, int64_t position) override {
    if (owner_.failWrites) {
      error_ = {28, "No space left on device"};
      return -1;
    }
    return inner_->WriteAt(buffer, count, position);
  }
  int64_t Size() override { return inner_->Size(); }
  bool SetSize(int64_t size) override { return inner_->SetSize(size); }
  bool Flush() override { return inner_->Flush(); }
  platform::LockResult LockBytes(int64_t position, int64_t count) override {
    if (owner_.locksUnsupported) return platform::LockResult::Unsupported;
    return inner_->LockBytes(position, count);
  }
  bool UnlockBytes(int64_t position, int64_t count) override {
    if (owner_.locksUnsupported) return false;
    return inner_->UnlockBytes(position, count);
  }
  const platform::OsError& LastError() const override { return error_.code ? error_ : inner_->LastError(); }
  const std::string& Path() const override { return inner_->Path(); }

 private:
  std::unique_ptr<platform::File> inner_;
  FaultyFileSystem& owner_;
  platform::OsError error_;
};

}  // namespace

std::unique_ptr<platform::File> FaultyFileSystem::Wrap(std::unique_ptr<platform::File> file) {
  if (!file) return nullptr;
  return std::make_unique<FaultyFile>(std::move(file), *this);
}

std::unique_ptr<platform::File> FaultyFileSystem::Open(const std::string& path, platform::AccessMode access,
                                                       platform::ShareMode share, platform::OsError* error) {
  return Wrap(Real().Open(path, access, share, error));
}

std::unique_ptr<platform::File> FaultyFileSystem::Create(const std::string& path, platform::OsError* error) {
  return Wrap(Real().Create(path, error));
}

std::unique_ptr<platform::File> FaultyFileSystem::CreateTemporary(platform::OsError* error) {
  return Wrap(Real().CreateTemporary(error));
}

}  // namespace viz::testing
