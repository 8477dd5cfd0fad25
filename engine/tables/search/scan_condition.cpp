#include "engine/tables/search/scan_condition.h"

#include <cstring>

#include "engine/storage/memory_manager.h"
#include "engine/types/errors.h"

namespace viz {

std::unique_ptr<TABSScanSearchCondition> TABSScanSearchCondition::ForIndex(
    int32_t indexId, TABSScanOperator op, const uint8_t* key, int32_t keySize, int32_t keyFieldCount,
    bool borrowed) {
  auto condition = std::make_unique<TABSScanSearchCondition>();
  condition->IndexID = indexId;
  condition->Operator = op;
  condition->KeyFieldCount = keyFieldCount;
  condition->SetKey(key, keySize, borrowed);
  return condition;
}

std::unique_ptr<TABSScanSearchCondition> TABSScanSearchCondition::ForExpression(
    TABSSearchExpression* expression, const uint8_t* source) {
  auto condition = std::make_unique<TABSScanSearchCondition>();
  condition->Expression = expression;
  condition->Source = source;
  return condition;
}

std::unique_ptr<TABSScanSearchCondition> TABSScanSearchCondition::Clone() const {
  auto copy = std::make_unique<TABSScanSearchCondition>();
  copy->Expression = Expression;
  copy->Source = Source;
  copy->Operator = Operator;
  copy->KeyFieldCount = KeyFieldCount;
  copy->IndexID = IndexID;
  copy->Redundant = Redundant;
  copy->SetKey(key_, KeySize, false);
  return copy;
}

void TABSScanSearchCondition::SetKey(const uint8_t* key, int32_t size, bool borrowed) {
  KeySize = size;
  if (key == nullptr || size <= 0 || borrowed) {
    owned_.Reset();
    key_ = key;
    return;
  }
  TABSMemBlock copy(MemoryManager().GetMem(static_cast<size_t>(size)), size);
  std::memcpy(copy.data(), key, static_cast<size_t>(size));
  owned_ = std::move(copy);
  key_ = static_cast<const uint8_t*>(owned_.data());
}

void TABSScanSearchConditionArray::Add(std::unique_ptr<TABSScanSearchCondition> condition) {
  Insert(Count(), std::move(condition));
}

void TABSScanSearchConditionArray::Insert(int32_t position,
                                          std::unique_ptr<TABSScanSearchCondition> condition) {
  if (!condition || !condition->IsValid())
    throw EABSException(msg::kInvalidScanCondition, condition ? condition->IndexID : -1,
                        condition ? condition->KeyFieldCount : 0);
  if (position < 0 || position > Count()) throw EABSException(msg::kInvalidItemNo, position, Count());
  items_.insert(items_.begin() + position, std::move(condition));
}

void TABSScanSearchConditionArray::Remove(int32_t position) {
  if (position < 0 || position >= Count()) throw EABSException(msg::kInvalidItemNo, position, Count());
  items_.erase(items_.begin() + position);
}

TABSScanSearchCondition& TABSScanSearchConditionArray::At(int32_t position) const {
  if (position < 0 || position >= Count())
    throw EABSException(msg::kInvalidConditionNumber, position, Count());
  return *items_[static_cast<size_t>(position)];
}

std::unique_ptr<TABSScanSearchCondition> TABSScanSearchConditionArray::Take(int32_t position) {
  if (position < 0 || position >= Count()) throw EABSException(msg::kInvalidItemNo, position, Count());
  auto condition = std::move(items_[static_cast<size_t>(position)]);
  items_.erase(items_.begin() + position);
  return condition;
}

int ScanOperatorDirection(TABSScanOperator op) {
  switch (op) {
    case soGreater:
    case soGreaterOrEqual:
      return -1;
    case soLess:
    case soLessOrEqual:
      return 1;
    default:
      return 0;
  }
}

bool ScanOperatorAccepts(TABSScanOperator op, int r) {
  switch (op) {
    case soEqual:
      return r == 0;
    case soLess:
      return r < 0;
    case soGreater:
      return r > 0;
    case soLessOrEqual:
      return r <= 0;
    case soGreaterOrEqual:
      return r >= 0;
  }
  return false;
}

}  // namespace viz
