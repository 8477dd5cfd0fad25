#include "engine/sql/expressions/search_condition.h"

#include <vector>

#include "engine/storage/VIZPage.h"
#include "engine/tables/VIZBaseEngine.h"
#include "engine/tables/base_session.h"
#include "engine/tables/record_layout.h"
#include "engine/tables/table_cursor.h"
#include "engine/types/errors.h"

namespace viz {

TABSExprSearchCondition::TABSExprSearchCondition(TABSTableData& table, TABSCursor& cursor)
    : table_(table), rows_(table, cursor) {}

void TABSExprSearchCondition::ParseFilter(std::string_view text, bool partialCompare, bool caseInsensitive) {
  expression_.ParseFilter(&rows_, text, partialCompare, caseInsensitive);
}

bool TABSExprSearchCondition::IsTrue(TABSCursor& cursor, const uint8_t* record, const uint8_t* source) {
  (void)cursor, (void)source;
  if (expression_.IsEmpty()) return true;
  rows_.SetRecordBuffer(record);
  return expression_.GetBoolean();
}

void TABSExprSearchCondition::ExtractIndexConditions(TABSCursor& cursor, const TABSIndexDefs& indexes,
                                                     TABSScanSearchConditionArray& conditions) {
  if (!UseIndexes || expression_.IsEmpty()) return;
  const int32_t session = cursor.Session() ? cursor.Session()->SessionNumber() : kSystemSession;
  const TABSExprIndexPlan plan = PlanIndexConditions(expression_.Root(), indexes, session);
  if (plan.Conditions.empty()) return;
  const TABSFieldDefs& fields = table_.FieldManager()->FieldDefs();
  const int32_t size = table_.RecordBufferSize();
  std::vector<uint8_t> key;
  for (const TABSExprIndexCondition& condition : plan.Conditions) {
    const TABSIndexDef& index = indexes[condition.IndexNo];
    // The key is a record buffer holding the constants in the index's leading fields.
    key.assign(static_cast<size_t>(size), 0);
    for (size_t k = 0; k < condition.KeyValues.size(); ++k) {
      const int32_t fieldNo = fields.IndexOfName(index.Columns[k].FieldName);
      if (fieldNo < 0) throw EABSException(msg::kExprFieldNotFound.At(30197), index.Columns[k].FieldName);
      const TABSFieldDef& field = fields[fieldNo];
      const TABSVariant& constant = condition.KeyValues[k];
      if (constant.IsNull()) {
        SetNullFlag(key.data(), fieldNo);
        continue;
      }
      const TABSFieldLayout layout{field.DataType(), field.BaseType(), field.BufferOffset,
                                   field.BufferSize()};
      TABSVariant value;
      value.Assign(constant, TABSCopyMode::Borrow);
      value.WriteToRecord(key.data(), fieldNo, layout);
    }
    auto scan = TABSScanSearchCondition::ForIndex(index.ObjectID, condition.Operator, key.data(), size,
                                                  static_cast<int32_t>(condition.KeyValues.size()));
    // The expression checks the conjunct again on every record the scan reaches.
    scan->Redundant = true;
    conditions.Add(std::move(scan));
  }
}

}  // namespace viz
