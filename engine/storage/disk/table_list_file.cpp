#include "engine/storage/disk/table_list_file.h"

#include <algorithm>
#include <cstring>

#include "engine/storage/VIZPage.h"
#include "engine/types/errors.h"

namespace viz {

using namespace file_format;

namespace {

constexpr int32_t kDeleteMissingCode = 30405;
constexpr int32_t kRenameMissingCode = 30397;

std::string_view CutName(std::string_view name) {
  return name.substr(0, std::min(name.size(), TABSTableListFile::kMaxNameLength));
}

bool SameAsciiName(std::string_view a, std::string_view b) {
  a = CutName(a);
  b = CutName(b);
  if (a.size() != b.size()) return false;
  for (size_t index = 0; index < a.size(); ++index) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (upper(a[index]) != upper(b[index])) return false;
  }
  return true;
}

}  // namespace

TABSTableListFile::TABSTableListFile(TABSPageManager& manager) : file_(manager, ptTableList) {}

void TABSTableListFile::Create() {
  file_.Create(kSystemSession);
  entries_.clear();
}

void TABSTableListFile::Open(int32_t startPageNo) {
  if (file_.IsOpened()) throw EABSException(msg::kTableListAlreadyOpened);
  file_.Open(startPageNo);
}

void TABSTableListFile::Close() {
  file_.Close();
  entries_.clear();
}

void TABSTableListFile::EncodeEntry(const TABSTableListEntry& entry, uint8_t* out) {
  std::memset(out, 0, kEntrySize);
  const std::string_view name = CutName(entry.name);
  out[0] = static_cast<uint8_t>(name.size());
  std::memcpy(out + 1, name.data(), name.size());
  PutI32(out + 256, entry.tableId);
  PutI32(out + 260, entry.metadataStartPageNo);
  PutI32(out + 264, entry.headerDataStartPageNo);
  PutI32(out + 268, entry.locksStartPageNo);
}

TABSTableListEntry TABSTableListFile::DecodeEntry(const uint8_t* in) {
  TABSTableListEntry entry;
  entry.name.assign(reinterpret_cast<const char*>(in + 1), in[0]);
  entry.tableId = GetI32(in + 256);
  entry.metadataStartPageNo = GetI32(in + 260);
  entry.headerDataStartPageNo = GetI32(in + 264);
  entry.locksStartPageNo = GetI32(in + 268);
  return entry;
}

void TABSTableListFile::Load() {
  const std::vector<uint8_t> content = file_.ReadAll(kSystemSession);
  std::vector<TABSTableListEntry> entries;
  for (size_t at = 0; at + kEntrySize <= content.size(); at += kEntrySize) {
    entries.push_back(DecodeEntry(&content[at]));
  }
  entries_ = std::move(entries);
}

void TABSTableListFile::Save() {
  std::vector<uint8_t> content(entries_.size() * kEntrySize);
  for (size_t index = 0; index < entries_.size(); ++index)
    EncodeEntry(entries_[index], &content[index * kEntrySize]);
  file_.WriteFile(kSystemSession, content.data(), 0, 0, static_cast<int32_t>(content.size()));
}

int64_t TABSTableListFile::IndexOf(std::string_view name) const {
  for (size_t index = 0; index < entries_.size(); ++index) {
    if (SameAsciiName(entries_[index].name, name)) return static_cast<int64_t>(index);
  }
  return -1;
}

void TABSTableListFile::Add(int32_t tableId, std::string_view name, int32_t locksStartPageNo,
                            int32_t headerDataStartPageNo, int32_t metadataStartPageNo) {
  if (IndexOf(name) >= 0) throw EABSException(msg::kTableListDuplicate, name);
  entries_.push_back(
      {std::string(CutName(name)), tableId, metadataStartPageNo, headerDataStartPageNo, locksStartPageNo});
}

TABSTableListEntry TABSTableListFile::Find(std::string_view name) const {
  const int64_t index = IndexOf(name);
  if (index < 0) throw EABSException(msg::kTableNotExists, name);
  return entries_[static_cast<size_t>(index)];
}

bool TABSTableListFile::Exists(std::string_view name) const {
  return IndexOf(name) >= 0;
}

void TABSTableListFile::Delete(std::string_view name) {
  const int64_t index = IndexOf(name);
  if (index < 0) throw EABSException(msg::kTableNotExists.At(kDeleteMissingCode), name);
  entries_.erase(entries_.begin() + index);
}

void TABSTableListFile::Rename(std::string_view oldName, std::string_view newName) {
  const int64_t index = IndexOf(oldName);
  if (index < 0) throw EABSException(msg::kTableNotExists.At(kRenameMissingCode), oldName);
  entries_[static_cast<size_t>(index)].name = std::string(CutName(newName));
}

std::vector<std::string> TABSTableListFile::Names() const {
  std::vector<std::string> names;
  for (const TABSTableListEntry& entry : entries_) names.push_back(entry.name);
  return names;
}

}  // namespace viz
