// Scan search conditions: the restrictions a search of a table turns into an access path. An index
// condition compares records with a key on the leading columns of one index; an expression
// condition asks a compiled expression.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/types/raw_values.h"

namespace viz {

class TABSCursor;
class TABSIndexDefs;
class TABSScanSearchConditionArray;

//! Operators of scan conditions, read in the index's own order (a descending column turns
//! "greater" into "less"). The expression layer's index placement produces them too.
enum TABSScanOperator : uint8_t {
  soEqual = 1,
  soLess = 2,
  soGreater = 3,
  soLessOrEqual = 4,
  soGreaterOrEqual = 5,
};

//! A compiled condition on a cursor's records; the expression layer implements it (filters, SQL
//! filters, locate conditions).
class TABSSearchExpression {
 public:
  virtual ~TABSSearchExpression() = default;
  //! Returns whether the record (record-buffer form of the cursor's table) satisfies the condition.
  //! `source` is the record buffer of a search by record buffer, which holds the values to look
  //! for; null otherwise. Errors of the evaluation pass through.
  virtual bool IsTrue(TABSCursor& cursor, const uint8_t* record, const uint8_t* source) = 0;
  //! Appends the index conditions the expression implies for the cursor's table, marking those it
  //! still checks itself as redundant. An expression that offers none adds nothing.
  virtual void ExtractIndexConditions(TABSCursor& cursor, const TABSIndexDefs& indexes,
                                      TABSScanSearchConditionArray& conditions) {
    (void)cursor, (void)indexes, (void)conditions;
  }
};

//! One restriction of a search.
class TABSScanSearchCondition {
 public:
  TABSScanSearchCondition() = default;
  TABSScanSearchCondition(const TABSScanSearchCondition&) = delete;
  TABSScanSearchCondition& operator=(const TABSScanSearchCondition&) = delete;

  //! An index condition: `key` is a record buffer of `keySize` bytes holding the key values in the
  //! index's fields; it is copied unless `borrowed` (then it must outlive the condition).
  static std::unique_ptr<TABSScanSearchCondition> ForIndex(int32_t indexId, TABSScanOperator op,
                                                           const uint8_t* key, int32_t keySize,
                                                           int32_t keyFieldCount, bool borrowed = false);
  //! An expression condition (the expression is not owned).
  static std::unique_ptr<TABSScanSearchCondition> ForExpression(TABSSearchExpression* expression,
                                                                const uint8_t* source = nullptr);
  std::unique_ptr<TABSScanSearchCondition> Clone() const;

  //! Valid when it has an expression or an index.
  bool IsValid() const { return Expression != nullptr || IndexID >= 0; }
  bool IsIndexCondition() const { return Expression == nullptr && IndexID >= 0; }
  const uint8_t* Key() const { return key_; }
  //! Replaces the key by a copy (or a borrowed reference).
  void SetKey(const uint8_t* key, int32_t size, bool borrowed);

  TABSSearchExpression* Expression = nullptr;
  //! Values of a search by record buffer, handed to the expression.
  const uint8_t* Source = nullptr;
  TABSScanOperator Operator = soEqual;
  int32_t KeySize = 0;
  //! Leading index columns the key gives.
  int32_t KeyFieldCount = 0;
  //! ObjectID of the index; -1 for an expression condition.
  int32_t IndexID = -1;
  //! Set by the expression layer when an expression condition checks the same restriction.
  bool Redundant = false;

 private:
  const uint8_t* key_ = nullptr;
  TABSMemBlock owned_;
};

//! An ordered, owning list of conditions. Exists for one search.
class TABSScanSearchConditionArray {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  //! Appends a condition. Raises 10388 "Invalid scan condition - indexID = %d, count = %d" for an
  //! invalid one.
  void Add(std::unique_ptr<TABSScanSearchCondition> condition);
  void Insert(int32_t position, std::unique_ptr<TABSScanSearchCondition> condition);
  //! Raises 10413 "Invalid item number - ItemNo = %d, ItemCount = %d" outside the list.
  void Remove(int32_t position);
  //! Raises 10382 "Invalid condition number = %d, count = %d" outside the list.
  TABSScanSearchCondition& At(int32_t position) const;
  TABSScanSearchCondition& operator[](int32_t position) const { return At(position); }
  //! Takes a condition out of the list without freeing it.
  std::unique_ptr<TABSScanSearchCondition> Take(int32_t position);
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TABSScanSearchCondition>> items_;
};

//! -1 for lower bounds (greater, greater or equal), 1 for upper bounds (less, less or equal), 0 for
//! equal.
int ScanOperatorDirection(TABSScanOperator op);
//! Whether a comparison result r (record against key) satisfies the operator.
bool ScanOperatorAccepts(TABSScanOperator op, int r);

}  // namespace viz
