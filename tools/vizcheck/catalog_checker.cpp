#include "tools/vizcheck/catalog_checker.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <unordered_set>

#include "engine/storage/disk/active_sessions_file.h"
#include "engine/storage/disk/disk_database_data.h"
#include "engine/storage/disk/system_directory.h"
#include "engine/storage/disk/table_list_file.h"
#include "engine/storage/disk/table_locks_file.h"
#include "engine/storage/disk/transacted_file.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/free_space_manager.h"
#include "engine/types/errors.h"
#include "tools/vizcheck/table_checker.h"

namespace viz::tools {
namespace {

using namespace file_format;

// Reads the catalogue through the page cache as this session (nothing is ever committed).
constexpr int32_t kCheckSession = 1;

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

void CatalogChecker::Check() {
  const int32_t start = TABSSystemDirectory::kStartPageNo;
  if (static_cast<int64_t>(pages_.size()) <= start || !pages_[start].signature ||
      pages_[start].type != ptFileSystemDirectory) {
    out_ << "Catalogue: none (page 2 holds no system directory)\n";
    return;
  }
  Chain directory = WalkChain(start, ptFileSystemDirectory, false, "system directory");
  std::vector<uint8_t> content;
  if (!directory.sound || !ReadContent(directory, start, ptFileSystemDirectory, "system directory", content))
    return;
  if (directory.header.compressionType != 0) problem_(start, "the system directory is stored compressed");
  if (content.size() % TABSSystemDirectory::kEntrySize != 0)
    problem_(start, "the system directory's size " + std::to_string(content.size()) +
                        " is not a multiple of its 5-byte entries");
  std::map<uint8_t, std::vector<int32_t>> entries;
  for (size_t at = 0; at + TABSSystemDirectory::kEntrySize <= content.size();
       at += TABSSystemDirectory::kEntrySize)
    entries[content[at]].push_back(GetI32(&content[at + 1]));
  out_ << "Catalogue: system directory with " << content.size() / TABSSystemDirectory::kEntrySize
       << " entries\n";
  for (const auto& [kind, starts] : entries) {
    if (kind != TABSSystemDirectory::kTableListFile && kind != TABSSystemDirectory::kSessionsFile)
      problem_(start, "the system directory has an entry of unknown kind " + std::to_string(kind));
    else if (starts.size() > 1)
      problem_(start, "the system directory has " + std::to_string(starts.size()) + " entries of kind " +
                          std::to_string(kind));
  }
  for (uint8_t kind : {TABSSystemDirectory::kSessionsFile, TABSSystemDirectory::kTableListFile}) {
    auto found = entries.find(kind);
    if (found == entries.end()) {
      problem_(start, std::string("the system directory has no ") +
                          (kind == TABSSystemDirectory::kSessionsFile ? "sessions file" : "table list") +
                          " entry");
      continue;
    }
    if (kind == TABSSystemDirectory::kSessionsFile)
      CheckSessionsFile(found->second.front());
    else
      CheckTableList(found->second.front());
  }
  CheckOrphans();
}

CatalogChecker::Chain CatalogChecker::WalkChain(int32_t start, uint16_t type, bool direct,
                                                const std::string& name) {
  Chain chain;
  TABSDatabaseFreeSpaceManager& freeSpace = *manager_.FreeSpaceManager();
  const std::string typeName = PageTypeName(type);
  std::unordered_set<int32_t> seen;
  for (int32_t pageNo = start; pageNo != -1;) {
    if (pageNo < 0 || pageNo >= static_cast<int32_t>(pages_.size())) {
      problem_(chain.pages.empty() ? -1 : chain.pages.back(),
               "the " + name + " links to page " + std::to_string(pageNo) + ", outside the file");
      return chain;
    }
    if (!seen.insert(pageNo).second) {
      problem_(pageNo, "the chain of the " + name + " comes back to this page (a cycle)");
      return chain;
    }
    if (freeSpace.IsMapPage(pageNo)) {
      problem_(pageNo, "a map page is part of the chain of the " + name);
      return chain;
    }
    const Page& page = pages_[static_cast<size_t>(pageNo)];
    if (!page.used) problem_(pageNo, "belongs to the " + name + " but is marked free");
    auto owner = owners_.emplace(pageNo, name);
    if (!owner.second) problem_(pageNo, "belongs both to the " + owner.first->second + " and to the " + name);
    uint8_t header[kPageHeaderSize];
    manager_.ReadPagePart(header, pageNo, kPageHeaderSize, 0);
    if (std::memcmp(header, kPageSignature, 4) != 0 || GetU16(header + kPageTypeOffset) != type) {
      const uint16_t found = GetU16(header + kPageTypeOffset);
      problem_(pageNo, "belongs to the " + name + " but is not a " + typeName + " (" +
                           (found <= kLastPageType ? PageTypeName(found) : "type " + std::to_string(found)) +
                           ")");
      return chain;
    }
    chain.pages.push_back(pageNo);
    pageNo = GetI32(header + kPageNextOffset);
  }

  std::vector<uint8_t> first(manager_.PageSize());
  try {
    if (direct)
      manager_.ReadPagePart(first.data(), start, manager_.PageSize(), 0);
    else if (!manager_.ReadPageBuffer(start, first.data()))
      throw EABSException(msg::kNilPointer);
  } catch (const EABSException&) {
    problem_(start, "the first page of the " + name + " cannot be read");
    return chain;
  }
  chain.header.Decode(first.data() + kPageHeaderSize);
  const TABSInternalFileHeader& header = chain.header;
  if (header.dataOffset != kInternalFileHeaderSize)
    problem_(start,
             "the " + name + "'s header gives data offset " + std::to_string(header.dataOffset) + ", not 10");
  if (header.storedSize < 0) {
    problem_(start, "the " + name + "'s size is negative (" + std::to_string(header.storedSize) + ")");
    return chain;
  }
  if (direct && (header.uncompressedSize != 0 || header.compressionType != 0))
    problem_(start, "the " + name + "'s header is not that of a direct file (bytes 5 to 9 must be 0)");
  if (!direct && header.compressionType > 3)
    problem_(start,
             "the " + name + " has unknown compression type " + std::to_string(header.compressionType));
  if (!direct && header.compressionType == 0 && header.uncompressedSize != header.storedSize)
    problem_(start, "the " + name + " is stored plain but its sizes differ (" +
                        std::to_string(header.storedSize) + " and " +
                        std::to_string(header.uncompressedSize) + ")");
  const int64_t needed = InternalFilePageCount(header.storedSize, manager_.PageDataSize());
  if (static_cast<int64_t>(chain.pages.size()) != needed) {
    problem_(start, "the " + name + " holds " + std::to_string(header.storedSize) + " bytes, which need " +
                        std::to_string(needed) + " pages, but its chain has " +
                        std::to_string(chain.pages.size()));
    return chain;
  }
  chain.sound = true;
  return chain;
}

bool CatalogChecker::ReadContent(const Chain& chain, int32_t start, uint16_t type, const std::string& name,
                                 std::vector<uint8_t>& content) {
  if (!chain.sound) return false;
  TABSInternalDBTransactedAccessFile file(manager_, type);
  file.Open(start);
  try {
    content = file.ReadAll(kCheckSession);
  } catch (const EABSException& error) {
    problem_(start, "the " + name + " cannot be read: " + error.Message());
    return false;
  }
  return true;
}

void CatalogChecker::CheckSessionsFile(int32_t start) {
  Chain chain = WalkChain(start, ptActiveSessionList, true, "sessions file");
  if (!chain.sound) return;
  TABSActiveSessionsFile sessions(manager_);
  sessions.Open(start);
  const int32_t slots = sessions.SlotCount();
  std::vector<int32_t> inUse;
  if (sessions.IsRegionLocked(0, slots)) {
    for (int32_t slot = 0; slot < slots; ++slot) {
      if (sessions.IsByteLocked(slot)) inUse.push_back(slot);
    }
  }
  out_ << "Connection slots: " << slots;
  if (inUse.empty()) {
    out_ << ", none in use\n";
  } else if (static_cast<int32_t>(inUse.size()) == slots) {
    out_ << ", all in use (a single-user hold)\n";
  } else {
    out_ << ", in use:";
    for (int32_t slot : inUse) out_ << " " << slot;
    out_ << "\n";
  }
}

void CatalogChecker::CheckTableList(int32_t start) {
  Chain chain = WalkChain(start, ptTableList, false, "table list");
  std::vector<uint8_t> content;
  if (!ReadContent(chain, start, ptTableList, "table list", content)) return;
  if (chain.header.compressionType != 0) problem_(start, "the table list is stored compressed");
  if (content.size() % TABSTableListFile::kEntrySize != 0)
    problem_(start, "the table list's size " + std::to_string(content.size()) +
                        " is not a multiple of its 272-byte entries");
  std::set<std::string> names;
  std::set<int32_t> ids;
  const size_t count = content.size() / TABSTableListFile::kEntrySize;
  out_ << "Tables: " << count << "\n";
  // The tables are read with the engine's own table code, over the checker's page manager.
  std::unique_ptr<TABSDiskDatabaseData> inspection;
  try {
    inspection = std::make_unique<TABSDiskDatabaseData>(manager_);
  } catch (const EABSException& error) {
    problem_(start, std::string("the tables cannot be checked: ") + error.Message());
  }
  for (size_t index = 0; index < count; ++index) {
    const TABSTableListEntry entry =
        TABSTableListFile::DecodeEntry(&content[index * TABSTableListFile::kEntrySize]);
    const std::string table = "table '" + entry.name + "'";
    if (entry.name.empty()) problem_(start, "table list entry " + std::to_string(index) + " has no name");
    if (!names.insert(UpperAscii(entry.name)).second)
      problem_(start, "the table list names " + table + " twice");
    if (!ids.insert(entry.tableId).second)
      problem_(start, "the table list gives id " + std::to_string(entry.tableId) + " to two tables");
    struct File {
      int32_t start;
      uint16_t type;
      bool direct;
      const char* what;
    };
    bool filesSound = true;
    for (const File& file : {File{entry.metadataStartPageNo, ptTableMetaData, false, "metadata file"},
                             File{entry.headerDataStartPageNo, ptTableMostUpdated, false, "header-data file"},
                             File{entry.locksStartPageNo, ptTableLocks, true, "locks file"}}) {
      const std::string name = std::string(file.what) + " of " + table;
      Chain fileChain = WalkChain(file.start, file.type, file.direct, name);
      filesSound = filesSound && fileChain.sound;
      if (!fileChain.sound) continue;
      if (file.direct) {
        if (fileChain.header.storedSize % TABSTableLocksFile::kBytesPerSession != 0)
          problem_(file.start, "the " + name + " holds " + std::to_string(fileChain.header.storedSize) +
                                   " bytes, not 12 per connection");
      } else if (fileChain.header.compressionType != 0) {
        // A compressed file must decompress into its recorded size.
        std::vector<uint8_t> ignored;
        filesSound = ReadContent(fileChain, file.start, file.type, name, ignored) && filesSound;
      }
    }
    TableChecker::Summary summary;
    if (inspection && filesSound)
      summary = TableChecker(*inspection, problem_, owners_).Check(entry);
    tableUnchecked_ = tableUnchecked_ || !summary.Checked;
    out_ << "  " << entry.name << " (id " << entry.tableId << ")";
    if (summary.Checked)
      out_ << ": " << summary.Records << (summary.Records == 1 ? " record, " : " records, ") << summary.Indexes
           << (summary.Indexes == 1 ? " index, " : " indexes, ") << summary.BlobValues << " BLOB values";
    out_ << "\n";
    if (tables_) {
      *tables_ << entry.name << "\t";
      if (summary.Checked)
        *tables_ << summary.Records << "\n";
      else
        *tables_ << "?\n";
    }
  }
}

void CatalogChecker::CheckOrphans() {
  int64_t unaccounted = 0;
  for (size_t pageNo = 0; pageNo < pages_.size(); ++pageNo) {
    const Page& page = pages_[pageNo];
    // Pages with the freed marker or no page at all are the file checks' to report.
    if (!page.used || !page.signature || page.type < ptFileSystemDirectory ||
        page.type > kLastPageType)
      continue;
    if (owners_.count(static_cast<int32_t>(pageNo)) != 0) continue;
    const bool tablePage = page.type >= ptTableRecord;
    if (tablePage && tableUnchecked_) {
      ++unaccounted;
      continue;
    }
    problem_(static_cast<int64_t>(pageNo), "holds a " + PageTypeName(page.type) + " but belongs to no " +
                                               (tablePage ? "table" : "internal file"));
  }
  if (unaccounted > 0)
    out_ << "Pages of tables not accounted for, as a table could not be checked: " << unaccounted << "\n";
}

}  // namespace viz::tools
