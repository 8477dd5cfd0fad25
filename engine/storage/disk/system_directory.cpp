#include "engine/storage/disk/system_directory.h"

#include "engine/storage/VIZPage.h"
#include "engine/types/errors.h"

namespace viz {

TABSSystemDirectory::TABSSystemDirectory(TABSPageManager& manager) : file_(manager, ptFileSystemDirectory) {}

void TABSSystemDirectory::Create() {
  file_.Create(kSystemSession);
  entries_.clear();
  if (file_.StartPageNo() != kStartPageNo) {
    const int32_t got = file_.StartPageNo();
    file_.Close();
    throw EABSException(msg::kErrorCreatingSystemDirectory, kStartPageNo, got);
  }
}

void TABSSystemDirectory::Load() {
  if (!file_.IsOpened()) file_.Open(kStartPageNo);
  const std::vector<uint8_t> content = file_.ReadAll(kSystemSession);
  entries_.clear();
  for (size_t at = 0; at + kEntrySize <= content.size(); at += kEntrySize) {
    entries_.push_back({content[at], file_format::GetI32(&content[at + 1])});
  }
}

void TABSSystemDirectory::Save() {
  std::vector<uint8_t> content(entries_.size() * kEntrySize);
  for (size_t index = 0; index < entries_.size(); ++index) {
    content[index * kEntrySize] = entries_[index].kind;
    file_format::PutI32(&content[index * kEntrySize + 1], entries_[index].startPageNo);
  }
  file_.WriteFile(kSystemSession, content.data(), 0, 0, static_cast<int32_t>(content.size()));
}

void TABSSystemDirectory::AddEntry(uint8_t kind, int32_t startPageNo) {
  entries_.push_back({kind, startPageNo});
}

int32_t TABSSystemDirectory::Find(uint8_t kind) const {
  for (const Entry& entry : entries_) {
    if (entry.kind == kind) return entry.startPageNo;
  }
  return -1;
}

}  // namespace viz
