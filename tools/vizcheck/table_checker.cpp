#include "tools/vizcheck/table_checker.h"

#include <algorithm>
#include <vector>

#include "engine/storage/disk/VIZDiskEngine.h"
#include "engine/storage/disk/page_use.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/tables/btree/record_index.h"
#include "engine/types/errors.h"

namespace viz::tools {
namespace {

// Reads the tables through the page cache as this session (nothing is ever committed).
constexpr int32_t kCheckSession = 1;
constexpr int64_t kReadChunk = 65536;

std::string AddressText(const TABSRecordAddress& address) {
  return std::to_string(address.PageNo) + ":" + std::to_string(address.RecordNo);
}

}  // namespace

bool TableChecker::Claim(int32_t pageNo, const std::string& owner) {
  auto claimed = owners_.emplace(pageNo, owner);
  if (claimed.second) return true;
  problem_(pageNo, "belongs both to the " + claimed.first->second + " and to the " + owner);
  return false;
}

TableChecker::Summary TableChecker::Check(const TABSTableListEntry& entry) {
  name_ = "table '" + entry.name + "'";
  smallValues_.clear();
  referenced_.clear();
  Summary summary;
  TABSDiskTableData& table = database_.Table(entry.name);
  try {
    table.Inspect(entry, kCheckSession);
  } catch (const EABSException& error) {
    problem_(-1, name_ + " cannot be opened: " + error.Message());
    return summary;
  }
  summary.Checked = true;
  try {
    CheckRecordPages(table, summary);
    CheckIndexes(table, summary);
    CheckBlobPageIndex(table);
    CheckRecordBlobs(table, summary);
  } catch (const EABSException& error) {
    problem_(-1, "the check of " + name_ + " stopped: " + error.Message());
  }
  table.Unload();
  return summary;
}

void TableChecker::CheckRecordPages(TABSDiskTableData& table, Summary& summary) {
  TABSDiskRecordManager& records = table.Records();
  TABSBTreeRecordPageIndex& index = records.PageIndex();
  TABSDiskPageManager& pages = table.Pages();
  const TABSBTreeCheckReport report = index.Check(kCheckSession);
  for (const std::string& text : report.Problems)
    problem_(index.RootPage(), "the record page index of " + name_ + ": " + text);
  for (int32_t pageNo : report.PageNumbers) Claim(pageNo, "record page index of " + name_);
  if (!report.Sound()) return;
  const int64_t totalPages = pages.Header().totalPageCount;
  int64_t total = 0;
  index.ForEachPage(kCheckSession, [&](int32_t pageNo, uint16_t count) {
    Claim(pageNo, "record pages of " + name_);
    if (pageNo < 0 || pageNo >= totalPages) {
      problem_(pageNo, "the record page index of " + name_ + " lists a page outside the file");
      return true;
    }
    if (count == 0)
      problem_(pageNo, "the record page index of " + name_ + " lists this page with no records");
    try {
      TABSPageUse page(pages, pages.GetPage(kCheckSession, pageNo, kAnyPageType));
      if (!records.IsTablePage(*page.get())) {
        problem_(pageNo,
                 "the record page index of " + name_ + " lists it, but it is not a record page of the table");
        return true;
      }
      const TABSSmallRecordPage recordPage(page.get(), records.RecordsPerPage(), records.StoredRecordSize());
      const int32_t held = recordPage.RecordCount();
      if (held != count)
        problem_(pageNo, "holds " + std::to_string(held) + " records of " + name_ +
                             ", its record page index entry says " + std::to_string(count));
      total += held;
    } catch (const EABSException& error) {
      problem_(pageNo, "a record page of " + name_ + " cannot be read: " + error.Message());
    }
    return true;
  });
  summary.Records = total;
  if (total != records.RecordCount)
    problem_(table.HeaderDataFile().StartPageNo(), "the header data of " + name_ + " counts " +
                                                       std::to_string(records.RecordCount) +
                                                       " records, its pages hold " + std::to_string(total));
}

void TableChecker::CheckIndexes(TABSDiskTableData& table, Summary& summary) {
  TABSIndexDefs& definitions = table.IndexManager()->IndexDefs();
  for (int32_t position = 0; position < definitions.Count(); ++position) {
    const TABSIndexDef& definition = definitions[position];
    if (definition.IsTemporary()) continue;
    ++summary.Indexes;
    const std::string name = "index '" + definition.Name() + "' of " + name_;
    TABSBTreeCheckReport report;
    try {
      auto& index = static_cast<TABSBTreeRecordIndex&>(table.IndexManager()->GetIndex(definition.ObjectID));
      report = index.Check(kCheckSession);
    } catch (const EABSException& error) {
      problem_(definition.RootPage, "the " + name + " cannot be checked: " + error.Message());
      continue;
    }
    for (const std::string& text : report.Problems)
      problem_(definition.RootPage, "the " + name + ": " + text);
    for (int32_t pageNo : report.PageNumbers) Claim(pageNo, name);
    if (report.Sound() && report.Entries != summary.Records)
      problem_(definition.RootPage, "the " + name + " holds " + std::to_string(report.Entries) +
                                        " entries for " + std::to_string(summary.Records) + " records");
  }
}

void TableChecker::CheckBlobPageIndex(TABSDiskTableData& table) {
  TABSDiskBlobManager* blobs = table.Blobs();
  if (!blobs) {
    if (table.BlobIndexRoot() >= 0)
      problem_(table.BlobIndexRoot(), name_ + " has no BLOB fields but its metadata names a BLOB page index");
    return;
  }
  TABSBTreeBlobPageIndex* index = blobs->PageIndex();
  if (!index) {
    problem_(table.MetadataFile().StartPageNo(), name_ + " has BLOB fields but no BLOB page index");
    return;
  }
  const TABSBTreeCheckReport report = index->Check(kCheckSession);
  for (const std::string& text : report.Problems)
    problem_(index->RootPage(), "the BLOB page index of " + name_ + ": " + text);
  for (int32_t pageNo : report.PageNumbers) Claim(pageNo, "BLOB page index of " + name_);
  if (!report.Sound()) return;
  TABSDiskPageManager& pages = table.Pages();
  const int64_t totalPages = pages.Header().totalPageCount;
  index->ForEachPage(kCheckSession, [&](int32_t pageNo, uint16_t used) {
    Claim(pageNo, "pages of small BLOB values of " + name_);
    if (pageNo < 0 || pageNo >= totalPages) {
      problem_(pageNo, "the BLOB page index of " + name_ + " lists a page outside the file");
      return true;
    }
    try {
      TABSPageUse page(pages, pages.GetPage(kCheckSession, pageNo, TABSSmallBlobPage::kPageType));
      const TABSSmallBlobPage blobPage(page.get());
      std::vector<TABSSmallBlobPage::Entry> entries;
      std::string damage;
      if (!blobPage.Entries(entries, &damage)) {
        problem_(pageNo, "a page of small BLOB values of " + name_ + ": " + damage);
        return true;
      }
      if (entries.empty())
        problem_(pageNo, "the BLOB page index of " + name_ + " lists this page with no values");
      const int32_t bytes = TABSSmallBlobPage::UsedLength(entries) - TABSSmallBlobPage::kCountSize;
      if (bytes != used)
        problem_(pageNo, "its values take " + std::to_string(bytes) + " bytes, the BLOB page index of " +
                             name_ + " says " + std::to_string(used));
      for (const TABSSmallBlobPage::Entry& entry : entries) {
        if (!smallValues_.emplace(pageNo, entry.Header.Id).second)
          problem_(pageNo, "holds two BLOB values with id " + std::to_string(entry.Header.Id));
      }
    } catch (const EABSException& error) {
      problem_(pageNo, "a page of small BLOB values of " + name_ + " cannot be read: " + error.Message());
    }
    return true;
  });
}

bool TableChecker::CheckValue(TABSDiskTableData& table, int32_t field, int32_t pageNo,
                              const std::string& owner, const uint8_t* record) {
  const TABSFieldDef& definition = table.FieldManager()->FieldDefs()[field];
  try {
    TABSBlobValue value =
        table.Blobs()->Load(kCheckSession, TABSDiskBlobManager::AddressOf(definition, record), true);
    const int64_t size = value.UncompressedSize;
    const TABSBlobFormat format{definition.BlobBlockSize, definition.BlobCompressionAlgorithm,
                                definition.BlobCompressionMode};
    TABSBlobValueStream stream(format, std::move(value), true, true);
    std::vector<uint8_t> chunk(static_cast<size_t>(kReadChunk));
    int64_t read = 0;
    for (int64_t got; (got = stream.Read(chunk.data(), kReadChunk)) > 0;) read += got;
    if (read != size) {
      problem_(pageNo, "the " + owner + " gives " + std::to_string(read) + " bytes, its header says " +
                           std::to_string(size));
      return false;
    }
  } catch (const EABSException& error) {
    problem_(pageNo, "the " + owner + " cannot be read: " + error.Message());
    return false;
  }
  return true;
}

void TableChecker::CheckRecordBlobs(TABSDiskTableData& table, Summary& summary) {
  TABSDiskBlobManager* blobs = table.Blobs();
  if (!blobs || !blobs->PageIndex()) return;
  const TABSFieldDefs& fields = table.FieldManager()->FieldDefs();
  std::vector<uint8_t> record(static_cast<size_t>(fields.RecordBufferSize()));
  TABSNavigationRecord navigation;
  navigation.Direction = TABSNavigationRecord::kNext;
  navigation.FromBeginning = true;
  navigation.Target = record.data();
  // A damaged chain of pages cannot make the walk longer than the records the pages hold.
  for (int64_t step = 0; step <= summary.Records; ++step) {
    table.Records().Navigate(kCheckSession, navigation);
    if (navigation.Outcome != TABSNavigationRecord::kFound) break;
    navigation.FromBeginning = false;
    for (int32_t field = 0; field < fields.Count(); ++field) {
      if (!IsBlobBaseType(fields[field].BaseType()) || IsNullFlagSet(record.data(), field)) continue;
      const TABSRecordAddress address = TABSDiskBlobManager::AddressOf(fields[field], record.data());
      if (!TABSDiskBlobManager::IsStored(address)) continue;
      ++summary.BlobValues;
      const std::string owner = "BLOB value of field '" + fields[field].Name() + "' of the record at " +
                                AddressText(navigation.Address) + " of " + name_;
      const bool large = address.RecordNo == TABSDiskBlobManager::kLargeSlot ||
                         (address.RecordNo == TABSDiskBlobManager::kAmbiguousSlot &&
                          !smallValues_.count({address.PageNo, address.RecordNo}) &&
                          blobs->LooksLarge(kCheckSession, address.PageNo));
      if (large) {
        TABSDiskBlobManager::LargeValue value;
        try {
          value = blobs->ReadLarge(kCheckSession, address.PageNo);
        } catch (const EABSException& error) {
          problem_(address.PageNo, "the " + owner + " cannot be read: " + error.Message());
          continue;
        }
        bool owned = true;
        for (int32_t pageNo : value.DataPages) owned = Claim(pageNo, owner) && owned;
        for (int32_t pageNo : value.ListPages)
          if (pageNo != value.DataPages.back()) owned = Claim(pageNo, owner) && owned;
        if (owned) CheckValue(table, field, address.PageNo, owner, record.data());
        continue;
      }
      const std::pair<int32_t, uint16_t> key{address.PageNo, address.RecordNo};
      if (!smallValues_.count(key)) {
        problem_(address.PageNo,
                 "the " + owner + " is not on this page (id " + std::to_string(address.RecordNo) + ")");
        continue;
      }
      if (!referenced_.insert(key).second) {
        problem_(address.PageNo, "the " + owner + " is also another record's value");
        continue;
      }
      CheckValue(table, field, address.PageNo, owner, record.data());
    }
  }
  for (const auto& [pageNo, id] : smallValues_) {
    if (!referenced_.count({pageNo, id}))
      problem_(pageNo, "holds a BLOB value (id " + std::to_string(id) + ") that no record of " + name_ +
                           " refers to");
  }
}

}  // namespace viz::tools
