// The search of a table for a cursor: the one pipeline behind stepping a restricted cursor, key
// searches, searches by record buffer and the filling of record bitmaps.
//
//   1. build the conditions: the extra condition of a key search, the search buffer, the filter
//      expression and the SQL filter, the range, the distinct-key condition; then the index
//      conditions the expressions offer
//   2. normalise them (condition_normaliser.h); a contradiction ends the search before any page is
//      read
//   3. choose the access path from estimates: one index range, or a walk in the cursor's order
//   4. walk, testing each record against the conditions the access path does not cover, then the
//      filter callback; the first accepted record is the result, or with a bitmap every accepted
//      record sets its bit
//
// REQUIRES: the caller holds the database lock.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/tables/btree/btree_key.h"
#include "engine/tables/search/VIZTypes.h"

namespace viz {

class TABSBTreeRecordIndex;
class TABSCursor;
class TABSTableData;

struct TABSSearchRequest {
  //! Values for the cursor's search expression (a search by record buffer); null otherwise.
  const uint8_t* SearchBuffer = nullptr;
  //! Fill `Bitmap` with every accepted record instead of stopping at the first.
  bool FillBitmap = false;
  TABSRecordBitmap* Bitmap = nullptr;
  bool Forward = true;
  //! Start at the first record of the cursor's order (the last, backwards); otherwise go on from the
  //! cursor's current record.
  bool FromStart = true;
  //! The condition of a key search (an index condition).
  std::unique_ptr<TABSScanSearchCondition> Extra;
  //! The current record as read again: the key of the distinct-key condition and where a walk
  //! resumes. Null when the cursor stands on no record.
  const uint8_t* CurrentRecord = nullptr;
  //! Add the distinct-key condition (steps of a cursor with a distinct-key count).
  bool SkipEqualKeys = false;
};

//! The access path a search chose.
struct TABSAccessPath {
  //! The index whose range is scanned; -1 to walk in the cursor's order without one.
  int32_t IndexID = -1;
  const TABSScanSearchCondition* Start = nullptr;
  const TABSScanSearchCondition* End = nullptr;
};

class TABSTableSearch {
 public:
  TABSTableSearch(TABSTableData& table, TABSCursor& cursor);
  ~TABSTableSearch();

  //! Runs the whole pipeline. Returns whether a record was found (always false when filling a
  //! bitmap); `result` receives its address.
  bool Run(TABSSearchRequest& request, TABSRecordAddress& result);

  //! Steps 1 and 2. False when the conditions contradict each other.
  bool Prepare(TABSSearchRequest& request);
  //! Step 3, after Prepare.
  TABSAccessPath ChooseAccessPath(const TABSSearchRequest& request);
  const TABSScanSearchConditionArray& Conditions() const { return conditions_; }

 private:
  TABSBTreeRecordIndex& IndexOf(int32_t indexId);
  int32_t Session() const;
  int32_t ColumnsOf(int32_t indexId, int32_t keyFieldCount);
  void AddIndexCondition(int32_t indexId, TABSScanOperator op, const uint8_t* key, int32_t keyFieldCount);
  // Whether the record passes every condition but those of the access path, and the callback.
  bool Accepts(const uint8_t* record, const TABSAccessPath& path);
  // The number of a record in the bitmap's numbering.
  uint64_t BitmapNumber(const TABSRecordAddress& address, const uint8_t* record,
                        const TABSKeyPath* orderPath);
  // -1, 0, 1: the order of two records in the cursor's order (index order or storage order).
  int CompareInOrder(const uint8_t* a, const TABSRecordAddress& addressA, const uint8_t* b,
                     const TABSRecordAddress& addressB);
  bool Execute(TABSSearchRequest& request, const TABSAccessPath& path, TABSRecordAddress& result);
  bool WalkStorage(TABSSearchRequest& request, const TABSAccessPath& path, TABSRecordAddress& result);
  bool ScanIndex(TABSSearchRequest& request, const TABSAccessPath& path, TABSRecordAddress& result);

  TABSTableData& table_;
  TABSCursor& cursor_;
  TABSScanSearchConditionArray conditions_;
  int32_t recordSize_;
  TABSKeyBuffer record_;
  TABSKeyBuffer best_;
};

//! The B-tree index of that ObjectID. Raises "Index not found" (20018) when the table has none,
//! "Nil pointer occured" (10275) when the index is not a B-tree.
TABSBTreeRecordIndex& BTreeIndexOf(TABSTableData& table, int32_t indexId);

//! Whether a record of the cursor's table passes the cursor's range, filter expression, SQL filter and
//! filter callback, in this order.
bool AcceptCursorRecord(TABSTableData& table, TABSCursor& cursor, const uint8_t* record);

}  // namespace viz
