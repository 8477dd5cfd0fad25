#include "tools/vizcheck/file_checker.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "engine/platform/file.h"
#include "engine/storage/allocation_log.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/storage/free_space_manager.h"
#include "engine/storage/rollback_journal.h"
#include "engine/types/errors.h"
#include "tools/vizcheck/catalog_checker.h"

namespace viz::tools {
namespace {

using namespace file_format;

constexpr int32_t kIncorrectPasswordCode = 30445;
// A checker waits a few seconds for a writer's header lock, not the engine's minute and a half.
constexpr int kLockAttempts = 250;
constexpr int kLockPauseMs = 20;

std::string TypeText(uint16_t type) {
  return type <= kLastPageType ? PageTypeName(type) : "page type " + std::to_string(type);
}

// Pages of the direct-access files are written plain even in enciphered databases.
bool IsWrittenPlain(uint16_t type) {
  return type == ptActiveSessionList || type == ptTableLocks;
}

}  // namespace

void FileChecker::Report(const char* grade, int64_t pageNo, const std::string& text) {
  out_ << grade << ": ";
  if (pageNo >= 0) out_ << "page " << pageNo << ": ";
  out_ << text << "\n";
}

void FileChecker::Problem(int64_t pageNo, const std::string& text) {
  ++problems_;
  Report("PROBLEM", pageNo, text);
}

void FileChecker::Warning(int64_t pageNo, const std::string& text) {
  ++warnings_;
  Report("WARNING", pageNo, text);
}

void FileChecker::Note(int64_t pageNo, const std::string& text) {
  Report("NOTE", pageNo, text);
}

CheckResult FileChecker::Check(const std::string& fileName, const std::string& password) {
  problems_ = 0;
  warnings_ = 0;
  present_ = 0;
  pages_.clear();
  marks_.clear();
  holders_.clear();
  census_.clear();
  out_ << "File: " << fileName << "\n";
  if (!platform::FileSystem::Default().Exists(fileName)) {
    out_ << "ERROR: the file does not exist\n";
    return kCannotCheck;
  }
  TABSDiskPageManager manager;
  manager.SetLockRetryPolicy(kLockAttempts, kLockPauseMs);
  bool multiUser = true, repairNeeded = false, readOnly = true;
  try {
    manager.OpenDatabaseFile(fileName, {password, 0}, multiUser, false, repairNeeded, readOnly);
  } catch (const EABSException& error) {
    if (error.NativeErrorCode() == kIncorrectPasswordCode) {
      out_ << "WRONG PASSWORD: the database is enciphered and "
           << (password.empty() ? "no password was given (use --password)"
                                : "the password given does not fit")
           << "\n";
      return kWrongPassword;
    }
    out_ << "ERROR: cannot open the file as a database: " << error.Message() << "\n";
    return kCannotCheck;
  }
  try {
    ReportHeader(manager);
    if (platform::FileSystem::Default().Exists(JournalFileName(fileName)))
      Note(-1,
           "a rollback journal lies beside the file: the next read-write open plays back a commit "
           "that was cut short (pages are checked as they are now)");
    if (repairNeeded) {
      if (manager.Header().state != kStateConsistent)
        Problem(-1, "header: State is " + std::to_string(manager.Header().state) +
                        ", a commit was interrupted; the database needs a repair");
      if (manager.Header().version < kMinimumVersion)
        Problem(-1, "header: the version is too old; needs a repair");
    }
    CheckPrefix(manager);
    ReadAllocationLog(fileName);
    ReadMaps(manager);
    CheckPages(manager);
    CheckLastUsedPage(manager);
    CheckExtents(manager);
    std::vector<CatalogChecker::Page> census;
    // A page that carries the freed marker holds nothing, whatever type it had.
    for (const PageInfo& page : pages_)
      census.push_back({page.marked, page.signature && page.updateCounter != kFreedPageCounter, page.type});
    CatalogChecker catalog(out_, manager, census,
                           [this](int64_t pageNo, const std::string& text) { Problem(pageNo, text); });
    catalog.ListTablesOn(tables_);
    catalog.Check();
    ReportCensus();
  } catch (const Exception& error) {
    Problem(-1, std::string("the check stopped: ") + error.Message());
  }
  if (problems_ == 0) {
    out_ << "No problems found";
    if (warnings_ > 0) out_ << " (" << warnings_ << (warnings_ == 1 ? " warning" : " warnings") << ")";
    out_ << ".\n";
    return kSound;
  }
  out_ << problems_ << (problems_ == 1 ? " problem" : " problems") << " found.\n";
  return kProblemsFound;
}

void FileChecker::ReportHeader(TABSDiskPageManager& manager) {
  const TABSDatabaseHeader& header = manager.Header();
  out_ << "Base offset: " << manager.BaseOffset() << "\n"
       << "Signature: " << header.SignatureText() << "\n"
       << "Header size: " << header.headerSize << "\n"
       << "Version: " << std::fixed << std::setprecision(2) << header.version << std::defaultfloat << "\n"
       << "Page size: " << header.pageSize << "\n"
       << "Extent page count: " << header.extentPageCount << "\n"
       << "Total page count: " << header.totalPageCount << "\n"
       << "Last used page: " << header.lastUsedPageNo << "\n"
       << "Change counter: " << header.changeCounter << "\n"
       << "State: " << static_cast<int>(header.state)
       << (header.state == kStateConsistent ? " (consistent)" : " (commit in progress)") << "\n";
  if (manager.IsEncrypted())
    out_ << "Encrypted: yes, cipher type " << static_cast<int>(manager.Password().cipherType) << "\n";
  else
    out_ << "Encrypted: no\n";
}

void FileChecker::CheckPrefix(TABSDiskPageManager& manager) {
  const TABSDatabaseHeader& header = manager.Header();
  if (header.headerSize != kDatabaseHeaderSize)
    Problem(-1, "header: HeaderSize is " + std::to_string(header.headerSize) + ", expected 76");
  unsigned char lockArea[2];
  manager.File().ReadBuffer(lockArea, 0, manager.BaseOffset() + header.headerSize + kCheckBlockSize, 2);
  if (GetU16(lockArea) != kLockAreaSize)
    Problem(-1, "lock area: size is " + std::to_string(GetU16(lockArea)) + ", expected 20");
  if (header.totalPageCount < 0) {
    Problem(-1, "header: TotalPageCount is negative (" + std::to_string(header.totalPageCount) + ")");
    return;
  }
  if (header.lastUsedPageNo < -1 || header.lastUsedPageNo >= header.totalPageCount)
    Problem(-1, "header: LastUsedPageNo " + std::to_string(header.lastUsedPageNo) +
                    " lies outside the file's " + std::to_string(header.totalPageCount) + " pages");
  const int64_t expectedSize =
      manager.PageOffset(0) + static_cast<int64_t>(header.totalPageCount) * header.pageSize;
  const int64_t size = manager.File().GetSize();
  // A damaged header may claim far more pages than the file holds: only the pages that are there
  // are examined, here and in every later step.
  present_ =
      std::clamp<int64_t>((size - manager.PageOffset(0)) / manager.PageSize(), 0, header.totalPageCount);
  if (size < expectedSize)
    Problem(-1, "the file is " + std::to_string(size) + " bytes long, but its pages need " +
                    std::to_string(expectedSize));
  else if (size > expectedSize)
    Note(-1, "the file is " + std::to_string(size - expectedSize) +
                 " bytes longer than its pages need (a growth that was cut short); they are used again "
                 "when the file grows");
}

void FileChecker::ReadAllocationLog(const std::string& fileName) {
  const std::string path = AllocationLogFileName(fileName);
  TABSAllocationLogContents log;
  try {
    log = viz::ReadAllocationLog(platform::FileSystem::Default(), path);
  } catch (const EABSException& error) {
    Warning(-1, "the allocation log cannot be read: " + error.Message());
    return;
  }
  if (log.state == TABSAllocationLogContents::State::Foreign) {
    Warning(-1, "the file " + path + " beside the database is not an allocation log");
    return;
  }
  for (const TABSAllocationLogSlot& slot : log.slots) {
    const bool ended = slot.owner == TABSSlotOwner::Gone;
    for (int32_t pageNo : slot.pages) {
      Holder& holder = holders_[pageNo];
      // A page listed twice is had by the live one.
      if (holder != Holder::Live) holder = ended ? Holder::Ended : Holder::Live;
    }
  }
}

FileChecker::Holder FileChecker::HolderOf(int32_t pageNo) const {
  auto found = holders_.find(pageNo);
  return found == holders_.end() ? Holder::None : found->second;
}

bool FileChecker::Marked(int64_t pageNo) const {
  return pageNo >= 0 && pageNo < static_cast<int64_t>(marks_.size()) && marks_[static_cast<size_t>(pageNo)];
}

void FileChecker::ReadMaps(TABSDiskPageManager& manager) {
  TABSDatabaseFreeSpaceManager& fsm = *manager.FreeSpaceManager();
  pages_.assign(static_cast<size_t>(present_), PageInfo{});
  const int64_t pfsPages = present_ == 0 ? 0 : (present_ - 1) / fsm.PagesPerPfs() + 1;
  marks_.assign(static_cast<size_t>(pfsPages * fsm.PagesPerPfs()), 0);
  std::vector<uint8_t> buffer(manager.PageSize());
  for (int64_t index = 0; index < pfsPages; ++index) {
    const int64_t pfsPageNo = fsm.PfsPageNo(index);
    manager.ReadPageBuffer(static_cast<int32_t>(pfsPageNo), buffer.data(), false);
    const uint16_t type = GetU16(buffer.data() + kPageTypeOffset);
    if (type != ptPFS) continue;  // reported with the page itself
    const uint8_t* data = buffer.data() + kPageHeaderSize;
    for (int64_t bit = 0; bit < fsm.PagesPerPfs(); ++bit) {
      if (!((data[bit / 8] >> (bit % 8)) & 1)) continue;
      const int64_t pageNo = pfsPageNo + bit;
      marks_[static_cast<size_t>(pageNo)] = 1;
      if (pageNo < present_) {
        pages_[static_cast<size_t>(pageNo)].marked = true;
      } else if (fsm.IsMapPage(pageNo)) {
        Note(pageNo, "marked used in PFS page " + std::to_string(pfsPageNo) +
                         ", a map page cut off with the file's end; it is made again when the file grows");
      } else {
        Note(pageNo, "marked used in PFS page " + std::to_string(pfsPageNo) +
                         " beyond the file's end (an allocation that was cut short); the next growth "
                         "takes it");
      }
    }
  }
}

void FileChecker::CheckPages(TABSDiskPageManager& manager) {
  TABSDatabaseFreeSpaceManager& fsm = *manager.FreeSpaceManager();
  const auto total = static_cast<int32_t>(present_);
  std::vector<uint8_t> buffer(manager.PageSize());
  for (int32_t pageNo = 0; pageNo < total; ++pageNo) {
    PageInfo& page = pages_[static_cast<size_t>(pageNo)];
    unsigned char header[kPageHeaderSize];
    try {
      manager.ReadPagePart(header, pageNo, kPageHeaderSize, 0);
      page.readable = true;
    } catch (const EABSException& error) {
      Problem(pageNo, std::string("cannot be read: ") + error.Message());
      continue;
    }
    page.signature = std::memcmp(header, kPageSignature, 4) == 0;
    page.blank = std::all_of(header, header + kPageHeaderSize, [](unsigned char byte) { return byte == 0; });
    page.type = GetU16(header + kPageTypeOffset);
    page.updateCounter = GetI32(header + kPageUpdateCounterOffset);
    page.nextPageNo = GetI32(header + kPageNextOffset);
    if (page.signature && page.nextPageNo != -1 && (page.nextPageNo < 0 || page.nextPageNo >= total))
      Problem(pageNo, "links to page " + std::to_string(page.nextPageNo) + ", outside the file's " +
                          std::to_string(total) + " pages");

    if (fsm.IsMapPage(pageNo)) {
      const uint16_t expected = pageNo % fsm.PagesPerPfs() == 0 ? ptPFS : ptEAM;
      ++census_[PageTypeName(expected)];
      if (!page.signature)
        Problem(pageNo, "the " + PageTypeName(expected) + " has no page signature");
      else if (page.type != expected)
        Problem(pageNo, "should be a " + PageTypeName(expected) + " but is a " + TypeText(page.type));
      if (!page.marked)
        Problem(pageNo, "the " + PageTypeName(expected) + " is not marked used in its PFS page");
      continue;
    }
    // Freeing writes the marker alone, also into a page that was never written.
    const bool freedMarker = page.updateCounter == kFreedPageCounter;
    if (!page.marked) {
      ++census_["free"];
      // A page freed through the maps carries the freed marker; a live page with a clear bit
      // would be handed out again and overwritten.
      if (page.signature && !freedMarker && page.type >= ptFileSystemDirectory && page.type <= kLastPageType)
        Problem(pageNo, "holds a " + TypeText(page.type) + " but is marked free in the maps");
      continue;
    }
    if (page.blank || freedMarker) {
      // Marked used and holding nothing: allocated and not (yet) committed.
      switch (HolderOf(pageNo)) {
        case Holder::Live:
          ++census_["uncommitted"];
          break;
        case Holder::Ended:
          ++census_["abandoned"];
          Note(pageNo,
               "allocated by a connection that ended before its commit; the next read-write "
               "open returns it to the free space");
          break;
        case Holder::None:
          ++census_["unowned"];
          Warning(pageNo, std::string("marked used but ") + (page.blank ? "never written" : "freed") +
                              ", and no connection has it: lost to the free space");
          break;
      }
      continue;
    }
    if (!page.signature) {
      ++census_["unwritten"];
      Problem(pageNo, "is marked used but holds no page (no page signature)");
      continue;
    }
    ++census_[TypeText(page.type)];
    if (page.type < ptFileSystemDirectory || page.type > kLastPageType) {
      Problem(pageNo, "is marked used but has an invalid page type (" + TypeText(page.type) + ")");
      continue;
    }
    if (page.nextPageNo >= 0 && page.nextPageNo < total && fsm.IsMapPage(page.nextPageNo))
      Problem(pageNo, "links to page " + std::to_string(page.nextPageNo) + ", a map page");
    if (manager.IsEncrypted() && !IsWrittenPlain(page.type)) {
      try {
        if (!manager.ReadPageBuffer(pageNo, buffer.data())) Problem(pageNo, "cannot be read");
      } catch (const EABSException&) {
        Problem(pageNo, "the deciphered data does not match its CRC (damaged or changed on disk)");
      }
    }
  }
}

void FileChecker::CheckLastUsedPage(TABSDiskPageManager& manager) {
  TABSDatabaseFreeSpaceManager& fsm = *manager.FreeSpaceManager();
  const int32_t lastUsed = manager.Header().lastUsedPageNo;
  int64_t highestMarked = -1;
  int64_t highestHolding = -1;
  for (int64_t pageNo = 0; pageNo < present_; ++pageNo) {
    const PageInfo& page = pages_[static_cast<size_t>(pageNo)];
    if (!page.marked || fsm.IsMapPage(pageNo)) continue;
    highestMarked = pageNo;
    if (!page.blank && page.updateCounter != kFreedPageCounter) highestHolding = pageNo;
  }
  if (highestMarked == lastUsed) return;
  if (highestMarked < lastUsed || highestHolding > lastUsed) {
    Problem(-1, "header: LastUsedPageNo is " + std::to_string(lastUsed) + ", but the highest used page is " +
                    std::to_string(highestMarked));
    return;
  }
  // An allocation marks its page before it writes the header; one that was cut short in between
  // leaves a page above LastUsedPageNo that holds nothing, and the next growth takes it.
  Warning(-1, "header: LastUsedPageNo is " + std::to_string(lastUsed) + ", but page " +
                  std::to_string(highestMarked) + " above it is marked used (holding nothing)");
}

void FileChecker::CheckExtents(TABSDiskPageManager& manager) {
  TABSDatabaseFreeSpaceManager& fsm = *manager.FreeSpaceManager();
  const int64_t extentSize = fsm.ExtentPageCount();
  std::vector<uint8_t> buffer(manager.PageSize());
  for (int64_t index = 0; fsm.EamPageNo(index) < present_; ++index) {
    const int64_t eamPageNo = fsm.EamPageNo(index);
    manager.ReadPageBuffer(static_cast<int32_t>(eamPageNo), buffer.data(), false);
    if (GetU16(buffer.data() + kPageTypeOffset) != ptEAM) continue;  // reported with the page itself
    const uint8_t* data = buffer.data() + kPageHeaderSize;
    for (int64_t entryIndex = 0; entryIndex < fsm.ExtentsPerEam(); ++entryIndex) {
      const int entry = (data[entryIndex / 4] >> (2 * (entryIndex % 4))) & 3;
      const int64_t extent = index * fsm.ExtentsPerEam() + entryIndex;
      const int64_t first = extent * extentSize;
      const std::string name = "extent " + std::to_string(extent);
      if (entry == 2) {
        Problem(eamPageNo, name + " has the entry 2, which is never written");
        continue;
      }
      // A page past the PFS pages the file holds counts as free, as it does for the allocator.
      int64_t freePage = -1;
      for (int64_t pageNo = first; pageNo < first + extentSize && freePage < 0; ++pageNo) {
        if (!Marked(pageNo)) freePage = pageNo;
      }
      if (entry == 3 && freePage >= 0) {
        Problem(eamPageNo, name + " is marked full, but page " + std::to_string(freePage) + " is free");
      } else if (entry != 3 && freePage < 0 && first + extentSize <= present_) {
        // Marked after its last page was taken: an allocation cut short between the two writes.
        Warning(eamPageNo, name +
                               " is marked as having room, but all its pages are used (a hint the "
                               "allocator corrects)");
      }
    }
  }
}

void FileChecker::ReportCensus() {
  out_ << "Pages by type:\n";
  for (const auto& [name, count] : census_) out_ << "  " << name << ": " << count << "\n";
}

}  // namespace viz::tools
