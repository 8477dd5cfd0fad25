#include "engine/tables/index_defs.h"

#include "engine/tables/stored_form_io.h"

namespace viz {

// Native codes of the index definition's stored form, one per read or write.
namespace {
constexpr int32_t kWriteIndexKind = 10343;
constexpr int32_t kWriteUnique = 10344;
constexpr int32_t kWritePrimary = 10345;
constexpr int32_t kWriteColumnCount = 10346;
constexpr int32_t kWriteRootPage = 10347;
constexpr int32_t kWriteColumnNameLength = 10348;
constexpr int32_t kWriteColumnNameChars = 10349;
constexpr int32_t kWriteDescending = 10350;
constexpr int32_t kWriteCaseInsensitive = 10351;
constexpr int32_t kWriteKeyLength = 20168;
constexpr int32_t kWriteListCount = 10352;

constexpr int32_t kReadIndexKind = 10353;
constexpr int32_t kReadUnique = 10354;
constexpr int32_t kReadPrimary = 10355;
constexpr int32_t kReadColumnCount = 10356;
constexpr int32_t kReadRootPage = 10357;
constexpr int32_t kReadColumnNameLength = 10358;
constexpr int32_t kReadColumnNameChars = 10359;
constexpr int32_t kReadDescending = 10360;
constexpr int32_t kReadCaseInsensitive = 10361;
constexpr int32_t kReadKeyLength = 20169;
}  // namespace

std::unique_ptr<TABSMetaObjectDef> TABSIndexDef::Clone() const {
  return std::make_unique<TABSIndexDef>(*this);
}

void TABSIndexDef::Assign(const TABSMetaObjectDef& source) {
  TABSMetaObjectDef::Assign(source);
  const auto& index = static_cast<const TABSIndexDef&>(source);
  IndexKind = index.IndexKind;
  Columns = index.Columns;
  Unique = index.Unique;
  Primary = index.Primary;
  RootPage = index.RootPage;
  Temporary = index.Temporary;
  OwnerSession = index.OwnerSession;
  ChangeCounter = index.ChangeCounter;
}

void TABSIndexDef::SaveToStream(TStream& stream) const {
  TABSMetaObjectDef::SaveToStream(stream);
  WriteU8(stream, IndexKind, kWriteIndexKind);
  WriteU8(stream, Unique ? 1 : 0, kWriteUnique);
  WriteU8(stream, Primary ? 1 : 0, kWritePrimary);
  WriteI32(stream, static_cast<int32_t>(Columns.size()), kWriteColumnCount);
  WriteI32(stream, RootPage, kWriteRootPage);
  for (const TABSIndexColumn& column : Columns) {
    WriteText8(stream, column.FieldName, kWriteColumnNameLength, kWriteColumnNameChars);
    WriteU8(stream, column.Descending ? 1 : 0, kWriteDescending);
    WriteU8(stream, column.CaseInsensitive ? 1 : 0, kWriteCaseInsensitive);
    WriteI32(stream, column.KeyLength, kWriteKeyLength);
  }
}

void TABSIndexDef::LoadFromStream(TStream& stream) {
  TABSMetaObjectDef::LoadFromStream(stream);
  IndexKind = ReadU8(stream, kReadIndexKind);
  Unique = ReadU8(stream, kReadUnique) != 0;
  Primary = ReadU8(stream, kReadPrimary) != 0;
  const int32_t columnCount = ReadI32(stream, kReadColumnCount);
  RootPage = ReadI32(stream, kReadRootPage);
  Temporary = 0;
  OwnerSession = -1;
  ChangeCounter = 0;
  Columns.clear();
  // Each column takes at least 7 bytes, so a corrupt count fails on a short read, not on allocation.
  for (int32_t i = 0; i < columnCount; ++i) {
    TABSIndexColumn column;
    column.FieldName = ReadText8(stream, kReadColumnNameLength, kReadColumnNameChars);
    column.Descending = ReadU8(stream, kReadDescending) != 0;
    column.CaseInsensitive = ReadU8(stream, kReadCaseInsensitive) != 0;
    column.KeyLength = ReadI32(stream, kReadKeyLength);
    Columns.push_back(std::move(column));
  }
}

TABSIndexDef& TABSIndexDefs::AddCreated() {
  auto index = std::make_unique<TABSIndexDef>();
  TABSIndexDef& result = *index;
  Add(std::move(index));
  return result;
}

void TABSIndexDefs::SaveToStream(TStream& stream) const {
  int32_t stored = 0;
  for (int32_t i = 0; i < Count(); ++i)
    if (!Get(i).IsTemporary()) ++stored;
  WriteI32(stream, stored, kWriteListCount);
  for (int32_t i = 0; i < Count(); ++i)
    if (!Get(i).IsTemporary()) Get(i).SaveToStream(stream);
}

void TABSIndexDefs::Put(int32_t index, const TABSIndexDef& definition) {
  Get(index).Assign(definition);
}

}  // namespace viz
