// The invariant checker of a B-tree: walks every level from the root and reports every way the
// tree breaks the rules of btree.h. Tests run it after every step of their random runs; the file
// checker runs it on every stored index.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace viz {

class TABSBTree;

//! What a check found, and the shape of the tree.
struct TABSBTreeCheckReport {
  std::vector<std::string> Problems;
  int64_t Entries = 0;
  int32_t Pages = 0;
  //! The pages the walk read, in the order it read them.
  std::vector<int32_t> PageNumbers;
  int32_t LeafPages = 0;
  int32_t Height = 0;
  //! Bytes of entries over the bytes pages offer for entries, over all pages.
  double FillFactor = 0;
  //! Same, over the leaf pages only.
  double LeafFillFactor = 0;

  bool Sound() const { return Problems.empty(); }
  //! The problems, one per line.
  std::string Text() const;
};

class TABSBTreeChecker {
 public:
  //! Problems beyond this many are counted but not described.
  static constexpr size_t kMaxProblems = 50;

  //! `recordIndex`: entries are records of a table (ordered by key, then address, and each must
  //! match its record); otherwise page-index entries, ordered strictly by page number.
  TABSBTreeChecker(TABSBTree& tree, bool recordIndex) : tree_(tree), recordIndex_(recordIndex) {}

  //! Checks the whole tree as `session` sees it.
  TABSBTreeCheckReport Check(int32_t session);

 private:
  TABSBTree& tree_;
  bool recordIndex_;
};

}  // namespace viz
