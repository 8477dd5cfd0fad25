#include "engine/tables/constraint_defs.h"

#include "engine/tables/stored_form_io.h"
#include "engine/types/errors.h"

namespace viz {

// Native codes of the constraints' stored forms, one per read or write.
namespace {
constexpr int32_t kWriteKind = 10220;
constexpr int32_t kNotNullWriteNumbers[3] = {10221, 10222, 10223};
constexpr int32_t kNotNullWriteTexts[3][2] = {{10224, 10225}, {10226, 10227}, {10228, 10229}};
constexpr int32_t kReadKind = 10230;
constexpr int32_t kNotNullReadNumbers[3] = {10231, 10232, 10233};
constexpr int32_t kNotNullReadTexts[3][2] = {{10234, 10235}, {10236, 10237}, {10238, 10239}};

constexpr int32_t kUniqueWriteNumbers[3] = {30303, 30304, 30305};
constexpr int32_t kUniqueWriteTexts[3][2] = {{30306, 30307}, {30308, 30309}, {30310, 30311}};
constexpr int32_t kUniqueWriteColumnCount = 30312;
constexpr int32_t kUniqueWriteColumnId = 30313;
constexpr int32_t kUniqueWriteColumnSize = 30314;
constexpr int32_t kUniqueWriteColumnBytes = 30315;
constexpr int32_t kUniqueReadNumbers[3] = {30317, 30318, 30321};
constexpr int32_t kUniqueReadTexts[3][2] = {{30322, 30323}, {30324, 10240}, {10241, 10242}};
constexpr int32_t kUniqueReadColumnCount = 10243;
constexpr int32_t kUniqueReadColumnId = 10244;
constexpr int32_t kUniqueReadColumnSize = 10245;
constexpr int32_t kUniqueReadColumnBytes = 10246;

constexpr int32_t kWriteListCount = 10158;
constexpr int32_t kReadListCount = 10159;

// The three name slots in order.
template <class Constraint>
auto& Texts(Constraint& c, int slot) {
  return slot == 0 ? c.FirstName : slot == 1 ? c.TableName : c.TargetName;
}
template <class Constraint>
auto& Numbers(Constraint& c, int slot) {
  return slot == 0 ? c.FirstNumber : slot == 1 ? c.TableNumber : c.TargetObjectID;
}
}  // namespace

void TABSConstraintDef::Assign(const TABSMetaObjectDef& source) {
  TABSMetaObjectDef::Assign(source);
  const auto& other = static_cast<const TABSConstraintDef&>(source);
  FirstName = other.FirstName;
  FirstNumber = other.FirstNumber;
  TableName = other.TableName;
  TableNumber = other.TableNumber;
  TargetName = other.TargetName;
  TargetObjectID = other.TargetObjectID;
}

std::unique_ptr<TABSConstraintDef> TABSConstraintDef::CreateOfKind(uint8_t kind) {
  switch (kind) {
    case static_cast<uint8_t>(TABSConstraintKind::Primary):
      return std::make_unique<TABSConstraintDefPrimary>();
    case static_cast<uint8_t>(TABSConstraintKind::Unique):
      return std::make_unique<TABSConstraintDefUnique>();
    case static_cast<uint8_t>(TABSConstraintKind::NotNull):
      return std::make_unique<TABSConstraintDefNotNull>();
    case static_cast<uint8_t>(TABSConstraintKind::Check):
      return std::make_unique<TABSConstraintDefCheck>();
    default:
      return nullptr;
  }
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefNotNull::Clone() const {
  auto copy = std::make_unique<TABSConstraintDefNotNull>();
  copy->Assign(*this);
  return copy;
}

void TABSConstraintDefNotNull::SaveToStream(TStream& stream) const {
  TABSMetaObjectDef::SaveToStream(stream);
  for (int slot = 0; slot < 3; ++slot) WriteI32(stream, Numbers(*this, slot), kNotNullWriteNumbers[slot]);
  for (int slot = 0; slot < 3; ++slot)
    WriteSizedText8(stream, Texts(*this, slot), kNotNullWriteTexts[slot][0], kNotNullWriteTexts[slot][1]);
}

void TABSConstraintDefNotNull::LoadFromStream(TStream& stream) {
  TABSMetaObjectDef::LoadFromStream(stream);
  for (int slot = 0; slot < 3; ++slot) Numbers(*this, slot) = ReadI32(stream, kNotNullReadNumbers[slot]);
  for (int slot = 0; slot < 3; ++slot)
    Texts(*this, slot) = ReadSizedText8(stream, kNotNullReadTexts[slot][0], kNotNullReadTexts[slot][1]);
}

TABSConstraintDefCheck::TABSConstraintDefCheck(const TABSConstraintDefCheck& other)
    : TABSConstraintDefNotNull(TABSConstraintKind::Check) {
  Assign(other);
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefCheck::Clone() const {
  return std::make_unique<TABSConstraintDefCheck>(*this);
}

void TABSConstraintDefCheck::Assign(const TABSMetaObjectDef& source) {
  TABSConstraintDef::Assign(source);
  const auto& other = static_cast<const TABSConstraintDefCheck&>(source);
  if (&other == this) return;
  LowerBound.Assign(other.LowerBound, TABSCopyMode::Copy);
  UpperBound.Assign(other.UpperBound, TABSCopyMode::Copy);
}

void TABSConstraintDefCheck::SaveToStream(TStream& stream) const {
  TABSConstraintDefNotNull::SaveToStream(stream);
  WriteVariant(stream, LowerBound);
  WriteVariant(stream, UpperBound);
}

void TABSConstraintDefCheck::LoadFromStream(TStream& stream) {
  TABSConstraintDefNotNull::LoadFromStream(stream);
  ReadVariant(stream, LowerBound);
  ReadVariant(stream, UpperBound);
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefUnique::Clone() const {
  auto copy = std::make_unique<TABSConstraintDefUnique>();
  copy->Assign(*this);
  return copy;
}

void TABSConstraintDefUnique::Assign(const TABSMetaObjectDef& source) {
  TABSConstraintDef::Assign(source);
  Columns = static_cast<const TABSConstraintDefUnique&>(source).Columns;
}

void TABSConstraintDefUnique::SaveToStream(TStream& stream) const {
  TABSMetaObjectDef::SaveToStream(stream);
  for (int slot = 0; slot < 3; ++slot) WriteI32(stream, Numbers(*this, slot), kUniqueWriteNumbers[slot]);
  for (int slot = 0; slot < 3; ++slot)
    WriteSizedText32(stream, Texts(*this, slot), kUniqueWriteTexts[slot][0], kUniqueWriteTexts[slot][1]);
  WriteI32(stream, static_cast<int32_t>(Columns.size()), kUniqueWriteColumnCount);
  for (const TABSConstraintColumn& column : Columns) {
    WriteI32(stream, column.FieldObjectID, kUniqueWriteColumnId);
    WriteSizedText32(stream, column.FieldName, kUniqueWriteColumnSize, kUniqueWriteColumnBytes);
  }
}

void TABSConstraintDefUnique::LoadFromStream(TStream& stream) {
  TABSMetaObjectDef::LoadFromStream(stream);
  for (int slot = 0; slot < 3; ++slot) Numbers(*this, slot) = ReadI32(stream, kUniqueReadNumbers[slot]);
  for (int slot = 0; slot < 3; ++slot)
    Texts(*this, slot) = ReadSizedText32(stream, kUniqueReadTexts[slot][0], kUniqueReadTexts[slot][1]);
  const int32_t count = ReadI32(stream, kUniqueReadColumnCount);
  Columns.clear();
  // Each column takes at least 8 bytes, so a corrupt count ends in a short read.
  for (int32_t i = 0; i < count; ++i) {
    TABSConstraintColumn column;
    column.FieldObjectID = ReadI32(stream, kUniqueReadColumnId);
    column.FieldName = ReadSizedText32(stream, kUniqueReadColumnSize, kUniqueReadColumnBytes);
    Columns.push_back(std::move(column));
  }
}

std::unique_ptr<TABSMetaObjectDef> TABSConstraintDefPrimary::Clone() const {
  auto copy = std::make_unique<TABSConstraintDefPrimary>();
  copy->Assign(*this);
  return copy;
}

void TABSConstraintDefs::SaveToStream(TStream& stream) const {
  WriteI32(stream, Count(), kWriteListCount);
  for (int32_t i = 0; i < Count(); ++i) {
    WriteU8(stream, static_cast<uint8_t>((*this)[i].Kind()), kWriteKind);
    (*this)[i].SaveToStream(stream);
  }
}

void TABSConstraintDefs::LoadFromStream(TStream& stream) {
  TABSMetaObjectDefsRestorer restorer(items_);
  const int32_t count = ReadI32(stream, kReadListCount);
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t kind = ReadU8(stream, kReadKind);
    std::unique_ptr<TABSConstraintDef> constraint = TABSConstraintDef::CreateOfKind(kind);
    if (!constraint) throw EABSException(msg::kUnknownConstraintType, static_cast<int32_t>(kind));
    constraint->LoadFromStream(stream);
    Add(std::move(constraint));
  }
  restorer.Commit();
}

template <class T>
static T& AddNew(TABSConstraintDefs& list) {
  auto constraint = std::make_unique<T>();
  T& result = *constraint;
  list.Add(std::move(constraint));
  return result;
}

void TABSConstraintDefs::Assign(const TABSMetaObjectDefs& source) {
  if (&source == this) return;
  Clear();
  for (int32_t i = 0; i < source.Count(); ++i) {
    const TABSMetaObjectDef& item = source.Item(i);
    if (!item.Name().empty() && IndexOfName(item.Name()) >= 0)
      throw EABSException(msg::kDuplicateFieldName, item.Name());
    Add(item.Clone());
  }
}

TABSConstraintDefPrimary& TABSConstraintDefs::AddPrimary() {
  return AddNew<TABSConstraintDefPrimary>(*this);
}
TABSConstraintDefUnique& TABSConstraintDefs::AddUnique() {
  return AddNew<TABSConstraintDefUnique>(*this);
}
TABSConstraintDefNotNull& TABSConstraintDefs::AddNotNull() {
  return AddNew<TABSConstraintDefNotNull>(*this);
}
TABSConstraintDefCheck& TABSConstraintDefs::AddCheck() {
  return AddNew<TABSConstraintDefCheck>(*this);
}

}  // namespace viz
