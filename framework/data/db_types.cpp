#include "framework/data/db_types.h"

#include "engine/platform/text.h"

namespace viz {

const char* FieldTypeName(TFieldType type) {
  static constexpr const char* kNames[] = {
      "Unknown",     "String",    "Smallint",  "Integer",    "Word",     "Boolean",    "Float",
      "Currency",    "BCD",       "Date",      "Time",       "DateTime", "Bytes",      "VarBytes",
      "AutoInc",     "Blob",      "Memo",      "Graphic",    "FmtMemo",  "ParadoxOle", "DBaseOle",
      "TypedBinary", "Cursor",    "FixedChar", "WideString", "Largeint", "ADT",        "Array",
      "Reference",   "DataSet",   "OraBlob",   "OraClob",    "Variant",  "Interface",  "IDispatch",
      "Guid",        "TimeStamp", "FMTBcd"};
  return type < std::size(kNames) ? kNames[type] : "Unknown";
}

bool IsBlobFieldType(TFieldType type) {
  return (type >= ftBlob && type <= ftTypedBinary);
}

std::vector<std::string> SplitFieldNames(const std::string& names) {
  std::vector<std::string> result;
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(';', start);
    if (end == std::string::npos) end = names.size();
    size_t first = names.find_first_not_of(' ', start);
    if (first != std::string::npos && first < end) {
      size_t last = names.find_last_not_of(' ', end - 1);
      result.push_back(names.substr(first, last - first + 1));
    }
    start = end + 1;
  }
  return result;
}

bool SameName(const std::string& a, const std::string& b) {
  return platform::SameUpperCase(a, b);
}

}  // namespace viz
