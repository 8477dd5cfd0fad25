#include "engine/tables/btree/btree_checker.h"

#include <cstring>
#include <set>
#include <sstream>

#include "engine/storage/VIZPage.h"
#include "engine/tables/btree/btree.h"
#include "engine/types/errors.h"

namespace viz {

std::string TABSBTreeCheckReport::Text() const {
  std::string text;
  for (const std::string& problem : Problems) text += problem + "\n";
  return text;
}

namespace {

// One leaf entry copied out of its page.
struct LeafEntry {
  std::vector<uint8_t> key;
  TABSRecordAddress address;
  int32_t pageNo = -1;
  int32_t index = 0;
};

class Walk {
 public:
  Walk(TABSBTree& tree, bool recordIndex, int32_t session, TABSBTreeCheckReport& report)
      : tree_(tree), recordIndex_(recordIndex), session_(session), report_(report) {}

  void Run();

 private:
  template <class... Parts>
  void Problem(const Parts&... parts) {
    if (report_.Problems.size() >= TABSBTreeChecker::kMaxProblems) return;
    std::ostringstream text;
    (text << ... << parts);
    report_.Problems.push_back(text.str());
  }

  LeafEntry Entry(const TABSBTreePage& page, int32_t index) const {
    LeafEntry entry;
    entry.key.assign(page.Key(index), page.Key(index) + tree_.Keys().KeySize);
    if (recordIndex_) entry.address = page.Address(index);
    entry.pageNo = page.PageNo();
    entry.index = index;
    return entry;
  }
  // The first or last leaf entry under a page; false (with a problem) when a page on the way is empty.
  bool EdgeEntry(int32_t pageNo, bool last, LeafEntry& entry);
  // -1, 0, 1 comparing two entries' keys; `undecided` set when truncated prefixes could not tell.
  int CompareKeys(const uint8_t* a, const uint8_t* b, int32_t& undecided) const {
    return tree_.Keys().CompareKeys(a, b, tree_.Keys().ColumnCount(), undecided);
  }
  void CheckHeader(const TABSBTreePage& page, const std::vector<int32_t>& level, size_t position,
                   int32_t depth, bool& levelLeaf);
  void CheckNode(const TABSBTreePage& page, std::vector<int32_t>& below);
  void CheckLeaf(const TABSBTreePage& page);

  TABSBTree& tree_;
  bool recordIndex_;
  int32_t session_;
  TABSBTreeCheckReport& report_;
  bool hasPrevious_ = false;
  LeafEntry previous_;
  int64_t usedBytes_ = 0, offeredBytes_ = 0, leafUsed_ = 0, leafOffered_ = 0;
};

bool Walk::EdgeEntry(int32_t pageNo, bool last, LeafEntry& entry) {
  TABSBTreePage page(tree_.Pages(), tree_.Keys());
  for (int32_t depth = 0; depth < TABSKeyPath::kMaxLevels; ++depth) {
    page.Load(session_, pageNo);
    if (page.Count() == 0) {
      Problem("page ", pageNo, " has no entries");
      return false;
    }
    const int32_t index = last ? page.Count() - 1 : 0;
    if (page.IsLeaf()) {
      entry = Entry(page, index);
      return true;
    }
    pageNo = page.Child(index);
  }
  Problem("no leaf below page ", pageNo, " within ", TABSKeyPath::kMaxLevels, " levels");
  return false;
}

void Walk::CheckHeader(const TABSBTreePage& page, const std::vector<int32_t>& level, size_t position,
                       int32_t depth, bool& levelLeaf) {
  const int32_t pageNo = page.PageNo();
  const bool root = depth == 1;
  if (page.IsRoot() != root) Problem("page ", pageNo, ": root flag ", page.IsRoot(), " on level ", depth - 1);
  if (page.Format() != 1) Problem("page ", pageNo, ": format ", static_cast<int>(page.Format()));
  if (page.KeySize() != tree_.Keys().KeySize)
    Problem("page ", pageNo, ": key size ", page.KeySize(), ", the index's is ", tree_.Keys().KeySize);
  if (position == 0)
    levelLeaf = page.IsLeaf();
  else if (page.IsLeaf() != levelLeaf)
    Problem("page ", pageNo, ": leaf and node pages mixed on level ", depth - 1);
  const int32_t prior = position > 0 ? level[position - 1] : -1;
  const int32_t next = position + 1 < level.size() ? level[position + 1] : -1;
  if (page.PriorPage() != prior)
    Problem("page ", pageNo, ": prior link ", page.PriorPage(), ", expected ", prior);
  if (page.NextPage() != next) Problem("page ", pageNo, ": next link ", page.NextPage(), ", expected ", next);
  const int32_t offered = page.DataSize() - TABSBTreePage::kHeaderSize - page.HeaderExtension();
  const int32_t used = page.Count() * page.EntrySize();
  if (used > offered) Problem("page ", pageNo, ": ", page.Count(), " entries exceed the page");
  if (!root && page.Count() == 0) Problem("page ", pageNo, ": no entries");
  if (root && !page.IsLeaf() && page.Count() < 2) Problem("root node with ", page.Count(), " entries");
  usedBytes_ += used;
  offeredBytes_ += offered;
  if (page.IsLeaf()) {
    leafUsed_ += used;
    leafOffered_ += offered;
  }
}

void Walk::CheckNode(const TABSBTreePage& page, std::vector<int32_t>& below) {
  const int32_t pageNo = page.PageNo();
  const int32_t keySize = tree_.Keys().KeySize;
  for (int32_t byte = 0; byte < keySize && page.Count() > 0; ++byte) {
    if (page.Key(0)[byte] != 0) {
      Problem("page ", pageNo, ": the key of entry 0 is not zero");
      break;
    }
  }
  LeafEntry lastBefore, firstAfter;
  for (int32_t i = 0; i < page.Count(); ++i) {
    below.push_back(page.Child(i));
    if (i == 0) continue;
    // Separator i bounds the last entry under child i - 1 from above and the first under child i
    // from below; a tie that truncated prefixes cannot settle is resolved by the first entry.
    int32_t undecided;
    if (EdgeEntry(page.Child(i - 1), true, lastBefore) &&
        CompareKeys(lastBefore.key.data(), page.Key(i), undecided) > 0)
      Problem("page ", pageNo, ": separator ", i, " is below a key of child ", i - 1);
    if (EdgeEntry(page.Child(i), false, firstAfter) &&
        CompareKeys(page.Key(i), firstAfter.key.data(), undecided) > 0)
      Problem("page ", pageNo, ": separator ", i, " is above a key of its child");
  }
}

void Walk::CheckLeaf(const TABSBTreePage& page) {
  TABSBTreeRecordSource* records = tree_.Records();
  const int32_t columns = tree_.Keys().ColumnCount();
  for (int32_t i = 0; i < page.Count(); ++i) {
    LeafEntry entry = Entry(page, i);
    ++report_.Entries;
    if (recordIndex_ && records && !records->EntryMatchesRecord(session_, entry.key.data(), entry.address))
      Problem("page ", page.PageNo(), ": entry ", i, " does not match the record at ", entry.address.PageNo,
              ":", entry.address.RecordNo);
    if (hasPrevious_) {
      int32_t undecided;
      int order = CompareKeys(previous_.key.data(), entry.key.data(), undecided);
      if (order == 0 && undecided >= 0 && records)
        order = records->CompareRecordsAt(session_, previous_.address, entry.address, undecided, columns);
      if (order == 0 && recordIndex_) order = previous_.address < entry.address ? -1 : 1;
      if (order >= 0)
        Problem("page ", page.PageNo(), ": entry ", i, " does not follow entry ", previous_.index,
                " of page ", previous_.pageNo);
    }
    previous_ = std::move(entry);
    hasPrevious_ = true;
  }
}

void Walk::Run() {
  const int32_t root = tree_.RootPage();
  if (root < 0) {
    Problem("the index has no root page");
    return;
  }
  std::set<int32_t> seen;
  std::vector<int32_t> level{root};
  TABSBTreePage page(tree_.Pages(), tree_.Keys());
  int32_t depth = 0;
  while (!level.empty()) {
    if (++depth > TABSKeyPath::kMaxLevels) {
      Problem("more than ", TABSKeyPath::kMaxLevels, " levels");
      break;
    }
    std::vector<int32_t> below;
    bool levelLeaf = false;
    for (size_t position = 0; position < level.size(); ++position) {
      const int32_t pageNo = level[position];
      if (!seen.insert(pageNo).second) {
        Problem("page ", pageNo, " is reached twice");
        continue;
      }
      try {
        page.Load(session_, pageNo);
      } catch (const EABSException& error) {
        Problem("page ", pageNo, ": ", error.Message());
        continue;
      }
      ++report_.Pages;
      report_.PageNumbers.push_back(pageNo);
      CheckHeader(page, level, position, depth, levelLeaf);
      if (page.IsLeaf()) {
        ++report_.LeafPages;
        CheckLeaf(page);
      } else {
        CheckNode(page, below);
      }
      page.Release();
    }
    if (levelLeaf && !below.empty()) Problem("node pages below leaves");
    level = std::move(below);
  }
  report_.Height = depth;
  report_.FillFactor =
      offeredBytes_ > 0 ? static_cast<double>(usedBytes_) / static_cast<double>(offeredBytes_) : 0;
  report_.LeafFillFactor =
      leafOffered_ > 0 ? static_cast<double>(leafUsed_) / static_cast<double>(leafOffered_) : 0;
}

}  // namespace

TABSBTreeCheckReport TABSBTreeChecker::Check(int32_t session) {
  TABSBTreeCheckReport report;
  try {
    Walk(tree_, recordIndex_, session, report).Run();
  } catch (const EABSException& error) {
    report.Problems.push_back(std::string("the check stopped: ") + error.Message());
  }
  return report;
}

}  // namespace viz
