#include "engine/storage/database_file.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "engine/storage/file_format.h"
#include "engine/types/errors.h"

namespace viz {
namespace {

std::atomic<bool> transientOpenMode{false};

// The signature is searched while the header is read, so a failed read carries the header's code.
constexpr int32_t kSearchReadCode = 10464;

platform::AccessMode ToPlatformAccess(uint8_t accessMode) {
  return accessMode == TABSDatabaseFile::kAccessRead ? platform::AccessMode::Read
                                                     : platform::AccessMode::ReadWrite;
}

platform::ShareMode ToPlatformShare(uint8_t shareMode) {
  switch (shareMode) {
    case TABSDatabaseFile::kShareNone:
      return platform::ShareMode::None;
    case TABSDatabaseFile::kShareReadWrite:
      return platform::ShareMode::ReadWrite;
    default:
      return platform::ShareMode::Read;
  }
}

}  // namespace

// Makes the handle available for one operation. In transient-open mode the outermost operation
// opens the file and closes it again when it ends; otherwise the handle is simply there.
class TABSDatabaseFile::Access {
 public:
  explicit Access(TABSDatabaseFile& file) : file_(file) {
    if (!file_.handle_) file_.OpenHandle();
    ++file_.openCount_;
  }
  ~Access() {
    if (--file_.openCount_ == 0 && TransientOpenMode()) file_.handle_.reset();
  }
  Access(const Access&) = delete;
  Access& operator=(const Access&) = delete;

 private:
  TABSDatabaseFile& file_;
};

TABSDatabaseFile::TABSDatabaseFile(platform::FileSystem* fileSystem) : fileSystem_(fileSystem) {}

TABSDatabaseFile::~TABSDatabaseFile() = default;

void TABSDatabaseFile::SetTransientOpenMode(bool on) {
  transientOpenMode = on;
}
bool TABSDatabaseFile::TransientOpenMode() {
  return transientOpenMode;
}

platform::FileSystem& TABSDatabaseFile::Fs() const {
  return fileSystem_ ? *fileSystem_ : platform::FileSystem::Default();
}

void TABSDatabaseFile::RequireOpened(const char* operation) const {
  if (!opened_) throw EABSException(msg::kOperationOnClosedFile, operation);
}

void TABSDatabaseFile::RequireClosed(const char* operation) const {
  if (opened_) throw EABSException(msg::kOperationOnOpenedFile, operation);
}

void TABSDatabaseFile::OpenHandle() {
  platform::OsError error;
  handle_ = Fs().Open(fileName_, ToPlatformAccess(accessMode_), ToPlatformShare(shareMode_), &error);
  if (!handle_) throw EABSException(msg::kCannotOpenFile, fileName_, error.code, error.message);
}

void TABSDatabaseFile::CreateFile(const std::string& fileName) {
  RequireClosed("CreateFile");
  if (fileName.empty()) throw EABSException(msg::kBlankFileName);
  platform::FileSystem& fs = Fs();
  if (fs.Exists(fileName)) {
    fs.ClearReadOnly(fileName);
    fs.Delete(fileName);
  }
  platform::OsError error;
  std::unique_ptr<platform::File> handle = fs.Create(fileName, &error);
  if (!handle) throw EABSException(msg::kCannotCreateFile, fileName, error.code, error.message);
  fileName_ = fileName;
  accessMode_ = kAccessReadWrite;
  shareMode_ = kShareNone;
  position_ = 0;
  openCount_ = 0;
  handle_ = std::move(handle);
  opened_ = true;
  if (TransientOpenMode()) handle_.reset();
}

void TABSDatabaseFile::OpenFile(const std::string& fileName, uint8_t accessMode, uint8_t shareMode) {
  RequireClosed("OpenFile");
  if (accessMode != kAccessRead && accessMode != kAccessReadWrite)
    throw EABSException(msg::kUnknownAccessMode, static_cast<int>(accessMode));
  if (shareMode != kShareNone && shareMode != kShareReadWrite && shareMode != kShareRead)
    throw EABSException(msg::kUnknownShareMode, static_cast<int>(shareMode));
  fileName_ = fileName;
  accessMode_ = accessMode;
  shareMode_ = shareMode;
  position_ = 0;
  openCount_ = 0;
  OpenHandle();
  opened_ = true;
  if (TransientOpenMode()) handle_.reset();
}

void TABSDatabaseFile::CloseFile() {
  RequireOpened("CloseFile");
  handle_.reset();
  opened_ = false;
  openCount_ = 0;
}

bool TABSDatabaseFile::Seek(int64_t position) {
  RequireOpened("Seek");
  if (position < 0) return false;
  position_ = position;
  return true;
}

int64_t TABSDatabaseFile::SizeForMessage() {
  return handle_ ? handle_->Size() : -1;
}

void TABSDatabaseFile::SetPosition(int64_t position) {
  if (!Seek(position)) {
    Access access(*this);
    throw EABSException(msg::kCannotSetFilePosition, position, fileName_, position_, SizeForMessage());
  }
}

int64_t TABSDatabaseFile::GetPosition() {
  RequireOpened("GetPosition");
  return position_;
}

void TABSDatabaseFile::SetSize(int64_t size) {
  RequireOpened("SetSize");
  SetPosition(size);
  Access access(*this);
  if (!handle_->SetSize(size)) {
    const platform::OsError& error = handle_->LastError();
    throw EABSException(msg::kCannotTruncateFile, fileName_, size, error.code, error.message);
  }
}

int64_t TABSDatabaseFile::GetSize() {
  RequireOpened("GetSize");
  Access access(*this);
  int64_t size = handle_->Size();
  if (size < 0) {
    const platform::OsError& error = handle_->LastError();
    throw EABSException(msg::kCannotGetFileSize, fileName_, error.code, error.message);
  }
  return size;
}

int64_t TABSDatabaseFile::ReadBuffer(void* buffer, int32_t errorCode, int64_t position, int64_t count) {
  RequireOpened("ReadBuffer");
  Access access(*this);
  if (!Seek(position)) {
    throw EABSException(errorCode ? errorCode : msg::kCannotSetFilePosition.code,
                        msg::kCannotSetFilePosition.text, {position, fileName_, position_, SizeForMessage()});
  }
  int64_t got = handle_->ReadAt(buffer, count, position);
  if (got < 0) {
    // A region locked by another process may refuse the read for a moment; its lock is probed, then
    // the read is tried once more.
    IsRegionLocked(count, position);
    got = handle_->ReadAt(buffer, count, position);
  }
  if (got < 0) {
    platform::OsError error = handle_->LastError();
    throw EABSException(errorCode, msg::kCannotReadFile,
                        {fileName_, position, count, position_, SizeForMessage(), error.code, error.message});
  }
  if (got < count) std::memset(static_cast<char*>(buffer) + got, 0, static_cast<size_t>(count - got));
  position_ = position + got;
  return got;
}

void TABSDatabaseFile::WriteBuffer(const void* buffer, int32_t errorCode, int64_t position, int64_t count) {
  RequireOpened("WriteBuffer");
  Access access(*this);
  if (!Seek(position)) {
    throw EABSException(errorCode ? errorCode : msg::kCannotSetFilePosition.code,
                        msg::kCannotSetFilePosition.text, {position, fileName_, position_, SizeForMessage()});
  }
  int64_t written = handle_->WriteAt(buffer, count, position);
  if (written != count) {
    platform::OsError error = handle_->LastError();
    throw EABSException(errorCode, msg::kCannotWriteFile,
                        {fileName_, position, count, position_, SizeForMessage(), error.code, error.message});
  }
  position_ = position + written;
}

void TABSDatabaseFile::FlushFileBuffers() {
  RequireOpened("FlushFileBuffers");
  Access access(*this);
  if (!handle_->Flush()) {
    const platform::OsError& error = handle_->LastError();
    throw EABSException(msg::kCannotFlushFile, fileName_, error.code, error.message);
  }
}

bool TABSDatabaseFile::LockByte(int64_t count, int64_t position) {
  RequireOpened("LockByte");
  Access access(*this);
  switch (handle_->LockBytes(position, count)) {
    case platform::LockResult::Locked:
      return true;
    case platform::LockResult::Unsupported:
      lockingUnsupported_ = true;
      return true;
    case platform::LockResult::Refused:
      break;
  }
  return lockingUnsupported_;
}

bool TABSDatabaseFile::UnlockByte(int64_t count, int64_t position) {
  RequireOpened("UnlockByte");
  Access access(*this);
  if (handle_->UnlockBytes(position, count) || TransientOpenMode()) return true;
  return lockingUnsupported_;
}

bool TABSDatabaseFile::IsByteLocked(int64_t position) {
  return IsRegionLocked(1, position);
}

bool TABSDatabaseFile::IsRegionLocked(int64_t count, int64_t position) {
  RequireOpened("IsRegionLocked");
  Access access(*this);
  // The answer of a lock taken and dropped again, latch included, from one test where the file can.
  switch (handle_->ProbeLockBytes(position, count)) {
    case platform::LockResult::Locked:
      return false;
    case platform::LockResult::Unsupported:
      lockingUnsupported_ = true;
      return false;
    case platform::LockResult::Refused:
      break;
  }
  return !lockingUnsupported_;
}

bool TABSDatabaseFile::FindSignature(int64_t* baseOffset) {
  RequireOpened("FindSignature");
  Access access(*this);
  const int64_t savedPosition = position_;
  const size_t need = file_format::kSignatureLength + 2;  // signature, then the u16 header size
  auto matchesAt = [&](const unsigned char* at) {
    return std::memcmp(at, file_format::kDatabaseSignature, file_format::kSignatureLength) == 0 &&
           file_format::GetU16(at + file_format::kSignatureLength) == file_format::kDatabaseHeaderSize;
  };
  bool found = false;
  *baseOffset = 0;
  unsigned char head[file_format::kSignatureLength + file_format::kDatabaseHeaderSize];
  int64_t got = ReadBuffer(head, kSearchReadCode, 0, sizeof head);
  if (got >= static_cast<int64_t>(need) && matchesAt(head)) {
    found = true;
  } else {
    // Windows of 10000 bytes, each starting 16 bytes before the end of the previous one. Two bytes
    // more are read than the window holds, so that the header-size field of a signature that ends
    // right at a window's end is seen too.
    constexpr int64_t kWindow = 10000;
    constexpr int64_t kStep = kWindow - file_format::kSignatureLength;
    const int64_t size = GetSize();
    std::vector<unsigned char> window(kWindow + 2);
    for (int64_t start = 0; start < size && !found; start += kStep) {
      int64_t length = ReadBuffer(window.data(), kSearchReadCode, start, static_cast<int64_t>(window.size()));
      for (int64_t at = 0; at + static_cast<int64_t>(need) <= length; ++at) {
        if (matchesAt(window.data() + at)) {
          *baseOffset = start + at;
          found = true;
          break;
        }
      }
      if (start + length >= size) break;
    }
  }
  position_ = savedPosition;
  return found;
}

}  // namespace viz
