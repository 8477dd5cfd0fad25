#include "tools/vizcheck/file_checker.h"

#include <algorithm>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "engine/platform/file.h"
#include "engine/storage/disk_page_manager.h"
#include "engine/storage/file_format.h"
#include "engine/storage/free_space_manager.h"
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

void FileChecker::Problem(int64_t pageNo, const std::string& text) {
  ++problems_;
  if (pageNo >= 0)
    out_ << "PROBLEM: page " << pageNo << ": " << text << "\n";
  else
    out_ << "PROBLEM: " << text << "\n";
}

CheckResult FileChecker::Check(const std::string& fileName, const std::string& password) {
  problems_ = 0;
  pages_.clear();
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
    if (repairNeeded) {
      if (manager.Header().state != kStateConsistent)
        Problem(-1, "header: State is " + std::to_string(manager.Header().state) +
                        ", a commit was interrupted; the database needs a repair");
      if (manager.Header().version < kMinimumVersion)
        Problem(-1, "header: the version is too old; needs a repair");
    }
    CheckPrefix(manager);
    ReadMaps(manager);
    CheckPages(manager);
    CheckExtents(manager);
    std::vector<CatalogChecker::Page> census;
    for (const PageInfo& page : pages_) census.push_back({page.marked, page.signature, page.type});
    CatalogChecker(out_, manager, census, [this](int64_t pageNo, const std::string& text) { Problem(pageNo, text); })
        .Check();
    ReportCensus();
  } catch (const Exception& error) {
    Problem(-1, std::string("the check stopped: ") + error.Message());
  }
  if (problems_ == 0) {
    out_ << "No problems found.\n";
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
  if (size < expectedSize)
    Problem(-1, "the file is " + std::to_string(size) + " bytes long, but its pages need " +
                    std::to_string(expectedSize));
  else if (size > expectedSize)
    Problem(-1, "the file is " + std::to_string(size) + " bytes long, " +
                    std::to_string(size - expectedSize) + " bytes more than its pages need");
}

void FileChecker::ReadMaps(TABSDiskPageManager& manager) {
  TABSDatabaseFreeSpaceManager& fsm = *manager.FreeSpaceManager();
  const int64_t total = manager.Header().totalPageCount;
  // A damaged header may claim far more pages than the file holds (already reported); only the pages
  // that are there are examined.
  const int64_t present = std::max<int64_t>(
      (manager.File().GetSize() - manager.PageOffset(0) + manager.PageSize() - 1) / manager.PageSize(), 0);
  pages_.assign(static_cast<size_t>(std::clamp<int64_t>(total, 0, present)), PageInfo{});
  std::vector<uint8_t> buffer(manager.PageSize());
  for (int64_t index = 0; index <= fsm.LastPfsIndex(); ++index) {
    const int64_t pfsPageNo = fsm.PfsPageNo(index);
    manager.ReadPageBuffer(static_cast<int32_t>(pfsPageNo), buffer.data());
    const uint16_t type = GetU16(buffer.data() + kPageTypeOffset);
    if (type != ptPFS) continue;  // reported with the page itself
    const uint8_t* data = buffer.data() + kPageHeaderSize;
    for (int64_t bit = 0; bit < fsm.PagesPerPfs(); ++bit) {
      if (!((data[bit / 8] >> (bit % 8)) & 1)) continue;
      const int64_t pageNo = pfsPageNo + bit;
      if (pageNo < static_cast<int64_t>(pages_.size()))
        pages_[static_cast<size_t>(pageNo)].marked = true;
      else if (pageNo >= total)
        Problem(pageNo,
                "marked used in PFS page " + std::to_string(pfsPageNo) + " but lies beyond the file's end");
    }
  }
}

void FileChecker::CheckPages(TABSDiskPageManager& manager) {
  TABSDatabaseFreeSpaceManager& fsm = *manager.FreeSpaceManager();
  const int32_t total = static_cast<int32_t>(pages_.size());
  std::vector<uint8_t> buffer(manager.PageSize());
  int32_t highestUsed = -1;
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
    page.type = GetU16(header + kPageTypeOffset);
    page.updateCounter = GetI32(header + kPageUpdateCounterOffset);

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
    if (!page.marked) {
      ++census_["free"];
      // A page freed through the maps carries the freed marker; a live page with a clear bit
      // would be handed out again and overwritten.
      if (page.signature && page.updateCounter != kFreedPageCounter && page.type >= ptFileSystemDirectory &&
          page.type <= kLastPageType)
        Problem(pageNo, "holds a " + TypeText(page.type) + " but is marked free in the maps");
      continue;
    }
    highestUsed = pageNo;
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
    if (page.updateCounter == kFreedPageCounter)
      Problem(pageNo, "is marked used but carries the freed marker");
    if (manager.IsEncrypted() && !IsWrittenPlain(page.type)) {
      try {
        if (!manager.ReadPageBuffer(pageNo, buffer.data())) Problem(pageNo, "cannot be read");
      } catch (const EABSException&) {
        Problem(pageNo, "the deciphered data does not match its CRC (damaged or changed on disk)");
      }
    }
  }
  if (highestUsed != manager.Header().lastUsedPageNo)
    Problem(-1, "header: LastUsedPageNo is " + std::to_string(manager.Header().lastUsedPageNo) +
                    ", but the highest used page is " + std::to_string(highestUsed));
}

void FileChecker::CheckExtents(TABSDiskPageManager& manager) {
  TABSDatabaseFreeSpaceManager& fsm = *manager.FreeSpaceManager();
  const int64_t total = static_cast<int64_t>(pages_.size());
  const int64_t extentSize = fsm.ExtentPageCount();
  std::vector<uint8_t> buffer(manager.PageSize());
  for (int64_t index = 0; index <= fsm.LastEamIndex(); ++index) {
    const int64_t eamPageNo = fsm.EamPageNo(index);
    manager.ReadPageBuffer(static_cast<int32_t>(eamPageNo), buffer.data());
    if (GetU16(buffer.data() + kPageTypeOffset) != ptEAM) continue;  // reported with the page itself
    const uint8_t* data = buffer.data() + kPageHeaderSize;
    for (int64_t entryIndex = 0; entryIndex < fsm.ExtentsPerEam(); ++entryIndex) {
      const int entry = (data[entryIndex / 4] >> (2 * (entryIndex % 4))) & 3;
      if (entry != 3) continue;
      const int64_t extent = index * fsm.ExtentsPerEam() + entryIndex;
      const int64_t first = extent * extentSize;
      if (first + extentSize > total) continue;  // extents cut off with the file end keep old entries
      for (int64_t pageNo = first; pageNo < first + extentSize; ++pageNo) {
        if (!pages_[static_cast<size_t>(pageNo)].marked) {
          Problem(eamPageNo, "extent " + std::to_string(extent) + " is marked full, but page " +
                                 std::to_string(pageNo) + " is free");
          break;
        }
      }
    }
  }
}

void FileChecker::ReportCensus() {
  out_ << "Pages by type:\n";
  for (const auto& [name, count] : census_) out_ << "  " << name << ": " << count << "\n";
}

}  // namespace viz::tools
