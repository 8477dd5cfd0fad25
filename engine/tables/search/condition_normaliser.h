// Normalising the conditions of a search before any page is read: index conditions grouped by index,
// each intersected with those already kept for its index, contradictions found, expression
// conditions last.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/tables/search/scan_condition.h"

namespace viz {

class TABSBTreeRecordIndex;

//! What intersecting two index conditions of one index leaves.
enum class TABSConditionMeet {
  Disjoint,    //!< no key satisfies both
  KeepFirst,   //!< the first implies the second
  KeepSecond,  //!< the second implies the first
  MakeEqual,   //!< a less-or-equal and a greater-or-equal on the same key: one equal condition
  KeepBoth,
};

//! Intersects two conditions of one index, comparing their keys over the smaller key field count.
//! REQUIRES: both are index conditions on `index` with key field counts within 1 .. its columns.
TABSConditionMeet MeetConditions(const TABSScanSearchCondition& first, const TABSScanSearchCondition& second,
                                 const TABSBTreeRecordIndex& index);

//! Groups the index conditions by index in order of first appearance, keeps of each group only what
//! its intersections leave, drops exact duplicates and puts the expression conditions last. Returns
//! false when two conditions cannot both hold (the search then finds nothing).
bool NormaliseConditions(TABSScanSearchConditionArray& conditions,
                         const std::function<TABSBTreeRecordIndex&(int32_t indexId)>& indexOf);

}  // namespace viz
