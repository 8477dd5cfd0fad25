// TABSBTree: structure, descent, positioning and stepping.
#include "engine/tables/btree/btree.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/storage/VIZPage.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
constexpr int32_t kMinEntriesPerPage = 4;

int CompareAddresses(const TABSRecordAddress& a, const TABSRecordAddress& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

TABSRecordAddress AddressOf(const uint8_t* reference) {
  TABSRecordAddress address;
  std::memcpy(&address.PageNo, reference, 4);
  std::memcpy(&address.RecordNo, reference + 4, 2);
  return address;
}
}  // namespace

int32_t TABSBTree::CreateRoot(int32_t session) {
  kept_.LevelCount = 0;
  TABSBTreePage root(pages_, keys_);
  root.Add(session);
  root.InitRoot();
  root_ = root.PageNo();
  return root_;
}

void TABSBTree::FreeSubtree(int32_t session, int32_t pageNo, bool self) {
  // Level by level from the leftmost page of each, along the next links.
  int32_t first = pageNo;
  TABSBTreePage page(pages_, keys_);
  while (first != -1) {
    page.Load(session, first);
    const int32_t below = page.IsLeaf() ? -1 : page.Child(0);
    int32_t current = first;
    if (current == pageNo) {
      page.Release();
      if (self) pages_.RemovePage(session, current);
    } else {
      while (current != -1) {
        page.Load(session, current);
        const int32_t next = page.NextPage();
        page.Release();
        pages_.RemovePage(session, current);
        current = next;
      }
    }
    first = below;
  }
}

void TABSBTree::Empty(int32_t session) {
  if (root_ < 0) throw EABSException(msg::kInvalidPageNumber.At(20121));
  kept_.LevelCount = 0;
  FreeSubtree(session, root_, false);
  TABSBTreePage root(pages_, keys_);
  root.Load(session, root_);
  std::memset(root.Data(), 0, static_cast<size_t>(root.DataSize()));
  root.InitRoot();
}

void TABSBTree::Drop(int32_t session) {
  if (root_ < 0) throw EABSException(msg::kInvalidPageNumber.At(20120));
  kept_.LevelCount = 0;
  FreeSubtree(session, root_, true);
  root_ = -1;
}

int32_t TABSBTree::FanOut() const {
  return static_cast<int32_t>(pages_.PageDataSize()) / (keys_.KeySize + TABSBTreeNodeController::kChildSize);
}

bool TABSBTree::KeySizeFits(int32_t keySize, int32_t referenceSize, int32_t dataSize) {
  const int32_t widest = keySize + std::max(referenceSize, TABSBTreeNodeController::kChildSize);
  return kMinEntriesPerPage * widest + TABSBTreePage::kHeaderSize <= dataSize;
}

void TABSBTree::PushLevel(TABSKeyPath& path, int32_t pageNo, int32_t entry, int32_t count) const {
  if (!path.Push(pageNo, entry, count)) throw EABSException(msg::kIndexTooDeep, TABSKeyPath::kMaxLevels);
}

void TABSBTree::FirstEntryUnder(int32_t session, int32_t pageNo, std::vector<uint8_t>& entry) {
  TABSBTreePage page(pages_, keys_);
  for (int32_t depth = 0;; ++depth) {
    // A damaged tree whose nodes lead back up would never reach a leaf.
    if (depth >= TABSKeyPath::kMaxLevels) throw EABSException(msg::kIndexTooDeep, TABSKeyPath::kMaxLevels);
    page.Load(session, pageNo);
    if (page.IsLeaf()) break;
    pageNo = page.Child(0);
  }
  if (page.Count() == 0) throw EABSException(msg::kIndexPageIsEmpty.At(20112));
  entry.assign(page.Entry(0), page.Entry(0) + page.EntrySize());
}

int TABSBTree::CompareEntry(int32_t session, const TABSBTreeProbe& probe, const TABSBTreePage& page,
                            int32_t index) {
  int32_t undecided;
  int r = keys_.CompareKeys(probe.Key, page.Key(index), probe.Columns, undecided, probe.Record);
  if (r != 0 || (undecided < 0 && probe.Address == nullptr)) return r;
  TABSRecordAddress address;
  if (page.IsLeaf()) {
    address = page.Address(index);
  } else {
    // The separator may be older than the child's first entry, which is what really bounds it.
    std::vector<uint8_t> first;
    FirstEntryUnder(session, page.Child(index), first);
    r = keys_.CompareKeys(probe.Key, first.data(), probe.Columns, undecided, probe.Record);
    if (r != 0 || (undecided < 0 && probe.Address == nullptr)) return r;
    address = AddressOf(first.data() + keys_.KeySize);
  }
  if (undecided >= 0) {
    if (records_ == nullptr || probe.Record == nullptr) throw EABSException(msg::kPointerIsNil.At(20044));
    r = records_->CompareWithRecord(session, probe.Record, address, undecided, probe.Columns);
    if (r != 0) return r;
  }
  return probe.Address ? CompareAddresses(*probe.Address, address) : 0;
}

int32_t TABSBTree::LeafPosition(int32_t session, const TABSBTreeProbe& probe, Bound bound,
                                const TABSBTreePage& page) {
  int32_t low = 0, high = page.Count();
  while (low < high) {
    const int32_t middle = (low + high) / 2;
    const int c = CompareEntry(session, probe, page, middle);
    const bool before = bound == Bound::Lower ? c > 0 : c >= 0;
    if (before)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

int32_t TABSBTree::NodeChild(int32_t session, const TABSBTreeProbe& probe, Bound bound,
                             const TABSBTreePage& page) {
  // The last child whose range starts at or before the bound.
  int32_t low = page.Controller().FirstSearchedEntry(), high = page.Count() - 1, child = 0;
  const bool rightOnTie = bound == Bound::Upper || probe.Address != nullptr;
  while (low <= high) {
    const int32_t middle = (low + high) / 2;
    const int c = CompareEntry(session, probe, page, middle);
    if (c > 0 || (c == 0 && rightOnTie)) {
      child = middle;
      low = middle + 1;
    } else {
      high = middle - 1;
    }
  }
  return child;
}

void TABSBTree::Descend(int32_t session, const TABSBTreeProbe& probe, Bound bound, TABSKeyPath& path,
                        TABSBTreePage* leaf) {
  if (root_ < 0) throw EABSException(msg::kInvalidPageNumber.At(20122));
  path.Clear();
  if (keeping_) kept_.LevelCount = 0;
  TABSBTreePage page(pages_, keys_);
  int32_t pageNo = root_;
  for (;;) {
    page.Load(session, pageNo);
    if (keeping_ && path.LevelCount < TABSKeyPath::kMaxLevels) {
      kept_.Pages[path.LevelCount] = page.Page();
      kept_.Serials[path.LevelCount] = page.Page()->ContentSerial();
    }
    if (page.IsLeaf()) {
      PushLevel(path, pageNo, LeafPosition(session, probe, bound, page), page.Count());
      if (keeping_) {
        kept_.Session = session;
        kept_.Root = root_;
        kept_.LevelCount = path.LevelCount;
        std::copy(path.Levels, path.Levels + path.LevelCount, kept_.Levels);
      }
      if (leaf) *leaf = std::move(page);
      return;
    }
    const int32_t child = NodeChild(session, probe, bound, page);
    PushLevel(path, pageNo, child, page.Count());
    pageNo = page.Child(child);
  }
}

bool TABSBTree::Seek(int32_t session, const TABSBTreeProbe& probe, Bound bound, TABSKeyPath& path,
                     TABSBTreePage* leaf) {
  Descend(session, probe, bound, path, leaf);
  TABSKeyPathLevel& at = path.Leaf();
  if (at.Entry < at.Count) return true;
  if (leaf) leaf->Release();
  if (at.Count == 0) return false;
  at.Entry = at.Count - 1;
  if (Next(session, path)) {
    if (leaf) leaf->Load(session, path.Leaf().PageNo);
    return true;
  }
  path.Leaf().Entry = path.Leaf().Count;
  return false;
}

bool TABSBTree::Find(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path, TABSBTreePage* leaf) {
  // Without an address a key equal to a separator may start the next leaf.
  TABSBTreePage own(pages_, keys_);
  TABSBTreePage& page = leaf ? *leaf : own;
  return Seek(session, probe, Bound::Lower, path, &page) &&
         CompareEntry(session, probe, page, path.Leaf().Entry) == 0;
}

int TABSBTree::CompareAt(int32_t session, const TABSBTreeProbe& probe, const TABSKeyPath& path) {
  TABSBTreePage page(pages_, keys_);
  page.Load(session, path.Leaf().PageNo);
  return CompareEntry(session, probe, page, path.Leaf().Entry);
}

void TABSBTree::LoadLeaf(int32_t session, const TABSKeyPath& path, TABSBTreePage& page) {
  if (path.IsEmpty()) throw EABSException(msg::kIndexInvalidPosition.At(20069));
  page.Load(session, path.Leaf().PageNo);
}

bool TABSBTree::First(int32_t session, TABSKeyPath& path) {
  if (root_ < 0) throw EABSException(msg::kInvalidPageNumber.At(20123));
  path.Clear();
  TABSBTreePage page(pages_, keys_);
  int32_t pageNo = root_;
  for (;;) {
    page.Load(session, pageNo);
    PushLevel(path, pageNo, 0, page.Count());
    if (page.IsLeaf()) return page.Count() > 0;
    pageNo = page.Child(0);
  }
}

bool TABSBTree::Last(int32_t session, TABSKeyPath& path) {
  if (root_ < 0) throw EABSException(msg::kInvalidPageNumber.At(20124));
  path.Clear();
  TABSBTreePage page(pages_, keys_);
  int32_t pageNo = root_;
  for (;;) {
    page.Load(session, pageNo);
    const int32_t last = page.Count() > 0 ? page.Count() - 1 : 0;
    PushLevel(path, pageNo, last, page.Count());
    if (page.IsLeaf()) return page.Count() > 0;
    pageNo = page.Child(last);
  }
}

void TABSBTree::MoveLevel(int32_t session, TABSKeyPath& path, int32_t level, bool forward) {
  TABSBTreePage page(pages_, keys_);
  page.Load(session, path.Levels[level].PageNo);
  const int32_t neighbour = forward ? page.NextPage() : page.PriorPage();
  if (neighbour == -1) throw EABSException(msg::kIndexInvalidPageNumber.At(forward ? 20070 : 20071));
  page.Load(session, neighbour);
  // Only a damaged tree has an empty page beside another.
  if (page.Count() == 0) throw EABSException(msg::kDamagedIndexPage, neighbour, "a page of the index holds no entries");
  path.Levels[level] = {neighbour, forward ? 0 : page.Count() - 1, page.Count()};
}

bool TABSBTree::Next(int32_t session, TABSKeyPath& path) {
  if (path.IsEmpty()) throw EABSException(msg::kIndexInvalidPosition.At(20099));
  const int32_t leaf = path.LevelCount - 1;
  if (path.Levels[leaf].Entry + 1 < path.Levels[leaf].Count) {
    ++path.Levels[leaf].Entry;
    return true;
  }
  int32_t level = leaf - 1;
  while (level >= 0 && path.Levels[level].Entry + 1 >= path.Levels[level].Count) --level;
  if (level < 0) return false;
  ++path.Levels[level].Entry;
  for (int32_t below = level + 1; below <= leaf; ++below) MoveLevel(session, path, below, true);
  return true;
}

bool TABSBTree::Prior(int32_t session, TABSKeyPath& path) {
  if (path.IsEmpty()) throw EABSException(msg::kIndexInvalidPosition.At(20101));
  const int32_t leaf = path.LevelCount - 1;
  if (path.Levels[leaf].Entry > 0 && path.Levels[leaf].Count > 0) {
    --path.Levels[leaf].Entry;
    return true;
  }
  int32_t level = leaf - 1;
  while (level >= 0 && path.Levels[level].Entry == 0) --level;
  if (level < 0) return false;
  --path.Levels[level].Entry;
  for (int32_t below = level + 1; below <= leaf; ++below) MoveLevel(session, path, below, false);
  return true;
}

bool TABSBTree::ResolveEntries(int32_t session, TABSKeyPath& path) {
  if (root_ < 0) throw EABSException(msg::kInvalidPageNumber.At(20125));
  TABSBTreePage page(pages_, keys_);
  int32_t pageNo = root_;
  for (int32_t level = 0; level < path.LevelCount; ++level) {
    page.Load(session, pageNo);
    TABSKeyPathLevel& at = path.Levels[level];
    const bool last = level == path.LevelCount - 1;
    if (at.Entry < 0 || at.Entry >= page.Count() || page.IsLeaf() != last) return false;
    at.PageNo = pageNo;
    at.Count = page.Count();
    if (!last) pageNo = page.Child(at.Entry);
  }
  return path.LevelCount > 0;
}

bool TABSBTree::FindKeepingDescent(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path) {
  struct Keeping {
    bool& flag;
    explicit Keeping(bool& f) : flag(f) { flag = true; }
    ~Keeping() { flag = false; }
  } keeping(keeping_);
  return Find(session, probe, path);
}

bool TABSBTree::ResumeKeptDescent(int32_t session, const TABSBTreeProbe& probe, TABSKeyPath& path,
                                  TABSBTreePage& leaf) {
  const int32_t levels = kept_.LevelCount;
  kept_.LevelCount = 0;
  if (levels == 0 || kept_.Session != session || kept_.Root != root_) return false;
  TABSBTreePage node(pages_, keys_);
  for (int32_t level = 0; level < levels; ++level) {
    TABSBTreePage& page = level == levels - 1 ? leaf : node;
    page.Load(session, kept_.Levels[level].PageNo);
    if (page.Page() != kept_.Pages[level] || page.Page()->ContentSerial() != kept_.Serials[level]) {
      page.Release();
      return false;
    }
  }
  if (!leaf.IsLeaf()) {
    leaf.Release();
    return false;
  }
  // The kept leaf entry is usually the lower bound already (the kept search was for this key):
  // two comparisons confirm it, else the leaf is searched.
  const int32_t count = leaf.Count();
  int32_t position = std::clamp(kept_.Levels[levels - 1].Entry, 0, count);
  if ((position > 0 && CompareEntry(session, probe, leaf, position - 1) <= 0) ||
      (position < count && CompareEntry(session, probe, leaf, position) > 0))
    position = LeafPosition(session, probe, Bound::Lower, leaf);
  if ((position == 0 && leaf.PriorPage() != -1) || (position == leaf.Count() && leaf.NextPage() != -1)) {
    leaf.Release();
    return false;
  }
  path.Clear();
  for (int32_t level = 0; level < levels; ++level) path.Levels[level] = kept_.Levels[level];
  path.LevelCount = levels;
  path.Leaf().Entry = position;
  return true;
}

}  // namespace viz
