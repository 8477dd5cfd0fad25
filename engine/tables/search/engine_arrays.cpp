#include "engine/tables/search/engine_arrays.h"

#include <algorithm>

#include "engine/tables/name_compare.h"
#include "engine/types/errors.h"

namespace viz {

void TABSIntegerArray::Check(int32_t position, int32_t limit) const {
  if (position < 0 || position >= limit) throw EABSException(msg::kInvalidItemNo, position, Count());
}

void TABSIntegerArray::Insert(int32_t position, int32_t value) {
  Check(position, Count() + 1);
  items_.insert(items_.begin() + position, value);
}

int32_t TABSIntegerArray::At(int32_t position) const {
  Check(position, Count());
  return items_[static_cast<size_t>(position)];
}

void TABSIntegerArray::Set(int32_t position, int32_t value) {
  Check(position, Count());
  items_[static_cast<size_t>(position)] = value;
}

int32_t TABSIntegerArray::Find(int32_t value) const {
  auto found = std::find(items_.begin(), items_.end(), value);
  return found == items_.end() ? -1 : static_cast<int32_t>(found - items_.begin());
}

void TABSIntegerArray::Remove(int32_t position) {
  Check(position, Count());
  items_.erase(items_.begin() + position);
}

bool TABSIntegerArray::RemoveValue(int32_t value) {
  const int32_t position = Find(value);
  if (position < 0) return false;
  Remove(position);
  return true;
}

size_t TABSSortedStringPtrArray::LowerBound(const std::string& upper) const {
  return static_cast<size_t>(
      std::lower_bound(items_.begin(), items_.end(), upper,
                       [](const Item& item, const std::string& key) { return item.upper < key; }) -
      items_.begin());
}

void TABSSortedStringPtrArray::Insert(std::string_view name, void* pointer) {
  std::string upper = UpperName(name);
  auto after = std::upper_bound(items_.begin(), items_.end(), upper,
                                [](const std::string& key, const Item& item) { return key < item.upper; });
  items_.insert(after, Item{std::move(upper), std::string(name), pointer});
}

int32_t TABSSortedStringPtrArray::IndexOf(std::string_view name) const {
  const std::string upper = UpperName(name);
  const size_t position = LowerBound(upper);
  return position < items_.size() && items_[position].upper == upper ? static_cast<int32_t>(position) : -1;
}

void* TABSSortedStringPtrArray::Find(std::string_view name) const {
  const int32_t position = IndexOf(name);
  return position < 0 ? nullptr : items_[static_cast<size_t>(position)].pointer;
}

bool TABSSortedStringPtrArray::Remove(std::string_view name) {
  const int32_t position = IndexOf(name);
  if (position < 0) return false;
  items_.erase(items_.begin() + position);
  return true;
}

const std::string& TABSSortedStringPtrArray::NameAt(int32_t position) const {
  if (position < 0 || position >= Count()) throw EABSException(msg::kInvalidItemNo, position, Count());
  return items_[static_cast<size_t>(position)].name;
}

void* TABSSortedStringPtrArray::PointerAt(int32_t position) const {
  if (position < 0 || position >= Count()) throw EABSException(msg::kInvalidItemNo, position, Count());
  return items_[static_cast<size_t>(position)].pointer;
}

}  // namespace viz
