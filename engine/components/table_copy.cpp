#include "engine/components/table_copy.h"

#include <cstring>
#include <vector>

#include "engine/components/local_cursor.h"
#include "engine/components/local_session.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

void AddError(std::string& errors, const std::string& line) {
  if (!errors.empty()) errors += "\n";
  errors += line;
}

}  // namespace

bool CopyTable(TABSLocalSession& source, TABSLocalSession& target, const std::string& tableName,
               std::string& errors, const std::function<bool(int percent)>& progress) {
  TABSLocalCursor from(&source);
  from.SetTableName(tableName);
  from.OpenTable();
  TABSFieldDefs fields;
  fields.Assign(from.FieldDefs());
  TABSIndexDefs indexes;
  const TABSIndexDefs& sourceIndexes = from.IndexDefs();
  for (int32_t index = 0; index < sourceIndexes.Count(); ++index) {
    if (!sourceIndexes[index].IsTemporary()) indexes.AddCreated().Assign(sourceIndexes[index]);
  }
  TABSConstraintDefs constraints;
  constraints.Assign(from.ConstraintDefs());

  TABSLocalCursor to(&target);
  to.SetTableName(tableName);
  to.CreateTable(fields, indexes, constraints);
  to.OpenTable();
  std::vector<uint8_t> in(static_cast<size_t>(from.RecordBufferSize()));
  std::vector<uint8_t> out(static_cast<size_t>(to.RecordBufferSize()));
  from.SetRecordBuffer(in.data());
  to.SetRecordBuffer(out.data());
  const int64_t total = from.RecordCount();
  const int32_t fieldCount = fields.Count();
  int64_t done = 0;
  from.GoBeforeFirst();
  if (progress && !progress(0)) return false;
  for (;;) {
    int32_t result;
    try {
      result = from.GetRecord(TABSLocalCursor::kGetNext);
    } catch (const Exception& error) {
      AddError(errors, tableName + ": the records after record " + std::to_string(done) +
                           " cannot be read: " + error.Message());
      break;
    }
    if (result != TABSLocalCursor::kOk) break;
    ++done;
    try {
      to.InitRecordBuffer(out.data(), false);
      std::memcpy(out.data(), in.data(), static_cast<size_t>(from.DataSize()));
      for (int32_t field = 0; field < fieldCount; ++field) {
        const TABSFieldDef& definition = from.FieldDefs()[field];
        if (!IsBlobBaseType(definition.BaseType())) continue;
        // The value is stored anew in the target; the source's reference means nothing there.
        std::memset(out.data() + definition.BufferOffset, 0, static_cast<size_t>(definition.BufferSize()));
        if (IsNullFlagSet(in.data(), field)) continue;
        TABSBlobValue value;
        from.Table()->ReadBlobValue(&from, field, value);
        to.Table()->WriteBlobValue(out.data(), field, std::move(value));
      }
      to.Post(true);
      if (to.ResultCode() != 0) {
        AddError(errors,
                 tableName + ": record " + std::to_string(done) + " was not copied: " + to.ErrorText());
        to.Cancel(true);
      }
    } catch (const Exception& error) {
      AddError(errors,
               tableName + ": record " + std::to_string(done) + " was not copied: " + error.Message());
      to.Cancel(true);
    }
    from.ReleaseRecordBuffer(in.data());
    if (progress && total > 0 && !progress(static_cast<int>(std::min<int64_t>(done * 100 / total, 100))))
      return false;
  }
  if (progress && !progress(100)) return false;
  return true;
}

}  // namespace viz
