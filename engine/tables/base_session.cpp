#include "engine/tables/base_session.h"

#include <algorithm>

#include "engine/tables/name_compare.h"

namespace viz {

TABSSessionNamedObject::TABSSessionNamedObject(int32_t number, std::string_view name)
    : number_(number), name_(name.substr(0, 255)) {}

TABSSessionNamedObjectSequenceValue::TABSSessionNamedObjectSequenceValue(int32_t objectId, int64_t value)
    : TABSSessionNamedObject(objectId, {}), value_(value) {}

void TABSSessionNamedObjects::Add(std::unique_ptr<TABSSessionNamedObject> object) {
  const bool byName = object->Number() == -1;
  auto same = [&](const std::unique_ptr<TABSSessionNamedObject>& existing) {
    return byName ? SameName(existing->Name(), object->Name()) : existing->Number() == object->Number();
  };
  auto found = std::find_if(objects_.begin(), objects_.end(), same);
  if (found != objects_.end()) objects_.erase(found);
  objects_.push_back(std::move(object));
}

TABSSessionNamedObject* TABSSessionNamedObjects::FindByName(std::string_view name) const {
  for (const auto& object : objects_)
    if (SameName(object->Name(), name)) return object.get();
  return nullptr;
}

TABSSessionNamedObject* TABSSessionNamedObjects::FindByNumber(int32_t number) const {
  for (const auto& object : objects_)
    if (object->Number() == number) return object.get();
  return nullptr;
}

void TABSBaseSession::SetSequenceValue(int32_t objectId, int64_t value) {
  namedObjects_.Add(std::make_unique<TABSSessionNamedObjectSequenceValue>(objectId, value));
}

const TABSSessionNamedObjectSequenceValue* TABSBaseSession::FindSequenceValue(int32_t objectId) const {
  return dynamic_cast<const TABSSessionNamedObjectSequenceValue*>(namedObjects_.FindByNumber(objectId));
}

}  // namespace viz
