#include "engine/tables/streams.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"
#include "engine/types/messages.h"

namespace viz {
namespace {

// Raises the platform's error as the operating system reported it.
[[noreturn]] void RaiseOsError(const platform::OsError& error) {
  throw Exception("System Error.  Code: " + std::to_string(error.code) + ".\n" + error.message);
}

platform::FileSystem& FileSystemOrDefault(platform::FileSystem* fileSystem) {
  return fileSystem != nullptr ? *fileSystem : platform::FileSystem::Default();
}

int64_t SeekTarget(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size) {
  switch (origin) {
    case TSeekOrigin::Beginning:
      return offset;
    case TSeekOrigin::Current:
      return position + offset;
    case TSeekOrigin::End:
      return size + offset;
  }
  return position;
}

}  // namespace

// ---- TABSStream

void TABSStream::Copy(TStream& from, TStream& to) {
  if (copyBlockSize_ <= 0) throw EABSException(msg::kStreamBlockSizeZero);
  int64_t fromPosition = from.Position();
  int64_t toPosition = to.Position();
  if (OnProgress) OnProgress(*this, 0);
  if (to.Size() != 0) to.SetSize(0);
  to.SetPosition(0);
  from.SetPosition(0);
  int64_t total = from.Size();
  void* block =
      MemoryManager().GetMem(static_cast<size_t>(std::min(std::max<int64_t>(total, 1), copyBlockSize_)));
  try {
    for (int64_t done = 0; done < total;) {
      int64_t step = std::min(copyBlockSize_, total - done);
      ExactRead(block, step, from, 10419);
      ExactWrite(block, step, to, 10420);
      done += step;
      if (OnProgress && done < total) OnProgress(*this, static_cast<int>(done * 100 / total));
    }
  } catch (...) {
    MemoryManager().FreeAndNillMem(block);
    throw;
  }
  MemoryManager().FreeAndNillMem(block);
  from.SetPosition(fromPosition);
  to.SetPosition(toPosition);
  if (OnProgress) OnProgress(*this, 100);
}

void TABSStream::LoadFromStream(TStream& source) {
  Copy(source, *this);
}

void TABSStream::SaveToStream(TStream& destination) {
  Copy(*this, destination);
}

// ---- TABSMemoryStream

TABSMemoryStream::TABSMemoryStream(void* block)
    : buffer_(block), size_(static_cast<int64_t>(MemoryManager().GetMemSize(block))) {}

TABSMemoryStream::~TABSMemoryStream() {
  try {
    MemoryManager().FreeAndNillMem(buffer_);
  } catch (...) {
    // An overrun found while freeing cannot be reported from a destructor.
  }
}

int64_t TABSMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, static_cast<uint8_t*>(buffer_) + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TABSMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t end = position_ + count;
  if (end > size_) {
    // Only a gap between the old end and the position must read as zeros; the rest is written now.
    MemoryManager().ReallocMem(buffer_, static_cast<size_t>(end), false);
    if (position_ > size_)
      std::memset(static_cast<uint8_t*>(buffer_) + size_, 0, static_cast<size_t>(position_ - size_));
    size_ = end;
  }
  std::memcpy(static_cast<uint8_t*>(buffer_) + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TABSMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = std::max<int64_t>(0, SeekTarget(offset, origin, position_, size_));
  return position_;
}

void TABSMemoryStream::SetSize(int64_t size) {
  size = std::max<int64_t>(size, 0);
  if (size == size_) return;
  if (size == 0)
    MemoryManager().FreeAndNillMem(buffer_);
  else
    MemoryManager().ReallocMem(buffer_, static_cast<size_t>(size), true);
  size_ = size;
  if (position_ > size_) position_ = size_;
}

// ---- TABSFileStream

TABSFileStream::TABSFileStream(const std::string& fileName, uint16_t mode, bool temporary,
                               platform::FileSystem* fileSystem)
    : fileName_(fileName), mode_(mode), temporary_(temporary) {
  platform::FileSystem& fs = FileSystemOrDefault(fileSystem);
  platform::OsError error;
  if (mode == kCreateMode) {
    file_ = fs.Create(fileName, &error);
    if (file_ == nullptr) throw EABSException(msg::kCannotCreateStreamFile, fileName);
    // Delete-on-close: the open handle keeps the data until the stream closes it.
    if (temporary) fs.Delete(fileName);
  } else {
    platform::AccessMode access =
        (mode & 3) == 0 ? platform::AccessMode::Read : platform::AccessMode::ReadWrite;
    platform::ShareMode share = platform::ShareMode::None;
    if ((mode & 0x70) == 0x40)
      share = platform::ShareMode::ReadWrite;
    else if ((mode & 0x70) == 0x20)
      share = platform::ShareMode::Read;
    file_ = fs.Open(fileName, access, share, &error);
    if (file_ == nullptr)
      throw EABSException(msg::kCannotOpenStreamFile, fileName, static_cast<int32_t>(mode));
  }
}

TABSFileStream::TABSFileStream(std::unique_ptr<platform::File> file, const std::string& fileName,
                               uint16_t mode, bool temporary)
    : file_(std::move(file)), fileName_(fileName), mode_(mode), temporary_(temporary) {}

int64_t TABSFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t n = file_->ReadAt(buffer, count, position_);
  if (n <= 0) return 0;
  position_ += n;
  return n;
}

int64_t TABSFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t n = file_->WriteAt(buffer, count, position_);
  if (n <= 0) return 0;
  position_ += n;
  return n;
}

int64_t TABSFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t size = origin == TSeekOrigin::End ? GetSize() : 0;
  position_ = std::max<int64_t>(0, SeekTarget(offset, origin, position_, size));
  return position_;
}

int64_t TABSFileStream::GetSize() const {
  int64_t size = file_->Size();
  if (size < 0) RaiseOsError(file_->LastError());
  return size;
}

void TABSFileStream::SetSize(int64_t size) {
  if (!file_->SetSize(std::max<int64_t>(size, 0))) RaiseOsError(file_->LastError());
  if (position_ > size) position_ = std::max<int64_t>(size, 0);
}

// ---- TABSTemporaryStream

TABSTemporaryStream::TABSTemporaryStream(bool disableTempFiles, platform::FileSystem* fileSystem)
    : fileSystem_(fileSystem),
      disableTempFiles_(disableTempFiles),
      memory_(std::make_unique<TABSMemoryStream>()) {}

TABSTemporaryStream::TABSTemporaryStream(bool disableTempFiles, std::unique_ptr<TABSMemoryStream> memory,
                                         platform::FileSystem* fileSystem)
    : fileSystem_(fileSystem), disableTempFiles_(disableTempFiles), memory_(std::move(memory)) {
  if (!memory_) throw EABSException(msg::kNilPointer);
}

TABSStream& TABSTemporaryStream::Active() {
  if (memory_ != nullptr) return *memory_;
  return *file_;
}

const TABSStream& TABSTemporaryStream::Active() const {
  if (memory_ != nullptr) return *memory_;
  return *file_;
}

void TABSTemporaryStream::MoveToFile() {
  platform::OsError error;
  std::unique_ptr<platform::File> file = FileSystemOrDefault(fileSystem_).CreateTemporary(&error);
  if (file == nullptr)
    throw EABSException(msg::kCannotCreateStreamFile.At(10108), "VIZ temporary file: " + error.message);
  std::string name = file->Path();
  auto fileStream =
      std::make_unique<TABSFileStream>(std::move(file), name, TABSFileStream::kCreateMode, true);
  int64_t position = memory_->Position();
  ExactWrite(memory_->Memory(), memory_->Size(), *fileStream, 10109);
  fileStream->SetPosition(position);
  file_ = std::move(fileStream);
  memory_.reset();
}

int64_t TABSTemporaryStream::Read(void* buffer, int64_t count) {
  return Active().Read(buffer, count);
}

int64_t TABSTemporaryStream::Write(const void* buffer, int64_t count) {
  if (memory_ != nullptr && !disableTempFiles_ && count > 0 && memory_->Size() + count > kMemoryLimit)
    MoveToFile();
  return Active().Write(buffer, count);
}

int64_t TABSTemporaryStream::Seek(int64_t offset, TSeekOrigin origin) {
  return Active().Seek(offset, origin);
}

void TABSTemporaryStream::SetSize(int64_t size) {
  Active().SetSize(size);
}

// ---- Exact transfers

// ---- TABSByteViewStream

int64_t TABSByteViewStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, bytes_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TABSByteViewStream::Seek(int64_t offset, TSeekOrigin origin) {
  position_ = std::max<int64_t>(0, SeekTarget(offset, origin, position_, size_));
  return position_;
}

void TABSByteViewStream::SetSize(int64_t /*size*/) {
  throw EABSException(msg::kCannotWriteReadOnlyStream.At(10116));
}

void ExactWrite(const void* buffer, int64_t count, TStream& stream, int32_t code) {
  int64_t position = stream.Position();
  int64_t written = count > 0 ? stream.Write(buffer, count) : 0;
  if (written != std::max<int64_t>(count, 0))
    throw EABSException(msg::kStreamCannotWrite.At(code), position, stream.Size(), count, written);
}

void ExactRead(void* buffer, int64_t count, TStream& stream, int32_t code) {
  int64_t position = stream.Position();
  int64_t read = count > 0 ? stream.Read(buffer, count) : 0;
  if (read != std::max<int64_t>(count, 0))
    throw EABSException(msg::kStreamCannotRead.At(code), position, stream.Size(), count, read);
}

void CheckedSeek(TStream& stream, int64_t position, int32_t code) {
  int64_t reached = stream.Seek(position, TSeekOrigin::Beginning);
  if (reached != position)
    throw EABSException(msg::kCannotSetStreamPosition.At(code), position, reached, stream.Size());
}

}  // namespace viz
