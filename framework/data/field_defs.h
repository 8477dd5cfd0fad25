// Field and index definitions as data-aware tools see them: FieldDefs describe the columns a
// dataset offers (its fields are made from them), IndexDefs the indexes of a table. Names compare
// ignoring case; field lists are names separated by ";".
#pragma once

#include <string>
#include <vector>

#include "framework/data/db_types.h"

namespace viz {

struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  //! Characters of text fields, bytes of byte fields, 0 for the others.
  int Size = 0;
  bool Required = false;
  //! Position from 1 in its list.
  int FieldNo = 0;
};

class TFieldDefs {
 public:
  //! Appends a definition. Raises "Duplicate field name 'X'" for a name already defined.
  TFieldDef& Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
  int Count() const { return static_cast<int>(defs_.size()); }
  const TFieldDef& operator[](int index) const { return defs_.at(index); }
  TFieldDef& operator[](int index) { return defs_.at(index); }
  //! Index of the definition of that name, −1 when none.
  int IndexOf(const std::string& name) const;
  //! Raises "Field 'X' not found" when absent.
  const TFieldDef& Find(const std::string& name) const;
  void Clear() { defs_.clear(); }
  bool operator==(const TFieldDefs& other) const;

  //! The component name put in front of errors (the owning dataset's).
  void SetOwnerName(std::string name) { ownerName_ = std::move(name); }

 private:
  std::vector<TFieldDef> defs_;
  std::string ownerName_;
};

struct TIndexDef {
  std::string Name;
  //! Field names separated by ";".
  std::string Fields;
  //! Fields sorted descending; fields compared ignoring case.
  std::string DescFields;
  std::string CaseInsFields;
  TIndexOptions Options = 0;
};

class TIndexDefs {
 public:
  //! Appends a definition. Raises "Duplicate index name 'X'" for a name already defined.
  TIndexDef& Add(const std::string& name, const std::string& fields, TIndexOptions options = 0);
  int Count() const { return static_cast<int>(defs_.size()); }
  const TIndexDef& operator[](int index) const { return defs_.at(index); }
  TIndexDef& operator[](int index) { return defs_.at(index); }
  int IndexOf(const std::string& name) const;
  //! Raises "Index 'X' not found" when absent.
  const TIndexDef& Find(const std::string& name) const;
  //! The index whose fields are those names, else the first whose fields begin with them; with
  //! `caseInsensitive` only indexes with the case-insensitive option count. Null when none.
  const TIndexDef* GetIndexForFields(const std::string& fields, bool caseInsensitive) const;
  //! The same, raising "No index for fields 'X'" when there is none.
  const TIndexDef& FindIndexForFields(const std::string& fields) const;
  void Clear() { defs_.clear(); }

  void SetOwnerName(std::string name) { ownerName_ = std::move(name); }

 private:
  std::vector<TIndexDef> defs_;
  std::string ownerName_;
};

}  // namespace viz
