// The file-level checks of vizcheck: the prefix, every page's header, the free-space maps, the
// allocation log beside the file and, in enciphered files, the CRC of every deciphered page. Later
// checks (catalogue, tables, indexes, BLOBs) build on the page census this one takes.
//
// Findings come in three grades:
//   PROBLEM  damage, or a state no sequence of engine operations leaves (exit code 1)
//   WARNING  harmless but worth knowing: pages lost to the free space, map hints the allocator
//            corrects, what a process killed at the wrong moment leaves behind
//   NOTE     a legal state that a reader might take for damage
// Every loop is bounded by the pages the file really holds, whatever its header claims.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace viz {

class TABSDiskPageManager;

namespace tools {

//! Exit codes of the checker.
enum CheckResult : int {
  kSound = 0,          //!< no problem found
  kProblemsFound = 1,  //!< at least one problem was reported
  kCannotCheck = 2,    //!< bad arguments, or the file cannot be opened as a database
  kWrongPassword = 3,  //!< the file is enciphered and the password does not fit
};

//! Checks one database file, writing a report to `out`. Opens the file read-only and shared, so it
//! changes nothing and can run beside other users of the file.
class FileChecker {
 public:
  explicit FileChecker(std::ostream& out) : out_(out) {}

  //! Also lists every table with its record count on `tables`, one "NAME<TAB>COUNT" line each.
  void ListTablesOn(std::ostream* tables) { tables_ = tables; }

  //! Runs every check and returns the exit code.
  CheckResult Check(const std::string& fileName, const std::string& password);

  //! Problems found so far.
  int ProblemCount() const { return problems_; }
  //! Warnings found so far.
  int WarningCount() const { return warnings_; }

 private:
  // What the census found on one page.
  struct PageInfo {
    bool marked = false;     // its bit is set in its PFS page
    bool readable = false;   // the page header could be read
    bool signature = false;  // "ABSP"
    bool blank = false;      // a header of zero bytes only: never written
    uint16_t type = 0;
    int32_t updateCounter = 0;
    int32_t nextPageNo = -1;
  };
  // Who the allocation log says has a page that is allocated and not yet committed.
  enum class Holder { None, Live, Ended };

  // One line of the report: "<grade>: [page N: ]text".
  void Report(const char* grade, int64_t pageNo, const std::string& text);
  void Problem(int64_t pageNo, const std::string& text);
  void Warning(int64_t pageNo, const std::string& text);
  void Note(int64_t pageNo, const std::string& text);
  void ReportHeader(TABSDiskPageManager& manager);
  void CheckPrefix(TABSDiskPageManager& manager);
  void ReadAllocationLog(const std::string& fileName);
  void ReadMaps(TABSDiskPageManager& manager);
  void CheckPages(TABSDiskPageManager& manager);
  void CheckLastUsedPage(TABSDiskPageManager& manager);
  void CheckExtents(TABSDiskPageManager& manager);
  void ReportCensus();
  // True when the page's bit is set in a PFS page that the file holds.
  bool Marked(int64_t pageNo) const;
  Holder HolderOf(int32_t pageNo) const;

  std::ostream& out_;
  std::ostream* tables_ = nullptr;
  int problems_ = 0;
  int warnings_ = 0;
  // Pages the file holds (at most the header's count).
  int64_t present_ = 0;
  std::vector<PageInfo> pages_;
  // One byte per page covered by the PFS pages the file holds: 1 when marked used.
  std::vector<uint8_t> marks_;
  std::map<int32_t, Holder> holders_;
  std::map<std::string, int64_t> census_;
};

}  // namespace tools
}  // namespace viz
