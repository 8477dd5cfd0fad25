#include "engine/sql/sql_params.h"

#include "engine/platform/text.h"
#include "framework/data/common_errors.h"

namespace viz {

TABSSQLParam& TABSSQLParams::Add() {
  items_.push_back(std::make_unique<TABSSQLParam>());
  return *items_.back();
}

TABSSQLParam& TABSSQLParams::Item(int32_t index) {
  return const_cast<TABSSQLParam&>(static_cast<const TABSSQLParams&>(*this).Item(index));
}

const TABSSQLParam& TABSSQLParams::Item(int32_t index) const {
  if (index < 0 || index >= Count()) throw EListError(index);
  return *items_[static_cast<size_t>(index)];
}

TABSSQLParam* TABSSQLParams::FindParam(std::string_view name) {
  return const_cast<TABSSQLParam*>(static_cast<const TABSSQLParams&>(*this).FindParam(name));
}

const TABSSQLParam* TABSSQLParams::FindParam(std::string_view name) const {
  const std::string wanted = platform::UpperCase(name);
  for (const auto& item : items_) {
    if (item->Name.size() == wanted.size() && platform::UpperCase(item->Name) == wanted) return item.get();
  }
  return nullptr;
}

}  // namespace viz
