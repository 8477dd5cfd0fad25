// TABSBTreeRecordIndex: navigation in index order, positioning on scan conditions, range scans,
// estimates, ordinals and path numbers.
#include <cmath>
#include <cstring>
#include <optional>

#include "engine/storage/memory_manager.h"
#include "engine/tables/btree/record_index.h"
#include "engine/tables/index_manager.h"
#include "engine/tables/table_cursor.h"
#include "engine/types/errors.h"

namespace viz {

namespace {}  // namespace

void TABSBTreeRecordIndex::StampPath(int32_t session, TABSKeyPath& path) const {
  path.State[0] = tree_ ? tree_->RootPage() : -1;
  path.State[1] = Records().StateCounter;
  path.State[2] = session;
}

TABSRecordAddress TABSBTreeRecordIndex::AddressAt(int32_t session, const TABSKeyPath& path) {
  TABSBTreePage page(Tree().Pages(), keys_);
  Tree().LoadLeaf(session, path, page);
  if (path.Leaf().Entry < 0 || path.Leaf().Entry >= page.Count())
    throw EABSException(msg::kIndexInvalidPosition.At(20107));
  return page.Address(path.Leaf().Entry);
}

bool TABSBTreeRecordIndex::FindRecordPath(int32_t session, const TABSRecordAddress& address,
                                          TABSKeyPath& path, const uint8_t* record) {
  TABSMemBlock read;
  if (record == nullptr) {
    read = NewScratchBlock(RecordSize());
    if (!ReadRecord(session, address, static_cast<uint8_t*>(read.data()))) return false;
    record = static_cast<const uint8_t*>(read.data());
  }
  TABSKeyBuffer key(keys_.KeySize);
  keys_.BuildKey(record, key.data());
  const TABSBTreeProbe probe{key.data(), record, &address, keys_.ColumnCount()};
  const bool found = Tree().Find(session, probe, path);
  StampPath(session, path);
  return found;
}

void TABSBTreeRecordIndex::GetRecord(int32_t session, TABSNavigationRecord& navigation,
                                     TABSIndexPositionCache* cache) {
  if (navigation.Direction == TABSNavigationRecord::kCurrent) throw EABSException(msg::kGetRecordModeCurrent);
  const bool forward = navigation.Direction == TABSNavigationRecord::kNext;
  TABSBTree& tree = Tree();
  auto nothing = [&] {
    navigation.Outcome = forward ? TABSNavigationRecord::kAfterLast : TABSNavigationRecord::kBeforeFirst;
    navigation.FromEnd = forward;
    navigation.FromBeginning = !forward;
  };
  // One rule for every order: next after the last and prior before the first find nothing.
  if ((navigation.FromBeginning && !forward) || (navigation.FromEnd && forward)) return nothing();
  const bool cached =
      cache && cache->IndexID == Definition().ObjectID && cache->Address == navigation.Address &&
      cache->StateCounter == Records().StateCounter && cache->Path.State[0] == tree.RootPage() &&
      cache->Path.State[2] == session && !cache->Path.IsEmpty();
  // The path is worked out in the cache itself (a path is a few hundred bytes, too many to copy in
  // and out on every step); the cache is emptied unless the step ends on a record, so that it never
  // holds a path that does not belong to its address.
  std::optional<TABSKeyPath> own;
  TABSKeyPath& path = cache ? cache->Path : own.emplace();
  struct Forget {
    TABSIndexPositionCache* cache;
    ~Forget() {
      if (cache) cache->Clear();
    }
  } forget{cache};
  if (navigation.FromBeginning || navigation.FromEnd) {
    if (!(forward ? tree.First(session, path) : tree.Last(session, path))) return nothing();
  } else {
    if (!cached && !FindRecordPath(session, navigation.Address, path, nullptr)) {
      navigation.Outcome = TABSNavigationRecord::kNotFound;
      return;
    }
    if (!(forward ? tree.Next(session, path) : tree.Prior(session, path))) return nothing();
  }
  navigation.FromBeginning = navigation.FromEnd = false;
  navigation.Address = AddressAt(session, path);
  if (navigation.Target && !ReadRecord(session, navigation.Address, navigation.Target)) {
    navigation.Outcome = TABSNavigationRecord::kNotFound;
    return;
  }
  navigation.Outcome = TABSNavigationRecord::kFound;
  if (cache) {
    StampPath(session, path);
    cache->IndexID = Definition().ObjectID;
    cache->Address = navigation.Address;
    cache->StateCounter = Records().StateCounter;
    forget.cache = nullptr;
  }
}

int64_t TABSBTreeRecordIndex::RecordOrdinal(int32_t session, const TABSRecordAddress& address,
                                            const uint8_t* record) {
  TABSKeyPath path;
  if (!FindRecordPath(session, address, path, record)) return -1;
  int64_t ordinal = path.Leaf().Entry + 1;
  TABSBTreePage page(Tree().Pages(), keys_);
  page.Load(session, path.Leaf().PageNo);
  for (int32_t prior = page.PriorPage(); prior != -1; prior = page.PriorPage()) {
    page.Load(session, prior);
    ordinal += page.Count();
  }
  return ordinal;
}

TABSRecordAddress TABSBTreeRecordIndex::GotoOrdinal(int32_t session, int64_t ordinal) {
  TABSKeyPath path;
  if (!Tree().First(session, path)) throw EABSException(msg::kRecordFromEmptyIndex);
  int64_t remaining = ordinal < 1 ? 1 : ordinal;
  TABSBTreePage page(Tree().Pages(), keys_);
  page.Load(session, path.Leaf().PageNo);
  for (;;) {
    if (remaining <= page.Count()) return page.Address(static_cast<int32_t>(remaining - 1));
    // Leaves beside the first hold entries; an empty one is damage and would let a ring of links
    // turn forever.
    if (page.Count() == 0 && page.PriorPage() != -1)
      throw EABSException(msg::kDamagedIndexPage, page.PageNo(), "a page of the index holds no entries");
    remaining -= page.Count();
    const int32_t next = page.NextPage();
    if (next == -1) throw EABSException(msg::kRecNoBeyondCount);
    page.Load(session, next);
  }
}

uint64_t TABSBTreeRecordIndex::PathNumber(const TABSKeyPath& path) const {
  const uint64_t base = static_cast<uint64_t>(FanOut()) + 1;
  uint64_t number = 0;
  for (int32_t level = 0; level < path.LevelCount; ++level) {
    if (__builtin_mul_overflow(number, base, &number) ||
        __builtin_add_overflow(number, static_cast<uint64_t>(path.Levels[level].Entry) + 1, &number))
      throw EABSException(msg::kPathNumberOverflow);
  }
  return number;
}

TABSKeyPath TABSBTreeRecordIndex::PathOfNumber(uint64_t number) const {
  const uint64_t base = static_cast<uint64_t>(FanOut()) + 1;
  int32_t digits[64];
  int32_t count = 0;
  for (; number > 0 && count < 64; number /= base) digits[count++] = static_cast<int32_t>(number % base);
  TABSKeyPath path;
  if (count > TABSKeyPath::kMaxLevels) return path;
  for (int32_t level = 0; level < count; ++level) path.Push(-1, digits[count - 1 - level] - 1, 0);
  return path;
}

bool TABSBTreeRecordIndex::AddressAtPath(int32_t session, TABSKeyPath& path, TABSRecordAddress& result) {
  if (!Tree().ResolveEntries(session, path)) return false;
  StampPath(session, path);
  result = AddressAt(session, path);
  return true;
}

void TABSBTreeRecordIndex::ThinToDistinctKeys(int32_t session, TABSRecordBitmap& bitmap, int32_t columns) {
  if (!bitmap.IndexNumbering()) throw EABSException(msg::kIndexInvalidParams.At(20108));
  columns = std::min(std::max(columns, 1), keys_.ColumnCount());
  TABSBTree& tree = Tree();
  TABSKeyPath path;
  if (!tree.First(session, path)) return;
  const uint64_t base = static_cast<uint64_t>(FanOut()) + 1;
  std::vector<uint8_t> keptKey(static_cast<size_t>(keys_.KeySize));
  TABSRecordAddress keptAddress;
  bool hasKept = false;
  TABSBTreePage page(tree.Pages(), keys_);
  for (;;) {
    // Path numbers of one leaf differ only in the last digit.
    TABSKeyPath upper = path;
    upper.LevelCount -= 1;
    uint64_t prefix = PathNumber(upper);
    if (__builtin_mul_overflow(prefix, base, &prefix)) throw EABSException(msg::kPathNumberOverflow);
    page.Load(session, path.Leaf().PageNo);
    for (int32_t entry = 0; entry < page.Count(); ++entry) {
      const uint64_t number = prefix + static_cast<uint64_t>(entry) + 1;
      if (!bitmap.Get(number)) continue;
      const TABSRecordAddress address = page.Address(entry);
      bool same = false;
      if (hasKept) {
        int32_t undecided;
        same = keys_.CompareKeys(keptKey.data(), page.Key(entry), columns, undecided) == 0 &&
               (undecided < 0 || CompareRecordsAt(session, keptAddress, address, undecided, columns) == 0);
      }
      if (same) {
        bitmap.Set(number, false);
      } else {
        std::memcpy(keptKey.data(), page.Key(entry), keptKey.size());
        keptAddress = address;
        hasKept = true;
      }
    }
    path.Leaf().Entry = path.Leaf().Count - 1;
    page.Release();
    if (!tree.Next(session, path)) return;
  }
}

int32_t TABSBTreeRecordIndex::ConditionColumns(const TABSScanSearchCondition& condition) const {
  const int32_t count = condition.KeyFieldCount;
  return count <= 0 || count > keys_.ColumnCount() ? keys_.ColumnCount() : count;
}

bool TABSBTreeRecordIndex::BeforeBound(int32_t session, const TABSBTreeProbe& probe, TABSBTree::Bound bound,
                                       TABSKeyPath& path, TABSBTreePage& leaf) {
  TABSBTree& tree = Tree();
  tree.Descend(session, probe, bound, path, &leaf);
  TABSKeyPathLevel& at = path.Leaf();
  if (at.Entry > 0) {
    --at.Entry;
    return true;
  }
  leaf.Release();
  if (at.Count == 0) return false;
  return tree.Prior(session, path);
}

bool TABSBTreeRecordIndex::PositionOnCondition(int32_t session, const TABSScanSearchCondition* condition,
                                               bool last, TABSKeyPath& path, TABSRecordAddress* address) {
  TABSBTree& tree = Tree();
  TABSBTreePage leaf(tree.Pages(), keys_);
  // The path's leaf, held while it is looked at.
  auto held = [&]() -> TABSBTreePage& {
    if (!leaf.Loaded() || leaf.PageNo() != path.Leaf().PageNo) tree.LoadLeaf(session, path, leaf);
    return leaf;
  };
  auto finish = [&](bool found) {
    StampPath(session, path);
    if (found && address) *address = held().Address(path.Leaf().Entry);
    return found;
  };
  if (condition == nullptr || condition->Key() == nullptr)
    return finish(last ? tree.Last(session, path) : tree.First(session, path));
  TABSKeyBuffer key(keys_.KeySize);
  keys_.BuildKey(condition->Key(), key.data());
  const TABSBTreeProbe probe{key.data(), condition->Key(), nullptr, ConditionColumns(*condition)};
  using Bound = TABSBTree::Bound;
  // c = probe against the entry: c > 0 when the entry orders before the key.
  auto entryIs = [&](auto test) {
    return test(tree.CompareEntry(session, probe, held(), path.Leaf().Entry));
  };
  bool found;
  switch (condition->Operator) {
    case soEqual:
      found = last ? BeforeBound(session, probe, Bound::Upper, path, leaf)
                   : tree.Seek(session, probe, Bound::Lower, path, &leaf);
      found = found && entryIs([](int c) { return c == 0; });
      break;
    case soLess:
      found = last ? BeforeBound(session, probe, Bound::Lower, path, leaf)
                   : tree.First(session, path) && entryIs([](int c) { return c > 0; });
      break;
    case soLessOrEqual:
      found = last ? BeforeBound(session, probe, Bound::Upper, path, leaf)
                   : tree.First(session, path) && entryIs([](int c) { return c >= 0; });
      break;
    case soGreater:
      found = last ? tree.Last(session, path) && entryIs([](int c) { return c < 0; })
                   : tree.Seek(session, probe, Bound::Upper, path, &leaf);
      break;
    case soGreaterOrEqual:
    default:
      found = last ? tree.Last(session, path) && entryIs([](int c) { return c <= 0; })
                   : tree.Seek(session, probe, Bound::Lower, path, &leaf);
      break;
  }
  return finish(found);
}

TABSRecordAddress TABSBTreeRecordIndex::ScanAddress(int32_t session, TABSScanState& state, TABSBTreePage* held) {
  const TABSKeyPathLevel& at = state.Current.Leaf();
  if (state.LeafPageNo != at.PageNo) {
    TABSBTreePage own(Tree().Pages(), keys_);
    TABSBTreePage& leaf = held && held->Loaded() && held->PageNo() == at.PageNo ? *held : own;
    if (!leaf.Loaded()) leaf.Load(session, at.PageNo);
    // A scan's first entry is often its only one (a key lookup): the leaf's addresses are copied
    // once the scan yields a second entry.
    if (at.Entry < 0 || at.Entry >= leaf.Count()) throw EABSException(msg::kIndexInvalidPosition.At(20108));
    if (!state.Started) return leaf.Address(at.Entry);
    state.LeafAddresses.resize(static_cast<size_t>(leaf.Count()));
    for (int32_t entry = 0; entry < leaf.Count(); ++entry)
      state.LeafAddresses[static_cast<size_t>(entry)] = leaf.Address(entry);
    state.LeafPageNo = at.PageNo;
  }
  if (at.Entry < 0 || at.Entry >= static_cast<int32_t>(state.LeafAddresses.size()))
    throw EABSException(msg::kIndexInvalidPosition.At(20108));
  return state.LeafAddresses[static_cast<size_t>(at.Entry)];
}

bool TABSBTreeRecordIndex::EntrySatisfies(int32_t session, const TABSScanSearchCondition& condition,
                                          const TABSKeyPath& path, TABSBTreePage& leaf) {
  if (condition.Key() == nullptr) return true;
  TABSBTree& tree = Tree();
  if (!leaf.Loaded() || leaf.PageNo() != path.Leaf().PageNo) tree.LoadLeaf(session, path, leaf);
  TABSKeyBuffer key(keys_.KeySize);
  keys_.BuildKey(condition.Key(), key.data());
  const TABSBTreeProbe probe{key.data(), condition.Key(), nullptr, ConditionColumns(condition)};
  // The comparison is the key's against the entry; the operator judges the entry against the key.
  return ScanOperatorAccepts(condition.Operator, -tree.CompareEntry(session, probe, leaf, path.Leaf().Entry));
}

bool TABSBTreeRecordIndex::Resume(int32_t session, TABSScanState& state, const TABSRecordAddress& current,
                                  const uint8_t* record, const TABSScanSearchCondition* startCondition,
                                  bool backwards, bool& onEntry) {
  TABSBTree& tree = Tree();
  TABSKeyPath at;
  bool haveAt = FindRecordPath(session, current, at, record);
  onEntry = false;
  if (!haveAt && record != nullptr) {
    // The current record left the index: go on from where its key would stand.
    TABSKeyBuffer key(keys_.KeySize);
    keys_.BuildKey(record, key.data());
    const TABSBTreeProbe probe{key.data(), record, &current, keys_.ColumnCount()};
    TABSBTreePage leaf(tree.Pages(), keys_);
    haveAt = backwards ? BeforeBound(session, probe, TABSBTree::Bound::Lower, at, leaf)
                       : tree.Seek(session, probe, TABSBTree::Bound::Lower, at);
    if (!haveAt) return false;
    onEntry = true;
  }
  if (startCondition || !haveAt) {
    TABSKeyPath start;
    if (!PositionOnCondition(session, startCondition, backwards, start)) return false;
    const bool beforeStart =
        !haveAt || (backwards ? CompareKeyPaths(at, start) > 0 : CompareKeyPaths(at, start) < 0);
    if (beforeStart) {
      state.Current = start;
      onEntry = true;
      return true;
    }
  }
  state.Current = at;
  return true;
}

bool TABSBTreeRecordIndex::ScanStep(int32_t session, bool firstStep, TABSScanState& state,
                                    TABSRecordAddress& result, const uint8_t* record,
                                    const TABSScanSearchCondition* endCondition,
                                    const TABSScanSearchCondition* startCondition, bool backwards) {
  if (firstStep && state.Started) throw EABSException(msg::kIndexInvalidParams);
  if (state.Finished) return false;
  auto finish = [&] {
    state.Finished = true;
    return false;
  };
  TABSBTree& tree = Tree();
  bool onEntry = false;
  TABSRecordAddress first;
  if (firstStep) {
    if (!PositionOnCondition(session, startCondition, backwards, state.Current, &first)) return finish();
    onEntry = true;
  } else if (!state.Started) {
    if (!Resume(session, state, result, record, startCondition, backwards, onEntry)) return finish();
  }
  if (!onEntry && !(backwards ? tree.Prior(session, state.Current) : tree.Next(session, state.Current)))
    return finish();
  // The last entry the scan may yield is found by a descent of its own, which a scan that ends at
  // its first entry (a key lookup) never needs: an entry that satisfies the end condition lies
  // within the end, so the end is only looked for once an entry does not or a second one is asked for.
  TABSBTreePage leaf(tree.Pages(), keys_);
  const TABSScanSearchCondition* end = endCondition ? endCondition : startCondition;
  if (!state.EndComputed) {
    // The start's own first entry satisfies it by construction.
    const bool within = !state.Started && end != nullptr &&
                        ((firstStep && end == startCondition) || EntrySatisfies(session, *end, state.Current, leaf));
    if (!within) {
      state.EndComputed = true;
      if (end) {
        if (!PositionOnCondition(session, end, !backwards, state.End)) return finish();
        state.HasEnd = true;
      }
    }
  }
  if (state.HasEnd) {
    const int order = CompareKeyPaths(state.Current, state.End);
    if (backwards ? order < 0 : order > 0) return finish();
  }
  result = firstStep ? first : ScanAddress(session, state, &leaf);
  state.Started = true;
  state.Backwards = backwards;
  return true;
}

int64_t TABSBTreeRecordIndex::EstimateKeys(int32_t session, const TABSScanSearchCondition& first,
                                           const TABSScanSearchCondition& second, int64_t total) {
  if (Tree().RootPage() < 0) throw EABSException(msg::kInvalidPageNumber.At(20125));
  const TABSScanSearchCondition& lower = ConditionDirection(first) == -1 ? first : second;
  const TABSScanSearchCondition& upper = &lower == &first ? second : first;
  TABSKeyPath low, high;
  if (!PositionOnCondition(session, &lower, false, low)) return 0;
  if (!PositionOnCondition(session, &upper, true, high)) return 0;
  // From the start of the first entry to the end of the last one, so that one key counts as one.
  const double share = RelativeEndPosition(high) - RelativePosition(low);
  const int64_t estimate = std::llround(share * static_cast<double>(total));
  return estimate < 0 ? 0 : (estimate > total ? total : estimate);
}

}  // namespace viz
