// The catalogue checks of vizcheck: the system directory at page 2, the sessions file and the table
// list, and the chain of every internal file they name (each table's metadata, header-data and locks
// files). A chain must end, hold no page twice, share no page with another chain, consist of used
// pages of its file's type, and be as long as its recorded size needs. Then every table is checked
// (table_checker.h), and every used page must belong to exactly one owner. Connection slots that are
// locked while checking are reported (they are in use; that is no problem).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "engine/storage/disk/internal_file.h"

namespace viz {

class TABSDiskPageManager;

namespace tools {

class CatalogChecker {
 public:
  //! What the page census of the file checker found on one page.
  struct Page {
    bool used = false;       // marked used in its PFS page
    bool signature = false;  // holds a page ("ABSP") that does not carry the freed marker
    uint16_t type = 0;
  };
  using ProblemSink = std::function<void(int64_t pageNo, const std::string& text)>;

  //! Checks the catalogue of the file `manager` has open; `pages` is the census, one entry per page.
  CatalogChecker(std::ostream& out, TABSDiskPageManager& manager, const std::vector<Page>& pages,
                 ProblemSink problem)
      : out_(out), manager_(manager), pages_(pages), problem_(std::move(problem)) {}

  //! Lists every table with its record count on `tables` (besides the report).
  void ListTablesOn(std::ostream* tables) { tables_ = tables; }
  void Check();

 private:
  // One walked chain.
  struct Chain {
    bool sound = false;  // walked to its end, header read
    std::vector<int32_t> pages;
    TABSInternalFileHeader header;
  };

  // Walks and checks the chain of an internal file of `type` starting at `start`.
  Chain WalkChain(int32_t start, uint16_t type, bool direct, const std::string& name);
  // The content of a transacted file, or false (reported) when it cannot be read.
  bool ReadContent(const Chain& chain, int32_t start, uint16_t type, const std::string& name,
                   std::vector<uint8_t>& content);
  void CheckSessionsFile(int32_t start);
  void CheckTableList(int32_t start);
  void CheckOrphans();

  std::ostream& out_;
  std::ostream* tables_ = nullptr;
  TABSDiskPageManager& manager_;
  const std::vector<Page>& pages_;
  ProblemSink problem_;
  // Page -> the internal file, index or table that holds it.
  std::map<int32_t, std::string> owners_;
  // Set when a table could not be checked: its pages are unknown, so they are not taken for lost.
  bool tableUnchecked_ = false;
};

}  // namespace tools
}  // namespace viz
