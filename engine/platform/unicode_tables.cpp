#include "engine/platform/unicode_tables.h"

#include <array>
#include <memory>
#include <vector>

namespace viz::platform::detail {
namespace {

//! Code units first, first + stride, ... up to last map to unit + delta (modulo 2^16).
struct CaseRun {
  uint16_t first;
  uint16_t last;
  uint16_t stride;
  uint16_t delta;
};

//! Code units from `start` up to the next run's start have collation class `kind` unless an entry
//! says otherwise: 0 letter, 1 symbol, 2 control, 3 ignorable.
struct ClassRun {
  uint16_t start;
  uint8_t kind;
};

#include "engine/platform/unicode_tables.inc"

static_assert(kOtherMarkKey < kIgnorableKey);

//! A table over all 65536 code units in 256 blocks; blocks without any value share one block of
//! zeros.
template <typename Value>
class BlockTable {
 public:
  BlockTable() : zeros_(std::make_unique<Block>()) { blocks_.fill(zeros_.get()); }

  Value Get(char16_t unit) const { return (*blocks_[unit >> 8])[unit & 0xFF]; }

  void Set(char16_t unit, Value value) {
    Block*& block = blocks_[unit >> 8];
    if (block == zeros_.get()) {
      owned_.push_back(std::make_unique<Block>());
      block = owned_.back().get();
    }
    (*block)[unit & 0xFF] = value;
  }

 private:
  using Block = std::array<Value, 256>;
  std::array<Block*, 256> blocks_;
  std::unique_ptr<Block> zeros_;
  std::vector<std::unique_ptr<Block>> owned_;
};

BlockTable<uint16_t> BuildCaseTable(const CaseRun* runs, size_t count) {
  BlockTable<uint16_t> table;
  for (size_t index = 0; index < count; ++index) {
    const CaseRun& run = runs[index];
    for (uint32_t unit = run.first; unit <= run.last; unit += run.stride) {
      table.Set(static_cast<char16_t>(unit), run.delta);
    }
  }
  return table;
}

const BlockTable<uint16_t>& UpperTable() {
  static const BlockTable<uint16_t> table = BuildCaseTable(kToUpperRuns, std::size(kToUpperRuns));
  return table;
}

const BlockTable<uint16_t>& LowerTable() {
  static const BlockTable<uint16_t> table = BuildCaseTable(kToLowerRuns, std::size(kToLowerRuns));
  return table;
}

//! Every code unit's collation data: an index into `entries`, where the first entries are the
//! plain ones of the four classes (index 0 = plain letter, so that the shared zero block means
//! "letter by code unit").
class CollationTable {
 public:
  CollationTable() {
    // Plain entries carry no unit: the caller's unit is the base.
    constexpr CollationKind kPlain[] = {kPlainLetter, kPlainSymbol, kControl, kIgnorable};
    for (CollationKind kind : kPlain) entries_.push_back(CollationEntry{0, kind, 1, {0, 0, 0}, {0, 0, 0}});
    entries_[3].accents[0] = kIgnorableKey;
    for (size_t run = 0; run < std::size(kClassRuns); ++run) {
      uint32_t end = run + 1 < std::size(kClassRuns) ? kClassRuns[run + 1].start : 0x10000;
      if (kClassRuns[run].kind == 0) continue;
      for (uint32_t unit = kClassRuns[run].start; unit < end; ++unit) {
        index_.Set(static_cast<char16_t>(unit), kClassRuns[run].kind);
      }
    }
    for (const CollationEntry& entry : kCollationEntries) {
      index_.Set(entry.unit, static_cast<uint16_t>(entries_.size()));
      entries_.push_back(entry);
    }
  }

  const CollationEntry& Get(char16_t unit) const { return entries_[index_.Get(unit)]; }

 private:
  BlockTable<uint16_t> index_;
  std::vector<CollationEntry> entries_;
};

}  // namespace

char16_t ToUpperUnit(char16_t unit) {
  return static_cast<char16_t>(unit + UpperTable().Get(unit));
}

char16_t ToLowerUnit(char16_t unit) {
  return static_cast<char16_t>(unit + LowerTable().Get(unit));
}

const CollationEntry& CollationOf(char16_t unit) {
  static const CollationTable table;
  return table.Get(unit);
}

}  // namespace viz::platform::detail
