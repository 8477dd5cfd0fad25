// TABSBTree: insertion with root and non-root splits.
#include <cstring>

#include "engine/storage/memory_manager.h"
#include "engine/tables/btree/btree.h"
#include "engine/types/errors.h"
#include "engine/types/raw_values.h"

namespace viz {

namespace {
// A node entry (separator key, child) laid out like the entries of `like`'s level above.
std::vector<uint8_t> NodeEntry(const TABSBTreePage& like, const uint8_t* key, int32_t child) {
  const int32_t keySize = like.KeySize();
  std::vector<uint8_t> entry(
      static_cast<size_t>(keySize + TABSBTreeNodeController::kChildSize +
                          (like.AddressInNodes() ? TABSBTreePage::kNodeAddressSize : 0)),
      0);
  if (key) std::memcpy(entry.data(), key, static_cast<size_t>(keySize));
  std::memcpy(entry.data() + keySize, &child, sizeof child);
  return entry;
}
}  // namespace

void TABSBTree::Insert(int32_t session, const TABSBTreeProbe& probe, const uint8_t* entry) {
  TABSKeyPath path;
  TABSBTreePage leaf(pages_, keys_);
  if (!ResumeKeptDescent(session, probe, path, leaf)) Descend(session, probe, Bound::Lower, path, &leaf);
  InsertAt(session, path, path.LevelCount - 1, path.Leaf().Entry, entry, &leaf);
}

void TABSBTree::InsertAt(int32_t session, TABSKeyPath& path, int32_t level, int32_t position,
                         const uint8_t* entry, TABSBTreePage* held) {
  TABSBTreePage page(pages_, keys_);
  if (held && held->Loaded() && held->PageNo() == path.Levels[level].PageNo)
    page = std::move(*held);
  else
    page.Load(session, path.Levels[level].PageNo);
  if (page.HasRoomForOne()) {
    page.InsertEntries(position, entry, 1);
    return;
  }
  // The page and the new entry, in order, split between two pages. An entry past the end of the
  // last page of its level is an append: the full page stays as it is and the new page starts with
  // the new entry alone, so that an index filled in key order ends with full pages, not half-full
  // ones. Any other split divides evenly.
  const bool append = position == page.Count() && (level == 0 || page.NextPage() == -1);
  const int32_t size = page.EntrySize();
  const int32_t count = page.Count() + 1;
  const int32_t bytes = count * size;
  TABSMemBlock combined(MemoryManager().GetMem(static_cast<size_t>(bytes)), bytes);
  auto* at = static_cast<uint8_t*>(combined.data());
  std::memcpy(at, page.Entry(0), static_cast<size_t>(position * size));
  std::memcpy(at + position * size, entry, static_cast<size_t>(size));
  std::memcpy(at + (position + 1) * size, page.Entry(position),
              static_cast<size_t>((count - 1 - position) * size));
  const int32_t staying = append ? count - 1 : count / 2;
  if (level == 0)
    SplitRoot(session, path.LevelCount, page, at, count, staying);
  else
    SplitPage(session, path, level, page, at, count, staying);
}

void TABSBTree::SplitRoot(int32_t session, int32_t depth, TABSBTreePage& root, const uint8_t* entries,
                          int32_t count, int32_t staying) {
  if (depth >= TABSKeyPath::kMaxLevels) throw EABSException(msg::kIndexTooDeep, TABSKeyPath::kMaxLevels);
  const int32_t size = root.EntrySize();
  TABSBTreePage left(pages_, keys_), right(pages_, keys_);
  left.Add(session);
  left.InitLike(root);
  left.SetRoot(false);
  right.Add(session);
  right.InitLike(root);
  right.SetRoot(false);
  left.InsertEntries(0, entries, staying);
  right.InsertEntries(0, entries + staying * size, count - staying);
  left.SetNextPage(right.PageNo());
  right.SetPriorPage(left.PageNo());
  std::vector<uint8_t> separator(right.Key(0), right.Key(0) + keys_.KeySize);
  if (!right.IsLeaf()) right.ZeroKey(0);

  // The root keeps its number and becomes a node over the two halves.
  std::memset(root.Data() + TABSBTreePage::kHeaderSize + root.HeaderExtension(), 0,
              static_cast<size_t>(root.DataSize() - TABSBTreePage::kHeaderSize - root.HeaderExtension()));
  root.SetCount(0);
  root.SetLeaf(false);
  const std::vector<uint8_t> first = NodeEntry(root, nullptr, left.PageNo());
  const std::vector<uint8_t> second = NodeEntry(root, separator.data(), right.PageNo());
  root.InsertEntries(0, first.data(), 1);
  root.InsertEntries(1, second.data(), 1);
}

void TABSBTree::SplitPage(int32_t session, TABSKeyPath& path, int32_t level, TABSBTreePage& page,
                          const uint8_t* entries, int32_t count, int32_t staying) {
  const int32_t size = page.EntrySize();
  TABSBTreePage added(pages_, keys_);
  added.Add(session);
  added.InitLike(page);
  added.InsertEntries(0, entries + staying * size, count - staying);

  const int32_t kept = page.Count();
  std::memcpy(page.Entry(0), entries, static_cast<size_t>(staying * size));
  std::memset(page.Entry(staying), 0, static_cast<size_t>((kept - staying) * size));
  page.SetCount(staying);

  const int32_t after = page.NextPage();
  added.SetNextPage(after);
  added.SetPriorPage(page.PageNo());
  page.SetNextPage(added.PageNo());
  if (after != -1) {
    TABSBTreePage next(pages_, keys_);
    next.Load(session, after);
    next.SetPriorPage(added.PageNo());
  }
  const std::vector<uint8_t> separator = NodeEntry(page, added.Key(0), added.PageNo());
  if (!added.IsLeaf()) added.ZeroKey(0);
  page.Release();
  added.Release();
  InsertAt(session, path, level - 1, path.Levels[level - 1].Entry + 1, separator.data());
}

}  // namespace viz
