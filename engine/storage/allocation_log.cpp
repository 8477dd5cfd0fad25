#include "engine/storage/allocation_log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "engine/storage/file_format.h"
#include "engine/types/errors.h"

namespace viz {

using file_format::GetI32;
using file_format::GetU32;
using file_format::PutI32;
using file_format::PutU32;

namespace {

constexpr char kMagic[8] = {'V', 'I', 'Z', 'A', 'L', 'L', 'O', 'C'};
constexpr uint32_t kVersion = 1;
constexpr int64_t kHeaderBytes = 16;
constexpr const char* kNotALogText = "The file is not an allocation log";

int64_t SlotOffset(int32_t slot) {
  return TABSAllocationLog::kBlockSize + static_cast<int64_t>(slot) * TABSAllocationLog::kBlockSize;
}

// Slots the file reaches into (the last one may be cut short).
int32_t SlotCount(int64_t fileSize) {
  const int64_t block = TABSAllocationLog::kBlockSize;
  if (fileSize <= block) return 0;
  return static_cast<int32_t>((fileSize - block + block - 1) / block);
}

bool HasValidHeader(const std::vector<uint8_t>& data) {
  return static_cast<int64_t>(data.size()) >= kHeaderBytes && std::memcmp(data.data(), kMagic, 8) == 0 &&
         GetU32(data.data() + 8) == kVersion &&
         GetU32(data.data() + 12) == static_cast<uint32_t>(TABSAllocationLog::kEntriesPerSlot);
}

// A file too short to hold a header was cut short while it was being made.
bool IsUnfinished(const std::vector<uint8_t>& data) {
  return static_cast<int64_t>(data.size()) < kHeaderBytes &&
         std::all_of(data.begin(), data.end(), [](uint8_t byte) { return byte == 0; });
}

// Reads the whole file into `data` (its storage is kept between calls).
void ReadWhole(platform::File& file, const std::string& path, std::vector<uint8_t>& data) {
  const int64_t size = file.Size();
  data.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
  if (size < 0 || (size > 0 && file.ReadAt(data.data(), size, 0) != size)) {
    const platform::OsError& error = file.LastError();
    throw EABSException(msg::kAllocationLogRead, path, error.code, error.message);
  }
}

// The slots with entries, each with its owner as the lock of its byte tells.
std::vector<TABSAllocationLogSlot> ParseSlots(const std::vector<uint8_t>& data, platform::File& file,
                                              const std::function<bool(int32_t)>& isMine) {
  std::vector<TABSAllocationLogSlot> slots;
  const auto size = static_cast<int64_t>(data.size());
  for (int32_t slot = 0; slot < SlotCount(size); ++slot) {
    TABSAllocationLogSlot found;
    found.slot = slot;
    const int64_t end = std::min(SlotOffset(slot) + TABSAllocationLog::kBlockSize, size);
    for (int64_t at = SlotOffset(slot); at + 4 <= end; at += 4) {
      const int32_t pageNo = GetI32(data.data() + at);
      if (pageNo != 0) found.pages.push_back(pageNo);
    }
    if (found.pages.empty()) continue;
    if (isMine(slot)) {
      found.owner = TABSSlotOwner::Mine;
    } else {
      const int64_t lockAt = TABSAllocationLog::kSlotLockBase + slot;
      switch (file.LockBytes(lockAt, 1)) {
        case platform::LockResult::Locked:
          file.UnlockBytes(lockAt, 1);
          found.owner = TABSSlotOwner::Gone;
          break;
        case platform::LockResult::Refused:
          found.owner = TABSSlotOwner::Alive;
          break;
        case platform::LockResult::Unsupported:
          found.owner = TABSSlotOwner::Unknown;
          break;
      }
    }
    slots.push_back(std::move(found));
  }
  return slots;
}

}  // namespace

std::string AllocationLogFileName(const std::string& databaseFileName) {
  return databaseFileName + "-alloc";
}

TABSAllocationLogContents ReadAllocationLog(platform::FileSystem& fileSystem, const std::string& path) {
  TABSAllocationLogContents contents;
  if (!fileSystem.Exists(path)) return contents;
  platform::OsError error;
  std::unique_ptr<platform::File> file =
      fileSystem.Open(path, platform::AccessMode::Read, platform::ShareMode::ReadWrite, &error);
  if (!file) throw EABSException(msg::kAllocationLogOpen, path, error.code, error.message);
  std::vector<uint8_t> data;
  ReadWhole(*file, path, data);
  if (!HasValidHeader(data)) {
    contents.state = IsUnfinished(data) ? TABSAllocationLogContents::State::Valid
                                        : TABSAllocationLogContents::State::Foreign;
    return contents;
  }
  contents.state = TABSAllocationLogContents::State::Valid;
  contents.slots = ParseSlots(data, *file, [](int32_t) { return false; });
  return contents;
}

TABSAllocationLog::TABSAllocationLog(platform::FileSystem& fileSystem, std::string path)
    : fileSystem_(fileSystem), path_(std::move(path)) {}

TABSAllocationLog::~TABSAllocationLog() = default;

void TABSAllocationLog::RaiseOpen(int code, const std::string& text) const {
  throw EABSException(msg::kAllocationLogOpen, path_, code, text);
}

bool TABSAllocationLog::Open(bool create) {
  if (file_) return true;
  platform::OsError error;
  if (!fileSystem_.Exists(path_)) {
    if (!create) return false;
    // Made alone first (creating refuses sharing), then opened like every other user opens it.
    std::unique_ptr<platform::File> made = fileSystem_.Create(path_, &error);
    if (!made) RaiseOpen(error.code, error.message);
  }
  std::unique_ptr<platform::File> file =
      fileSystem_.Open(path_, platform::AccessMode::ReadWrite, platform::ShareMode::ReadWrite, &error);
  if (!file) RaiseOpen(error.code, error.message);
  std::vector<uint8_t> head(kHeaderBytes);
  const int64_t got = file->ReadAt(head.data(), kHeaderBytes, 0);
  if (got < 0) {
    const platform::OsError& readError = file->LastError();
    throw EABSException(msg::kAllocationLogRead, path_, readError.code, readError.message);
  }
  head.resize(static_cast<size_t>(got));
  if (!HasValidHeader(head)) {
    if (!IsUnfinished(head)) {
      // Somebody else's file: it is neither read nor changed.
      if (!create) return false;
      RaiseOpen(EINVAL, kNotALogText);
    }
    uint8_t header[kHeaderBytes] = {};
    std::memcpy(header, kMagic, 8);
    PutU32(header + 8, kVersion);
    PutU32(header + 12, static_cast<uint32_t>(kEntriesPerSlot));
    if (file->WriteAt(header, kHeaderBytes, 0) != kHeaderBytes) {
      const platform::OsError& writeError = file->LastError();
      throw EABSException(msg::kAllocationLogWrite, path_, writeError.code, writeError.message);
    }
  }
  file_ = std::move(file);
  return true;
}

bool TABSAllocationLog::IsMine(int32_t slot) const {
  return std::any_of(own_.begin(), own_.end(), [slot](const OwnSlot& own) { return own.slot == slot; }) ||
         std::find(adopted_.begin(), adopted_.end(), slot) != adopted_.end();
}

int TABSAllocationLog::ClaimSlot() {
  const int64_t size = file_->Size();
  if (size < 0) {
    const platform::OsError& error = file_->LastError();
    throw EABSException(msg::kAllocationLogRead, path_, error.code, error.message);
  }
  const int32_t existing = SlotCount(size);
  // Past the existing slots every slot is empty; one that is locked there was just claimed by a
  // connection whose first record failed.
  for (int32_t slot = 0; slot < existing + kEntriesPerSlot; ++slot) {
    if (IsMine(slot)) continue;
    const int64_t lockAt = kSlotLockBase + slot;
    const platform::LockResult result = file_->LockBytes(lockAt, 1);
    if (result == platform::LockResult::Unsupported) return -1;
    if (result == platform::LockResult::Refused) continue;
    if (slot < existing) {
      // A slot left with entries by a connection that is gone waits for the recovery that
      // returns its pages; it is not reused before.
      std::vector<uint8_t> block(static_cast<size_t>(kBlockSize), 0);
      const int64_t got = file_->ReadAt(block.data(), kBlockSize, SlotOffset(slot));
      if (got < 0) {
        file_->UnlockBytes(lockAt, 1);
        const platform::OsError& error = file_->LastError();
        throw EABSException(msg::kAllocationLogRead, path_, error.code, error.message);
      }
      if (std::any_of(block.begin(), block.end(), [](uint8_t byte) { return byte != 0; })) {
        file_->UnlockBytes(lockAt, 1);
        continue;
      }
    }
    OwnSlot own;
    own.slot = slot;
    own_.push_back(std::move(own));
    return static_cast<int>(own_.size() - 1);
  }
  return -1;
}

void TABSAllocationLog::WriteEntries(int32_t slot, int32_t first, const int32_t* values, int32_t count,
                                     bool raise) {
  std::vector<uint8_t> bytes(static_cast<size_t>(count) * 4);
  for (int32_t index = 0; index < count; ++index) PutI32(bytes.data() + 4 * index, values[index]);
  const int64_t length = static_cast<int64_t>(bytes.size());
  if (file_->WriteAt(bytes.data(), length, SlotOffset(slot) + 4 * static_cast<int64_t>(first)) != length &&
      raise) {
    const platform::OsError& error = file_->LastError();
    throw EABSException(msg::kAllocationLogWrite, path_, error.code, error.message);
  }
}

void TABSAllocationLog::Record(int32_t pageNo) {
  Reserve(pageNo);
  WriteReserved();
}

void TABSAllocationLog::Reserve(int32_t pageNo) {
  if (!usable_ || Contains(pageNo)) return;
  Open(true);
  size_t ownIndex = 0;
  while (ownIndex < own_.size() && own_[ownIndex].used >= kEntriesPerSlot) ++ownIndex;
  if (ownIndex == own_.size()) {
    const int claimed = ClaimSlot();
    if (claimed < 0) {
      // Without locks nobody could ever tell a live slot from an abandoned one.
      usable_ = false;
      return;
    }
    ownIndex = static_cast<size_t>(claimed);
  }
  OwnSlot& own = own_[ownIndex];
  int32_t index = own.nextFree;
  while (own.entries[static_cast<size_t>(index)] != 0) ++index;
  own.entries[static_cast<size_t>(index)] = pageNo;
  ++own.used;
  own.nextFree = index + 1;
  where_[pageNo] = Place{ownIndex, index};
  reserved_.push_back(pageNo);
}

void TABSAllocationLog::WriteReserved() {
  if (reserved_.empty()) return;
  try {
    // Entries reserved one after another mostly sit side by side in one slot.
    for (size_t start = 0; start < reserved_.size();) {
      const Place first = where_.at(reserved_[start]);
      size_t end = start + 1;
      while (end < reserved_.size()) {
        const Place next = where_.at(reserved_[end]);
        if (next.own != first.own || next.index != first.index + static_cast<int32_t>(end - start)) break;
        ++end;
      }
      WriteEntries(own_[first.own].slot, first.index, reserved_.data() + start,
                   static_cast<int32_t>(end - start), true);
      start = end;
    }
  } catch (...) {
    for (int32_t pageNo : reserved_) {
      auto found = where_.find(pageNo);
      OwnSlot& own = own_[found->second.own];
      own.entries[static_cast<size_t>(found->second.index)] = 0;
      --own.used;
      own.nextFree = std::min(own.nextFree, found->second.index);
      where_.erase(found);
    }
    reserved_.clear();
    throw;
  }
  reserved_.clear();
}

void TABSAllocationLog::Forget(const std::vector<int32_t>& pageNos) {
  std::vector<std::vector<int32_t>> cleared(own_.size());
  for (int32_t pageNo : pageNos) {
    auto found = where_.find(pageNo);
    if (found == where_.end()) continue;
    if (!reserved_.empty())
      reserved_.erase(std::remove(reserved_.begin(), reserved_.end(), pageNo), reserved_.end());
    const Place place = found->second;
    where_.erase(found);
    OwnSlot& own = own_[place.own];
    own.entries[static_cast<size_t>(place.index)] = 0;
    --own.used;
    own.nextFree = std::min(own.nextFree, place.index);
    cleared[place.own].push_back(place.index);
  }
  // Pages recorded one after another sit side by side: one write per run of entries.
  const std::vector<int32_t> zeros(kEntriesPerSlot, 0);
  for (size_t ownIndex = 0; ownIndex < cleared.size(); ++ownIndex) {
    std::vector<int32_t>& indexes = cleared[ownIndex];
    std::sort(indexes.begin(), indexes.end());
    for (size_t start = 0; start < indexes.size();) {
      size_t end = start + 1;
      while (end < indexes.size() && indexes[end] == indexes[end - 1] + 1) ++end;
      WriteEntries(own_[ownIndex].slot, indexes[start], zeros.data(), static_cast<int32_t>(end - start),
                   false);
      start = end;
    }
  }
}

TABSAllocationLogContents TABSAllocationLog::Read() {
  TABSAllocationLogContents contents;
  if (!file_) return contents;
  contents.state = TABSAllocationLogContents::State::Valid;
  ReadWhole(*file_, path_, readBuffer_);
  contents.slots = ParseSlots(readBuffer_, *file_, [this](int32_t slot) { return IsMine(slot); });
  return contents;
}

bool TABSAllocationLog::Adopt(int32_t slot) {
  if (!file_ || IsMine(slot)) return false;
  if (file_->LockBytes(kSlotLockBase + slot, 1) != platform::LockResult::Locked) return false;
  adopted_.push_back(slot);
  return true;
}

void TABSAllocationLog::ReleaseAdopted(int32_t slot) {
  auto found = std::find(adopted_.begin(), adopted_.end(), slot);
  if (found == adopted_.end()) return;
  const int64_t size = file_->Size();
  const int64_t count = std::min(kBlockSize, std::max<int64_t>(size - SlotOffset(slot), 0)) / 4;
  const std::vector<int32_t> zeros(static_cast<size_t>(count), 0);
  if (count > 0) WriteEntries(slot, 0, zeros.data(), static_cast<int32_t>(count), true);
  file_->UnlockBytes(kSlotLockBase + slot, 1);
  adopted_.erase(found);
}

}  // namespace viz
