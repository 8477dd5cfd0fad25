#include "engine/tables/search/condition_normaliser.h"

#include <algorithm>
#include <vector>

#include "engine/tables/btree/record_index.h"

namespace viz {

namespace {

bool Strict(TABSScanOperator op) {
  return op == soLess || op == soGreater;
}

using Meet = TABSConditionMeet;

// `equal` and a bound of direction `direction` (-1 lower, 1 upper); r compares the equal key with the
// bound's key over the smaller count.
Meet EqualAndBound(int r, int direction, const TABSScanSearchCondition& equal,
                   const TABSScanSearchCondition& bound, bool equalFirst) {
  const Meet keepEqual = equalFirst ? Meet::KeepFirst : Meet::KeepSecond;
  // Every key equal to `equal` orders on the bound's wrong side, or every one on its right side.
  if (r * direction > 0) return Meet::Disjoint;
  if (r != 0) return keepEqual;
  if (equal.KeyFieldCount < bound.KeyFieldCount) return Meet::KeepBoth;
  return Strict(bound.Operator) ? Meet::Disjoint : keepEqual;
}

// Two bounds of the same direction: the one further inside wins.
Meet SameDirection(int r, int direction, const TABSScanSearchCondition& first,
                   const TABSScanSearchCondition& second) {
  if (r != 0) return r * direction < 0 ? Meet::KeepFirst : Meet::KeepSecond;
  if (first.KeyFieldCount == second.KeyFieldCount) {
    if (Strict(first.Operator) == Strict(second.Operator)) return Meet::KeepFirst;
    return Strict(first.Operator) ? Meet::KeepFirst : Meet::KeepSecond;
  }
  // On the shorter key a strict bound already passes every longer key; an inclusive one does not.
  const bool firstShorter = first.KeyFieldCount < second.KeyFieldCount;
  const TABSScanSearchCondition& shorter = firstShorter ? first : second;
  const bool keepShorter = Strict(shorter.Operator);
  return keepShorter == firstShorter ? Meet::KeepFirst : Meet::KeepSecond;
}

// A lower bound and an upper bound; r compares the lower key with the upper key.
Meet LowerAndUpper(int r, const TABSScanSearchCondition& lower, const TABSScanSearchCondition& upper) {
  if (r > 0) return Meet::Disjoint;
  if (r < 0) return Meet::KeepBoth;
  if (lower.KeyFieldCount == upper.KeyFieldCount)
    return Strict(lower.Operator) || Strict(upper.Operator) ? Meet::Disjoint : Meet::MakeEqual;
  const TABSScanSearchCondition& shorter = lower.KeyFieldCount < upper.KeyFieldCount ? lower : upper;
  return Strict(shorter.Operator) ? Meet::Disjoint : Meet::KeepBoth;
}

}  // namespace

TABSConditionMeet MeetConditions(const TABSScanSearchCondition& first, const TABSScanSearchCondition& second,
                                 const TABSBTreeRecordIndex& index) {
  const int32_t columns = std::min(first.KeyFieldCount, second.KeyFieldCount);
  const int r = index.CompareRecordBuffers(first.Key(), second.Key(), columns);
  const int d1 = ScanOperatorDirection(first.Operator), d2 = ScanOperatorDirection(second.Operator);
  if (d1 == 0 && d2 == 0) {
    if (r != 0) return Meet::Disjoint;
    return first.KeyFieldCount >= second.KeyFieldCount ? Meet::KeepFirst : Meet::KeepSecond;
  }
  if (d1 == 0) return EqualAndBound(r, d2, first, second, true);
  if (d2 == 0) return EqualAndBound(-r, d1, second, first, false);
  if (d1 == d2) return SameDirection(r, d1, first, second);
  if (d1 < 0) return LowerAndUpper(r, first, second);
  const Meet meet = LowerAndUpper(-r, second, first);
  return meet;
}

bool NormaliseConditions(TABSScanSearchConditionArray& conditions,
                         const std::function<TABSBTreeRecordIndex&(int32_t indexId)>& indexOf) {
  std::vector<int32_t> order;  // indexes in order of first appearance
  std::vector<std::vector<std::unique_ptr<TABSScanSearchCondition>>> groups;
  std::vector<std::unique_ptr<TABSScanSearchCondition>> expressions;
  while (conditions.Count() > 0) {
    std::unique_ptr<TABSScanSearchCondition> condition = conditions.Take(0);
    if (!condition->IsIndexCondition()) {
      expressions.push_back(std::move(condition));
      continue;
    }
    auto at = std::find(order.begin(), order.end(), condition->IndexID);
    if (at == order.end()) {
      order.push_back(condition->IndexID);
      groups.emplace_back();
      at = order.end() - 1;
    }
    auto& kept = groups[static_cast<size_t>(at - order.begin())];
    const TABSBTreeRecordIndex& index = indexOf(condition->IndexID);
    bool keepNew = true;
    for (size_t i = 0; i < kept.size() && keepNew;) {
      switch (MeetConditions(*kept[i], *condition, index)) {
        case Meet::Disjoint:
          return false;
        case Meet::KeepFirst:
          keepNew = false;
          break;
        case Meet::KeepSecond:
          kept.erase(kept.begin() + static_cast<ptrdiff_t>(i));
          continue;
        case Meet::MakeEqual:
          kept[i]->Operator = soEqual;
          kept[i]->Redundant = kept[i]->Redundant && condition->Redundant;
          keepNew = false;
          break;
        case Meet::KeepBoth:
          break;
      }
      ++i;
    }
    if (keepNew) kept.push_back(std::move(condition));
  }
  for (auto& group : groups)
    for (auto& condition : group) conditions.Add(std::move(condition));
  for (auto& condition : expressions) conditions.Add(std::move(condition));
  return true;
}

}  // namespace viz
