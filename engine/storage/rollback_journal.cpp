#include "engine/storage/rollback_journal.h"

#include <zlib.h>

#include <cstring>
#include <mutex>
#include <random>

#include "engine/platform/system.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

constexpr char kMagic[8] = {'V', 'I', 'Z', 'J', 'O', 'U', 'R', 'N'};
constexpr char kDoneMagic[8] = {'V', 'I', 'Z', 'J', 'D', 'O', 'N', 'E'};
constexpr uint32_t kVersion = 1;
constexpr int kHeaderSize = 48;
constexpr int kRecordHeaderSize = 20;
constexpr int kCommitSize = 24;
// Records are gathered up to this size before they are written.
constexpr size_t kWriteChunk = 256 * 1024;

uint32_t Crc(uint32_t crc, const uint8_t* bytes, size_t count) {
  while (count > 0) {
    auto part = static_cast<uInt>(std::min<size_t>(count, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, bytes, part));
    bytes += part;
    count -= part;
  }
  return crc;
}

void PutBytes(std::vector<uint8_t>& out, const void* bytes, size_t count) {
  if (count == 0) return;
  size_t at = out.size();
  out.resize(at + count);
  std::memcpy(out.data() + at, bytes, count);
}

template <class T>
void Put(std::vector<uint8_t>& out, T value) {
  PutBytes(out, &value, sizeof(T));
}

template <class T>
T Get(const uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof(T));
  return value;
}

// A number for each journal, drawn apart from the engine's seeded generator, whose sequence other
// code follows. The system's random source is asked once per process (it costs a file open on some
// systems); each journal takes the next number of a generator seeded from it and from the clock.
uint32_t JournalNonce() {
  static std::mutex mutex;
  static std::mt19937 generator(std::random_device{}() ^ static_cast<uint32_t>(platform::MonotonicMs()));
  std::lock_guard<std::mutex> lock(mutex);
  return static_cast<uint32_t>(generator());
}

}  // namespace

std::string JournalFileName(const std::string& databaseFileName) {
  return databaseFileName + "-journal";
}

TABSJournalWriter::TABSJournalWriter(platform::FileSystem& fileSystem, std::string path)
    : fileSystem_(fileSystem), path_(std::move(path)) {}

TABSJournalWriter::~TABSJournalWriter() = default;

void TABSJournalWriter::RaiseWrite(const platform::OsError& error) const {
  throw EABSException(msg::kJournalWrite, path_, error.code, error.message);
}

void TABSJournalWriter::Begin(uint16_t pageSize, int64_t baseOffset, int32_t recordCount, int64_t fileSize) {
  platform::OsError error;
  file_ = fileSystem_.Create(path_, &error);
  if (!file_) throw EABSException(msg::kJournalCreate, path_, error.code, error.message);
  written_ = 0;
  records_ = 0;
  expectedRecords_ = recordCount;
  nonce_ = JournalNonce();
  pending_.clear();
  PutBytes(pending_, kMagic, 8);
  Put<uint32_t>(pending_, kVersion);
  Put<uint16_t>(pending_, pageSize);
  Put<uint16_t>(pending_, 0);
  Put<int64_t>(pending_, baseOffset);
  Put<int32_t>(pending_, recordCount);
  Put<uint32_t>(pending_, nonce_);
  Put<int64_t>(pending_, fileSize);
  Put<uint32_t>(pending_, 0);
  Put<uint32_t>(pending_, Crc(0, pending_.data(), pending_.size()));
  runningCrc_ = Crc(0, pending_.data(), pending_.size());
  combineLength_ = 0;
  combineOp_ = 0;
}

void TABSJournalWriter::Append(int32_t pageNo, int64_t offset, const void* bytes, uint32_t count) {
  if (!file_ || records_ >= expectedRecords_) throw EABSException(msg::kNilPointer);
  Put<int32_t>(pending_, pageNo);
  Put<int64_t>(pending_, offset);
  Put<uint32_t>(pending_, count);
  const uint32_t bytesCrc = count == 0 ? 0 : Crc(0, static_cast<const uint8_t*>(bytes), count);
  Put<uint32_t>(pending_, bytesCrc);
  // The running checksum takes the record's header, then the bytes' checksum is combined into it
  // instead of running over the bytes a second time. The operator for a length is kept: most
  // records are whole pages of one length.
  runningCrc_ = Crc(runningCrc_, pending_.data() + pending_.size() - kRecordHeaderSize, kRecordHeaderSize);
  if (count > 0) {
    if (count != combineLength_) {
      combineOp_ = crc32_combine_gen(static_cast<z_off_t>(count));
      combineLength_ = count;
    }
    runningCrc_ = static_cast<uint32_t>(crc32_combine_op(runningCrc_, bytesCrc, combineOp_));
  }
  PutBytes(pending_, bytes, count);
  ++records_;
  if (pending_.size() >= kWriteChunk) WritePending();
}

void TABSJournalWriter::WritePending() {
  if (pending_.empty()) return;
  int64_t count = static_cast<int64_t>(pending_.size());
  if (file_->WriteAt(pending_.data(), count, written_) != count) RaiseWrite(file_->LastError());
  written_ += count;
  pending_.clear();
}

void TABSJournalWriter::Seal(bool flush) {
  if (!file_ || records_ != expectedRecords_) throw EABSException(msg::kNilPointer);
  // The records not yet written and the commit record go out in one write. The running checksum
  // already covers every byte before the commit record.
  const size_t commitAt = pending_.size();
  PutBytes(pending_, kDoneMagic, 8);
  Put<int32_t>(pending_, records_);
  Put<uint32_t>(pending_, nonce_);
  Put<uint32_t>(pending_, runningCrc_);
  Put<uint32_t>(pending_, Crc(0, pending_.data() + commitAt, kCommitSize - 4));
  const auto count = static_cast<int64_t>(pending_.size());
  if (file_->WriteAt(pending_.data(), count, written_) != count) RaiseWrite(file_->LastError());
  written_ += count;
  pending_.clear();
  // One sync suffices: the commit record's checksum covers every byte before it, so a journal whose
  // commit record reached the medium without some earlier bytes fails its check and is discarded.
  if (flush && !file_->Flush()) {
    const platform::OsError& error = file_->LastError();
    throw EABSException(msg::kJournalFlush, path_, error.code, error.message);
  }
  // A journal whose content is on the medium but whose name is not would be lost with a power
  // loss, after the database was already overwritten.
  if (flush) SyncJournalDirectory(fileSystem_, path_);
}

void TABSJournalWriter::Remove() {
  file_.reset();
  if (!fileSystem_.Delete(path_) && fileSystem_.Exists(path_))
    throw EABSException(msg::kJournalDelete, path_);
}

void SyncJournalDirectory(platform::FileSystem& fileSystem, const std::string& journalPath) {
  const size_t slash = journalPath.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "."
                                : slash == 0               ? "/"
                                                           : journalPath.substr(0, slash);
  if (!fileSystem.SyncDirectory(directory)) {
    const platform::OsError error = fileSystem.LastError();
    throw EABSException(msg::kJournalFlush, journalPath, error.code, error.message);
  }
}

TABSJournalContents ReadJournal(platform::FileSystem& fileSystem, const std::string& path) {
  TABSJournalContents contents;
  if (!fileSystem.Exists(path)) return contents;
  platform::OsError error;
  std::unique_ptr<platform::File> file =
      fileSystem.Open(path, platform::AccessMode::Read, platform::ShareMode::ReadWrite, &error);
  if (!file) throw EABSException(msg::kJournalOpen, path, error.code, error.message);
  int64_t size = file->Size();
  if (size < 0) {
    const platform::OsError& sizeError = file->LastError();
    throw EABSException(msg::kJournalRead, path, sizeError.code, sizeError.message);
  }
  std::vector<uint8_t> data(static_cast<size_t>(size));
  int64_t got = size == 0 ? 0 : file->ReadAt(data.data(), size, 0);
  if (got != size) {
    const platform::OsError& readError = file->LastError();
    throw EABSException(msg::kJournalRead, path, readError.code, readError.message);
  }

  return ParseJournal(data);
}

TABSJournalContents ParseJournal(const std::vector<uint8_t>& data) {
  TABSJournalContents contents;
  contents.state = TABSJournalState::Incomplete;
  const uint8_t* bytes = data.data();
  const auto size = static_cast<int64_t>(data.size());
  if (size < kHeaderSize || std::memcmp(bytes, kMagic, 8) != 0 || Get<uint32_t>(bytes + 8) != kVersion ||
      Get<uint32_t>(bytes + 44) != Crc(0, bytes, 44)) {
    return contents;
  }
  contents.pageSize = Get<uint16_t>(bytes + 12);
  contents.baseOffset = Get<int64_t>(bytes + 16);
  int32_t recordCount = Get<int32_t>(bytes + 24);
  uint32_t nonce = Get<uint32_t>(bytes + 28);
  contents.fileSize = Get<int64_t>(bytes + 32);
  if (recordCount < 0) return contents;

  int64_t at = kHeaderSize;
  std::vector<TABSJournalRecord> records;
  for (int32_t index = 0; index < recordCount; ++index) {
    if (size - at < kRecordHeaderSize) return contents;
    TABSJournalRecord record;
    record.pageNo = Get<int32_t>(bytes + at);
    record.offset = Get<int64_t>(bytes + at + 4);
    uint32_t length = Get<uint32_t>(bytes + at + 12);
    uint32_t crc = Get<uint32_t>(bytes + at + 16);
    at += kRecordHeaderSize;
    if (size - at < static_cast<int64_t>(length)) return contents;
    if (record.offset < 0 && !(record.IsRelease() && length == 0)) return contents;
    if ((length == 0 ? 0 : Crc(0, bytes + at, length)) != crc) return contents;
    record.bytes.assign(bytes + at, bytes + at + length);
    at += length;
    records.push_back(std::move(record));
  }
  if (size - at < kCommitSize) return contents;
  const uint8_t* commit = bytes + at;
  if (std::memcmp(commit, kDoneMagic, 8) != 0 || Get<int32_t>(commit + 8) != recordCount ||
      Get<uint32_t>(commit + 12) != nonce || Get<uint32_t>(commit + 16) != Crc(0, bytes, at) ||
      Get<uint32_t>(commit + 20) != Crc(0, commit, 20)) {
    return contents;
  }
  contents.state = TABSJournalState::Complete;
  contents.records = std::move(records);
  return contents;
}

TABSJournalRecovery RecoverJournal(platform::FileSystem& fileSystem, const std::string& path, bool writable,
                                   uint16_t pageSize, int64_t baseOffset, const TABSJournalRestore& restore,
                                   const std::function<void()>& afterRestore,
                                   const std::function<bool(const TABSJournalContents&)>& accept,
                                   const std::function<void(int64_t)>& resize) {
  TABSJournalContents contents = ReadJournal(fileSystem, path);
  switch (contents.state) {
    case TABSJournalState::None:
      return TABSJournalRecovery::NoJournal;
    case TABSJournalState::Incomplete:
      if (writable && !fileSystem.Delete(path) && fileSystem.Exists(path)) {
        throw EABSException(msg::kJournalDelete, path);
      }
      return TABSJournalRecovery::Discarded;
    case TABSJournalState::Complete:
      break;
  }
  if (!writable) return TABSJournalRecovery::NotPlayedBack;
  if (contents.pageSize != pageSize || contents.baseOffset != baseOffset || (accept && !accept(contents))) {
    // Written for another state of the file (a copy put back, or a later commit already done): it
    // must never be applied to this one.
    if (!fileSystem.Delete(path) && fileSystem.Exists(path)) throw EABSException(msg::kJournalDelete, path);
    return TABSJournalRecovery::Stale;
  }
  if (contents.fileSize >= 0 && resize) resize(contents.fileSize);
  for (const TABSJournalRecord& record : contents.records) restore(record);
  // The restored bytes must be on the medium before the journal that could restore them again goes.
  if (afterRestore) afterRestore();
  if (!fileSystem.Delete(path) && fileSystem.Exists(path)) throw EABSException(msg::kJournalDelete, path);
  return TABSJournalRecovery::PlayedBack;
}

}  // namespace viz
