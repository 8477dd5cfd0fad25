#include "engine/tables/meta_object_defs.h"

#include <stdexcept>

#include "engine/tables/name_compare.h"
#include "engine/tables/stored_form_io.h"
#include "engine/types/errors.h"

namespace viz {

// Native codes of the metadata-object stored form.
namespace {
constexpr int32_t kWriteNameLength = 10164;
constexpr int32_t kWriteNameChars = 10165;
constexpr int32_t kWriteObjectId = 10166;
constexpr int32_t kReadNameLength = 10167;
constexpr int32_t kReadNameChars = 10168;
constexpr int32_t kReadObjectId = 10169;
constexpr int32_t kWriteListCount = 10158;
constexpr int32_t kReadListCount = 10159;
}  // namespace

void TABSMetaObjectDef::Assign(const TABSMetaObjectDef& source) {
  name_ = source.name_;
  ObjectID = source.ObjectID;
}

void TABSMetaObjectDef::LoadFromStream(TStream& stream) {
  name_ = ReadText8(stream, kReadNameLength, kReadNameChars);
  ObjectID = ReadI32(stream, kReadObjectId);
}

void TABSMetaObjectDef::SaveToStream(TStream& stream) const {
  WriteText8(stream, name_, kWriteNameLength, kWriteNameChars);
  WriteI32(stream, ObjectID, kWriteObjectId);
}

int32_t TABSMetaObjectDefs::Count() const {
  return static_cast<int32_t>(items_.size());
}

void TABSMetaObjectDefs::Add(std::unique_ptr<TABSMetaObjectDef> definition) {
  items_.push_back(std::move(definition));
}

TABSMetaObjectDef& TABSMetaObjectDefs::AddCreated() {
  throw EABSException(msg::kMethodNotOverridden, "InternalAddCreated", ClassName());
}

void TABSMetaObjectDefs::LoadFromStream(TStream& stream) {
  TABSMetaObjectDefsRestorer restorer(items_);
  const int32_t count = ReadI32(stream, kReadListCount);
  for (int32_t i = 0; i < count; ++i) AddCreated().LoadFromStream(stream);
  restorer.Commit();
}

void TABSMetaObjectDefs::SaveToStream(TStream& stream) const {
  WriteI32(stream, Count(), kWriteListCount);
  for (const auto& item : items_) item->SaveToStream(stream);
}

void TABSMetaObjectDefs::Assign(const TABSMetaObjectDefs& source) {
  if (&source == this) return;
  Clear();
  for (const auto& item : source.items_) {
    if (IndexOfName(item->Name()) >= 0) throw EABSException(msg::kDuplicateFieldName, item->Name());
    Add(item->Clone());
  }
}

void TABSMetaObjectDefs::Delete(int32_t index) {
  (void)items_.at(static_cast<size_t>(index));  // std::out_of_range for a position not in the list
  items_.erase(items_.begin() + index);
}

void TABSMetaObjectDefs::Insert(int32_t index, std::unique_ptr<TABSMetaObjectDef> definition) {
  if (index < 0 || index > Count()) throw std::out_of_range("TABSMetaObjectDefs::Insert");
  items_.insert(items_.begin() + index, std::move(definition));
}

void TABSMetaObjectDefs::Move(int32_t from, int32_t to) {
  if (from == to) return;
  if (to < 0 || to >= Count()) throw std::out_of_range("TABSMetaObjectDefs::Move");
  auto item = std::move(items_.at(static_cast<size_t>(from)));
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + to, std::move(item));
}

void TABSMetaObjectDefs::Clear() {
  items_.clear();
}

int32_t TABSMetaObjectDefs::IndexOfName(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameName(items_[i]->Name(), name)) return static_cast<int32_t>(i);
  return -1;
}

TABSMetaObjectDef* TABSMetaObjectDefs::FindByName(std::string_view name) const {
  const int32_t index = IndexOfName(name);
  return index < 0 ? nullptr : items_[static_cast<size_t>(index)].get();
}

int32_t TABSMetaObjectDefs::IndexOfObjectID(int32_t objectId) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i]->ObjectID == objectId) return static_cast<int32_t>(i);
  return -1;
}

TABSMetaObjectDef* TABSMetaObjectDefs::FindByObjectID(int32_t objectId) const {
  const int32_t index = IndexOfObjectID(objectId);
  return index < 0 ? nullptr : items_[static_cast<size_t>(index)].get();
}

}  // namespace viz
