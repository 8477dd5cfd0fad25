#include "engine/components/expression_tables.h"

#include <string>

#include "engine/components/local_cursor.h"
#include "engine/types/errors.h"

namespace viz {

namespace {

class CursorTableReader : public TABSExprTableReader {
 public:
  CursorTableReader(TABSLocalSession* session, std::string_view tableName, bool inMemory) : cursor_(session) {
    cursor_.SetTableName(tableName);
    cursor_.SetReadOnly(true);
    cursor_.SetInMemory(inMemory);
    cursor_.OpenTable();
  }

  int32_t FindField(std::string_view fieldName) const override {
    return cursor_.FieldDefs().IndexOfName(fieldName);
  }
  TABSDataType FieldType(int32_t fieldNo) const override { return cursor_.FieldDefs()[fieldNo].DataType(); }
  int64_t LastAutoincValue(int32_t fieldNo) override { return cursor_.LastAutoincValue(fieldNo); }

 private:
  TABSLocalCursor cursor_;
};

}  // namespace

std::unique_ptr<TABSExprTableReader> TABSSessionExprDatabase::OpenTable(std::string_view tableName,
                                                                        bool inMemory) {
  if (!session_) throw EABSException(msg::kNilPointer.At(10337));
  return std::make_unique<CursorTableReader>(session_, tableName, inMemory);
}

}  // namespace viz
