#include "engine/storage/disk/small_blob_page.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/file_format.h"
#include "engine/types/errors.h"

namespace viz {

using namespace file_format;

void TABSStoredBlobHeader::Encode(uint8_t* out) const {
  PutU16(out, Id);
  PutI32(out + 2, BlockCount);
  std::memcpy(out + 6, &StoredSize, 8);
  std::memcpy(out + 14, &UncompressedSize, 8);
}

void TABSStoredBlobHeader::Decode(const uint8_t* in) {
  Id = GetU16(in);
  BlockCount = GetI32(in + 2);
  std::memcpy(&StoredSize, in + 6, 8);
  std::memcpy(&UncompressedSize, in + 14, 8);
}

void TABSSmallBlobPage::Initialise() {
  PutU16(Data(), 0);
  MarkDirty();
}

int32_t TABSSmallBlobPage::Count() const {
  return GetU16(Data());
}

template <typename Visit>
bool TABSSmallBlobPage::Walk(std::string* damage, Visit&& visit) const {
  const int32_t dataSize = static_cast<int32_t>(DataSize());
  const int32_t count = Count();
  const uint8_t* data = Data();
  int32_t offset = kCountSize;
  for (int32_t index = 0; index < count; ++index) {
    Entry entry;
    if (offset + TABSStoredBlobHeader::kSize > dataSize) {
      if (damage)
        *damage =
            "value " + std::to_string(index) + " of " + std::to_string(count) + " lies past the page's end";
      return false;
    }
    // The walk needs only the id and the length; a visitor that keeps an entry decodes the rest.
    entry.Header.Id = GetU16(data + offset);
    std::memcpy(&entry.Header.StoredSize, data + offset + 6, 8);
    entry.Offset = offset;
    if (entry.Header.StoredSize < 0 ||
        entry.Header.StoredSize > dataSize - offset - TABSStoredBlobHeader::kSize) {
      if (damage)
        *damage = "value " + std::to_string(index) + " claims " + std::to_string(entry.Header.StoredSize) +
                  " bytes, more than the page holds";
      return false;
    }
    offset += entry.Bytes();
    if (!visit(entry)) break;
  }
  return true;
}

bool TABSSmallBlobPage::Entries(std::vector<Entry>& entries, std::string* damage) const {
  entries.clear();
  entries.reserve(static_cast<size_t>(Count()));
  const uint8_t* data = Data();
  return Walk(damage, [&](const Entry& entry) {
    entries.push_back(entry);
    entries.back().Header.Decode(data + entry.Offset);
    return true;
  });
}

bool TABSSmallBlobPage::FindEntry(uint16_t id, Entry& entry, bool& found, std::string* damage) const {
  found = false;
  return Walk(damage, [&](const Entry& candidate) {
    if (candidate.Header.Id != id) return true;
    entry = candidate;
    entry.Header.Decode(Data() + candidate.Offset);
    found = true;
    return false;
  });
}

int32_t TABSSmallBlobPage::UsedLength(const std::vector<Entry>& entries) {
  int32_t used = kCountSize;
  for (const Entry& entry : entries) used += entry.Bytes();
  return used;
}

const TABSSmallBlobPage::Entry* TABSSmallBlobPage::Find(const std::vector<Entry>& entries, uint16_t id) {
  for (const Entry& entry : entries)
    if (entry.Header.Id == id) return &entry;
  return nullptr;
}

uint16_t TABSSmallBlobPage::NewId(const std::vector<Entry>& entries) const {
  const int32_t count = Count();
  if (count >= kLargeValueSlot) throw EABSException(msg::kInvalidBlobFieldId);
  uint16_t id = static_cast<uint16_t>(count);
  // Among n values one of any n + 1 ids is free.
  for (size_t tries = 0; tries <= entries.size(); ++tries) {
    if (!Find(entries, id)) return id;
    id = id == kLargeValueSlot - 1 ? 0 : static_cast<uint16_t>(id + 1);
  }
  throw EABSException(msg::kInvalidBlobFieldId);
}

bool TABSSmallBlobPage::Measure(int32_t& used, bool& countIdTaken, std::string* damage,
                                bool* idsBelowCount) const {
  used = kCountSize;
  countIdTaken = false;
  bool below = true;
  const int32_t count = Count();
  const bool sound = Walk(damage, [&](const Entry& entry) {
    used += entry.Bytes();
    countIdTaken = countIdTaken || entry.Header.Id == count;
    below = below && entry.Header.Id < count;
    return true;
  });
  if (idsBelowCount) *idsBelowCount = below;
  return sound;
}

uint8_t* TABSSmallBlobPage::Append(const std::vector<Entry>& entries, const TABSStoredBlobHeader& header) {
  return AppendAt(UsedLength(entries), header);
}

uint8_t* TABSSmallBlobPage::AppendAt(int32_t used, const TABSStoredBlobHeader& header) {
  const int32_t offset = used;
  header.Encode(Data() + offset);
  PutU16(Data(), static_cast<uint16_t>(Count() + 1));
  MarkDirty();
  return Data() + offset + TABSStoredBlobHeader::kSize;
}

bool TABSSmallBlobPage::Locate(uint16_t id, Entry& entry, bool& found, int32_t& used,
                               std::string* damage) const {
  found = false;
  used = kCountSize;
  return Walk(damage, [&](const Entry& candidate) {
    used += candidate.Bytes();
    if (!found && candidate.Header.Id == id) {
      entry = candidate;
      entry.Header.Decode(Data() + candidate.Offset);
      found = true;
    }
    return true;
  });
}

int32_t TABSSmallBlobPage::Remove(const std::vector<Entry>& entries, const Entry& entry) {
  return RemoveAt(UsedLength(entries), entry);
}

int32_t TABSSmallBlobPage::RemoveAt(int32_t used, const Entry& entry) {
  const int32_t bytes = entry.Bytes();
  const int32_t after = entry.Offset + bytes;
  std::memmove(Data() + entry.Offset, Data() + after, static_cast<size_t>(used - after));
  std::memset(Data() + used - bytes, 0, static_cast<size_t>(bytes));
  PutU16(Data(), static_cast<uint16_t>(Count() - 1));
  MarkDirty();
  return bytes;
}

// ---- TABSSmallBlobDirectory

void TABSSmallBlobDirectory::Clear() {
  page_ = nullptr;
  serial_ = 0;
  ids_.clear();
  offsets_.clear();
}

bool TABSSmallBlobDirectory::FindEntry(const TABSSmallBlobPage& page, uint16_t id,
                                       TABSSmallBlobPage::Entry& entry, bool& found, std::string* damage) {
  const TABSPage* current = page.Page();
  if (current != page_ || current->ContentSerial() != serial_ ||
      static_cast<size_t>(page.Count()) != ids_.size()) {
    Clear();
    std::vector<uint16_t> ids;
    std::vector<int32_t> offsets;
    ids.reserve(static_cast<size_t>(page.Count()));
    offsets.reserve(static_cast<size_t>(page.Count()));
    bool dense = true;
    // A damaged page is not learnt: the walk up to the value alone says whether it can be read.
    if (!page.Walk(nullptr, [&](const TABSSmallBlobPage::Entry& each) {
          dense = dense && each.Header.Id == ids.size();
          ids.push_back(each.Header.Id);
          offsets.push_back(each.Offset);
          return true;
        }))
      return page.FindEntry(id, entry, found, damage);
    page_ = current;
    serial_ = current->ContentSerial();
    ids_ = std::move(ids);
    offsets_ = std::move(offsets);
    dense_ = dense;
  }
  found = false;
  size_t at = 0;
  if (dense_) {
    at = id;
  } else {
    // The first value with the id, as the walk finds it.
    at = static_cast<size_t>(std::find(ids_.begin(), ids_.end(), id) - ids_.begin());
  }
  if (at >= ids_.size()) return true;
  entry = {};
  entry.Offset = offsets_[at];
  entry.Header.Decode(page.Data() + entry.Offset);
  found = true;
  return true;
}

}  // namespace viz
