#include "engine/tables/btree/btree_key.h"

#include <cstring>
#include <string>

#include "engine/platform/collation.h"
#include "engine/storage/memory_manager.h"
#include "engine/tables/field_defs.h"
#include "engine/tables/index_defs.h"
#include "engine/tables/record_layout.h"
#include "engine/types/errors.h"
#include "engine/types/raw_values.h"

namespace viz {

namespace {

template <class T>
int Order(const uint8_t* a, const uint8_t* b) {
  T x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x < y ? -1 : (y < x ? 1 : 0);
}

// Bytes two texts share from their beginning, stopping at a common terminator or at `limit`.
size_t CommonTextPrefix(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t same = 0;
  while (same + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + same, 8);
    std::memcpy(&y, b + same, 8);
    const uint64_t differ = x ^ y;
    // Stop at the first difference, or at a zero byte (the terminator) within the word.
    const uint64_t zero = (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull;
    if (differ != 0 || zero != 0) break;
    same += 8;
  }
  while (same < limit && a[same] == b[same] && a[same] != 0) ++same;
  return same;
}

// Units of text in `bytes` bytes of a value, up to its terminator.
size_t TextUnits(const uint8_t* value, int32_t bytes, bool wide) {
  if (!wide) {
    const void* end = std::memchr(value, 0, static_cast<size_t>(bytes));
    return end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - value) : static_cast<size_t>(bytes);
  }
  const size_t units = static_cast<size_t>(bytes) / 2;
  for (size_t i = 0; i < units; ++i)
    if (value[2 * i] == 0 && value[2 * i + 1] == 0) return i;
  return units;
}

// Copies a text value's units up to (not including) its terminator into the zeroed destination.
void CopyText(uint8_t* destination, const uint8_t* value, int32_t bytes, bool wide) {
  const size_t units = TextUnits(value, bytes, wide);
  std::memcpy(destination, value, units * (wide ? 2 : 1));
}

// First-level comparison of two kept prefixes of which at least one may be cut.
int ComparePrefixes(const TABSRecordKeyColumn& column, const uint8_t* a, size_t aUnits, bool aComplete,
                    const uint8_t* b, size_t bUnits, bool bComplete) {
  if (!IsWideStringBaseType(column.BaseType)) {
    return platform::CollateAnsiFirstLevel(reinterpret_cast<const char*>(a), aUnits, aComplete,
                                           reinterpret_cast<const char*>(b), bUnits, bComplete);
  }
  // Key bytes inside a page are not aligned for 16-bit units.
  std::u16string left(aUnits, u'\0'), right(bUnits, u'\0');
  std::memcpy(left.data(), a, aUnits * 2);
  std::memcpy(right.data(), b, bUnits * 2);
  return platform::CollateWideFirstLevel(left.data(), aUnits, aComplete, right.data(), bUnits, bComplete);
}

}  // namespace

TABSMemBlock NewScratchBlock(int32_t size) {
  return TABSMemBlock(MemoryManager().GetMemZero(static_cast<size_t>(size)), size);
}

TABSKeyBuffer::TABSKeyBuffer(int32_t size) : data_(inline_) {
  if (size <= kInlineSize) {
    std::memset(inline_, 0, static_cast<size_t>(size > 0 ? size : 0));
  } else {
    heap_ = NewScratchBlock(size);
    data_ = static_cast<uint8_t*>(heap_.data());
  }
}

int CompareKeyColumnValues(const TABSRecordKeyColumn& column, const uint8_t* a, bool aNull, const uint8_t* b,
                           bool bNull, int32_t valueBytes) {
  int r;
  if (aNull || bNull) {
    r = aNull == bNull ? 0 : (aNull ? -1 : 1);
  } else {
    switch (column.BaseType) {
      case bt::kShortInt:
        r = Order<int8_t>(a, b);
        break;
      case bt::kSmallInt:
        r = Order<int16_t>(a, b);
        break;
      case bt::kInteger:
      case bt::kDate:
      case bt::kTime:
        r = Order<int32_t>(a, b);
        break;
      case bt::kLargeInt:
        r = Order<int64_t>(a, b);
        break;
      case bt::kByte:
        r = Order<uint8_t>(a, b);
        break;
      case bt::kWord:
        r = Order<uint16_t>(a, b);
        break;
      case bt::kCardinal:
        r = Order<uint32_t>(a, b);
        break;
      case bt::kChar:
      case bt::kString: {
        // Values end at their terminator, within the field's buffer size. A common beginning weighs
        // the same on every level of the collation, so only what follows it is collated.
        const size_t limit = static_cast<size_t>(valueBytes >= 0 ? valueBytes : column.FullPartSize - 1);
        const size_t same = CommonTextPrefix(a, b, limit);
        if (same == limit || (a[same] == 0 && b[same] == 0)) {
          r = 0;
          break;
        }
        if (a[same] < 0x80 && b[same] < 0x80 && platform::PlainFirstLevelOrder(a[same], b[same])) {
          r = a[same] < b[same] ? -1 : 1;
          break;
        }
        const char* restA = reinterpret_cast<const char*>(a + same);
        const char* restB = reinterpret_cast<const char*>(b + same);
        r = platform::CollateAnsi(restA, strnlen(restA, limit - same), restB, strnlen(restB, limit - same),
                                  column.CaseInsensitive);
        break;
      }
      default: {
        const int raw = CompareRawValues(a, b, column.BaseType, column.BaseType, kUserDefaultLocale,
                                         column.CaseInsensitive, -1, false, false);
        r = raw == kCompareLess ? -1 : (raw == kCompareGreater ? 1 : 0);
      }
    }
  }
  return column.Descending ? -r : r;
}

void TABSRecordKeyRef::Build(const TABSIndexDef& definition, const TABSFieldDefs& fields) {
  Columns.clear();
  hasTruncated_ = false;
  int32_t keyOffset = 0, fullOffset = 0;
  for (const TABSIndexColumn& indexColumn : definition.Columns) {
    const int32_t fieldNo = fields.IndexOfName(indexColumn.FieldName);
    if (fieldNo < 0) throw EABSException(msg::kCannotFindIndexField.At(20043), indexColumn.FieldName);
    const TABSFieldDef& field = fields[fieldNo];
    TABSRecordKeyColumn column;
    column.FieldNo = fieldNo;
    column.BufferOffset = field.BufferOffset;
    column.BaseType = field.BaseType();
    column.Descending = indexColumn.Descending;
    column.CaseInsensitive = indexColumn.CaseInsensitive;
    column.FullPartSize = field.BufferSize() + 1;
    int32_t kept = indexColumn.KeyLength;
    if (IsWideStringBaseType(column.BaseType)) kept &= ~1;  // whole 16-bit units only
    if (IsStringBaseType(column.BaseType) && kept > 0 && kept < field.BufferSize()) {
      column.Spare = 2;
      column.PartSize = kept + 3;
      hasTruncated_ = true;
    } else {
      column.PartSize = column.FullPartSize;
    }
    column.KeyOffset = keyOffset;
    column.FullKeyOffset = fullOffset;
    keyOffset += column.PartSize;
    fullOffset += column.FullPartSize;
    Columns.push_back(column);
  }
  KeySize = keyOffset;
  FullKeySize = fullOffset;
  ReferenceSize = kAddressSize;
}

void TABSRecordKeyRef::BuildKey(const uint8_t* record, uint8_t* key) const {
  std::memset(key, 0, static_cast<size_t>(KeySize));
  for (const TABSRecordKeyColumn& column : Columns) {
    uint8_t* part = key + column.KeyOffset;
    if (IsNullFlagSet(record, column.FieldNo)) {
      part[0] = 1;
      continue;
    }
    const uint8_t* value = record + column.BufferOffset;
    if (IsStringBaseType(column.BaseType))
      CopyText(part + 1, value, column.KeptBytes(), IsWideStringBaseType(column.BaseType));
    else
      std::memcpy(part + 1, value, static_cast<size_t>(column.KeptBytes()));
  }
}

void TABSRecordKeyRef::BuildFullKey(const uint8_t* record, uint8_t* key) const {
  std::memset(key, 0, static_cast<size_t>(FullKeySize));
  for (const TABSRecordKeyColumn& column : Columns) {
    uint8_t* part = key + column.FullKeyOffset;
    if (IsNullFlagSet(record, column.FieldNo)) {
      part[0] = 1;
      continue;
    }
    const uint8_t* value = record + column.BufferOffset;
    const int32_t bytes = column.FullPartSize - 1;
    if (IsStringBaseType(column.BaseType))
      CopyText(part + 1, value, bytes, IsWideStringBaseType(column.BaseType));
    else
      std::memcpy(part + 1, value, static_cast<size_t>(bytes));
  }
}

int TABSRecordKeyRef::CompareKeys(const uint8_t* a, const uint8_t* b, int32_t columns, int32_t& undecided,
                                  const uint8_t* aRecord) const {
  undecided = -1;
  for (int32_t i = 0; i < columns; ++i) {
    const TABSRecordKeyColumn& column = Columns[static_cast<size_t>(i)];
    const uint8_t* partA = a + column.KeyOffset;
    const uint8_t* partB = b + column.KeyOffset;
    const bool aNull = partA[0] != 0, bNull = partB[0] != 0;
    if (!column.Truncated() || aNull || bNull) {
      const int r = CompareKeyColumnValues(column, partA + 1, aNull, partB + 1, bNull, column.PartSize - 1);
      if (r != 0) return r;
      continue;
    }
    const bool wide = IsWideStringBaseType(column.BaseType);
    const int32_t kept = column.KeptBytes();
    const size_t aUnits = TextUnits(partA + 1, kept, wide), bUnits = TextUnits(partB + 1, kept, wide);
    const size_t keptUnits = static_cast<size_t>(wide ? kept / 2 : kept);
    // A prefix without a terminator may be the beginning of a longer text; the searched record
    // itself tells whether its text was cut.
    const bool aComplete =
        aRecord ? TextUnits(aRecord + column.BufferOffset, column.FullPartSize - 1, wide) <= keptUnits
                : aUnits < keptUnits;
    const bool bComplete = bUnits < keptUnits;
    if (aComplete && bComplete) {
      const int r = CompareKeyColumnValues(column, partA + 1, false, partB + 1, false, column.PartSize - 1);
      if (r != 0) return r;
      continue;
    }
    const int r = ComparePrefixes(column, partA + 1, aUnits, aComplete, partB + 1, bUnits, bComplete);
    if (r != 0) return column.Descending ? -r : r;
    undecided = i;
    return 0;
  }
  return 0;
}

int TABSRecordKeyRef::CompareRecords(const uint8_t* a, const uint8_t* b, int32_t from,
                                     int32_t columns) const {
  for (int32_t i = from; i < columns; ++i) {
    const TABSRecordKeyColumn& column = Columns[static_cast<size_t>(i)];
    const int r = CompareKeyColumnValues(column, a + column.BufferOffset, IsNullFlagSet(a, column.FieldNo),
                                         b + column.BufferOffset, IsNullFlagSet(b, column.FieldNo));
    if (r != 0) return r;
  }
  return 0;
}

int TABSPageKeyRef::CompareKeys(const uint8_t* a, const uint8_t* b, int32_t, int32_t& undecided,
                                const uint8_t*) const {
  undecided = -1;
  return Order<int32_t>(a, b);
}

}  // namespace viz
