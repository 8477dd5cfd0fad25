// Key descriptions: how the keys of an index are built from record buffers and compared.
//
// Stored key of a record index: one part per index column, in column order.
//
//   part of a column          | bytes   | content
//   --------------------------+---------+---------------------------------------------------------
//   whole value               | S + 1   | null flag (1 = NULL), then the field's S buffer bytes
//   truncated text (L < S)    | L + 3   | null flag, the first L bytes of the text, two zero bytes
//
// S is the field's buffer size and L the column's key length. Only text columns are truncated (a
// prefix of a number's bytes has no order); a NULL column has flag 1 and zero bytes. The full key
// gives every column its whole value (S + 1 bytes) and is what two records compare by exactly.
//
// Order: column by column, NULL before every value, values by the base type's comparison with the
// column's case rule, the sign reversed on descending columns. A truncated column whose kept prefixes
// cannot tell two texts apart leaves the order undecided; the caller then compares the full values
// of the two records.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/types/data_types.h"
#include "engine/types/raw_values.h"

namespace viz {

class TABSFieldDefs;
class TABSIndexDef;

//! Key size and reference size of an index's entries, and the comparison of two stored keys.
class TABSBTreeKeyRef {
 public:
  virtual ~TABSBTreeKeyRef() = default;

  //! Returns -1, 0 or 1 as stored key `a` (the key searched for) orders before, with or after stored
  //! key `b` (an entry) on the first `columns` columns. When the answer is 0 only because a
  //! truncated column's prefixes could not decide, `undecided` receives that column, else -1.
  //! `aComplete` tells, per truncated column, whether `a`'s prefix is its whole text (null: judged
  //! from the prefix itself).
  virtual int CompareKeys(const uint8_t* a, const uint8_t* b, int32_t columns, int32_t& undecided,
                          const uint8_t* aRecord = nullptr) const = 0;
  virtual int32_t ColumnCount() const = 0;

  //! Bytes of one stored key (K).
  int32_t KeySize = 0;
  //! Bytes of a leaf entry's reference: 6 (record address) or 2 (page index value).
  int32_t ReferenceSize = 0;
};

//! One column of a record index key.
struct TABSRecordKeyColumn {
  int32_t KeyOffset = 0;      //!< offset of the part in the stored key
  int32_t FullKeyOffset = 0;  //!< offset of the part in the full key
  int32_t BufferOffset = 0;   //!< offset of the field in the record buffer
  int32_t FieldNo = 0;
  int32_t PartSize = 0;      //!< bytes of the part in the stored key
  int32_t FullPartSize = 0;  //!< S + 1
  int32_t Spare = 0;         //!< 2 for a truncated column, else 0
  TABSBaseType BaseType = 0;
  bool Descending = false;
  bool CaseInsensitive = false;

  bool Truncated() const { return Spare != 0; }
  //! Bytes of the value kept in the stored key.
  int32_t KeptBytes() const { return PartSize - 1 - Spare; }
};

//! The key description of a record index.
class TABSRecordKeyRef : public TABSBTreeKeyRef {
 public:
  static constexpr int32_t kAddressSize = 6;

  //! Describes the keys of `definition` over `fields`. Raises 20043 "Cannot find index field '%s'"
  //! for a column that names no field.
  void Build(const TABSIndexDef& definition, const TABSFieldDefs& fields);

  int CompareKeys(const uint8_t* a, const uint8_t* b, int32_t columns, int32_t& undecided,
                  const uint8_t* aRecord = nullptr) const override;
  int32_t ColumnCount() const override { return static_cast<int32_t>(Columns.size()); }

  //! Writes the stored key of a record buffer into `key` (KeySize bytes).
  void BuildKey(const uint8_t* record, uint8_t* key) const;
  //! Writes the full key of a record buffer into `key` (FullKeySize bytes).
  void BuildFullKey(const uint8_t* record, uint8_t* key) const;
  //! Compares two record buffers on columns [from, columns) by their whole values.
  int CompareRecords(const uint8_t* a, const uint8_t* b, int32_t from, int32_t columns) const;
  //! Whether any column is truncated (comparisons may then need the records).
  bool HasTruncatedColumns() const { return hasTruncated_; }

  std::vector<TABSRecordKeyColumn> Columns;
  int32_t FullKeySize = 0;

 private:
  bool hasTruncated_ = false;
};

//! The key description of a page index: one signed 32-bit page number.
class TABSPageKeyRef : public TABSBTreeKeyRef {
 public:
  TABSPageKeyRef() {
    KeySize = 4;
    ReferenceSize = 2;
  }
  int CompareKeys(const uint8_t* a, const uint8_t* b, int32_t columns, int32_t& undecided,
                  const uint8_t* aRecord = nullptr) const override;
  int32_t ColumnCount() const override { return 1; }
};

//! Returns a zero-filled block of `size` bytes of the engine's memory manager (record and key
//! scratch buffers).
TABSMemBlock NewScratchBlock(int32_t size);

//! A key's or a scratch record's bytes for the length of one operation, zero-filled: inline for
//! ordinary sizes, from the engine's memory manager for long ones.
class TABSKeyBuffer {
 public:
  static constexpr int32_t kInlineSize = 256;
  explicit TABSKeyBuffer(int32_t size);
  TABSKeyBuffer(const TABSKeyBuffer&) = delete;
  TABSKeyBuffer& operator=(const TABSKeyBuffer&) = delete;
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }

 private:
  alignas(8) uint8_t inline_[kInlineSize];
  TABSMemBlock heap_;
  uint8_t* data_;
};

//! Returns -1, 0 or 1 comparing two values of one key column (NULL first, descending reversed).
//! `valueBytes` bounds a text value (-1: the field's buffer size).
int CompareKeyColumnValues(const TABSRecordKeyColumn& column, const uint8_t* a, bool aNull, const uint8_t* b,
                           bool bNull, int32_t valueBytes = -1);

}  // namespace viz
