#include "framework/data/field_defs.h"

#include "framework/data/exceptions.h"
#include "framework/data/messages.h"

namespace viz {
namespace {

template <typename Def>
int IndexOfName(const std::vector<Def>& defs, const std::string& name) {
  for (size_t index = 0; index < defs.size(); ++index) {
    if (SameName(defs[index].Name, name)) return static_cast<int>(index);
  }
  return -1;
}

// Whether the names of `wanted` are the first names of `have`, all of them when `whole`.
bool FieldListMatches(const std::vector<std::string>& wanted, const std::vector<std::string>& have,
                      bool whole) {
  if (wanted.empty() || wanted.size() > have.size() || (whole && wanted.size() != have.size())) return false;
  for (size_t index = 0; index < wanted.size(); ++index) {
    if (!SameName(wanted[index], have[index])) return false;
  }
  return true;
}

}  // namespace

TFieldDef& TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
  if (IndexOf(name) >= 0) DatabaseErrorFmt(fmsg::kDuplicateFieldName, {name}, ownerName_);
  TFieldDef& def = defs_.emplace_back();
  def.Name = name;
  def.DataType = type;
  def.Size = size;
  def.Required = required;
  def.FieldNo = Count();
  return def;
}

int TFieldDefs::IndexOf(const std::string& name) const {
  return IndexOfName(defs_, name);
}

const TFieldDef& TFieldDefs::Find(const std::string& name) const {
  int index = IndexOf(name);
  if (index < 0) DatabaseErrorFmt(fmsg::kFieldNotFound, {name}, ownerName_);
  return defs_[index];
}

bool TFieldDefs::operator==(const TFieldDefs& other) const {
  if (defs_.size() != other.defs_.size()) return false;
  for (size_t index = 0; index < defs_.size(); ++index) {
    const TFieldDef& a = defs_[index];
    const TFieldDef& b = other.defs_[index];
    if (a.Name != b.Name || a.DataType != b.DataType || a.Size != b.Size || a.Required != b.Required)
      return false;
  }
  return true;
}

TIndexDef& TIndexDefs::Add(const std::string& name, const std::string& fields, TIndexOptions options) {
  if (IndexOf(name) >= 0) DatabaseErrorFmt(fmsg::kDuplicateIndexName, {name}, ownerName_);
  TIndexDef& def = defs_.emplace_back();
  def.Name = name;
  def.Fields = fields;
  def.Options = options;
  return def;
}

int TIndexDefs::IndexOf(const std::string& name) const {
  return IndexOfName(defs_, name);
}

const TIndexDef& TIndexDefs::Find(const std::string& name) const {
  int index = IndexOf(name);
  if (index < 0) DatabaseErrorFmt(fmsg::kIndexNotFound, {name}, ownerName_);
  return defs_[index];
}

const TIndexDef* TIndexDefs::GetIndexForFields(const std::string& fields, bool caseInsensitive) const {
  std::vector<std::string> wanted = SplitFieldNames(fields);
  for (bool whole : {true, false}) {
    for (const TIndexDef& def : defs_) {
      if (caseInsensitive && !(def.Options & ixCaseInsensitive)) continue;
      if (FieldListMatches(wanted, SplitFieldNames(def.Fields), whole)) return &def;
    }
  }
  return nullptr;
}

const TIndexDef& TIndexDefs::FindIndexForFields(const std::string& fields) const {
  const TIndexDef* def = GetIndexForFields(fields, false);
  if (!def) DatabaseErrorFmt(fmsg::kNoIndexForFields, {fields}, ownerName_);
  return *def;
}

}  // namespace viz
