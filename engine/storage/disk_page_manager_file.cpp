// TABSDiskPageManager: creating and opening the file, the prefix, object ids, locks, growth.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/platform/random.h"
#include "engine/platform/system.h"
#include "engine/storage/allocation_log.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/free_space_manager.h"
#include "engine/storage/rollback_journal.h"
#include "engine/types/crc32.h"
#include "engine/types/errors.h"

namespace viz {

using namespace file_format;

namespace {

// Native codes of the prefix reads and writes.
constexpr int32_t kHeaderReadCode = 10464;
constexpr int32_t kHeaderWriteCode = 10462;
constexpr int32_t kHeaderCheckReadCode = 20195;
constexpr int32_t kCheckBlockReadCode = 30439;
constexpr int32_t kCheckBlockWriteCode = 30438;
constexpr int32_t kLockAreaReadCode = 30442;
constexpr int32_t kLockAreaWriteCode = 30444;
constexpr int32_t kObjectIdReadCode = 30400;
constexpr int32_t kObjectIdWriteCode = 30404;
constexpr int32_t kObjectIdInitialWriteCode = 30406;

}  // namespace

TABSDiskPageManager::TABSDiskPageManager(platform::FileSystem* fileSystem)
    : fileSystem_(fileSystem), file_(fileSystem) {
  ResetState();
}

TABSDiskPageManager::~TABSDiskPageManager() {
  try {
    CloseDatabaseFile();
  } catch (...) {
    // Closing releases the handle whatever happens; nothing is left to report to.
  }
}

platform::FileSystem& TABSDiskPageManager::Fs() const {
  return fileSystem_ ? *fileSystem_ : platform::FileSystem::Default();
}

void TABSDiskPageManager::ResetState() {
  header_ = TABSDatabaseHeader();
  checkBlock_ = TABSCheckBlock();
  lockAreaSize_ = kLockAreaSize;
  baseOffset_ = 0;
  SetPrefixOffsets(kDatabaseHeaderSize);
  headerLockCount_ = 0;
}

void TABSDiskPageManager::SetPrefixOffsets(int64_t checkBlockOffset) {
  checkBlockOffset_ = checkBlockOffset;
  lockAreaOffset_ = checkBlockOffset_ + kCheckBlockSize;
  nextObjectIdOffset_ = lockAreaOffset_ + lockAreaSize_;
  pagesOffset_ = nextObjectIdOffset_ + 4;
}

void TABSDiskPageManager::RequireOpened(int32_t code) const {
  if (!file_.IsOpened()) throw EABSException(msg::kDatabaseFileNotOpened.At(code));
}

void TABSDiskPageManager::CreateDatabaseFile(const std::string& fileName, const TABSPassword& password,
                                             uint16_t extentPageCount, uint16_t pageSize) {
  if (file_.IsOpened()) throw EABSException(msg::kDatabaseFileInUse, fileName);
  if (pageSize < kMinimumPageSize || extentPageCount == 0) throw EABSException(msg::kInvalidDatabaseFormat);
  ResetState();
  pageSize_ = pageSize;
  pageDataSize_ = static_cast<uint16_t>(pageSize - kPageHeaderSize);
  password_ = password;
  multiUser_ = false;
  exclusive_ = false;
  file_.CreateFile(fileName);
  // The side files of a database this one replaces belong to it: an old journal must never be
  // played back over the new file, nor old allocation entries returned from it.
  Fs().Delete(JournalFileName(fileName));
  Fs().Delete(AllocationLogFileName(fileName));

  header_.pageSize = pageSize;
  header_.extentPageCount = extentPageCount;
  header_.encrypted = password.password.empty() ? 0 : 255;
  if (header_.encrypted) {
    checkBlock_.cipherType = password.cipherType;
    for (unsigned char& byte : checkBlock_.checkBytes)
      byte = static_cast<unsigned char>(platform::Random(256));
    checkBlock_.crc = ComputeCRC32(checkBlock_.checkBytes, kCheckBytesCount);
    EncipherBuffer(checkBlock_.cipherType, checkBlock_.checkBytes, kCheckBytesCount, password_.password);
  }
  WriteHeader();
  WriteCheckBlock();
  WriteLockArea();
  if (!RetryLock([&] { return file_.LockByte(1, nextObjectIdOffset_); }))
    throw EABSException(msg::kNextObjectIdLocked);
  unsigned char zero[4] = {};
  try {
    file_.WriteBuffer(zero, kObjectIdInitialWriteCode, nextObjectIdOffset_, 4);
  } catch (...) {
    file_.UnlockByte(1, nextObjectIdOffset_);
    throw;
  }
  file_.UnlockByte(1, nextObjectIdOffset_);
  freeSpace_ = std::make_unique<TABSDatabaseFreeSpaceManager>(*this);
}

bool TABSDiskPageManager::ProbeReadOnly(const std::string& fileName, bool& multiUser) {
  platform::FileSystem& fs = Fs();
  if (fs.IsReadOnly(fileName)) {
    multiUser = false;
    return true;
  }
  platform::OsError error;
  std::unique_ptr<platform::File> probe =
      fs.Open(fileName, platform::AccessMode::ReadWrite,
              multiUser ? platform::ShareMode::ReadWrite : platform::ShareMode::None, &error);
  if (!probe) return true;
  // Writing the first byte back in place proves that the medium takes writes.
  unsigned char first = 0;
  int64_t got = probe->ReadAt(&first, 1, 0);
  if (got < 0) return true;
  if (got == 1 && probe->WriteAt(&first, 1, 0) != 1) return true;
  return false;
}

void TABSDiskPageManager::OpenDatabaseFile(const std::string& fileName, const TABSPassword& password,
                                           bool& multiUser, bool exclusive, bool& repairNeeded,
                                           bool& readOnly) {
  if (file_.IsOpened()) throw EABSException(msg::kDatabaseFileInUse.At(10462), fileName);
  ResetState();
  password_ = password;
  repairNeeded = false;
  if (!readOnly && Fs().Exists(fileName)) readOnly = ProbeReadOnly(fileName, multiUser);

  uint8_t access = TABSDatabaseFile::kAccessReadWrite;
  uint8_t share = TABSDatabaseFile::kShareReadWrite;
  if (readOnly) {
    access = TABSDatabaseFile::kAccessRead;
  } else if (exclusive) {
    share = TABSDatabaseFile::kShareNone;
    multiUser = false;
  }
  multiUser_ = multiUser;
  exclusive_ = exclusive;
  file_.OpenFile(fileName, access, share);

  {
    TABSHeaderLockHolder lock(*this, 20230);
    int64_t base = 0;
    file_.FindSignature(&base);
    baseOffset_ = base;
    ReadHeader();
  }
  if (std::memcmp(header_.signature, kDatabaseSignature, kSignatureLength) != 0) {
    throw EABSException(msg::kInvalidFileFormat, header_.SignatureText(), kDatabaseSignature);
  }
  // A page must hold its header, an internal file's header and a record, and an extent at least
  // one page; anything else would make every page computation meaningless.
  if (header_.pageSize < kMinimumPageSize || header_.extentPageCount == 0)
    throw EABSException(msg::kInvalidDatabaseFormat);
  pageSize_ = header_.pageSize;
  pageDataSize_ = static_cast<uint16_t>(pageSize_ - kPageHeaderSize);

  SetPrefixOffsets(baseOffset_ + header_.headerSize);
  ReadCheckBlock();
  if (IsEncrypted()) {
    password_.cipherType = checkBlock_.cipherType;
    unsigned char plain[kCheckBytesCount];
    std::memcpy(plain, checkBlock_.checkBytes, kCheckBytesCount);
    DecipherBuffer(password_.cipherType, plain, kCheckBytesCount, password_.password);
    if (ComputeCRC32(plain, kCheckBytesCount) != checkBlock_.crc)
      throw EABSException(msg::kIncorrectPassword);
  }
  if (checkBlockOffset_ + checkBlock_.blockSize != lockAreaOffset_)
    throw EABSException(msg::kInvalidDatabaseFormat);
  ReadLockAreaSize();
  SetPrefixOffsets(checkBlockOffset_);
  freeSpace_ = std::make_unique<TABSDatabaseFreeSpaceManager>(*this);
  // Pages cached from an earlier opening of this manager may be out of date.
  DropUnusedCachedPages();

  // Only a file proven to be this database, opened with the right password, is changed: a commit
  // cut short left its journal (restore the file before anything reads it), and connections that
  // ended without committing left pages in the allocation log.
  TABSHeaderLockHolder lock(*this, 20230);
  ReadHeader();
  const bool journalLeft = PlayBackJournal();
  ReleaseAbandonedAllocations();
  repairNeeded = journalLeft || header_.state != kStateConsistent || header_.version < kMinimumVersion;
}

void TABSDiskPageManager::CloseDatabaseFile() {
  // The slots of the allocation log are released with it; entries of pages that were never
  // committed are returned by whoever finds them next.
  allocationLog_.reset();
  freeSpace_.reset();
  headerLockCount_ = 0;
  if (file_.IsOpened()) file_.CloseFile();
}

void TABSDiskPageManager::ReadHeader() {
  RequireOpened(10459);
  unsigned char bytes[kDatabaseHeaderSize];
  file_.ReadBuffer(bytes, kHeaderReadCode, baseOffset_, kDatabaseHeaderSize);
  header_.Decode(bytes);
}

int32_t TABSDiskPageManager::ReadHeaderAndFirstPages(uint8_t* pages, int32_t pageCount) {
  RequireOpened(10459);
  const int64_t prefix = pagesOffset_ - baseOffset_;
  std::vector<uint8_t> bytes(static_cast<size_t>(prefix + int64_t{pageCount} * pageSize_));
  int64_t got = 0;
  try {
    got = file_.ReadBuffer(bytes.data(), kHeaderReadCode, baseOffset_, static_cast<int64_t>(bytes.size()));
  } catch (const EABSException&) {
    ReadHeader();
    return 0;
  }
  header_.Decode(bytes.data());
  const auto whole = static_cast<int32_t>(std::clamp<int64_t>((got - prefix) / pageSize_, 0, pageCount));
  std::memcpy(pages, bytes.data() + prefix, static_cast<size_t>(whole) * pageSize_);
  return whole;
}

void TABSDiskPageManager::WriteHeader() {
  RequireOpened(10460);
  if (TABSDatabaseFile::TransientOpenMode()) {
    unsigned char onDisk[kDatabaseHeaderSize];
    file_.ReadBuffer(onDisk, kHeaderCheckReadCode, baseOffset_, kDatabaseHeaderSize);
    TABSDatabaseHeader stored;
    stored.Decode(onDisk);
    if (stored.changeCounter != header_.changeCounter && stored.state == kStateCommitting)
      throw EABSException(msg::kModifiedByExternalApplication);
  }
  unsigned char bytes[kDatabaseHeaderSize];
  header_.Encode(bytes);
  file_.WriteBuffer(bytes, kHeaderWriteCode, baseOffset_, kDatabaseHeaderSize);
}

void TABSDiskPageManager::ReadCheckBlock() {
  RequireOpened(30436);
  unsigned char bytes[kCheckBlockSize];
  file_.ReadBuffer(bytes, kCheckBlockReadCode, checkBlockOffset_, kCheckBlockSize);
  checkBlock_.Decode(bytes);
}

void TABSDiskPageManager::WriteCheckBlock() {
  RequireOpened(30437);
  unsigned char bytes[kCheckBlockSize];
  checkBlock_.Encode(bytes);
  file_.WriteBuffer(bytes, kCheckBlockWriteCode, checkBlockOffset_, kCheckBlockSize);
}

void TABSDiskPageManager::ReadLockAreaSize() {
  RequireOpened(30441);
  unsigned char bytes[2];
  file_.ReadBuffer(bytes, kLockAreaReadCode, lockAreaOffset_, 2);
  lockAreaSize_ = GetU16(bytes);
}

void TABSDiskPageManager::WriteLockArea() {
  RequireOpened(30443);
  unsigned char bytes[kLockAreaSize] = {};
  PutU16(bytes, kLockAreaSize);
  file_.WriteBuffer(bytes, kLockAreaWriteCode, lockAreaOffset_, kLockAreaSize);
}

int32_t TABSDiskPageManager::GetNextObjectID() {
  RequireOpened(30399);
  if (!RetryLock([&] { return file_.LockByte(1, nextObjectIdOffset_); }))
    throw EABSException(msg::kNextObjectIdLocked);
  struct Unlock {
    TABSDatabaseFile& file;
    int64_t position;
    ~Unlock() { file.UnlockByte(1, position); }
  } unlock{file_, nextObjectIdOffset_};
  unsigned char bytes[4];
  file_.ReadBuffer(bytes, kObjectIdReadCode, nextObjectIdOffset_, 4);
  int32_t id = static_cast<int32_t>(static_cast<uint32_t>(GetI32(bytes)) + 1u);
  if (IsReadOnly()) {
    // Nothing can be stored; a random offset keeps ids of read-only sessions apart.
    return static_cast<int32_t>(static_cast<uint32_t>(id) + platform::Random(10000));
  }
  PutI32(bytes, id);
  file_.WriteBuffer(bytes, kObjectIdWriteCode, nextObjectIdOffset_, 4);
  return id;
}

int32_t TABSDiskPageManager::GetTotalPageCount() {
  TABSHeaderLockHolder lock(*this, 20236, false);
  ReadHeader();
  return header_.totalPageCount;
}

bool TABSDiskPageManager::LockHeader() {
  if (headerLockCount_ > 0) {
    ++headerLockCount_;
    return true;
  }
  int64_t position = lockAreaOffset_ + kHeaderLockInArea;
  if (!file_.LockByte(1, position)) return false;
  headerLockPosition_ = position;
  headerLockCount_ = 1;
  return true;
}

bool TABSDiskPageManager::UnlockHeader() {
  if (headerLockCount_ == 0) return false;
  if (--headerLockCount_ > 0) return true;
  return file_.UnlockByte(1, headerLockPosition_);
}

bool TABSDiskPageManager::LockTableCatalog() {
  return file_.LockByte(1, lockAreaOffset_ + kTableCatalogLockInArea);
}

bool TABSDiskPageManager::UnlockTableCatalog() {
  return file_.UnlockByte(1, lockAreaOffset_ + kTableCatalogLockInArea);
}

bool TABSDiskPageManager::RetryLock(const std::function<bool()>& attempt) const {
  for (int tries = 0; tries < lockAttempts_; ++tries) {
    if (attempt()) return true;
    if (tries + 1 < lockAttempts_) platform::SleepMs(lockPauseMs_);
  }
  return false;
}

void TABSDiskPageManager::SetLockRetryPolicy(int attempts, int pauseMs) {
  lockAttempts_ = std::max(attempts, 1);
  lockPauseMs_ = std::max(pauseMs, 0);
}

void TABSDiskPageManager::ExtendFile(int32_t pageCount) {
  int64_t newTotal = static_cast<int64_t>(header_.totalPageCount) + pageCount;
  file_.SetSize(pagesOffset_ + newTotal * pageSize_);
  header_.totalPageCount = static_cast<int32_t>(newTotal);
}

void TABSDiskPageManager::TruncateFile(int32_t pageCount) {
  if (pageCount <= 0 || pageCount > header_.totalPageCount) return;
  const int32_t oldTotal = header_.totalPageCount;
  const int64_t newTotal = oldTotal - pageCount;
  // The header first: a process killed before the cut leaves unused bytes after the last page
  // (the next growth sets the size anew), never a header that counts pages the file lacks.
  header_.totalPageCount = static_cast<int32_t>(newTotal);
  try {
    WriteHeader();
  } catch (...) {
    header_.totalPageCount = oldTotal;
    throw;
  }
  file_.SetSize(pagesOffset_ + newTotal * pageSize_);
}

void TABSDiskPageManager::TruncateTrailingFreePages() {
  int32_t count = header_.totalPageCount - 1 - header_.lastUsedPageNo;
  if (count > 0) TruncateFile(count);
}

TABSHeaderLockHolder::TABSHeaderLockHolder(TABSDiskPageManager& manager, int32_t failureCode, bool retry)
    : manager_(manager) {
  bool locked = retry ? manager_.RetryLock([&] { return manager_.LockHeader(); }) : manager_.LockHeader();
  if (!locked) throw EABSException(msg::kDatabaseIsLocked.At(failureCode));
}

TABSHeaderLockHolder::~TABSHeaderLockHolder() {
  manager_.UnlockHeader();
}

}  // namespace viz
