// The file-level checks of vizcheck: the prefix, every page's header, the free-space maps and, in
// enciphered files, the CRC of every deciphered page. Later checks (catalogue, tables, indexes,
// BLOBs) build on the page census this one takes.
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

 private:
  // What the census found on one page.
  struct PageInfo {
    bool marked = false;     // its bit is set in its PFS page
    bool readable = false;   // the page header could be read
    bool signature = false;  // "ABSP"
    uint16_t type = 0;
    int32_t updateCounter = 0;
  };

  void Problem(int64_t pageNo, const std::string& text);
  void ReportHeader(TABSDiskPageManager& manager);
  void CheckPrefix(TABSDiskPageManager& manager);
  void ReadMaps(TABSDiskPageManager& manager);
  void CheckPages(TABSDiskPageManager& manager);
  void CheckExtents(TABSDiskPageManager& manager);
  void ReportCensus();

  std::ostream& out_;
  std::ostream* tables_ = nullptr;
  int problems_ = 0;
  std::vector<PageInfo> pages_;
  std::map<std::string, int64_t> census_;
};

}  // namespace tools
}  // namespace viz
