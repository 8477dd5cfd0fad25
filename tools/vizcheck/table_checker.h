// The table checks of vizcheck, run for every table of the table list: its stored definitions and
// header data decode; its record pages and the record page index agree (every record page listed
// once, with the right count, none empty); every index passes the B-tree invariant checker and holds
// exactly one entry per record, pointing at it; every BLOB value a record refers to is there, owned
// by that record alone, and its compressed blocks pass their checksums; the BLOB page index lists
// every page of small values with the room they take, and no small value is left without a record.
//
// Every page the table uses is claimed in the owners map shared with the catalogue checks, so that a
// page claimed twice, or a used page that nobody claims, is found.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace viz {

class TABSDiskDatabaseData;
class TABSDiskTableData;
class TABSDiskPageManager;
struct TABSTableListEntry;

namespace tools {

class TableChecker {
 public:
  using ProblemSink = std::function<void(int64_t pageNo, const std::string& text)>;
  //! What one table holds, for the report.
  struct Summary {
    int64_t Records = 0;
    int32_t Indexes = 0;
    int64_t BlobValues = 0;
    bool Checked = false;
  };

  //! `owners`: page -> what it belongs to, shared with the other checks.
  TableChecker(TABSDiskDatabaseData& database, ProblemSink problem, std::map<int32_t, std::string>& owners)
      : database_(database), problem_(std::move(problem)), owners_(owners) {}

  //! Checks one table and returns what it found in it.
  Summary Check(const TABSTableListEntry& entry);

 private:
  // Claims a page for `owner`; false (reported) when another owner has it.
  bool Claim(int32_t pageNo, const std::string& owner);
  void CheckRecordPages(TABSDiskTableData& table, Summary& summary);
  void CheckIndexes(TABSDiskTableData& table, Summary& summary);
  void CheckBlobPageIndex(TABSDiskTableData& table);
  void CheckRecordBlobs(TABSDiskTableData& table, Summary& summary);
  // Reads a stored value through its field's compressed stream; false (reported) when it fails.
  bool CheckValue(TABSDiskTableData& table, int32_t field, int32_t pageNo, const std::string& owner,
                  const uint8_t* record);

  TABSDiskDatabaseData& database_;
  ProblemSink problem_;
  std::map<int32_t, std::string>& owners_;
  std::string name_;
  // Small values of the BLOB page index, (page, id), and those a record referred to.
  std::set<std::pair<int32_t, uint16_t>> smallValues_;
  std::set<std::pair<int32_t, uint16_t>> referenced_;
};

}  // namespace tools
}  // namespace viz
