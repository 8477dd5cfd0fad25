#include "engine/tables/btree/page_index.h"

#include <cstring>

#include "engine/storage/VIZPage.h"
#include "engine/types/errors.h"

namespace viz {

namespace {
// The widest entry a page may ask for: key, reference and the extra bytes of byte 11.
constexpr int32_t kEntryRoom = 4 + 4 + TABSBTreePage::kNodeAddressSize;
}  // namespace

TABSBTreePageIndex::TABSBTreePageIndex(TABSPageManager& pages, int32_t rootPage)
    : tree_(pages, keys_, nullptr) {
  tree_.SetRootPage(rootPage);
}

TABSBTree& TABSBTreePageIndex::CheckedTree() {
  if (tree_.RootPage() < 0) throw EABSException(msg::kIndexInvalidPageNumber.At(20100));
  return tree_;
}

int32_t TABSBTreePageIndex::Create(int32_t session) {
  ++layout_;
  return tree_.CreateRoot(session);
}

void TABSBTreePageIndex::Drop(int32_t session) {
  ++layout_;
  CheckedTree().Drop(session);
}

void TABSBTreePageIndex::Empty(int32_t session) {
  ++layout_;
  CheckedTree().Empty(session);
}

bool TABSBTreePageIndex::Locate(int32_t session, int32_t pageNo, TABSKeyPath& path) {
  TABSBTree& tree = CheckedTree();
  const TABSBTreeProbe probe{reinterpret_cast<const uint8_t*>(&pageNo), nullptr, nullptr, 1};
  return tree.Seek(session, probe, TABSBTree::Bound::Lower, path) &&
         tree.CompareAt(session, probe, path) == 0;
}

int32_t TABSBTreePageIndex::KeyAt(int32_t session, const TABSKeyPath& path) {
  TABSBTreePage page(tree_.Pages(), keys_);
  tree_.LoadLeaf(session, path, page);
  int32_t pageNo;
  std::memcpy(&pageNo, page.Key(path.Leaf().Entry), sizeof pageNo);
  return pageNo;
}

void TABSBTreePageIndex::Add(int32_t session, int32_t pageNo, uint16_t value) {
  TABSKeyPath path;
  if (Locate(session, pageNo, path)) throw EABSException(msg::kInvalidPageNumber.At(20104));
  uint8_t entry[kEntryRoom] = {};
  std::memcpy(entry, &pageNo, 4);
  std::memcpy(entry + 4, &value, 2);
  const TABSBTreeProbe probe{entry, nullptr, nullptr, 1};
  ++layout_;
  tree_.Insert(session, probe, entry);
}

void TABSBTreePageIndex::Remove(int32_t session, int32_t pageNo) {
  const TABSBTreeProbe probe{reinterpret_cast<const uint8_t*>(&pageNo), nullptr, nullptr, 1};
  ++layout_;
  if (!CheckedTree().Remove(session, probe)) throw EABSException(msg::kInvalidPageNumber.At(20105));
}

void TABSBTreePageIndex::SetValue(int32_t session, int32_t pageNo, uint16_t value) {
  TABSKeyPath path;
  if (!Locate(session, pageNo, path)) throw EABSException(msg::kInvalidPageNumber.At(20110));
  TABSBTreePage page(tree_.Pages(), keys_);
  tree_.LoadLeaf(session, path, page);
  page.SetValue(path.Leaf().Entry, value);
}

bool TABSBTreePageIndex::LoadPlace(int32_t session, int32_t pageNo, const Place& place, TABSBTreePage& leaf) {
  if (place.LeafPageNo < 0 || place.Layout != layout_) return false;
  leaf.Load(session, place.LeafPageNo);
  if (!leaf.IsLeaf() || place.Entry < 0 || place.Entry >= leaf.Count()) return false;
  int32_t key = -1;
  std::memcpy(&key, leaf.Key(place.Entry), sizeof key);
  return key == pageNo;
}

void TABSBTreePageIndex::SetValue(int32_t session, int32_t pageNo, uint16_t value, Place& place) {
  TABSBTreePage page(tree_.Pages(), keys_);
  if (LoadPlace(session, pageNo, place, page)) {
    page.SetValue(place.Entry, value);
    return;
  }
  TABSKeyPath path;
  if (!Locate(session, pageNo, path)) throw EABSException(msg::kInvalidPageNumber.At(20110));
  tree_.LoadLeaf(session, path, page);
  page.SetValue(path.Leaf().Entry, value);
  place = Place{path.Leaf().PageNo, path.Leaf().Entry, layout_};
}

bool TABSBTreePageIndex::GetValue(int32_t session, int32_t pageNo, uint16_t& value, const Place& place) {
  TABSBTreePage page(tree_.Pages(), keys_);
  if (!LoadPlace(session, pageNo, place, page)) return GetValue(session, pageNo, value);
  value = page.Value(place.Entry);
  return true;
}

bool TABSBTreePageIndex::GetValue(int32_t session, int32_t pageNo, uint16_t& value) {
  TABSKeyPath path;
  if (!Locate(session, pageNo, path)) return false;
  TABSBTreePage page(tree_.Pages(), keys_);
  tree_.LoadLeaf(session, path, page);
  value = page.Value(path.Leaf().Entry);
  return true;
}

bool TABSBTreePageIndex::ChangeValue(int32_t session, int32_t pageNo,
                                     const std::function<uint16_t(uint16_t)>& change, const Place* place) {
  if (place && place->LeafPageNo >= 0) {
    TABSBTreePage leaf(tree_.Pages(), keys_);
    leaf.Load(session, place->LeafPageNo);
    int32_t key = -1;
    if (leaf.IsLeaf() && place->Entry >= 0 && place->Entry < leaf.Count())
      std::memcpy(&key, leaf.Key(place->Entry), sizeof key);
    if (key == pageNo) {
      leaf.SetValue(place->Entry, change(leaf.Value(place->Entry)));
      return true;
    }
  }
  TABSKeyPath path;
  if (!Locate(session, pageNo, path)) return false;
  TABSBTreePage page(tree_.Pages(), keys_);
  tree_.LoadLeaf(session, path, page);
  page.SetValue(path.Leaf().Entry, change(page.Value(path.Leaf().Entry)));
  return true;
}

int32_t TABSBTreePageIndex::FirstPage(int32_t session) {
  TABSKeyPath path;
  return CheckedTree().First(session, path) ? KeyAt(session, path) : -1;
}

int32_t TABSBTreePageIndex::LastPage(int32_t session) {
  TABSKeyPath path;
  return CheckedTree().Last(session, path) ? KeyAt(session, path) : -1;
}

int32_t TABSBTreePageIndex::NextPage(int32_t session, int32_t pageNo) {
  TABSKeyPath path;
  if (!Locate(session, pageNo, path)) throw EABSException(msg::kInvalidPageNumber.At(20111));
  return tree_.Next(session, path) ? KeyAt(session, path) : -1;
}

int32_t TABSBTreePageIndex::PriorPage(int32_t session, int32_t pageNo) {
  TABSKeyPath path;
  if (!Locate(session, pageNo, path)) throw EABSException(msg::kInvalidPageNumber.At(20111));
  return tree_.Prior(session, path) ? KeyAt(session, path) : -1;
}

int32_t TABSBTreePageIndex::PageAfter(int32_t session, int32_t pageNo) {
  TABSBTree& tree = CheckedTree();
  const TABSBTreeProbe probe{reinterpret_cast<const uint8_t*>(&pageNo), nullptr, nullptr, 1};
  TABSKeyPath path;
  return tree.Seek(session, probe, TABSBTree::Bound::Upper, path) ? KeyAt(session, path) : -1;
}

int32_t TABSBTreePageIndex::PageBefore(int32_t session, int32_t pageNo) {
  TABSBTree& tree = CheckedTree();
  const TABSBTreeProbe probe{reinterpret_cast<const uint8_t*>(&pageNo), nullptr, nullptr, 1};
  TABSKeyPath path;
  if (!tree.Seek(session, probe, TABSBTree::Bound::Lower, path)) return tree.Last(session, path) ? KeyAt(session, path) : -1;
  return tree.Prior(session, path) ? KeyAt(session, path) : -1;
}

bool TABSBTreePageIndex::ForEachPage(int32_t session,
                                     const std::function<bool(int32_t pageNo, uint16_t value)>& visit) {
  TABSKeyPath path;
  if (!CheckedTree().First(session, path)) return true;
  TABSBTreePage page(tree_.Pages(), keys_);
  page.Load(session, path.Leaf().PageNo);
  // Leaves are walked along their next links; a damaged chain of links ends within the file's pages.
  const int64_t limit = tree_.Pages().GetPageCount();
  for (int64_t leaves = 0;; ++leaves) {
    for (int32_t entry = 0; entry < page.Count(); ++entry) {
      int32_t pageNo;
      std::memcpy(&pageNo, page.Key(entry), sizeof pageNo);
      if (!visit(pageNo, page.Value(entry))) return false;
    }
    const int32_t next = page.NextPage();
    if (next == -1) return true;
    if (next == page.PageNo() || leaves > limit)
      throw EABSException(msg::kIndexInvalidPageNumber.At(20115));
    page.Load(session, next);
  }
}

int64_t TABSBTreePageIndex::PageCount(int32_t session) {
  TABSKeyPath path;
  if (!CheckedTree().First(session, path)) return 0;
  TABSBTreePage page(tree_.Pages(), keys_);
  page.Load(session, path.Leaf().PageNo);
  int64_t count = page.Count();
  for (int32_t next = page.NextPage(); next != -1; next = page.NextPage()) {
    page.Load(session, next);
    count += page.Count();
  }
  return count;
}

int32_t TABSBTreePageIndex::FindPageWithRoom(int32_t session, int32_t wanted, Place* place) {
  if (place) *place = Place{};
  TABSBTree& tree = CheckedTree();
  TABSKeyPath path;
  if (!tree.Last(session, path)) return -1;
  TABSBTreePage page(tree.Pages(), keys_);
  const int32_t lastLeaf = path.Leaf().PageNo;
  page.Load(session, lastLeaf);
  int32_t pageNo;
  for (int32_t entry = page.Count() - 1; entry >= 0; --entry) {
    if (!LeavesRoom(page.Value(entry), wanted)) continue;
    std::memcpy(&pageNo, page.Key(entry), sizeof pageNo);
    if (place) *place = Place{lastLeaf, entry, layout_};
    return pageNo;
  }
  tree.First(session, path);
  if (path.Leaf().PageNo == lastLeaf) return -1;
  page.Load(session, path.Leaf().PageNo);
  for (int32_t entry = 0; entry < page.Count(); ++entry) {
    if (!LeavesRoom(page.Value(entry), wanted)) continue;
    std::memcpy(&pageNo, page.Key(entry), sizeof pageNo);
    if (place) *place = Place{path.Leaf().PageNo, entry, layout_};
    return pageNo;
  }
  return -1;
}

TABSBTreeCheckReport TABSBTreePageIndex::Check(int32_t session) {
  return TABSBTreeChecker(tree_, false).Check(session);
}

int32_t TABSBTreeRecordPageIndex::RecordCount(int32_t session, int32_t pageNo) {
  uint16_t value;
  if (!GetValue(session, pageNo, value)) throw EABSException(msg::kInvalidPageNumber.At(20114));
  return value;
}

TABSBTreeBlobPageIndex::TABSBTreeBlobPageIndex(TABSPageManager& pages, int32_t rootPage)
    : TABSBTreePageIndex(pages, rootPage), dataSize_(static_cast<int32_t>(pages.PageDataSize())) {}

void TABSBTreeBlobPageIndex::ChangeUsedBytes(int32_t session, int32_t pageNo, int32_t delta,
                                             const Place* place) {
  const bool listed = ChangeValue(
      session, pageNo,
      [&](uint16_t value) {
        const int32_t used = value + delta;
        if (used < 0 || used > dataSize_) throw EABSException(msg::kPageIndexPageFull);
        return static_cast<uint16_t>(used);
      },
      place);
  if (!listed) throw EABSException(msg::kInvalidPageNumber.At(20110));
}

int32_t TABSBTreeBlobPageIndex::UsedBytes(int32_t session, int32_t pageNo) {
  uint16_t value;
  return GetValue(session, pageNo, value) ? value : -1;
}

}  // namespace viz
