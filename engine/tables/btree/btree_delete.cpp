// TABSBTree: deletion with merges into a neighbour, separator repair and root collapse.
//
// Separators only have to bound their children (btree.h, invariant 2). Entries that move to the
// left (a merge into the prior page) raise the lower bound of what stays on the right; entries that
// move to the right (a merge into the next page) lower the bound of the page that takes them. The
// bound of a page is the separator in its nearest ancestor whose path entry is not 0.
#include <cstring>

#include "engine/storage/VIZPage.h"
#include "engine/tables/btree/btree.h"
#include "engine/types/errors.h"

namespace viz {

bool TABSBTree::Remove(int32_t session, const TABSBTreeProbe& probe) {
  TABSKeyPath path;
  TABSBTreePage leaf(pages_, keys_);
  if (!Find(session, probe, path, &leaf)) return false;
  RemoveAt(session, path, path.LevelCount - 1, path.Leaf().Entry, &leaf);
  return true;
}

void TABSBTree::SetLowerBound(int32_t session, const TABSKeyPath& path, int32_t level, const uint8_t* key) {
  for (int32_t ancestor = level - 1; ancestor >= 0; --ancestor) {
    if (path.Levels[ancestor].Entry == 0) continue;
    TABSBTreePage page(pages_, keys_);
    page.Load(session, path.Levels[ancestor].PageNo);
    page.SetKey(path.Levels[ancestor].Entry, key);
    return;
  }
}

void TABSBTree::RemoveAt(int32_t session, TABSKeyPath& path, int32_t level, int32_t position,
                         TABSBTreePage* held) {
  TABSBTreePage page(pages_, keys_);
  if (held && held->Loaded() && held->PageNo() == path.Levels[level].PageNo)
    page = std::move(*held);
  else
    page.Load(session, path.Levels[level].PageNo);
  page.RemoveEntries(position, 1);
  path.Levels[level].Count = page.Count();
  if (!page.IsLeaf() && position == 0 && page.Count() > 0) {
    // The former entry 1 now starts this page: what its separator bounded is the page's lowest key.
    const std::vector<uint8_t> key(page.Key(0), page.Key(0) + keys_.KeySize);
    page.ZeroKey(0);
    SetLowerBound(session, path, level, key.data());
  }
  if (level == 0) {
    const bool collapse = !page.IsLeaf() && page.Count() == 1;
    page.Release();
    if (collapse) CollapseRoot(session);
    return;
  }
  const bool underFilled = page.IsUnderFilled();
  page.Release();
  if (underFilled) Merge(session, path, level);
}

void TABSBTree::Merge(int32_t session, TABSKeyPath& path, int32_t level) {
  TABSBTreePage page(pages_, keys_);
  page.Load(session, path.Levels[level].PageNo);
  const int32_t count = page.Count();
  const int32_t parentLevel = level - 1;
  const int32_t parentEntry = path.Levels[parentLevel].Entry;
  const int32_t priorNo = page.PriorPage(), nextNo = page.NextPage();
  std::vector<uint8_t> first;

  if (priorNo != -1) {
    TABSBTreePage prior(pages_, keys_);
    prior.Load(session, priorNo);
    if (prior.CanMergeWith(count)) {
      if (!page.IsLeaf() && count > 0) {
        // Entry 0 stops being first: it needs a key that bounds its child.
        FirstEntryUnder(session, page.Child(0), first);
        page.SetKey(0, first.data());
      }
      if (count > 0) prior.InsertEntries(prior.Count(), page.Entry(0), count);
      prior.SetNextPage(nextNo);
      prior.Release();
      if (nextNo != -1) {
        TABSBTreePage next(pages_, keys_);
        next.Load(session, nextNo);
        next.SetPriorPage(priorNo);
      }
      page.Release();
      pages_.RemovePage(session, path.Levels[level].PageNo);
      RemoveAt(session, path, parentLevel, parentEntry);
      return;
    }
  }
  if (nextNo == -1) return;
  TABSBTreePage next(pages_, keys_);
  next.Load(session, nextNo);
  if (!next.CanMergeWith(count)) return;
  if (count > 0) {
    if (!next.IsLeaf()) {
      // The next page's entry 0 stops being first; this page's zero-key entry 0 takes its place.
      FirstEntryUnder(session, next.Child(0), first);
      next.SetKey(0, first.data());
    }
    next.InsertEntries(0, page.Entry(0), count);
  }
  next.SetPriorPage(priorNo);
  if (priorNo != -1) {
    TABSBTreePage prior(pages_, keys_);
    prior.Load(session, priorNo);
    prior.SetNextPage(nextNo);
  }
  page.Release();
  pages_.RemovePage(session, path.Levels[level].PageNo);

  // The ancestor where the paths to this page and to the next one part.
  int32_t parting = parentLevel;
  while (parting >= 0 && path.Levels[parting].Entry + 1 >= path.Levels[parting].Count) --parting;
  if (parting < 0) throw EABSException(msg::kIndexInvalidPosition.At(20103));
  if (parting == parentLevel) {
    // Same parent: the entry that led here now leads to the next page, with this page's bound.
    next.Release();
    TABSBTreePage parent(pages_, keys_);
    parent.Load(session, path.Levels[parentLevel].PageNo);
    parent.SetChild(parentEntry, nextNo);
    parent.Release();
    RemoveAt(session, path, parentLevel, parentEntry + 1);
    return;
  }
  // Another parent: the next page's bound drops to its new first key.
  if (count > 0) {
    if (next.IsLeaf()) {
      first.assign(next.Key(0), next.Key(0) + keys_.KeySize);
    } else {
      next.Release();
      FirstEntryUnder(session, nextNo, first);
    }
    TABSBTreePage ancestor(pages_, keys_);
    ancestor.Load(session, path.Levels[parting].PageNo);
    ancestor.SetKey(path.Levels[parting].Entry + 1, first.data());
  }
  next.Release();
  RemoveAt(session, path, parentLevel, parentEntry);
}

void TABSBTree::CollapseRoot(int32_t session) {
  TABSBTreePage root(pages_, keys_), child(pages_, keys_);
  for (;;) {
    root.Load(session, root_);
    if (root.IsLeaf() || root.Count() != 1) return;
    const int32_t childNo = root.Child(0);
    child.Load(session, childNo);
    std::memcpy(root.Data(), child.Data(), static_cast<size_t>(root.DataSize()));
    root.RefreshLayout();
    root.SetRoot(true);
    root.SetPriorPage(-1);
    root.SetNextPage(-1);
    child.Release();
    root.Release();
    pages_.RemovePage(session, childNo);
  }
}

}  // namespace viz
